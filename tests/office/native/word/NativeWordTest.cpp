#include "office/OfficeError.h"
#include "office/native/ClipboardItems.h"
#include "office/native/excel/NativeExcelApplication.h"
#include "office/native/word/NativeDocument.h"
#include "office/native/word/NativeDocuments.h"
#include "office/native/word/NativeWordApplication.h"
#include "platform/AtomicFile.h"
#include "platform/Clipboard.h"
#include "tests/office/native/NativeTestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <unistd.h>

namespace kelvaran::office::native {
namespace {

namespace model = formats::model;
namespace wc = word::constants;
using test::fakeRtf;

std::string objectMark() { return "\xEF\xBF\xBC"; }

class NativeWordTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir = std::filesystem::temp_directory_path() /
              ("kelvaran-native-" + std::to_string(::getpid()) + "-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(dir);
    }
    void TearDown() override { std::filesystem::remove_all(dir); }

    word::DocumentPtr adopt(model::Document document) {
        auto documents = std::static_pointer_cast<NativeDocuments>(word.Documents());
        return documents->adopt(std::move(document), (dir / "input.rtf").string());
    }
    static model::Document& modelOf(const word::DocumentPtr& document) {
        return std::static_pointer_cast<NativeDocument>(document)->state()->model;
    }
    std::string path(const std::string& name) const { return (dir / name).string(); }
    static double fileSize(const std::string& file) { return static_cast<double>(std::filesystem::file_size(file)); }

    // The scratch sheet's round trip of the program: paste the copied object,
    // scale it, cut it, paste it back as JPEG, scale it back, cut it.
    void convertOnSheet(double width, double height, double ratio) {
        auto book = excel.Workbooks()->add();
        auto sheet = book->Worksheets(1);
        sheet->Paste(false);
        sheet->Shapes()->item(1)->setWidth(ratio * width);
        sheet->Shapes()->item(1)->setHeight(ratio * height);
        sheet->Shapes()->item(1)->Cut();
        sheet->PasteSpecial(office::excel::formats::kJpeg, false, false);
        sheet->Shapes()->item(1)->setWidth(width);
        sheet->Shapes()->item(1)->setHeight(height);
        sheet->Shapes()->item(1)->Cut();
    }

