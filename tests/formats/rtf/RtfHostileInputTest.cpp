#include "formats/rtf/RtfFormat.h"
#include "tests/formats/rtf/RtfTestSupport.h"

#include <gtest/gtest.h>

namespace kelvaran::formats::rtf {
namespace {

using namespace test;

void expectRefused(const std::string& bytes, const std::string& reasonPart) {
    try {
        read(bytes);
        ADD_FAILURE() << "accepted: " << bytes.substr(0, 60);
    } catch (const model::FormatError& error) {
        EXPECT_NE(std::string(error.what()).find(reasonPart), std::string::npos) << error.what();
    }
}

TEST(RtfHostileInputTest, BrokenStructureIsRefusedWithAReason) {
    expectRefused("", "not an RTF document");
    expectRefused("{\\rtfx}", "not an RTF document");
    expectRefused("PK\x03\x04", "not an RTF document");
    expectRefused("{\\rtf1 {\\b unclosed", "unbalanced");
    expectRefused("{\\rtf1{{{{{{{{{{\\bin999999999999 abc}}}", "unbalanced");
    expectRefused("{\\rtf1 {\\pict\\pngblip 8950", "unbalanced");
    expectRefused("{\\rtf1 \\" + std::string(100, 'x') + "}", "longer than");
    // The end-to-end case: a picture cut off in the middle.
    std::string cut = dataFile("generated/gen-inline-pictures.rtf");
    cut.resize(cut.size() / 3);
    expectRefused(cut, "unbalanced");
}

TEST(RtfHostileInputTest, TheReasonNamesTheGroupLeftOpen) {
    // A brace among the \bin bytes is data; two groups stay open all the same.
    expectRefused("{\\rtf1{\\pard{\\object{\\result{\\pict\\wmetafile8\\bin4 \xff}\xff\xff}}}x",
                  "2 groups are still open, the innermost (\\pard) at byte 6: its braces are unbalanced");
    expectRefused("{\\rtf1 {\\*\\shppict{\\pict\\pngblip 8950}", "2 groups are still open, the innermost (\\shppict) at byte 7");
    expectRefused("{\\rtf1 x", "1 group is still open, the innermost (\\rtf) at byte 0");
    // A \bin length beyond the end of the file says so.
    expectRefused("{\\rtf1 {\\pict\\bin999 ab}}", "the \\bin data at byte 13 claims 999 bytes");
}

TEST(RtfHostileInputTest, DeepNestingIsLeftAsItIs) {
    const std::string deep = std::string(100000, '{') + "x" + std::string(100000, '}');
    const std::string input = "{\\rtf1 a" + deep + "b\\par}";
    const auto document = read(input);
    EXPECT_EQ(writeRtf(document), input);
    EXPECT_FALSE(document.warnings.empty());
    const std::string text = document.main().plainText();
    EXPECT_EQ(text.front(), 'a');
}

TEST(RtfHostileInputTest, DamagedPicturesStayAsTheyAre) {
    const std::string body = "{\\pict\\pngblip\\picwgoal20\\pichgoal20 89504g}"      // not hex
                             "{\\pict\\pngblip\\picwgoal20\\pichgoal20 89504}"       // odd count
                             "{\\pict\\pngblip\\picwgoal20\\pichgoal20 }"            // no data
                             "{\\pict\\pngblip\\picwgoal20\\pichgoal20 8950\\bin2 ab}"  // mixed
                             "{\\pict\\picwgoal20\\pichgoal20 0102030405}"           // unknown type
                             "{\\pict\\pngblip\\picwgoal-5\\pichgoal0\\picscalex-3 " + hex(tinyPng()) + "}ok\\par";
    const std::string input = wrap(body);
    const auto document = read(input);
    // Only the last picture has readable data; its absurd size words fall
    // back to the picture's own size.
    ASSERT_EQ(document.inlines.size(), 1u);
    EXPECT_GT(document.inlines[0].widthPt, 0);
    EXPECT_FALSE(document.warnings.empty());
    EXPECT_EQ(writeRtf(document), input);
}

TEST(RtfHostileInputTest, TrailingBytesAndStrayBracesSurvive) {
    const std::string input = wrap("text\\par") + "}}\0\0garbage{";
    const auto document = read(input);
    EXPECT_EQ(writeRtf(document), input);
    EXPECT_EQ(document.main().plainText(), "text\n");
}

TEST(RtfHostileInputTest, HugeHexRunInAPictureIsReadOnce) {
    // 8 MB of hex digits in one line: read without trouble, within the input's size.
    const std::string digits(8 << 20, 'a');
    const std::string input = wrap("{\\pict\\jpegblip\\picwgoal20\\pichgoal20 " + digits + "}\\par");
    const auto document = read(input);
    ASSERT_EQ(document.inlines.size(), 1u);
    EXPECT_EQ(document.inlines[0].picture.size(), digits.size() / 2);
}

}  // namespace
}  // namespace kelvaran::formats::rtf
