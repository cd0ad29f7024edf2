// The conversion engine driving the in-process Word and Excel, on documents
// built in memory: the members behave the way the engine relies on.

#include "engine/Conditions.h"
#include "engine/Engine.h"
#include "engine/ExceptionRules.h"
#include "engine/RunDisplay.h"
#include "engine/RunState.h"
#include "office/native/excel/NativeExcelApplication.h"
#include "office/native/word/NativeDocument.h"
#include "office/native/word/NativeDocuments.h"
#include "office/native/word/NativeWordApplication.h"
#include "platform/Clipboard.h"
#include "platform/Conversions.h"
#include "platform/FileSystem.h"
#include "platform/Host.h"
#include "tests/office/native/NativeTestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <unistd.h>

namespace kelvaran::office::native {
namespace {

namespace model = formats::model;

class PngRules : public engine::ExceptionRules {
public:
    void AddToExceptionList(const std::string& name, std::string&) override { seen.push_back(name); }
    std::string ObjToImage(const std::string&) override { return engine::kFormatPng; }
    std::vector<std::string> seen;
};

class LogDisplay : public engine::RunDisplay {
public:
    void appendLog(const std::string& text) override { log += text; }
    void clearLog() override { log.clear(); }
    std::string statusText() override { return status; }
    void setStatus(const std::string& text) override { status = text; }
    std::string log;
    std::string status;
};

class NativeEngineTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir = std::filesystem::temp_directory_path() /
              ("kelvaran-native-engine-" + std::to_string(::getpid()) + "-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(dir);
        auto word = std::make_shared<NativeWordApplication>(clipboard, std::vector<FileFormat>{format});
        state.appWORD = word;
        state.appEXCEL = std::make_shared<NativeExcelApplication>(clipboard);
        state.wordIsXP = true;
        state.wordIs2007 = word->Version() == "12.0";
        state.fileSystem = &files;
        state.scratchBook = state.appEXCEL->Workbooks()->add();
        state.scratchSheet = state.scratchBook->Worksheets(1);
        state.srcExt = "rtf";
        state.scratchPathA = (dir / "a.rtf").string();
        state.scratchPathB = (dir / "b.rtf").string();
        state.scratchDoc = state.appWORD->Documents()->add();
        state.scratchDoc->SaveAs(state.scratchPathB);
        state.emptyDocSize = files.GetFile(state.scratchDoc->FullName()).Size;

        auto& values = conditions.values();
        values.fileSize = "10";
        values.ratio = "1";
        values.format = 1;  // JPEG
        values.expectRate = "80";
        values.pixelSize = "50";
        values.convertObjects = true;
    }
    void TearDown() override { std::filesystem::remove_all(dir); }

    model::Document& walk(model::Document document) {
        auto documents = std::static_pointer_cast<NativeDocuments>(state.appWORD->Documents());
        state.srcDoc = documents->adopt(std::move(document), (dir / "input.rtf").string());
        engine::Engine engine(state, conditions, rules, display, clipboard, events, timer);
        engine.WalkDocument(nullptr, true);
        return std::static_pointer_cast<NativeDocument>(state.srcDoc)->state()->model;
    }

