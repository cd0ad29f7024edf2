#include "formats/rtf/RtfGif.h"

#include "formats/model/FormatError.h"
#include "formats/rtf/RtfFormat.h"
#include "imaging/Imaging.h"
#include "platform/AtomicFile.h"
#include "tests/formats/rtf/RtfTestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <random>

namespace kelvaran::formats::rtf {
namespace {

namespace fs = std::filesystem;

std::string seed(const std::string& name) {
    return platform::readWholeFile((fs::path(KELVARAN_SOURCE_DIR) / "fuzz/corpus/imaging_decode" / name).string());
}

void expectSamePixels(const std::string& gif) {
    const auto png = gifToPng(gif);
    ASSERT_TRUE(png.has_value());
    const auto before = imaging::decode(gif, imaging::PictureType::Gif);
    const auto after = imaging::decode(*png, imaging::PictureType::Png);
    ASSERT_EQ(after.width, before.width);
    ASSERT_EQ(after.height, before.height);
    EXPECT_TRUE(after.rgba == before.rgba);
}

TEST(RtfGifTest, GifsBecomePngsWithTheSamePixels) {
    expectSamePixels(seed("alpha.gif"));
    expectSamePixels(seed("gradient.gif"));
    // What the program's own encoder makes, transparency included.
    imaging::Image image;
    image.width = 37;
    image.height = 23;
    image.rgba.resize(static_cast<std::size_t>(image.width) * image.height * 4);
    std::mt19937 random(3);
    for (std::size_t i = 0; i < image.rgba.size(); i += 4) {
        image.rgba[i] = static_cast<std::uint8_t>(random());
        image.rgba[i + 1] = static_cast<std::uint8_t>(random());
        image.rgba[i + 2] = static_cast<std::uint8_t>(random());
        image.rgba[i + 3] = i % 7 == 0 ? 0 : 255;
    }
    expectSamePixels(imaging::encodeGif(image));
}

TEST(RtfGifTest, DamagedGifsAreRefused) {
    const std::string gif = seed("gradient.gif");
    EXPECT_FALSE(gifToPng("").has_value());
    EXPECT_FALSE(gifToPng("GIF89a").has_value());
    EXPECT_FALSE(gifToPng(gif.substr(0, 20)).has_value());
    std::string huge = gif;
    huge[6] = huge[7] = huge[8] = huge[9] = '\xFF';  // 65535 x 65535
    EXPECT_FALSE(gifToPng(huge).has_value());
    std::mt19937 random(11);
    for (int round = 0; round < 300; ++round) {
        std::string scrambled = gif;
        for (int i = 0; i < 3; ++i) scrambled[random() % scrambled.size()] = static_cast<char>(random());
        EXPECT_NO_THROW(gifToPng(scrambled));
    }
}

TEST(RtfGifTest, APastedGifIsWrittenAsPng) {
    model::Document document = newRtfDocument();
    model::InlineObject object;
    object.picture.type = model::PictureFormat::Gif;
    object.picture.bytes = model::shareBytes(seed("gradient.gif"));
    object.widthPt = 40;
    object.heightPt = 30;
    document.insertInline(0, 0, object);
    const auto back = test::roundTrip(document);
    ASSERT_EQ(back.inlines.size(), 1u);
    EXPECT_EQ(back.inlines[0].picture.type, model::PictureFormat::Png);
    EXPECT_DOUBLE_EQ(back.inlines[0].widthPt, 40);
    object.picture.bytes = model::shareBytes("GIF89a broken");
    model::Document broken = newRtfDocument();
    broken.insertInline(0, 0, object);
    EXPECT_THROW(writeRtf(broken), model::FormatError);
}

}  // namespace
}  // namespace kelvaran::formats::rtf
