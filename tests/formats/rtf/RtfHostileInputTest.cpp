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

// A {\pict\wbitmap} group with the given words around `data` bytes.
std::string deviceBitmap(int picw, int pich, int bits, int widthBytes, const std::string& data) {
    return "{\\pict\\wbitmap0\\picw" + std::to_string(picw) + "\\pich" + std::to_string(pich) + "\\wbmbitspixel" +
           std::to_string(bits) + "\\wbmplanes1\\wbmwidthbytes" + std::to_string(widthBytes) +
           "\\picwgoal1440\\pichgoal1440 " + hex(data) + "}";
}

bool warned(const model::Document& document, const std::string& part) {
    for (const auto& warning : document.warnings)
        if (warning.find(part) != std::string::npos) return true;
    return false;
}

TEST(RtfHostileInputTest, DeviceBitmapsBecomeBitmapsOfTheirOwnRows) {
    // 3 x 2 pixels, 24 bits: 9 bytes a row, stored 10 a row; the bitmap made
    // of it pads each row to 12 and keeps the pixel bytes.
    std::string rows = "\x01\x02\x03\x04\x05\x06\x07\x08\x09\xAA"
                       "\x11\x12\x13\x14\x15\x16\x17\x18\x19\xBB";
    const auto document = read(wrap(deviceBitmap(3, 2, 24, 10, rows) + "\\par"));
    ASSERT_EQ(document.inlines.size(), 1u);
    const auto& picture = document.inlines[0].picture;
    EXPECT_EQ(picture.type, model::PictureFormat::Dib);
    EXPECT_EQ(picture.pixelWidth, 3);
    EXPECT_EQ(picture.pixelHeight, 2);
    ASSERT_EQ(picture.size(), 40u + 2 * 12);
    EXPECT_EQ(picture.bytes->substr(40, 12), std::string("\x01\x02\x03\x04\x05\x06\x07\x08\x09\xAA\0\0", 12));
    EXPECT_EQ(picture.bytes->substr(52, 12), std::string("\x11\x12\x13\x14\x15\x16\x17\x18\x19\xBB\0\0", 12));
}

TEST(RtfHostileInputTest, DeviceBitmapSizesAreCheckedAgainstTheirDataFirst) {
    // 16 KB that once made the reader pad 8,000 rows of one declared byte to
    // the 262,140 bytes of a 65,535-pixel row: 2 GB.
    const std::string wide = wrap(deviceBitmap(65535, 8000, 32, 1, std::string(8000, '\0')) + "\\par");
    ASSERT_LT(wide.size(), 17000u);
    auto document = read(wide);
    EXPECT_TRUE(document.inlines.empty());
    EXPECT_TRUE(warned(document, "rows shorter than its width")) << ::testing::PrintToString(document.warnings);
    EXPECT_EQ(writeRtf(document), wide);

    // Rows of the right length, but more of them than the data holds.
    document = read(wrap(deviceBitmap(4, 5000, 32, 16, std::string(160, '\x7F')) + "\\par"));
    EXPECT_TRUE(document.inlines.empty());
    EXPECT_TRUE(warned(document, "more rows than its data holds"));

    for (const std::string& words : {deviceBitmap(4, 2, 8, 4, std::string(8, 'x')),      // a depth not made here
                                     deviceBitmap(0, 2, 24, 12, std::string(24, 'x')),    // no width
                                     deviceBitmap(99999, 1, 1, 99999, std::string(8, 'x'))}) {  // beyond 16 bits
        SCOPED_TRACE(words.substr(0, 70));
        document = read(wrap(words + "\\par"));
        EXPECT_TRUE(document.inlines.empty());
        EXPECT_TRUE(warned(document, "device-dependent bitmap"));
    }
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