    std::filesystem::path dir;
    platform::Clipboard clipboard;
    NativeWordApplication word{clipboard, {fakeRtf()}};
    NativeExcelApplication excel{clipboard};
};

TEST_F(NativeWordTest, ACopyShownLargerThanAnyPageIsRenderedAtThePageSize) {
    // 4,900 x 2,450 points: the clipboard's rendering fits the largest page
    // Word allows (22 inches, 2112 pixels), aspect kept; the copy itself
    // keeps its size.
    auto source = adopt(test::documentWithInlinePicture(4900, 2450));
    source->InlineShapes()->item(1)->Range()->Copy();
    auto rendering = clipboard.metafileRendering();
    ASSERT_TRUE(rendering.has_value());
    EXPECT_EQ(rendering->width, 2112);
    EXPECT_EQ(rendering->height, 1056);
    auto scratch = word.Documents()->add();
    scratch->Range(0)->Paste();
    EXPECT_DOUBLE_EQ(scratch->InlineShapes()->item(1)->Width(), 4900);
}

TEST_F(NativeWordTest, ACopiedPictureCarriesTheLivePicturesAroundItInItsStory) {
    // Pictures 0 to 4 in one story: 1 is an embedded object and 2 deleted,
    // and neither is a picture the sheet would draw next.
    model::Document document = test::documentWithInlinePicture(90, 60);
    auto& story = document.main().elements;
    for (int i = 1; i <= 4; ++i) {
        model::InlineObject object = document.inlines[0];
        object.picture = test::jpegPicture(100 + 10 * i, 80);
        object.widthPt = 50.0 + i;
        if (i == 1) object.kind = model::InlineKind::EmbeddedObject;
        if (i == 2) object.edit = model::EditState::Deleted;
        document.inlines.push_back(object);
        story.insert(story.end() - 1, model::Element::inlineObject(i));
    }
    const auto pictures = document.inlines;
    auto source = adopt(std::move(document));
    auto clipOf = [&]() {
        const std::any data = clipboard.data(kWordClipFormat);
        return *std::any_cast<WordClip>(&data);
    };
    // Live objects, in order: 0, 1 (the object), 3, 4.
    source->InlineShapes()->item(3)->Range()->Copy();
    WordClip clip = clipOf();
    ASSERT_EQ(clip.inlines.size(), 1u);
    ASSERT_TRUE(clip.pictureBefore && clip.pictureAfter);
    EXPECT_EQ(clip.pictureBefore->picture.bytes, pictures[0].picture.bytes);
    EXPECT_DOUBLE_EQ(clip.pictureBefore->widthPt, 90);
    EXPECT_EQ(clip.pictureAfter->picture.bytes, pictures[4].picture.bytes);
    EXPECT_DOUBLE_EQ(clip.pictureAfter->widthPt, 54);

    source->InlineShapes()->item(1)->Range()->Copy();
    clip = clipOf();
    EXPECT_FALSE(clip.pictureBefore.has_value());
    ASSERT_TRUE(clip.pictureAfter.has_value());
    EXPECT_EQ(clip.pictureAfter->picture.bytes, pictures[3].picture.bytes);

    // Only a single picture copied says what is around it.
    source->Content()->Copy();
    clip = clipOf();
    EXPECT_GT(clip.inlines.size(), 1u);
    EXPECT_FALSE(clip.pictureBefore || clip.pictureAfter);
}

TEST_F(NativeWordTest, InlinePictureIsMeasuredInTheScratchDocumentAndReplacedInPlace) {
    auto source = adopt(test::documentWithInlinePicture(90, 60));
    auto scratch = word.Documents()->add();
    scratch->SaveAs(path("empty.rtf"));
    const double emptySize = fileSize(scratch->FullName());

    auto old = source->InlineShapes()->item(1);
    ASSERT_EQ(old->Type(), wc::wdInlineShapePicture);
    old->Borders()->setOutsideLineStyle(Variant(std::int32_t{1}));
    old->setLockAspectRatio(Variant(std::int32_t{0}));

    // Copy: the clipboard carries a rendering at the displayed size.
    old->Range()->Copy();
    auto rendering = clipboard.metafileRendering();
    ASSERT_TRUE(rendering.has_value());
    EXPECT_EQ(rendering->width, 120);
    EXPECT_EQ(rendering->height, 80);

    // Measure: pasted alone into the scratch document, the object costs at
    // least its picture bytes; deleting the range empties the document again.
    scratch->Range(0)->Paste();
    scratch->SaveAs(path("b.rtf"));
    const double oldSize = fileSize(scratch->FullName()) - emptySize;
    EXPECT_GE(oldSize, static_cast<double>(modelOf(source).inlines[0].picture.size()));
    EXPECT_EQ(scratch->InlineShapes()->count(), 1);
    scratch->Range(0)->Delete();
    EXPECT_EQ(scratch->InlineShapes()->count(), 0);

    convertOnSheet(90, 60, 2);

    // The picture pasted into the scratch document arrives inline, stored at
    // twice the display size in pixels and shown at the display size.
    scratch->Range(0)->Paste();
    auto pasted = scratch->InlineShapes()->item(1);
    EXPECT_DOUBLE_EQ(pasted->Width(), 90);
    EXPECT_DOUBLE_EQ(pasted->Height(), 60);
    const auto& stored = modelOf(scratch).inlines[static_cast<std::size_t>(modelOf(scratch).inlinesOf(0).at(0))].picture;
    EXPECT_EQ(stored.type, model::PictureFormat::Jpeg);
    EXPECT_EQ(imaging::sniff(*stored.bytes), imaging::PictureType::Jpeg);
    EXPECT_EQ(stored.pixelWidth, 240);
    EXPECT_EQ(stored.pixelHeight, 160);
    scratch->SaveAs(path("a.rtf"));
    scratch->Range(0)->Delete();

    // The replacement as the program does it in the mode of Word 2007.
    source->Windows(1)->Activate();
    old->Range()->Select();
    word.Selection()->Collapse();
    word.Selection()->Paste();
    auto fresh = source->InlineShapes()->item(1);
    EXPECT_EQ(source->InlineShapes()->count(), 2);
    fresh->Borders()->setOutsideLineStyle(old->Borders()->OutsideLineStyle());
    fresh->setLockAspectRatio(old->LockAspectRatio());
    fresh->Select();
    word.Selection()->Cut();
    old->Select();
    word.Selection()->Paste();

    ASSERT_EQ(source->InlineShapes()->count(), 1);
    auto result = source->InlineShapes()->item(1);
    EXPECT_DOUBLE_EQ(result->Width(), 90);
    EXPECT_DOUBLE_EQ(result->Height(), 60);
    EXPECT_EQ(variantToInt32(result->LockAspectRatio()), 0);
    EXPECT_EQ(variantToInt32(result->Borders()->OutsideLineStyle()), 1);
    EXPECT_THROW(old->Width(), OfficeError);  // the old object is gone
    const auto& doc = modelOf(source);
    EXPECT_EQ(doc.main().plainText(), "Intro\n" + objectMark() + "tail\n");
    EXPECT_EQ(doc.inlines[0].edit, model::EditState::Deleted);
    const int kept = doc.inlinesOf(0).at(0);
    EXPECT_EQ(doc.inlines[static_cast<std::size_t>(kept)].edit, model::EditState::Added);
    EXPECT_EQ(doc.inlines[static_cast<std::size_t>(kept)].picture.type, model::PictureFormat::Jpeg);
}

TEST_F(NativeWordTest, FloatingPictureIsReplacedAtItsAnchorWithItsLayout) {
    auto source = adopt(test::documentWithShapes());
    auto scratch = word.Documents()->add();
    scratch->SaveAs(path("empty.rtf"));
    ASSERT_EQ(source->Shapes()->count(), 2);
    ASSERT_EQ(source->Content()->ShapeRange()->count(), 2);
    auto old = source->Shapes()->item(1);
    ASSERT_EQ(old->Name(), "Picture 1");
    auto selection = word.Selection();

    old->Select();
    selection->Copy();
    ASSERT_TRUE(clipboard.metafileRendering().has_value());
    scratch->Range(0)->Paste();
    EXPECT_EQ(scratch->Shapes()->count(), 1);  // a shape stays a shape
    scratch->SaveAs(path("b.rtf"));
    scratch->Range(0)->Delete();
    EXPECT_EQ(scratch->Shapes()->count(), 0);

    old->Select();
    EXPECT_EQ(variantToInt32(selection->Information(wc::wdActiveEndAdjustedPageNumber)), 1);
    old->PickUp();
    const std::int32_t zOrder = old->ZOrderPosition();
    EXPECT_EQ(zOrder, 2);

    convertOnSheet(120, 90, 1);
    scratch->Range(0)->Paste();
    scratch->InlineShapes()->item(1)->ConvertToShape();
    EXPECT_EQ(scratch->InlineShapes()->count(), 0);
    scratch->Shapes()->item(1)->Select();
    selection->Cut();
    EXPECT_EQ(scratch->Shapes()->count(), 0);

    old->Anchor()->Select();
    selection->Paste();
    ASSERT_EQ(source->Shapes()->count(), 3);
    auto fresh = source->Shapes()->item(3);
    EXPECT_EQ(fresh->Type(), wc::msoPicture);
    EXPECT_EQ(fresh->Name().rfind("Picture ", 0), 0u);
    EXPECT_NE(fresh->Name(), old->Name());
    fresh->WrapFormat()->setType(old->WrapFormat()->Type());
    fresh->WrapFormat()->setSide(old->WrapFormat()->Side());
    fresh->WrapFormat()->setDistanceLeft(old->WrapFormat()->DistanceLeft());
    fresh->setRotation(Variant(old->Rotation()));
    fresh->setRelativeHorizontalPosition(old->RelativeHorizontalPosition());
    fresh->setTop(old->Top());
    fresh->setLeft(old->Left());
    old->Delete();
    std::int32_t position = fresh->ZOrderPosition();
    EXPECT_EQ(position, 2);  // the front: the old picture is gone
    while (position > zOrder) {
        fresh->ZOrder(wc::msoSendBackward);
        const std::int32_t after = fresh->ZOrderPosition();
        if (after >= position) break;
        position = after;
    }
    fresh->Apply();

    const auto& doc = modelOf(source);
    const auto& shape = doc.shapes.back();
    EXPECT_EQ(shape.anchor.story, 0);
    EXPECT_EQ(shape.anchor.element, 2);  // the old picture's paragraph
    EXPECT_EQ(shape.wrap.type, 0);
    EXPECT_EQ(shape.wrap.side, 1);
    EXPECT_DOUBLE_EQ(shape.wrap.distanceLeftPt, 9);
    EXPECT_DOUBLE_EQ(shape.rotation, 15);
    EXPECT_EQ(shape.relative.horizontalPosition, 1);
    EXPECT_DOUBLE_EQ(shape.leftPt, 30);
    EXPECT_DOUBLE_EQ(shape.topPt, 40);
    EXPECT_EQ(shape.formatting.at("lineColor"), "255");
    EXPECT_EQ(shape.picture.type, model::PictureFormat::Jpeg);
    EXPECT_EQ(doc.main().plainText(), "Body text\nSecond\n");
    EXPECT_EQ(source->Shapes()->count(), 2);
    EXPECT_EQ(fresh->ZOrderPosition(), 2);
}

TEST_F(NativeWordTest, PictureInATextBoxIsReplacedInTheBoxText) {
    auto source = adopt(test::documentWithShapes());
    auto box = source->Shapes()->item(2);
    ASSERT_EQ(box->Type(), wc::msoTextBox);
    auto text = [&] { return box->TextFrame()->TextRange(); };
    ASSERT_EQ(text()->InlineShapes()->count(), 1);
    auto old = text()->InlineShapes()->item(1);
    EXPECT_EQ(source->InlineShapes()->count(), 0);  // the body holds none

    old->Range()->Copy();
    convertOnSheet(60, 45, 1);
    old->Range()->Select();
    word.Selection()->Collapse();
    word.Selection()->Paste();
    auto boxAgain = word.Selection()->ShapeRange()->item(1);
    EXPECT_EQ(boxAgain->Name(), "Text Box 2");
    auto fresh = boxAgain->TextFrame()->TextRange()->InlineShapes()->item(1);
    fresh->setHeight(45);
    fresh->setWidth(60);
    old->Range()->Delete();

    ASSERT_EQ(text()->InlineShapes()->count(), 1);
    const auto& doc = modelOf(source);
    EXPECT_EQ(doc.stories[1].plainText(), "In the box" + objectMark() + "\n");
    EXPECT_EQ(doc.inlines[static_cast<std::size_t>(doc.inlinesOf(1).at(0))].picture.type, model::PictureFormat::Jpeg);
}

TEST_F(NativeWordTest, GroupsAreTakenApartAndRebuiltByName) {
    auto source = adopt(test::documentWithShapes());
    auto selection = word.Selection();
    source->Shapes()->item(1)->Select();
    source->Shapes()->item(2)->Select(false);
    auto group = selection->ShapeRange()->Group();
    EXPECT_EQ(group->Type(), wc::msoGroup);
    ASSERT_EQ(source->Shapes()->count(), 1);
    EXPECT_DOUBLE_EQ(group->Width(), 200);  // the box from 0 to 200 holds the picture from 30 to 150
    EXPECT_THROW(source->Shapes()->item(1)->ZOrder(4), OfficeError);

    // Two placeholders grouped, the real group taken apart.
    auto shapes = source->Shapes();
    auto rectangle = shapes->AddShape(wc::msoShapeRectangle, 0, 0, 1, 1);
    auto oval = shapes->AddShape(wc::msoShapeOval, 2, 0, 1, 1);
    rectangle->Select();
    oval->Select(false);
    auto placeholder = selection->ShapeRange()->Group();
    group->Select();
    auto members = group->Ungroup();
    ASSERT_EQ(members->count(), 2);
    EXPECT_EQ(source->Shapes()->count(), 3);
    EXPECT_THROW(group->Name(), OfficeError);
    EXPECT_THROW(members->item(1)->Ungroup(), OfficeError);

    const std::vector<std::string> names{members->item(1)->Name(), members->item(2)->Name()};
    selection->Collapse();
    for (std::int32_t k = 1; k <= source->Shapes()->count(); ++k) {
        auto s = source->Shapes()->item(k);
        if (s->Name() == placeholder->Name()) continue;
        if (std::find(names.begin(), names.end(), s->Name()) != names.end()) s->Select(false);
    }
    auto rebuilt = selection->ShapeRange()->Group();
    placeholder->Delete();
    ASSERT_EQ(source->Shapes()->count(), 1);
    EXPECT_EQ(source->Shapes()->item(1)->Name(), rebuilt->Name());
    const auto& doc = modelOf(source);
    EXPECT_EQ(doc.shapes[static_cast<std::size_t>(doc.topLevelShapes().at(0))].children.size(), 2u);
    // Placeholders added and deleted leave nothing behind.
    int liveShapes = 0;
    for (const auto& shape : doc.shapes) liveShapes += shape.edit != model::EditState::Deleted ? 1 : 0;
    EXPECT_EQ(liveShapes, 3);  // the new group and its two members
}

TEST_F(NativeWordTest, PageIsEstimatedFromExplicitBreaks) {
    auto plain = adopt(test::documentWithInlinePicture(10, 10, false));
    auto broken = adopt(test::documentWithInlinePicture(10, 10, true));
    EXPECT_EQ(variantToInt32(plain->InlineShapes()->item(1)->Range()->Information(1)), 1);
    EXPECT_EQ(variantToInt32(broken->InlineShapes()->item(1)->Range()->Information(1)), 2);
    EXPECT_THROW(broken->InlineShapes()->item(1)->Range()->Information(3), OfficeError);
    broken->InlineShapes()->item(1)->Select();
    EXPECT_EQ(variantToInt32(word.Selection()->Information(1)), 2);
}

TEST_F(NativeWordTest, PagesFollowAnEarlierPictureResizedThroughTheObjectModel) {
    // A second picture after forty lines of text: page 1 while the first
    // picture is small, page 2 once it is made 500 points high.
    model::Document built = test::documentWithInlinePicture(100, 20);
    auto& story = built.main().elements;
    for (int k = 0; k < 40; ++k) {
        story.push_back(model::Element::textRun("line", 4));
        story.push_back(model::Element::paragraphMark());
    }
    built.inlines.push_back(built.inlines.front());
    story.push_back(model::Element::inlineObject(1));
    story.push_back(model::Element::paragraphMark());
    auto document = adopt(std::move(built));
    auto second = [&] { return variantToInt32(document->InlineShapes()->item(2)->Range()->Information(1)); };
    EXPECT_EQ(second(), 1);
    document->InlineShapes()->item(1)->setHeight(500);
    EXPECT_EQ(second(), 2);
    const auto& model = modelOf(document);
    EXPECT_EQ(second(), model.estimatePageFromStart(0, model.main().length() - 2));
    document->InlineShapes()->item(1)->setHeight(20);
    EXPECT_EQ(second(), 1);
}

TEST_F(NativeWordTest, FramesAreCountedForTheParagraphOfAnObject) {
    auto document = test::documentWithInlinePicture(10, 10);
    auto framed = document;
    framed.main().elements.back().paragraph.edit().frame = model::FrameProperties{};
    EXPECT_EQ(adopt(document)->InlineShapes()->item(1)->Range()->Frames()->count(), 0);
    EXPECT_EQ(adopt(framed)->InlineShapes()->item(1)->Range()->Frames()->count(), 1);
}

TEST_F(NativeWordTest, BordersSpeakForAllSidesAndReportMixedOnes) {
    auto document = adopt(test::documentWithInlinePicture(10, 10));
    auto borders = document->InlineShapes()->item(1)->Borders();
    EXPECT_EQ(variantToInt32(borders->Enable()), 0);
    borders->setEnable(Variant(std::int32_t{-1}));
    EXPECT_EQ(variantToInt32(borders->Enable()), -1);
    EXPECT_EQ(variantToInt32(borders->OutsideLineStyle()), 1);
    borders->item(wc::wdBorderTop)->setLineStyle(Variant(std::int32_t{0}));
    EXPECT_EQ(variantToInt32(borders->Enable()), 9999999);
    EXPECT_EQ(variantToInt32(borders->OutsideLineStyle()), 9999999);
    EXPECT_FALSE(std::get<bool>(borders->item(wc::wdBorderTop)->Visible()));
    EXPECT_THROW(borders->item(wc::wdBorderHorizontal), OfficeError);
    EXPECT_THROW(borders->setOutsideLineWidth(Variant(std::int32_t{5})), OfficeError);
    borders->setDistanceFromLeft(Variant(std::int32_t{4}));
    EXPECT_EQ(variantToInt32(borders->DistanceFromLeft()), 4);
    EXPECT_TRUE(modelOf(document).inlines[0].layoutChanged);
}

TEST_F(NativeWordTest, ConvertingKeepsPictureAndSizeBothWays) {
    auto document = adopt(test::documentWithInlinePicture(90, 60));
    const auto bytes = modelOf(document).inlines[0].picture.bytes;
    auto shape = document->InlineShapes()->item(1)->ConvertToShape();
    EXPECT_EQ(document->InlineShapes()->count(), 0);
    EXPECT_DOUBLE_EQ(shape->Width(), 90);
    EXPECT_EQ(modelOf(document).main().plainText(), "Intro\ntail\n");
    auto back = shape->ConvertToInlineShape();
    EXPECT_DOUBLE_EQ(back->Height(), 60);
    EXPECT_EQ(document->Shapes()->count(), 0);
    EXPECT_EQ(modelOf(document).inlines.back().picture.bytes, bytes);  // shared, not copied
    EXPECT_EQ(modelOf(document).main().plainText(), "Intro\n" + objectMark() + "tail\n");
}

TEST_F(NativeWordTest, EmbeddedObjectsReportTheirClassName) {
    auto document = test::documentWithInlinePicture(10, 10);
    document.inlines[0].kind = model::InlineKind::EmbeddedObject;
    document.inlines[0].progId = "Excel.Sheet.8";
    auto opened = adopt(document);
    EXPECT_EQ(opened->InlineShapes()->item(1)->Type(), wc::wdInlineShapeEmbeddedOLEObject);
    EXPECT_EQ(opened->InlineShapes()->item(1)->OLEFormat()->progId(), "Excel.Sheet.8");
    auto picture = adopt(test::documentWithInlinePicture(10, 10));
    EXPECT_THROW(picture->InlineShapes()->item(1)->OLEFormat(), OfficeError);
}

// An object whose replacement by a picture its document's format could not
// save is refused before anything changes: it cannot be copied for
// conversion, deleted, or pasted over, and the document stays as it was.
TEST_F(NativeWordTest, ObjectsTheFormatKeepsAreRefusedBeforeAnythingChanges) {
    FileFormat keeping = fakeRtf();
    keeping.whyObjectStays = [](const model::Document&, const model::Origin& origin) {
        return origin.format == "kept" ? std::string("its field cannot leave the text") : std::string();
    };
    NativeWordApplication strict{clipboard, {keeping}};
    auto document = test::documentWithShapes();
    document.inlines[0].kind = model::InlineKind::EmbeddedObject;
    document.inlines[0].origin.format = "kept";
    document.shapes[0].type = model::shape_type::kEmbeddedObject;
    document.shapes[0].name = "Object 1";
    document.shapes[0].origin.format = "kept";
    auto documents = std::static_pointer_cast<NativeDocuments>(strict.Documents());
    auto source = documents->adopt(document, path("input.rtf"));
    const auto& doc = std::static_pointer_cast<NativeDocument>(source)->state()->model;

    auto box = source->Shapes()->item(2)->TextFrame()->TextRange();
    auto object = box->InlineShapes()->item(1);
    try {
        object->Range()->Copy();
        ADD_FAILURE() << "an object the format keeps was copied for conversion";
    } catch (const OfficeError& e) {
        EXPECT_NE(std::string(e.what()).find("its field cannot leave the text"), std::string::npos) << e.what();
    }
    EXPECT_FALSE(clipboard.metafileRendering().has_value());
    EXPECT_THROW(object->Range()->Delete(), OfficeError);
    // A picture pasted over it is refused as well.
    auto picture = adopt(test::documentWithInlinePicture(20, 20));
    picture->InlineShapes()->item(1)->Range()->Copy();
    EXPECT_THROW(object->Range()->Paste(), OfficeError);

    auto selection = strict.Selection();
    source->Shapes()->item(1)->Select();
    EXPECT_THROW(selection->Copy(), OfficeError);
    EXPECT_THROW(selection->Cut(), OfficeError);
    EXPECT_THROW(source->Shapes()->item(1)->Delete(), OfficeError);

    EXPECT_TRUE(std::static_pointer_cast<NativeDocument>(source)->state()->saved) << "nothing was changed";
    EXPECT_EQ(source->Shapes()->count(), 2);
    EXPECT_EQ(doc.inlinesOf(1).size(), 1u);
    // Objects the format can replace copy as before.
    document.inlines[0].origin.format.clear();
    auto free = documents->adopt(document, path("free.rtf"));
    EXPECT_NO_THROW(free->Shapes()->item(2)->TextFrame()->TextRange()->InlineShapes()->item(1)->Range()->Copy());
}

TEST_F(NativeWordTest, OpenReadsByContentAndNeverWritesTheInput) {
    const std::string input = path("in.rtf");
    platform::writeFileAtomically(input, "FAKE-RTF original");
    auto document = word.Documents()->Open(input, true);
    EXPECT_EQ(document->InlineShapes()->count(), 1);
    EXPECT_EQ(document->FullName(), std::filesystem::absolute(input).string());
    document->InlineShapes()->item(1)->Delete();
    EXPECT_THROW(document->SaveAs(input), OfficeError);
    EXPECT_THROW(document->SaveAs(path("in/../in.rtf")), OfficeError);
    EXPECT_EQ(platform::readWholeFile(input), "FAKE-RTF original");
    EXPECT_THROW(document->SaveAs(path("out.txt")), OfficeError);
    EXPECT_THROW(document->SaveAs(path("out.doc")), OfficeError);  // no converting between formats
    document->SaveAs(path("out.rtf"));
    EXPECT_EQ(document->FullName(), std::filesystem::absolute(path("out.rtf")).string());
    EXPECT_TRUE(document->Saved());

    platform::writeFileAtomically(path("plain.rtf"), "just some text");
    try {
        word.Documents()->Open(path("plain.rtf"), true);
        ADD_FAILURE() << "a file that is no document was opened";
    } catch (const OfficeError& error) {
        EXPECT_NE(std::string(error.what()).find("not a document"), std::string::npos) << error.what();
    }
    platform::writeFileAtomically(path("bad.rtf"), "FAKE-RTF broken");
    try {
        word.Documents()->Open(path("bad.rtf"), true);
        ADD_FAILURE() << "a refused document was opened";
    } catch (const OfficeError& error) {
        EXPECT_NE(std::string(error.what()).find("unbalanced"), std::string::npos) << error.what();
    }
    EXPECT_THROW(word.Documents()->Open(path("missing.rtf"), true), OfficeError);
}

TEST_F(NativeWordTest, ClosedDocumentsAndAQuitWordRefuseEveryCall) {
    auto first = adopt(test::documentWithInlinePicture(10, 10));
    auto second = word.Documents()->add();
    EXPECT_EQ(word.Documents()->count(), 2);
    auto picture = first->InlineShapes()->item(1);
    first->Close();
    EXPECT_EQ(word.Documents()->count(), 1);
    EXPECT_THROW(first->InlineShapes(), OfficeError);
    EXPECT_THROW(picture->Width(), OfficeError);
    EXPECT_THROW(first->Close(), OfficeError);
    second->Range(0)->Select();
    second->Close();
    EXPECT_THROW(word.Selection()->Paste(), OfficeError);  // the selection went with its document
    EXPECT_THROW(word.Selection()->Information(1), OfficeError);
    second = word.Documents()->add();
    EXPECT_EQ(word.Version(), "12.0");
    word.Quit();
    EXPECT_THROW(word.Documents(), OfficeError);
    EXPECT_THROW(second->Range(0), OfficeError);
}

TEST_F(NativeWordTest, PastingWithAnEmptyClipboardOrOutOfRangeItemsFails) {
    auto document = adopt(test::documentWithInlinePicture(10, 10));
    EXPECT_THROW(document->Range(0)->Paste(), OfficeError);
    EXPECT_THROW(document->InlineShapes()->item(2), OfficeError);
    EXPECT_THROW(document->InlineShapes()->item(0), OfficeError);
    EXPECT_THROW(document->Shapes()->item(1), OfficeError);
    EXPECT_THROW(word.Selection()->Copy(), OfficeError);  // nothing selected yet
    EXPECT_THROW(document->Shapes()->AddShape(5, 0, 0, 1, 1), OfficeError);
    EXPECT_THROW(document->InlineShapes()->item(1)->setWidth(-3), OfficeError);
    EXPECT_THROW(document->Windows(2), OfficeError);
}

TEST_F(NativeWordTest, ScratchDocumentTakesTheFormatOfItsFirstSave) {
    auto scratch = word.Documents()->add();
    EXPECT_THROW(scratch->SaveAs(path("scratch.doc")), OfficeError);  // this build has no .doc writer here
    scratch->SaveAs(path("scratch.rtf"));
    EXPECT_EQ(platform::readWholeFile(path("scratch.rtf")).rfind("FAKE-RTF", 0), 0u);
    EXPECT_THROW(scratch->SaveAs(path("scratch2.doc")), OfficeError);

    // Objects pasted into a new document before its first save are kept.
    auto source = adopt(test::documentWithShapes());
    auto fresh = word.Documents()->add();
    source->Shapes()->item(2)->TextFrame()->TextRange()->InlineShapes()->item(1)->Range()->Copy();
    fresh->Range(0)->Paste();
    source->Shapes()->item(1)->Select();
    word.Selection()->Copy();
    fresh->Range(0)->Paste();  // a shape is anchored, the text stays
    fresh->SaveAs(path("fresh.rtf"));
    EXPECT_EQ(fresh->Shapes()->count(), 1);
    EXPECT_EQ(fresh->InlineShapes()->count(), 1);
    EXPECT_EQ(modelOf(fresh).format, "rtf");
    const std::string written = platform::readWholeFile(path("fresh.rtf"));
    EXPECT_NE(written.find("inline 60"), std::string::npos) << written.substr(0, 200);
    EXPECT_NE(written.find("shape Picture 1"), std::string::npos) << written.substr(0, 200);
}

TEST_F(NativeWordTest, AShapeTurnedUprightAndBackIsWrittenAsItWas) {
    auto document = adopt(test::documentWithShapes());
    auto picture = document->Shapes()->item(1);
    auto box = document->Shapes()->item(2);
    picture->setRotation(Variant(std::int16_t{0}));
    picture->setRotation(Variant(15.0));
    box->setWidth(250);
    const auto& model = modelOf(document);
    EXPECT_TRUE(model.shapes[0].layoutChanged);
    document->SaveAs(path("out.rtf"));
    EXPECT_FALSE(model.shapes[0].layoutChanged);
    EXPECT_TRUE(model.shapes[1].layoutChanged);
    // A rotation normalises into [0, 360).
    picture->setRotation(Variant(-90.0));
    EXPECT_DOUBLE_EQ(picture->Rotation(), 270);
}

TEST_F(NativeWordTest, DocumentsOfAFormatWithoutReaderAreRefusedByName) {
    NativeWordApplication bare{clipboard, {}};
    platform::writeFileAtomically(path("x.rtf"), "{\\rtf1 hello}");
    try {
        bare.Documents()->Open(path("x.rtf"), true);
        ADD_FAILURE() << "opened without a reader";
    } catch (const OfficeError& error) {
        EXPECT_NE(std::string(error.what()).find("cannot read RTF"), std::string::npos) << error.what();
    }
}

TEST_F(NativeWordTest, UnnamedAndRepeatedShapeNamesGetNamesOfTheirOwn) {
    auto document = test::documentWithShapes();
    document.shapes[0].name = "";
    document.shapes.push_back(document.shapes[1]);  // a second "Text Box 2"
    document.shapes.back().textStory = -1;
    auto opened = adopt(document);
    EXPECT_EQ(opened->Shapes()->item(1)->Name(), "Picture 1");
    EXPECT_EQ(opened->Shapes()->item(2)->Name(), "Text Box 2");
    EXPECT_EQ(opened->Shapes()->item(3)->Name(), "Text Box 3");
}

// Shapes of a Word 97-2003 file are named by their kind whatever name the
// program that wrote it stored; linked pictures report their own types.
TEST_F(NativeWordTest, ShapesOfAWordFileAreNamedByKindAndLinkedPicturesSaySo) {
    auto document = test::documentWithShapes();
    document.format = "doc";
    document.shapes[0].name = "Shape1";      // LibreOffice's name for a picture
    document.shapes[1].name = "Picture 7";  // a text box under a picture's name
    model::FloatingShape link = document.shapes[0];
    link.name = "Imagem 269";
    link.type = model::shape_type::kLinkedPicture;
    link.textStory = -1;
    document.shapes.push_back(link);
    model::InlineObject linkedInline = document.inlines[0];
    linkedInline.kind = model::InlineKind::LinkedPicture;
    document.inlines.push_back(linkedInline);
    document.main().elements.insert(document.main().elements.begin(), model::Element::inlineObject(1));
    auto opened = adopt(document);
    // Numbered on from the highest number of the kind's names in use.
    EXPECT_EQ(opened->Shapes()->item(1)->Name(), "Picture 8");
    EXPECT_EQ(opened->Shapes()->item(1)->Type(), word::constants::msoPicture);
    EXPECT_EQ(opened->Shapes()->item(2)->Name(), "Text Box 1");
    EXPECT_EQ(opened->Shapes()->item(3)->Name(), "Picture 9");
    EXPECT_EQ(opened->Shapes()->item(3)->Type(), word::constants::msoLinkedPicture);
    ASSERT_EQ(opened->InlineShapes()->count(), 1);
    EXPECT_EQ(opened->InlineShapes()->item(1)->Type(), word::constants::wdInlineShapeLinkedPicture);
    EXPECT_THROW(opened->InlineShapes()->item(1)->OLEFormat(), OfficeError);

    // An RTF document keeps the names it carries.
    auto rtf = test::documentWithShapes();
    rtf.shapes[0].name = "Shape1";
    EXPECT_EQ(adopt(rtf)->Shapes()->item(1)->Name(), "Shape1");
}

TEST_F(NativeWordTest, StackingOrderMovesOneStepOrAllTheWay) {
    auto document = adopt(test::documentWithShapes());
    auto shapes = document->Shapes();
    auto third = shapes->AddShape(wc::msoShapeRectangle, 0, 0, 5, 5);
    auto picture = shapes->item(1);
    auto box = shapes->item(2);
    EXPECT_EQ(box->ZOrderPosition(), 1);
    EXPECT_EQ(picture->ZOrderPosition(), 2);
    EXPECT_EQ(third->ZOrderPosition(), 3);  // added in front of everything
    third->ZOrder(wc::msoSendBackward);
    EXPECT_EQ(third->ZOrderPosition(), 2);
    EXPECT_EQ(picture->ZOrderPosition(), 3);
    third->ZOrder(1);
    EXPECT_EQ(third->ZOrderPosition(), 1);
    box->ZOrder(0);
    EXPECT_EQ(box->ZOrderPosition(), 3);
    box->ZOrder(1);
    box->ZOrder(2);
    EXPECT_EQ(box->ZOrderPosition(), 2);
    third->ZOrder(wc::msoSendBackward);  // already at the back: stays
    EXPECT_EQ(third->ZOrderPosition(), 1);
}

}  // namespace
}  // namespace kelvaran::office::native