    std::filesystem::path dir;
    FileFormat format = test::fakeRtf();
    platform::Clipboard clipboard;
    platform::StdFileSystem files;
    platform::NullEventPump events;
    platform::Timer timer;
    engine::RunState state;
    engine::FixedConditions conditions;
    PngRules rules;
    LogDisplay display;
};

TEST_F(NativeEngineTest, InlinePictureIsReplacedByASmallerJpegAtItsPlace) {
    auto& doc = walk(test::documentWithInlinePicture(90, 60, true));
    EXPECT_TRUE(state.docConverted) << display.log;
    EXPECT_NE(display.log.find("ページ 2"), std::string::npos) << display.log;
    EXPECT_NE(display.log.find("ｲﾝﾗｲﾝ変換"), std::string::npos) << display.log;
    const auto live = doc.inlinesOf(0);
    ASSERT_EQ(live.size(), 1u);
    const auto& picture = doc.inlines[static_cast<std::size_t>(live[0])];
    EXPECT_EQ(picture.picture.type, model::PictureFormat::Jpeg);
    EXPECT_DOUBLE_EQ(picture.widthPt, 90);
    EXPECT_DOUBLE_EQ(picture.heightPt, 60);
    EXPECT_EQ(picture.picture.pixelWidth, 120);
    EXPECT_EQ(doc.main().plainText(), "Intro\n\f\xEF\xBF\xBCtail\n");
    EXPECT_EQ(state.scratchDoc->InlineShapes()->count(), 0);  // the scratch document is empty again
}

// Photos of one story, displayed at sizes of their own, with a damaged one
// among them.
model::Document documentOfPhotos() {
    model::Document document;
    document.format = "rtf";
    auto& story = document.main().elements;
    for (int i = 0; i < 5; ++i) {
        model::InlineObject object;
        object.picture = test::jpegPicture(360 + 40 * i, 240 + 20 * i);
        if (i == 2) {
            // Cut short inside its data: a picture that cannot be decoded.
            object.picture.bytes = model::shareBytes(object.picture.bytes->substr(0, object.picture.bytes->size() / 3));
        }
        object.widthPt = 150 + 10 * i;
        object.heightPt = 100 + 5 * i;
        document.inlines.push_back(object);
        story.push_back(model::Element::textRun("Photo", 5));
        story.push_back(model::Element::paragraphMark());
        story.push_back(model::Element::inlineObject(i));
        story.push_back(model::Element::paragraphMark());
    }
    return document;
}

TEST_F(NativeEngineTest, PhotosDrawnAheadComeOutAsWhenDrawnOneByOne) {
    auto& ahead = std::static_pointer_cast<NativeExcelApplication>(state.appEXCEL)->session().ahead;
    conditions.values().ratio = "1.5";
    auto slim = [&](bool drawAhead) {
        ahead.setEnabled(drawAhead);
        display.clearLog();
        const auto& doc = walk(documentOfPhotos());
        std::vector<std::string> pictures;
        for (int object : doc.inlinesOf(0)) pictures.push_back(*doc.inlines[static_cast<std::size_t>(object)].picture.bytes);
        return std::make_pair(pictures, display.log);
    };
    const auto oneByOne = slim(false);
    EXPECT_EQ(ahead.started(), 0);
    const auto drawnAhead = slim(true);

    // The walk goes from the last photo to the first.  Each one before the
    // last was started while the one after it was converted; the damaged
    // one failed there and was drawn again, failing as it does alone; the
    // one before it was started after it.
    EXPECT_EQ(ahead.started(), 4);
    EXPECT_EQ(ahead.taken(), 3);
    ASSERT_EQ(drawnAhead.first.size(), 5u);
    EXPECT_EQ(drawnAhead.first, oneByOne.first);
    EXPECT_EQ(drawnAhead.second, oneByOne.second);
    // Four photos became JPEGs drawn at 1.5 x their displayed size; the
    // damaged one stayed.
    const model::Document original = documentOfPhotos();
    for (std::size_t i = 0; i < drawnAhead.first.size(); ++i) {
        SCOPED_TRACE(i);
        if (i == 2) {
            EXPECT_EQ(drawnAhead.first[i], *original.inlines[i].picture.bytes);
            continue;
        }
        const auto size = imaging::pictureSize(drawnAhead.first[i], imaging::PictureType::Jpeg);
        EXPECT_EQ(size.width, platform::toInt32((150 + 10.0 * static_cast<double>(i)) * 1.5 * 96 / 72));
    }
}

TEST_F(NativeEngineTest, PictureBelowTheSizeConditionStaysAsItIs) {
    conditions.values().fileSize = "5000";
    auto& doc = walk(test::documentWithInlinePicture(90, 60));
    EXPECT_FALSE(state.docConverted);
    EXPECT_FALSE(doc.modified());
}

TEST_F(NativeEngineTest, FloatingPictureAndTextBoxPictureAreReplacedWithTheirLayout) {
    auto& doc = walk(test::documentWithShapes());
    EXPECT_TRUE(state.docConverted) << display.log;
    EXPECT_NE(display.log.find("ｼｪｰﾌﾟ変換"), std::string::npos) << display.log;
    EXPECT_NE(display.log.find("ﾃｷｽﾄ枠内変換"), std::string::npos) << display.log;
    const auto top = doc.topLevelShapes();
    ASSERT_EQ(top.size(), 2u);
    const model::FloatingShape* picture = nullptr;
    const model::FloatingShape* box = nullptr;
    for (int index : top) {
        const auto& shape = doc.shapes[static_cast<std::size_t>(index)];
        if (shape.type == model::shape_type::kPicture) picture = &shape;
        if (shape.type == model::shape_type::kTextBox) box = &shape;
    }
    ASSERT_NE(picture, nullptr);
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(picture->picture.type, model::PictureFormat::Jpeg);
    EXPECT_EQ(picture->edit, model::EditState::Added);
    EXPECT_DOUBLE_EQ(picture->leftPt, 30);
    EXPECT_DOUBLE_EQ(picture->topPt, 40);
    EXPECT_DOUBLE_EQ(picture->widthPt, 120);
    EXPECT_DOUBLE_EQ(picture->rotation, 15);
    EXPECT_EQ(picture->wrap.type, 0);
    EXPECT_EQ(picture->relative.horizontalPosition, 1);
    EXPECT_EQ(picture->formatting.at("lineColor"), "255");
    EXPECT_EQ(picture->anchor.element, 2);
    // Back at its place in the stack: in front of the text box, as before.
    EXPECT_GT(picture->stackPosition, box->stackPosition);
    const auto inBox = doc.inlinesOf(box->textStory);
    ASSERT_EQ(inBox.size(), 1u);
    EXPECT_EQ(doc.inlines[static_cast<std::size_t>(inBox[0])].picture.type, model::PictureFormat::Jpeg);
    EXPECT_DOUBLE_EQ(box->widthPt, 200);
}

TEST_F(NativeEngineTest, LargeGroupIsTakenApartConvertedAndRebuilt) {
    auto document = test::documentWithShapes();
    model::FloatingShape group;
    group.type = model::shape_type::kGroup;
    group.name = "Group 3";
    group.widthPt = 200;
    group.heightPt = 130;
    group.children = {0, 1};
    group.anchor = {0, 0};
    document.shapes[0].parent = 2;
    document.shapes[1].parent = 2;
    document.shapes.push_back(group);
    auto& doc = walk(document);
    EXPECT_TRUE(state.docConverted) << display.log;
    const auto top = doc.topLevelShapes();
    ASSERT_EQ(top.size(), 1u);
    const auto& rebuilt = doc.shapes[static_cast<std::size_t>(top[0])];
    EXPECT_EQ(rebuilt.type, model::shape_type::kGroup);
    ASSERT_EQ(rebuilt.children.size(), 2u);
    bool jpegMember = false;
    for (int member : rebuilt.children) {
        const auto& shape = doc.shapes[static_cast<std::size_t>(member)];
        jpegMember = jpegMember || shape.picture.type == model::PictureFormat::Jpeg;
        EXPECT_EQ(shape.parent, top[0]);
    }
    EXPECT_TRUE(jpegMember);
    for (const auto& shape : doc.shapes) {
        if (shape.type == model::shape_type::kRectangle || shape.type == model::shape_type::kOval) {
            EXPECT_EQ(shape.edit, model::EditState::Deleted) << shape.name;
        }
    }
}

TEST_F(NativeEngineTest, EmbeddedObjectBecomesAPictureThroughItsPresentation) {
    auto document = test::documentWithInlinePicture(90, 60);
    document.inlines[0].kind = model::InlineKind::EmbeddedObject;
    document.inlines[0].progId = "Excel.Sheet.8";
    conditions.values().format = 0;  // recommended: objects take their rule's format
    auto& doc = walk(document);
    ASSERT_EQ(rules.seen, std::vector<std::string>{"Excel"});
    EXPECT_TRUE(state.docConverted) << display.log;
    const auto live = doc.inlinesOf(0);
    ASSERT_EQ(live.size(), 1u);
    const auto& replaced = doc.inlines[static_cast<std::size_t>(live[0])];
    EXPECT_EQ(replaced.kind, model::InlineKind::Picture);
    EXPECT_EQ(replaced.picture.type, model::PictureFormat::Png);
}

TEST_F(NativeEngineTest, TransparentPictureFallsBackFromJpegToMetafile) {
    auto document = test::documentWithInlinePicture(90, 60);
    document.inlines[0].picture = test::pngPicture(160, 120, true);
    conditions.values().format = 0;  // recommended: JPEG unless it blackens
    conditions.values().expectRate = "1000";
    auto& doc = walk(document);
    EXPECT_TRUE(state.docConverted) << display.log;
    const auto live = doc.inlinesOf(0);
    ASSERT_EQ(live.size(), 1u);
    EXPECT_EQ(doc.inlines[static_cast<std::size_t>(live[0])].picture.type, model::PictureFormat::Emf);
}

// A format that cannot replace the objects read with origin "kept".
class NativeEngineKeepingTest : public NativeEngineTest {
protected:
    NativeEngineKeepingTest() {
        format.whyObjectStays = [](const model::Document&, const model::Origin& origin) {
            return origin.format == "kept" ? std::string("its field cannot leave the text") : std::string();
        };
    }
};

// Objects whose replacement the document's format could not save stay as
// they were, recorded as failures, and the rest of the document is still
// converted: the save never meets an edit it cannot write.
TEST_F(NativeEngineKeepingTest, ObjectsTheFormatKeepsStayAsTheyWere) {
    auto document = test::documentWithShapes();
    document.inlines[0].kind = model::InlineKind::EmbeddedObject;
    document.inlines[0].progId = "Excel.Sheet.8";
    document.inlines[0].origin.format = "kept";
    document.shapes[0].type = model::shape_type::kEmbeddedObject;
    document.shapes[0].name = "Object 1";
    document.shapes[0].progId = "Excel.Sheet.8";
    document.shapes[0].origin.format = "kept";
    conditions.values().format = 0;
    auto& doc = walk(document);
    EXPECT_FALSE(state.docConverted) << display.log;
    EXPECT_TRUE(display.log.empty()) << display.log;
    ASSERT_EQ(doc.shapes.size(), 2u) << "no picture was added";
    EXPECT_EQ(doc.shapes[0].edit, model::EditState::Unchanged);
    EXPECT_EQ(doc.inlines.size(), 1u);
    EXPECT_EQ(doc.inlines[0].edit, model::EditState::Unchanged);
    EXPECT_FALSE(doc.modified());
}

}  // namespace
}  // namespace kelvaran::office::native
