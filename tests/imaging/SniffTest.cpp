#include "imaging/Imaging.h"
#include "tests/imaging/TestPictures.h"

#include <gtest/gtest.h>

#include <random>

namespace kelvaran::imaging {
namespace {

TEST(Sniff, RecognisesEveryEncodedRasterType) {
    Image img = test::gradient(8, 6);
    EXPECT_EQ(sniff(encodeJpeg(img)), PictureType::Jpeg);
    EXPECT_EQ(sniff(encodePng(img)), PictureType::Png);
    EXPECT_EQ(sniff(encodeGif(img)), PictureType::Gif);
    EXPECT_EQ(sniff(encodeEmfFromImage(img, 6, 4.5)), PictureType::Emf);
    EXPECT_EQ(sniff(std::string("II*\0\x08\0\0\0", 8)), PictureType::Tiff);
    EXPECT_EQ(sniff(std::string("MM\0*\0\0\0\x08", 8)), PictureType::Tiff);
}

TEST(Sniff, TellsFileBitmapsFromBareOnes) {
    Image img = test::gradient(5, 3);
    EXPECT_EQ(sniff(test::bmpFileFrom(img)), PictureType::Bmp);
    EXPECT_EQ(sniff(test::dibFrom(img, 24)), PictureType::Dib);
    EXPECT_EQ(sniff(test::dibFrom(img, 24, true)), PictureType::Dib);
    // A V5 header (124 bytes) is a bitmap too.
    std::string v5 = test::dibFrom(img, 24);
    v5[0] = 124;
    EXPECT_EQ(sniff(v5 + std::string(84, '\0')), PictureType::Dib);
}

TEST(Sniff, RecognisesBothWindowsMetafileForms) {
    EXPECT_EQ(sniff(test::wmfWithRectangle(10, 10, 0, 0, 5, 5, 0)), PictureType::Wmf);
    EXPECT_EQ(sniff(test::wmfWithRectangle(10, 10, 0, 0, 5, 5, 0, false)), PictureType::Wmf);
    EXPECT_EQ(sniff(test::emfWithRectangle(10, 10, 0, 0, 5, 5, 0)), PictureType::Emf);
}

TEST(Sniff, RecognisesPictOpcodeStreamsWithAndWithoutTheFileHeader) {
    // Picture size, frame (top, left, bottom, right), version 2 opcode, and
    // the stream cut short inside the header opcode.
    std::string pict("\x00\x00\x00\x00\x00\x00\x00\x40\x00\x80\x00\x11\x02\xFF\x0C\x00", 16);
    EXPECT_EQ(sniff(pict), PictureType::Pict);
    EXPECT_EQ(sniff(std::string(512, '\0') + pict), PictureType::Pict);
    try {
        render(pict, PictureType::Pict, 10, 10);
        FAIL() << "a PICT cut short after its header must be refused";
    } catch (const ImagingError& e) {
        EXPECT_NE(std::string(e.what()).find("PICT"), std::string::npos) << e.what();
    }
}

TEST(Sniff, GarbageAndShortInputAreUnknown) {
    EXPECT_EQ(sniff(""), PictureType::Unknown);
    EXPECT_EQ(sniff("\xFF\xD8"), PictureType::Unknown);
    EXPECT_EQ(sniff("BM"), PictureType::Unknown);
    EXPECT_EQ(sniff("hello, world, this is not a picture at all"), PictureType::Unknown);
    EXPECT_EQ(sniff(std::string(64, '\0')), PictureType::Unknown);
    // An EMF header type without the signature is not an EMF.
    std::string emf = test::emfWithRectangle(10, 10, 0, 0, 5, 5, 0);
    emf[41] = 'X';
    EXPECT_NE(sniff(emf), PictureType::Emf);
    std::mt19937 rng(7);
    int unknown = 0;
    for (int i = 0; i < 200; ++i) {
        std::string noise(64, '\0');
        for (char& c : noise) c = static_cast<char>(rng());
        if (sniff(noise) == PictureType::Unknown) ++unknown;
    }
    EXPECT_GE(unknown, 195);  // random bytes almost never look like a picture
}

TEST(Sniff, TypeNamesAreTheUsualAbbreviations) {
    EXPECT_STREQ(typeName(PictureType::Jpeg), "JPEG");
    EXPECT_STREQ(typeName(PictureType::Emf), "EMF");
    EXPECT_STREQ(typeName(PictureType::Dib), "DIB");
    EXPECT_STREQ(typeName(PictureType::Unknown), "unknown");
}

TEST(Sniff, UnknownBytesCannotBeRenderedOrMeasured) {
    EXPECT_THROW(render("nothing", PictureType::Unknown, 10, 10), ImagingError);
    EXPECT_THROW(pictureSize("nothing", PictureType::Unknown), ImagingError);
}

}  // namespace
}  // namespace kelvaran::imaging
