// Where the writer puts a picture pasted in the place of one it erased when
// nothing before it in its story has a place in the file: in the erased
// picture's own place, never before the next text left (which may stand
// inside a linked picture's field, where readers do not count pictures),
// and never in the place of a picture of another story.

#include "formats/rtf/RtfFormat.h"
#include "fuzz/DocumentEdits.h"
#include "tests/formats/rtf/RtfTestSupport.h"

#include <gtest/gtest.h>

namespace kelvaran::formats::rtf {
namespace {

using namespace test;

std::string pict(int goal, const std::string& damage = "") {
    return "{\\pict\\pngblip\\picwgoal" + std::to_string(goal) + "\\pichgoal300 " + hex(tinyPng()) + damage + "}";
}

// Where the group opened at `open` ends.
std::size_t groupEnd(const std::string& text, std::size_t open) {
    int depth = 0;
    for (std::size_t i = open; i < text.size(); ++i) {
        if (text[i] == '\\') {
            ++i;
        } else if (text[i] == '{') {
            ++depth;
        } else if (text[i] == '}' && --depth == 0) {
            return i;
        }
    }
    return std::string::npos;
}

const std::string kLinkedField =
    "{\\field{\\*\\fldinst INCLUDEPICTURE \"a.png\"}{\\fldrslt shown}}";

TEST(RtfReplacedPicturePlaceTest, PicturesAtTheStartStayOutsideALinkedPicturesField) {
    // The first two pictures have nothing with a place before them; the
    // first text left is the linked field's result.
    const std::string file = wrap(pict(300) + pict(400) + kLinkedField + pict(500) + "\\par ");
    model::Document document = read(file);
    ASSERT_EQ(fuzz::countPictures(document), 3);
    ASSERT_EQ(fuzz::replaceEveryPicture(document), 3);
    std::string written;
    const model::Document again = roundTrip(document, &written);
    EXPECT_EQ(fuzz::countPictures(again), 3) << written;
    // Both new pictures stand before the field, the third after it.
    const std::size_t field = written.find("{\\field");
    ASSERT_NE(field, std::string::npos);
    const std::size_t first = written.find("\\pngblip");
    const std::size_t second = written.find("\\pngblip", first + 1);
    const std::size_t third = written.find("\\pngblip", second + 1);
    EXPECT_LT(second, field);
    EXPECT_GT(third, field);
    EXPECT_EQ(written.find("\\picwgoal", third + 1), std::string::npos) << "a picture written twice";
}

TEST(RtfReplacedPicturePlaceTest, EachReplacedPictureTakesItsOwnPlace) {
    // A bookmark between the two pictures is no element of the text: the
    // second new picture goes after it, where the second old one was.
    const std::string mark = "{\\*\\bkmkstart here}{\\*\\bkmkend here}";
    const std::string file = wrap(pict(300) + mark + pict(400) + "text\\par ");
    model::Document document = read(file);
    ASSERT_EQ(fuzz::replaceEveryPicture(document), 2);
    std::string written;
    const model::Document again = roundTrip(document, &written);
    EXPECT_EQ(fuzz::countPictures(again), 2);
    const std::size_t first = written.find("\\pngblip");
    const std::size_t bookmark = written.find(mark);
    const std::size_t second = written.find("\\pngblip", first + 1);
    ASSERT_NE(bookmark, std::string::npos);
    EXPECT_LT(first, bookmark) << written;
    EXPECT_GT(second, bookmark) << written;
    EXPECT_LT(second, written.find("text\\par"));
}

TEST(RtfReplacedPicturePlaceTest, APictureOfTheHeaderErasedIsNoPlaceForOneOfTheText) {
    const std::string header = "{\\header " + pict(700) + "\\par }";
    const std::string file = wrap(header + pict(300) + kLinkedField + "\\par ");
    model::Document document = read(file);
    ASSERT_GE(document.stories.size(), 2u);
    int headerStory = -1;
    for (std::size_t s = 1; s < document.stories.size(); ++s) {
        if (document.stories[s].kind == model::StoryKind::Header) headerStory = static_cast<int>(s);
    }
    ASSERT_GE(headerStory, 0);
    ASSERT_EQ(document.inlinesOf(headerStory).size(), 1u);
    document.eraseRange(headerStory, 0, 1);
    ASSERT_EQ(fuzz::replaceEveryPicture(document), 1);
    std::string written;
    const model::Document again = roundTrip(document, &written);
    EXPECT_EQ(fuzz::countPictures(again), 1) << written;
    // The header lost its picture; the new one stands in the text, before the field.
    const std::size_t inHeader = written.find("{\\header");
    ASSERT_NE(inHeader, std::string::npos);
    const std::size_t headerEnd = written.find('}', inHeader);
    const std::size_t picture = written.find("\\pngblip");
    EXPECT_GT(picture, headerEnd) << written;
    EXPECT_LT(picture, written.find("{\\field")) << written;
    EXPECT_EQ(written.find(pict(700)), std::string::npos);
}

TEST(RtfReplacedPicturePlaceTest, DamagedPicturesAroundTheReplacedOnesStayOnce) {
    // Pictures whose data is damaged (a stray letter, a NUL, a raw byte) are
    // kept as they are; the sound ones around them are replaced in place.
    const std::string strayLetter = pict(110, "0z");
    const std::string nul = pict(120, std::string("0\0", 2) + "0");
    const std::string raw = pict(130, "\xff\xff");
    const std::string file =
        wrap(pict(300) + strayLetter + nul + pict(400) + raw + kLinkedField + pict(500) + "\\par ");
    model::Document document = read(file);
    ASSERT_EQ(fuzz::countPictures(document), 3);
    ASSERT_EQ(fuzz::replaceEveryPicture(document), 3);
    std::string written;
    const model::Document again = roundTrip(document, &written);
    EXPECT_EQ(fuzz::countPictures(again), 3) << written;
    for (const std::string& kept : {strayLetter, nul, raw}) {
        const std::size_t at = written.find(kept);
        EXPECT_NE(at, std::string::npos);
        EXPECT_EQ(written.find(kept, at + 1), std::string::npos);
    }
    EXPECT_LT(written.find(raw), written.find("{\\field"));
}

TEST(RtfReplacedPicturePlaceTest, AHeaderOfOnlyAPictureGetsTheNewPictureInItsPlace) {
    // Nothing with a place in the file before or after the picture in its
    // story: the header's group bounds where the new one goes.
    for (const std::string& text : {std::string("text\\par "), std::string("text")}) {
        SCOPED_TRACE(text);
        const std::string file = wrap("{\\header " + pict(700) + "}" + pict(300) + text);
        model::Document document = read(file);
        const int pictures = fuzz::countPictures(document);
        ASSERT_EQ(fuzz::replaceEveryPicture(document), pictures);
        std::string written;
        ASSERT_NO_THROW(written = writeRtf(document));
        const model::Document again = read(written);
        EXPECT_EQ(fuzz::countPictures(again), pictures) << written;
        // One new picture inside the header's group, the other after it.
        const std::size_t header = written.find("{\\header");
        ASSERT_NE(header, std::string::npos);
        const std::size_t close = groupEnd(written, header);
        const std::size_t first = written.find("\\pngblip");
        const std::size_t second = written.find("\\pngblip", first + 1);
        EXPECT_GT(first, header);
        EXPECT_LT(first, close) << written;
        EXPECT_GT(second, close) << written;
        EXPECT_NE(second, std::string::npos);
        EXPECT_EQ(written.find(pict(700)), std::string::npos);
        EXPECT_EQ(written.find(pict(300)), std::string::npos);
    }
}

}  // namespace
}  // namespace kelvaran::formats::rtf
