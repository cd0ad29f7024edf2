#include "imaging/Imaging.h"
#include "imaging/Metafile.h"
#include "tests/imaging/TestPictures.h"

#include <gtest/gtest.h>

namespace kelvaran::imaging {
namespace {

using test::Bytes;

std::string bigEndian32(std::uint32_t v) {
    return {static_cast<char>(v >> 24), static_cast<char>(v >> 16), static_cast<char>(v >> 8), static_cast<char>(v)};
}

TEST(HostileInput, RenderSizesOutsideTheBudgetAreRefused) {
    std::string png = encodePng(test::gradient(4, 4));
    EXPECT_THROW(render(png, PictureType::Png, 0, 10), ImagingError);
    EXPECT_THROW(render(png, PictureType::Png, 10, -1), ImagingError);
    EXPECT_THROW(render(png, PictureType::Png, 20000, 5001), ImagingError);  // just over 100 megapixels
    std::string emf = test::emfWithRectangle(10, 10, 0, 0, 5, 5, 0);
    EXPECT_THROW(render(emf, PictureType::Emf, 100000, 100000), ImagingError);
    std::string wmf = test::wmfWithRectangle(10, 10, 0, 0, 5, 5, 0);
    EXPECT_THROW(render(wmf, PictureType::Wmf, 1, 200000000), ImagingError);
}

TEST(HostileInput, PngClaimingAHugeSizeIsRefusedFromItsHeader) {
    std::string png = encodePng(test::gradient(4, 4));
    std::string huge = png;
    huge.replace(16, 4, bigEndian32(50000));
    huge.replace(20, 4, bigEndian32(50000));
    EXPECT_THROW(pictureSize(huge, PictureType::Png), ImagingError);
    EXPECT_THROW(render(huge, PictureType::Png, 10, 10), ImagingError);
}

TEST(HostileInput, JpegClaimingAHugeSizeIsRefused) {
    std::string jpeg = encodeJpeg(test::gradient(16, 16));
    std::size_t sof = jpeg.find("\xFF\xC0", 0, 2);
    ASSERT_NE(sof, std::string::npos);
    jpeg[sof + 5] = '\xFF';  // height 0xFFxx
    jpeg[sof + 7] = '\xFF';  // width 0xFFxx
    EXPECT_THROW(render(jpeg, PictureType::Jpeg, 10, 10), ImagingError);
}

TEST(HostileInput, TruncatedRasterFilesFailCleanly) {
    // Cleanly: with an error, and without the library's own warnings on the
    // error stream, which the command line shares with its messages.
    ::testing::internal::CaptureStderr();
    Image img = test::gradient(64, 64);
    for (const std::string& whole : {encodeJpeg(img), encodePng(img), encodeGif(img)}) {
        const PictureType type = sniff(whole);
        SCOPED_TRACE(typeName(type));
        for (std::size_t cut : {std::size_t{3}, std::size_t{20}, whole.size() / 2}) {
            EXPECT_THROW(render(whole.substr(0, cut), type, 32, 32), ImagingError) << cut;
        }
    }
    EXPECT_THROW(decode("", PictureType::Jpeg), ImagingError);
    EXPECT_THROW(decode("", PictureType::Bmp), ImagingError);
    EXPECT_THROW(decode("", PictureType::Emf), ImagingError);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
}

TEST(HostileInput, MetafileRecordsThatLieAboutTheirSizeAreRefused) {
    std::string emf = test::emfWithRectangle(20, 20, 0, 0, 10, 10, 0xFF);
    // A record claiming to run past the end.
    Bytes overrun;
    overrun.data = emf;
    overrun.put32(88 + 4, 0x7FFFFFF0);
    EXPECT_THROW(render(overrun.data, PictureType::Emf, 20, 20), ImagingError);
    // A record size of zero would loop for ever.
    Bytes zero;
    zero.data = emf;
    zero.put32(88 + 4, 0);
    EXPECT_THROW(render(zero.data, PictureType::Emf, 20, 20), ImagingError);
    // No end record.
    EXPECT_THROW(render(emf.substr(0, emf.size() - 20), PictureType::Emf, 20, 20), ImagingError);
    // A frame claiming a gigantic natural size.
    Bytes frame;
    frame.data = emf;
    frame.put32(32, 0x7FFFFFFF);
    frame.put32(36, 0x7FFFFFFF);
    EXPECT_THROW(pictureSize(frame.data, PictureType::Emf), ImagingError);

    std::string wmf = test::wmfWithRectangle(20, 20, 0, 0, 10, 10, 0xFF);
    Bytes wmfOverrun;
    wmfOverrun.data = wmf;
    wmfOverrun.put32(22 + 18, 0x40000000);
    EXPECT_THROW(render(wmfOverrun.data, PictureType::Wmf, 20, 20), ImagingError);
    Bytes wmfZero;
    wmfZero.data = wmf;
    wmfZero.put32(22 + 18, 0);
    EXPECT_THROW(render(wmfZero.data, PictureType::Wmf, 20, 20), ImagingError);
    EXPECT_THROW(render(wmf.substr(0, wmf.size() - 6), PictureType::Wmf, 20, 20), ImagingError);
    Bytes noInch;
    noInch.data = wmf;
    noInch.put16(14, 0);
    EXPECT_THROW(pictureSize(noInch.data, PictureType::Wmf), ImagingError);
}

TEST(HostileInput, BitmapsInsideWindowsMetafilesAreCheckedBeforeTheConverterReadsThem) {
    // The converter library decodes a record's bitmap trusting its header:
    // the fuzzer's 17 KB metafile made it take 700 MB.
    Image pixels;
    pixels.width = 4;
    pixels.height = 3;
    pixels.rgba.assign(4 * 3 * 4, 200);
    const std::string dib = test::dibFrom(pixels, 24);
    const std::string sound = test::wmfWithBitmap(20, 20, dib);
    EXPECT_NO_THROW(checkWmfBitmaps(sound));
    EXPECT_NO_THROW(render(sound, PictureType::Wmf, 20, 20));

    auto failureOf = [](const std::string& wmf) {
        try {
            checkWmfBitmaps(wmf);
        } catch (const ImagingError& refused) {
            return std::string(refused.what());
        }
        return std::string("(accepted)");
    };
    Bytes tall;
    tall.data = dib;
    tall.put32(8, 3000);  // rows for 3 declared as 3000
    const std::string cutShort = test::wmfWithBitmap(20, 20, tall.data);
    EXPECT_NE(failureOf(cutShort).find("bitmap it cannot draw"), std::string::npos) << failureOf(cutShort);
    EXPECT_NE(failureOf(cutShort).find("cut short"), std::string::npos) << failureOf(cutShort);
    EXPECT_THROW(render(cutShort, PictureType::Wmf, 20, 20), ImagingError);
    Bytes huge;
    huge.data = dib;
    huge.put32(4, 60000);
    huge.put32(8, 60000);
    EXPECT_NE(failureOf(test::wmfWithBitmap(20, 20, huge.data)).find("too large"), std::string::npos);
    Bytes noHeader;
    noHeader.data = dib;
    noHeader.put32(0, 0x00280020);  // no header of that size
    EXPECT_NE(failureOf(test::wmfWithBitmap(20, 20, noHeader.data)).find("bitmap it cannot draw"), std::string::npos);
}

TEST(HostileInput, EncodersRefuseInconsistentImages) {
    Image broken;
    broken.width = 10;
    broken.height = 10;
    broken.rgba.resize(12);
    EXPECT_THROW(encodeJpeg(broken), ImagingError);
    EXPECT_THROW(encodePng(broken), ImagingError);
    EXPECT_THROW(encodeGif(broken), ImagingError);
    EXPECT_THROW(encodeEmfFromImage(broken, 10, 10), ImagingError);
    EXPECT_THROW(toRaster(broken), ImagingError);
    EXPECT_THROW(encodeJpeg(Image{}), ImagingError);
}

TEST(HostileInput, WrongTypeForTheBytesIsAnErrorNotACrash) {
    std::string png = encodePng(test::gradient(8, 8));
    for (PictureType type : {PictureType::Jpeg, PictureType::Gif, PictureType::Tiff, PictureType::Bmp,
                             PictureType::Dib, PictureType::Emf, PictureType::Wmf, PictureType::Pict}) {
        SCOPED_TRACE(typeName(type));
        EXPECT_THROW(render(png, type, 8, 8), ImagingError);
    }
}

}  // namespace
}  // namespace kelvaran::imaging
