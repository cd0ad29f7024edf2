#include "formats/rtf/RtfFormat.h"
#include "platform/AtomicFile.h"
#include "tests/formats/rtf/RtfTestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>

#include <cmath>

namespace kelvaran::formats::rtf {
namespace {

using namespace test;

// What the in-process Word does when a picture is pasted over a selected
// inline one: the old one goes, the new one stands where it was.
int replaceInline(model::Document& document, int object, const model::NewPicture& picture) {
    const auto [story, element] = document.locateInline(object);
    const auto at = document.stories[static_cast<std::size_t>(story)].positionOf(static_cast<std::size_t>(element));
    document.eraseRange(story, at, at + 1);
    model::InlineObject added;
    added.picture = picture.toPictureData();
    added.widthPt = picture.widthPt;
    added.heightPt = picture.heightPt;
    return document.insertInline(story, at, added);
}

TEST(RtfWriterTest, UnchangedDocumentsComeBackByteForByte) {
    std::vector<std::string> files;
    for (const auto& name : generatedRtfFiles()) files.push_back(dataFile("generated/" + name));
    files.push_back(dataFile("formats/rtf/lo-from-word97-four-ole-objects.rtf"));
    // The corpus, but the file LibreOffice cannot read either (its picture's
    // binary bytes hold a brace), which the reader refuses.
    const auto counts = corpusManifestCounts();
    for (const auto& path : corpusRtfFiles()) {
        const auto known = counts.find("rtf/" + std::filesystem::path(path).filename().string());
        if (known != counts.end() && known->second < 0) continue;
        files.push_back(platform::readWholeFile(path));
    }
    ASSERT_GE(files.size(), 20u);
    for (const auto& bytes : files) {
        const auto document = read(bytes);
        EXPECT_EQ(writeRtf(document), bytes);
    }
    // A size set back to what it was is a change of nothing but the words.
    auto document = read(dataFile("generated/gen-inline-pictures.rtf"));
    document.inlines[0].layoutChanged = true;
    const auto again = roundTrip(document);
    EXPECT_NEAR(again.inlines[0].widthPt, document.inlines[0].widthPt, 0.05);
}

TEST(RtfWriterTest, ReplacedInlinePicturesDropTheirFallbackAndKeepTheirSize) {
    const std::string input = dataFile("generated/gen-inline-pictures.rtf");
    auto document = read(input);
    const auto before = inlineSizes(document);
    for (int object : document.inlinesOf(0)) {
        const auto& old = document.inlines[static_cast<std::size_t>(object)];
        replaceInline(document, object, newPng(old.widthPt, old.heightPt));
    }
    std::string written;
    const auto back = roundTrip(document, &written);
    EXPECT_LT(written.size(), input.size() / 50);
    EXPECT_EQ(written.find("nonshppict"), std::string::npos);
    const auto after = inlineSizes(back);
    ASSERT_EQ(after.size(), before.size());
    for (std::size_t i = 0; i < after.size(); ++i) {
        EXPECT_NEAR(after[i].first, before[i].first, 0.05);
        EXPECT_NEAR(after[i].second, before[i].second, 0.05);
        EXPECT_EQ(*back.inlines[i].picture.bytes, tinyPng());
    }
    EXPECT_EQ(back.main().plainText(), read(input).main().plainText());
    // Everything outside the pictures is the input's: the start is the same.
    const std::size_t first = static_cast<std::size_t>(read(input).inlines[0].origin.range.begin);
    EXPECT_EQ(written.substr(0, first), input.substr(0, first));
}

// Pictures that stay lose the copy kept for readers without \shppict, in
// the text and in object results alike; every picture newer readers take is
// still there, byte for byte.
TEST(RtfWriterTest, DroppingFallbackPicturesKeepsEveryPictureNewerReadersUse) {
    for (const std::string name : {"generated/gen-inline-pictures.rtf", "formats/rtf/lo-from-word97-four-ole-objects.rtf"}) {
        SCOPED_TRACE(name);
        const std::string input = dataFile(name);
        auto document = read(input);
        ASSERT_FALSE(document.fallbackPictures.empty());
        EXPECT_EQ(writeRtf(document), input) << "nothing is dropped unless asked";
        document.dropFallbackPictures = true;
        std::string written;
        const auto back = roundTrip(document, &written);
        EXPECT_EQ(written.find("nonshppict"), std::string::npos);
        EXPECT_LT(written.size(), input.size());
        const auto original = read(input);
        ASSERT_EQ(back.inlines.size(), original.inlines.size());
        for (std::size_t i = 0; i < back.inlines.size(); ++i) {
            ASSERT_FALSE(back.inlines[i].picture.empty());
            EXPECT_EQ(*back.inlines[i].picture.bytes, *original.inlines[i].picture.bytes);
            EXPECT_EQ(back.inlines[i].progId, original.inlines[i].progId);
        }
        EXPECT_EQ(inlineSizes(back), inlineSizes(original));
        EXPECT_EQ(back.main().plainText(), original.main().plainText());
        EXPECT_TRUE(back.fallbackPictures.empty());
    }
}

// A \nonshppict group that is the only picture (no \shppict right before it)
// is no fallback and stays; a replaced picture's fallback goes once.
TEST(RtfWriterTest, OnlyTheFallbackRightAfterAShppictIsDropped) {
    const std::string png = "{\\pict\\pngblip\\picw2\\pich2\\picwgoal40\\pichgoal40 " + hex(tinyPng()) + "}";
    const std::string lone = "{\\nonshppict{\\pict\\pngblip\\picw2\\pich2 " + hex(tinyPng()) + "}}";
    const std::string pair = "{\\*\\shppict" + png + "}\r\n{\\nonshppict" + png + "}";
    const std::string input = wrap("A " + pair + " B " + lone + " C " + pair + "\\par ");
    auto document = read(input);
    ASSERT_EQ(document.fallbackPictures.size(), 2u);
    document.dropFallbackPictures = true;
    const auto live = document.inlinesOf(0);
    ASSERT_EQ(live.size(), 2u);
    const auto& first = document.inlines[static_cast<std::size_t>(live[0])];
    replaceInline(document, live[0], newPng(first.widthPt, first.heightPt));
    std::string written;
    const auto back = roundTrip(document, &written);
    EXPECT_NE(written.find(lone), std::string::npos);
    std::size_t fallbacks = 0;
    for (std::size_t at = written.find("nonshppict"); at != std::string::npos; at = written.find("nonshppict", at + 1)) {
        ++fallbacks;
    }
    EXPECT_EQ(fallbacks, 1u) << written;
    EXPECT_EQ(back.inlinesOf(0).size(), 2u);
    EXPECT_EQ(back.main().plainText(), read(input).main().plainText());
}

// A picture of a header or footer is replaced in its own group; the body and
// the other headers keep their bytes.
TEST(RtfWriterTest, HeaderAndFooterPicturesAreReplacedInTheirGroups) {
    const std::string png = "{\\pict\\pngblip\\picw2\\pich2\\picwgoal40\\pichgoal40 " + hex(tinyPng()) + "}";
    const std::string pair = "{\\*\\shppict" + png + "}{\\nonshppict" + png + "}";
    const std::string first = "{\\headerf \\pard F " + pair + "\\par}";
    const std::string odd = "{\\headerr \\pard R " + png + "\\par}";
    const std::string footer = "{\\footer \\pard foot " + png + " end\\par}";
    const std::string input = wrap(first + odd + footer + "\\pard body " + png + "\\par ");
    auto document = read(input);
    ASSERT_EQ(document.stories.size(), 4u);
    ASSERT_EQ(document.inlinesOf(1).size(), 1u);
    ASSERT_EQ(document.inlinesOf(3).size(), 1u);
    replaceInline(document, document.inlinesOf(1)[0], newPng(30, 20));
    replaceInline(document, document.inlinesOf(3)[0], newPng(10, 10));
    std::string written;
    const auto back = roundTrip(document, &written);
    // The untouched header and the body are there byte for byte.
    EXPECT_NE(written.find(odd), std::string::npos);
    EXPECT_NE(written.find("\\pard body " + png + "\\par "), std::string::npos);
    EXPECT_EQ(written.find(first), std::string::npos);
    EXPECT_EQ(written.find(footer), std::string::npos);
    // The replaced pictures stand in their own groups, the fallback of the
    // first-page header's went with its picture.
    ASSERT_EQ(back.stories.size(), 4u);
    EXPECT_EQ(back.stories[1].plainText(), "F \xEF\xBF\xBC\n");
    EXPECT_EQ(back.stories[3].plainText(), "foot \xEF\xBF\xBC end\n");
    ASSERT_EQ(back.inlinesOf(1).size(), 1u);
    ASSERT_EQ(back.inlinesOf(3).size(), 1u);
    const auto& header = back.inlines[static_cast<std::size_t>(back.inlinesOf(1)[0])];
    EXPECT_NEAR(header.widthPt, 30, 0.05);
    EXPECT_NEAR(header.heightPt, 20, 0.05);
    EXPECT_EQ(header.origin.companions.size(), 0u);
    const auto& foot = back.inlines[static_cast<std::size_t>(back.inlinesOf(3)[0])];
    EXPECT_NEAR(foot.widthPt, 10, 0.05);
    EXPECT_EQ(back.inlinesOf(0).size(), 1u);
    EXPECT_EQ(back.main().plainText(), "body \xEF\xBF\xBC\n");
}

// A picture that opens its footer has no text before it: the new one still
// takes the old one's place, not the start of the group that follows.
TEST(RtfWriterTest, APictureOpeningAFooterIsReplacedWhereItStood) {
    const std::string png = "{\\pict\\pngblip\\picw2\\pich2\\picwgoal40\\pichgoal40 " + hex(tinyPng()) + "}";
    const std::string input = wrap("{\\footerr \\pard {\\fs16 " + png + "}{\\ul \\par}}\\pard body\\par ");
    auto document = read(input);
    ASSERT_EQ(document.stories.size(), 2u);
    ASSERT_EQ(document.inlinesOf(1).size(), 1u);
    replaceInline(document, document.inlinesOf(1)[0], newPng(30, 20));
    std::string written;
    const auto back = roundTrip(document, &written);
    const auto footer = written.find("{\\footerr \\pard {\\fs16 {\\*\\shppict{\\pict");
    EXPECT_NE(footer, std::string::npos) << written;
    EXPECT_NE(written.find("}}{\\ul \\par}}", footer), std::string::npos) << written;
    ASSERT_EQ(back.inlinesOf(1).size(), 1u);
    EXPECT_NEAR(back.inlines[static_cast<std::size_t>(back.inlinesOf(1)[0])].widthPt, 30, 0.05);
}

TEST(RtfWriterTest, StreamedAndCountedOutputIsTheWrittenOne) {
    for (const auto& name : generatedRtfFiles()) {
        auto document = read(dataFile("generated/" + name));
        // Unchanged, then with every inline picture replaced.
        for (int pass = 0; pass < 2; ++pass) {
            const std::string whole = writeRtf(document);
            std::string streamed;
            std::size_t pieces = 0;
            writeRtf(document, [&](std::string_view piece) {
                streamed.append(piece);
                ++pieces;
            });
            EXPECT_EQ(streamed, whole) << name;
            EXPECT_EQ(rtfSize(document), whole.size()) << name;
            if (pass == 1 && !document.inlinesOf(0).empty()) {
                EXPECT_GT(pieces, 1u) << name;
            }
            for (int object : document.inlinesOf(0)) {
                const auto& old = document.inlines[static_cast<std::size_t>(object)];
                replaceInline(document, object, newPng(old.widthPt, old.heightPt));
            }
        }
    }
}

TEST(RtfWriterTest, ReplacedObjectBecomesAPlainPicture) {
    const std::string body = "A{\\object\\objemb\\objw2000\\objh1000{\\*\\objclass Excel.Sheet.8}"
                             "{\\*\\objdata 01050000020000000e000000457863656c2e53686565742e3800}"
                             "{\\result{\\pict\\pngblip\\picwgoal2000\\pichgoal1000 " + hex(tinyPng()) + "}}}B\\par";
    auto document = read(wrap(body));
    ASSERT_EQ(document.inlines.size(), 1u);
    replaceInline(document, 0, newPng(100, 50));
    std::string written;
    const auto back = roundTrip(document, &written);
    EXPECT_EQ(written.find("\\object"), std::string::npos);
    EXPECT_EQ(written.find("objdata"), std::string::npos);
    ASSERT_EQ(back.inlines.size(), 1u);
    EXPECT_EQ(back.inlines[0].kind, model::InlineKind::Picture);
    EXPECT_EQ(back.main().plainText(), "A\xEF\xBF\xBC" "B\n");
}

TEST(RtfWriterTest, DeletedAndAddedInlinesAndNewSizes) {
    auto document = read(dataFile("generated/gen-inline-pictures.rtf"));
    const auto objects = document.inlinesOf(0);
    document.inlines[static_cast<std::size_t>(objects[1])].widthPt = 50;
    document.inlines[static_cast<std::size_t>(objects[1])].heightPt = 40;
    document.inlines[static_cast<std::size_t>(objects[1])].layoutChanged = true;
    auto [story, element] = document.locateInline(objects[2]);
    const auto at = document.main().positionOf(static_cast<std::size_t>(element));
    document.eraseRange(0, at, at + 1);
    // A new picture in the middle of the first line's text.
    model::InlineObject added;
    added.picture = newPng(30, 20).toPictureData();
    added.widthPt = 30;
    added.heightPt = 20;
    document.insertInline(0, 3, added);
    const auto back = roundTrip(document);
    const auto sizes = inlineSizes(back);
    ASSERT_EQ(sizes.size(), 3u);
    EXPECT_NEAR(sizes[0].first, 30, 0.05);
    EXPECT_NEAR(sizes[2].first, 50, 0.05);
    EXPECT_NEAR(sizes[2].second, 40, 0.05);
    EXPECT_EQ(back.main().plainText().substr(0, 6), "Inl\xEF\xBF\xBC");
    EXPECT_EQ(back.main().plainText(), document.main().plainText());
}

TEST(RtfWriterTest, FloatingShapesMovedReplacedAddedAndDeleted) {
    auto document = read(dataFile("generated/gen-floating-rotated-wrapped.rtf"));
    ASSERT_EQ(document.shapes.size(), 3u);
    // Move and turn the first one, wrap it tightly.
    auto& first = document.shapes[0];
    first.leftPt = 40;
    first.topPt = 12.5;
    first.rotation = 15;
    first.wrap.type = 1;
    first.wrap.side = 2;
    first.layoutChanged = true;
    // Replace the second with a new picture in its place.
    model::FloatingShape replacement = document.shapes[1];
    replacement.origin = {};
    replacement.picture = newPng(170, 127).toPictureData();
    replacement.name = "Picture 7";
    const int added = document.addShape(replacement);
    document.shapes[static_cast<std::size_t>(added)].standsFor = 1;
    document.deleteShape(1);
    // Delete the third; add a new text box anchored to the second paragraph.
    document.deleteShape(2);
    model::FloatingShape box;
    box.type = model::shape_type::kTextBox;
    box.name = "Text Box 9";
    box.widthPt = 100;
    box.heightPt = 50;
    box.anchor = {0, 2};
    model::Story text;
    text.kind = model::StoryKind::TextBox;
    text.elements.push_back(model::Element::textRun("Boxed {text}", 12));
    text.elements.push_back(model::Element::paragraphMark());
    document.stories.push_back(text);
    const int boxIndex = document.addShape(box);
    document.shapes[static_cast<std::size_t>(boxIndex)].textStory = static_cast<int>(document.stories.size()) - 1;
    document.stories.back().owner = boxIndex;

    std::string written;
    const auto back = roundTrip(document, &written);
    ASSERT_EQ(back.shapes.size(), 3u);
    const auto& moved = back.shapes[0];
    EXPECT_DOUBLE_EQ(moved.leftPt, 40);
    EXPECT_DOUBLE_EQ(moved.topPt, 12.5);
    EXPECT_DOUBLE_EQ(moved.rotation, 15);
    EXPECT_EQ(moved.wrap.type, 1);
    EXPECT_EQ(moved.wrap.side, 2);
    EXPECT_EQ(moved.picture.size(), document.shapes[0].picture.size());
    const auto& replaced = back.shapes[1];
    EXPECT_EQ(replaced.name, "Picture 7");
    EXPECT_EQ(*replaced.picture.bytes, tinyPng());
    EXPECT_EQ(replaced.wrap.type, 5);
    EXPECT_TRUE(replaced.behindText);
    EXPECT_EQ(replaced.relative.horizontalPosition, document.shapes[1].relative.horizontalPosition);
    EXPECT_NEAR(replaced.leftPt, document.shapes[1].leftPt, 0.05);
    EXPECT_NEAR(replaced.widthPt, document.shapes[1].widthPt, 0.05);
    // Standing in the deleted one's paragraph.
    EXPECT_EQ(replaced.anchor.element, document.shapes[1].anchor.element);
    const auto& newBox = back.shapes[2];
    EXPECT_EQ(newBox.type, model::shape_type::kTextBox);
    ASSERT_GT(newBox.textStory, 0);
    EXPECT_EQ(back.stories[static_cast<std::size_t>(newBox.textStory)].plainText(), "Boxed {text}\n");
    EXPECT_EQ(back.main().plainText(), document.main().plainText());
    EXPECT_LT(written.size(), 200000u);
}

TEST(RtfWriterTest, PictureInATextBoxIsReplacedInsideTheBox) {
    auto document = read(dataFile("generated/gen-textbox-picture.rtf"));
    const int story = document.shapes[0].textStory;
    const auto objects = document.inlinesOf(story);
    ASSERT_EQ(objects.size(), 1u);
    const auto [s, e] = document.locateInline(objects[0]);
    const auto at = document.stories[static_cast<std::size_t>(s)].positionOf(static_cast<std::size_t>(e));
    document.eraseRange(s, at, at + 1);
    model::InlineObject added;
    added.picture = newPng(141, 105.75).toPictureData();
    added.widthPt = 141;
    added.heightPt = 105.75;
    document.insertInline(s, at, added);
    const auto back = roundTrip(document);
    ASSERT_EQ(back.shapes.size(), 1u);
    const auto inBox = back.inlinesOf(back.shapes[0].textStory);
    ASSERT_EQ(inBox.size(), 1u);
    EXPECT_EQ(*back.inlines[static_cast<std::size_t>(inBox[0])].picture.bytes, tinyPng());
    EXPECT_TRUE(back.inlinesOf(0).empty());
    EXPECT_EQ(back.stories[static_cast<std::size_t>(back.shapes[0].textStory)].plainText(),
              document.stories[static_cast<std::size_t>(story)].plainText());
}

TEST(RtfWriterTest, GroupsMadeAndTakenApart) {
    const std::string pict = "{\\pict\\pngblip\\picwgoal400\\pichgoal400 " + hex(tinyPng()) + "}";
    auto shape = [&](int left) {
        return "{\\shp{\\*\\shpinst\\shpleft" + std::to_string(left) + "\\shptop0\\shpright" + std::to_string(left + 400) +
               "\\shpbottom400{\\sp{\\sn shapeType}{\\sv 75}}{\\sp{\\sn pib}{\\sv " + pict + "}}}}";
    };
    auto document = read(wrap("A" + shape(0) + shape(1000) + "B\\par"));
    ASSERT_EQ(document.shapes.size(), 2u);
    // Grouped in memory, as the in-process Word does.
    model::FloatingShape group;
    group.type = model::shape_type::kGroup;
    group.name = "Group 3";
    group.leftPt = 0;
    group.topPt = 0;
    group.widthPt = 70;
    group.heightPt = 20;
    group.anchor = document.shapes[0].anchor;
    group.children = {0, 1};
    const int g = document.addShape(group);
    for (int member : {0, 1}) {
        document.shapes[static_cast<std::size_t>(member)].parent = g;
        document.shapes[static_cast<std::size_t>(member)].layoutChanged = true;
    }
    auto back = roundTrip(document);
    ASSERT_EQ(back.topLevelShapes().size(), 1u);
    const auto& made = back.shapes[static_cast<std::size_t>(back.topLevelShapes()[0])];
    EXPECT_EQ(made.type, model::shape_type::kGroup);
    ASSERT_EQ(made.children.size(), 2u);
    EXPECT_DOUBLE_EQ(back.shapes[static_cast<std::size_t>(made.children[1])].leftPt, 50);
    EXPECT_EQ(back.main().plainText(), "AB\n");

    // And taken apart again: the members stand on their own.
    const int read = back.topLevelShapes()[0];
    for (int member : back.shapes[static_cast<std::size_t>(read)].children) {
        auto& entry = back.shapes[static_cast<std::size_t>(member)];
        entry.parent = -1;
        entry.ungroupedFrom = read;
        entry.layoutChanged = true;
    }
    back.shapes[static_cast<std::size_t>(read)].children.clear();
    back.shapes[static_cast<std::size_t>(read)].edit = model::EditState::Deleted;
    const auto apart = roundTrip(back);
    EXPECT_EQ(apart.topLevelShapes().size(), 2u);
    for (const auto& entry : apart.shapes) EXPECT_EQ(entry.type, model::shape_type::kPicture);
    EXPECT_DOUBLE_EQ(apart.shapes[1].leftPt, 50);
}

TEST(RtfWriterTest, NewDocumentHoldsWhatIsPastedIntoIt) {
    model::Document fresh = newRtfDocument();
    EXPECT_EQ(fresh.format, "rtf");
    const std::string empty = writeRtf(fresh);
    EXPECT_NE(empty.find("\\ansicpg932"), std::string::npos);
    EXPECT_NE(empty.find("\\fcharset128"), std::string::npos);
    const auto reread = read(empty);
    EXPECT_TRUE(reread.inlines.empty());

    // A picture copied from a document keeps its own bytes: the scratch
    // document measures what it really costs, fallback copy included.
    const std::string input = dataFile("generated/gen-inline-pictures.rtf");
    const auto source = read(input);
    fresh.insertInline(0, 0, source.inlines[0]);
    const std::string written = writeRtf(fresh);
    const auto& range = source.inlines[0].origin.range;
    EXPECT_NE(written.find(input.substr(static_cast<std::size_t>(range.begin), static_cast<std::size_t>(range.length()))),
              std::string::npos);
    EXPECT_GT(written.size(), static_cast<std::size_t>(range.length() + source.inlines[0].origin.companions[0].length()));
    const auto back = read(written);
    ASSERT_EQ(back.inlines.size(), 1u);
    EXPECT_NEAR(back.inlines[0].widthPt, source.inlines[0].widthPt, 0.01);

    // A new picture and Japanese text, written from the model.
    model::Document other = newRtfDocument();
    other.insertElement(0, 0, model::Element::textRun("写真 {1}", 6));
    model::InlineObject picture;
    picture.picture = newPng(20, 10).toPictureData();
    picture.widthPt = 20;
    picture.heightPt = 10;
    other.insertInline(0, 6, picture);
    const auto again = roundTrip(other);
    EXPECT_EQ(again.main().plainText(), "写真 {1}\xEF\xBF\xBC\n");
    ASSERT_EQ(again.inlines.size(), 1u);
    EXPECT_DOUBLE_EQ(again.inlines[0].widthPt, 20);
}

// A scratch document measures pictures pasted from another file: their bytes
// reach the sink straight from that file, not copied, and the count, the
// stream and the string agree, with text around them and a size changed.
TEST(RtfWriterTest, PastedPicturesAreStreamedFromTheirOwnFile) {
    const std::string input = dataFile("generated/gen-inline-pictures.rtf");
    const auto source = read(input);
    ASSERT_GE(source.inlines.size(), 1u);
    const std::string_view file = *source.source;
    model::Document fresh = newRtfDocument();
    fresh.insertElement(0, 0, model::Element::textRun("a {b}", 5));
    fresh.insertInline(0, 5, source.inlines[0]);
    model::InlineObject resized = source.inlines[0];
    resized.widthPt *= 2;
    resized.layoutChanged = true;
    fresh.insertInline(0, 6, resized);

    const std::string whole = writeRtf(fresh);
    std::string streamed;
    std::size_t fromFile = 0;
    writeRtf(fresh, [&](std::string_view piece) {
        streamed.append(piece);
        if (!piece.empty() && piece.data() >= file.data() && piece.data() + piece.size() <= file.data() + file.size()) {
            fromFile += piece.size();
        }
    });
    EXPECT_EQ(streamed, whole);
    EXPECT_EQ(rtfSize(fresh), whole.size());
    // The unchanged picture and both fallback copies come from the file;
    // the resized picture is written with its new size.
    std::int64_t companions = 0;
    for (const auto& companion : source.inlines[0].origin.companions) companions += companion.length();
    EXPECT_GT(companions, 0);
    EXPECT_EQ(fromFile, static_cast<std::size_t>(source.inlines[0].origin.range.length() + 2 * companions));
    const auto back = read(whole);
    ASSERT_EQ(back.inlines.size(), 2u);
    EXPECT_NEAR(back.inlines[0].widthPt, source.inlines[0].widthPt, 0.01);
    EXPECT_NEAR(back.inlines[1].widthPt, source.inlines[0].widthPt * 2, 0.01);
    EXPECT_EQ(back.main().plainText().substr(0, 5), "a {b}");
}

TEST(RtfWriterTest, TurnedShapesAreWrittenWithinHalfATurn) {
    auto document = read(dataFile("generated/gen-floating-rotated-wrapped.rtf"));
    ASSERT_NEAR(document.shapes[0].rotation, 330, 0.01);
    document.shapes[0].layoutChanged = true;
    document.shapes[0].leftPt += 1;
    const std::string written = writeRtf(document);
    EXPECT_NE(written.find("{\\sn rotation}{\\sv -1966080}"), std::string::npos);
    EXPECT_EQ(written.find("21626880"), std::string::npos) << "330 degrees turn the other way in LibreOffice";
    const auto back = read(written);
    EXPECT_NEAR(back.shapes[0].rotation, 330, 0.01);
}

TEST(RtfWriterTest, WhatRtfCannotHoldIsRefused) {
    auto document = read(dataFile("generated/gen-inline-pictures.rtf"));
    model::NewPicture tiff = newPng(10, 10);
    tiff.type = model::PictureFormat::Tiff;
    tiff.bytes = model::shareBytes(std::string("II*\0", 4));
    replaceInline(document, 0, tiff);
    EXPECT_THROW(writeRtf(document), model::FormatError);

    // GIFs reach documents as PNGs; one that gets here is refused.
    auto withGif = read(dataFile("generated/gen-inline-pictures.rtf"));
    model::NewPicture gif = newPng(10, 10);
    gif.type = model::PictureFormat::Gif;
    gif.bytes = model::shareBytes("GIF89a");
    replaceInline(withGif, 0, gif);
    EXPECT_THROW(writeRtf(withGif), model::FormatError);

    auto sized = read(dataFile("generated/gen-inline-pictures.rtf"));
    sized.inlines[0].widthPt = std::nan("");
    sized.inlines[0].layoutChanged = true;
    EXPECT_THROW(writeRtf(sized), model::FormatError);
}

TEST(RtfWriterTest, DeletingAGroupAfterAControlWordKeepsTheWordApart) {
    // "\b{...}text": without a space the word would swallow the text.
    const std::string input = wrap("\\b{\\*\\shppict{\\pict\\pngblip\\picwgoal20\\pichgoal20 " + hex(tinyPng()) +
                                   "}}text\\par");
    auto document = read(input);
    ASSERT_EQ(document.inlines.size(), 1u);
    document.eraseRange(0, 0, 1);
    std::string written;
    const auto back = roundTrip(document, &written);
    EXPECT_NE(written.find("\\b text"), std::string::npos) << written;
    EXPECT_EQ(back.main().plainText(), "text\n");
}

}  // namespace
}  // namespace kelvaran::formats::rtf
