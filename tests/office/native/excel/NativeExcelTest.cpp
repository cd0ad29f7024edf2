#include "imaging/Metafile.h"
#include "office/OfficeError.h"
#include "office/native/ClipboardItems.h"
#include "office/native/excel/NativeExcelApplication.h"
#include "office/native/word/NativeDocument.h"
#include "office/native/word/NativeDocuments.h"
#include "office/native/word/NativeWordApplication.h"
#include "platform/Clipboard.h"
#include "tests/office/native/NativeTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

namespace kelvaran::office::native {
namespace {

namespace model = formats::model;
namespace xf = office::excel::formats;

class NativeExcelTest : public ::testing::Test {
protected:
    // Copies the only picture of a document made in memory.
    void copyPicture(double widthPt, double heightPt, bool transparent = false) {
        auto document = test::documentWithInlinePicture(widthPt, heightPt);
        document.inlines[0].picture = test::pngPicture(160, 120, transparent);
        auto documents = std::static_pointer_cast<NativeDocuments>(word.Documents());
        auto opened = documents->adopt(std::move(document), "in.rtf");
        opened->InlineShapes()->item(1)->Range()->Copy();
    }
    SheetClip cutClip() const {
        const std::any data = clipboard.data(kSheetClipFormat);
        const auto* clip = std::any_cast<SheetClip>(&data);
        if (!clip) throw std::runtime_error("no sheet picture on the clipboard");
        return *clip;
    }

    platform::Clipboard clipboard;
    NativeWordApplication word{clipboard, {test::fakeRtf()}};
    NativeExcelApplication excel{clipboard};
    office::excel::WorkbookPtr book = excel.Workbooks()->add();
    office::excel::WorksheetPtr sheet = book->Worksheets(1);
};

TEST_F(NativeExcelTest, PasteSpecialStoresTheRenderingInTheAskedFormat) {
    struct Case {
        std::string format;
        imaging::PictureType type;
    };
    for (const auto& c : {Case{xf::kJpeg, imaging::PictureType::Jpeg}, Case{xf::kPng, imaging::PictureType::Png},
                          Case{xf::kGif, imaging::PictureType::Gif}, Case{xf::kMetafile, imaging::PictureType::Emf}}) {
        SCOPED_TRACE(c.format);
        copyPicture(90, 60);
        sheet->Paste(false);
        sheet->Shapes()->item(1)->setWidth(45);
        sheet->Shapes()->item(1)->setHeight(30);
        sheet->Shapes()->item(1)->Cut();
        EXPECT_EQ(sheet->Shapes()->count(), 0);
        ASSERT_TRUE(clipboard.metafileRendering().has_value());
        EXPECT_EQ(clipboard.metafileRendering()->width, 60);  // 45 pt at 96 pixels per inch
        EXPECT_EQ(clipboard.metafileRendering()->height, 40);

        sheet->PasteSpecial(c.format, false, false);
        ASSERT_EQ(sheet->Shapes()->count(), 1);
        EXPECT_DOUBLE_EQ(sheet->Shapes()->item(1)->Width(), 45);
        EXPECT_DOUBLE_EQ(sheet->Shapes()->item(1)->Height(), 30);
        sheet->Shapes()->item(1)->Cut();
        const SheetClip clip = cutClip();
        EXPECT_EQ(imaging::sniff(*clip.picture.bytes), c.type);
        const auto size = imaging::pictureSize(*clip.picture.bytes, c.type);
        EXPECT_EQ(size.width, 60);
        EXPECT_EQ(size.height, 40);
    }
}

// A placeable WMF of 1 x 1 inch holding one filled rectangle.
std::string smallWmf() {
    std::string out;
    auto u16 = [&](std::uint32_t v) {
        out.push_back(static_cast<char>(v & 0xFF));
        out.push_back(static_cast<char>((v >> 8) & 0xFF));
    };
    auto record = [&](std::uint16_t function, std::initializer_list<std::uint16_t> params) {
        u16(static_cast<std::uint32_t>(3 + params.size()));
        u16(0);
        u16(function);
        for (std::uint16_t v : params) u16(v);
    };
    for (std::uint32_t v : {0xCDD7u, 0x9AC6u, 0u, 0u, 0u, 1000u, 1000u, 1000u, 0u, 0u}) u16(v);
    std::uint16_t sum = 0;
    for (std::size_t i = 0; i < 20; i += 2)
        sum ^= static_cast<std::uint16_t>(static_cast<unsigned char>(out[i]) | (static_cast<unsigned char>(out[i + 1]) << 8));
    u16(sum);
    const std::size_t header = out.size();
    for (std::uint32_t v : {1u, 9u, 0x0300u, 0u, 0u, 1u, 7u, 0u, 0u}) u16(v);
    record(0x0103, {8});
    record(0x020B, {0, 0});
    record(0x020C, {1000, 1000});
    record(0x02FC, {0, 0x00FF, 0, 0});
    record(0x012D, {0});
    record(0x041B, {500, 500, 0, 0});
    record(0x0000, {});
    const std::uint32_t words = static_cast<std::uint32_t>((out.size() - header) / 2);
    out[header + 6] = static_cast<char>(words & 0xFF);
    out[header + 7] = static_cast<char>((words >> 8) & 0xFF);
    return out;
}

TEST_F(NativeExcelTest, AWindowsMetafilePastedAsAMetafileStaysADrawing) {
    const std::string wmf = smallWmf();
    auto document = test::documentWithInlinePicture(72, 72);
    document.inlines[0].picture.type = model::PictureFormat::Wmf;
    document.inlines[0].picture.bytes = model::shareBytes(wmf);
    auto documents = std::static_pointer_cast<NativeDocuments>(word.Documents());
    documents->adopt(std::move(document), "in.rtf")->InlineShapes()->item(1)->Range()->Copy();

    sheet->Paste(false);
    sheet->Shapes()->item(1)->setWidth(72 * 4);  // the quality ratio: a bitmap would be 384 x 384
    sheet->Shapes()->item(1)->setHeight(72 * 4);
    sheet->Shapes()->item(1)->Cut();
    sheet->PasteSpecial(xf::kMetafile, false, false);
    sheet->Shapes()->item(1)->Cut();
    const SheetClip clip = cutClip();
    ASSERT_EQ(imaging::sniff(*clip.picture.bytes), imaging::PictureType::Emf);
    EXPECT_LT(clip.picture.bytes->size(), 2048u) << "a vector picture must not become a bitmap";
    // It still draws the red square in the top-left quarter.
    const imaging::Image drawn = imaging::render(*clip.picture.bytes, imaging::PictureType::Emf, 40, 40);
    EXPECT_GT(drawn.rgba[(10 * 40 + 10) * 4], 200);
    EXPECT_LT(drawn.rgba[(10 * 40 + 10) * 4 + 2], 60);
    EXPECT_TRUE(drawn.rgba[(30 * 40 + 30) * 4 + 3] < 30 || drawn.rgba[(30 * 40 + 30) * 4 + 1] > 200);
}

// The JPEG quality asked of the application holds for later JPEG pastes;
// the other formats do not have one.
TEST_F(NativeExcelTest, JpegQualitySetOnTheApplicationShrinksLaterJpegPictures) {
    auto jpegBytes = [&] {
        copyPicture(120, 90);
        sheet->Paste(false);
        sheet->Shapes()->item(1)->Cut();
        sheet->PasteSpecial(xf::kJpeg, false, false);
        sheet->Shapes()->item(1)->Cut();
        return cutClip().picture.bytes->size();
    };
    const auto usual = jpegBytes();
    excel.setJpegQuality(30);
    const auto low = jpegBytes();
    EXPECT_LT(low, usual * 3 / 4);
    excel.setJpegQuality(imaging::kDefaultJpegQuality);
    EXPECT_EQ(jpegBytes(), usual);
    EXPECT_THROW(excel.setJpegQuality(0), OfficeError);
    EXPECT_THROW(excel.setJpegQuality(101), OfficeError);
}

// The clipboard tells how many pixels of a copied picture are displayed: what
// a cap on enlarging works from.
TEST_F(NativeExcelTest, TheClipboardSummaryCountsThePixelsOfTheDisplayedPartOnly) {
    auto document = test::documentWithInlinePicture(72, 72);
    document.inlines[0].picture = test::pngPicture(160, 120);
    document.inlines[0].picture.crop = {0.25, 0.1, 0.25, -0.2};  // outward at the bottom: no pixels added
    auto documents = std::static_pointer_cast<NativeDocuments>(word.Documents());
    documents->adopt(std::move(document), "in.rtf")->InlineShapes()->item(1)->Range()->Copy();
    auto summary = clipboard.summary();
    ASSERT_TRUE(summary);
    EXPECT_EQ(summary->pixelWidth, 160);
    EXPECT_EQ(summary->visibleWidth, 80);
    EXPECT_EQ(summary->visibleHeight, 108);

    // A metafile has no pixels of its own to count.
    auto drawing = test::documentWithInlinePicture(72, 72);
    drawing.inlines[0].picture.type = model::PictureFormat::Wmf;
    drawing.inlines[0].picture.bytes = model::shareBytes(smallWmf());
    documents->adopt(std::move(drawing), "drawing.rtf")->InlineShapes()->item(1)->Range()->Copy();
    summary = clipboard.summary();
    ASSERT_TRUE(summary);
    EXPECT_EQ(summary->visibleWidth, 0);
    EXPECT_EQ(summary->visibleHeight, 0);
}

TEST_F(NativeExcelTest, ACroppedEnhancedMetafilePastedAsAMetafileStaysADrawingOfItsVisiblePart) {
    // The red top-left quarter of a one-inch drawing, cropped to that quarter.
    const std::string emf = imaging::wmfToEmf(smallWmf());
    auto document = test::documentWithInlinePicture(36, 36);
    document.inlines[0].picture.type = model::PictureFormat::Emf;
    document.inlines[0].picture.bytes = model::shareBytes(emf);
    document.inlines[0].picture.crop = model::Crop{0, 0, 0.5, 0.5};
    auto documents = std::static_pointer_cast<NativeDocuments>(word.Documents());
    documents->adopt(std::move(document), "in.rtf")->InlineShapes()->item(1)->Range()->Copy();

    sheet->Paste(false);
    sheet->Shapes()->item(1)->setWidth(36 * 4);
    sheet->Shapes()->item(1)->setHeight(36 * 4);
    sheet->Shapes()->item(1)->Cut();
    sheet->PasteSpecial(xf::kMetafile, false, false);
    sheet->Shapes()->item(1)->Cut();
    const SheetClip clip = cutClip();
    ASSERT_EQ(imaging::sniff(*clip.picture.bytes), imaging::PictureType::Emf);
    EXPECT_LT(clip.picture.bytes->size(), emf.size() + 512) << "a cropped drawing must not become a bitmap";
    const auto size = imaging::pictureSize(*clip.picture.bytes, imaging::PictureType::Emf);
    EXPECT_NEAR(size.width, 48, 1);  // half an inch
    const imaging::Image drawn = imaging::render(*clip.picture.bytes, imaging::PictureType::Emf, 40, 40);
    for (int at : {(5 * 40 + 5) * 4, (35 * 40 + 35) * 4}) {
        EXPECT_GT(drawn.rgba[at], 200) << "red everywhere: the quarter fills the picture";
        EXPECT_LT(drawn.rgba[at + 2], 60);
    }
}

TEST_F(NativeExcelTest, RatioSetsThePixelsAndTheDisplaySizeStaysForWord) {
    copyPicture(90, 60);
    sheet->Paste(false);
    EXPECT_DOUBLE_EQ(sheet->Shapes()->item(1)->Width(), 90);  // a Word object arrives at its displayed size
    sheet->Shapes()->item(1)->setWidth(270);
    sheet->Shapes()->item(1)->setHeight(180);
    sheet->Shapes()->item(1)->Cut();
    sheet->PasteSpecial(xf::kPng, false, false);
    sheet->Shapes()->item(1)->setWidth(90);
    sheet->Shapes()->item(1)->setHeight(60);
    sheet->Shapes()->item(1)->Cut();
    const SheetClip clip = cutClip();
    EXPECT_EQ(clip.picture.pixelWidth, 360);
    EXPECT_EQ(clip.picture.pixelHeight, 240);
    EXPECT_DOUBLE_EQ(clip.widthPt, 90);

    auto scratch = word.Documents()->add();
    scratch->Range(0)->Paste();
    auto pasted = scratch->InlineShapes()->item(1);
    EXPECT_DOUBLE_EQ(pasted->Width(), 90);
    EXPECT_DOUBLE_EQ(pasted->Height(), 60);
    EXPECT_EQ(pasted->Type(), word::constants::wdInlineShapePicture);
}

TEST_F(NativeExcelTest, JpegBlackensTransparencyWhereOtherFormatsKeepItLight) {
    auto cornerAfter = [&](const std::string& format) {
        copyPicture(90, 60, true);
        sheet->Paste(false);
        sheet->Shapes()->item(1)->Cut();
        sheet->PasteSpecial(format, false, false);
        sheet->Shapes()->item(1)->Cut();
        return clipboard.metafileRendering()->at(5, 5);
    };
    EXPECT_EQ(cornerAfter(xf::kPng), 0x00FFFFFFu);
    EXPECT_EQ(cornerAfter(xf::kGif), 0x00FFFFFFu);
    const std::uint32_t jpeg = cornerAfter(xf::kJpeg);
    EXPECT_LT(jpeg & 0xFF, 16u) << std::hex << jpeg;  // black, give or take the codec
}

TEST_F(NativeExcelTest, PastingACutPictureStoresItAgainAtTheCutSize) {
    copyPicture(90, 60);
    sheet->PasteSpecial(xf::kGif, false, false);
    sheet->Shapes()->item(1)->setWidth(30);
    sheet->Shapes()->item(1)->setHeight(15);
    sheet->Shapes()->item(1)->Cut();
    sheet->Paste(false);
    EXPECT_DOUBLE_EQ(sheet->Shapes()->item(1)->Width(), 30);
    sheet->Shapes()->item(1)->Cut();
    const SheetClip clip = cutClip();
    EXPECT_EQ(imaging::sniff(*clip.picture.bytes), imaging::PictureType::Gif);
    EXPECT_EQ(clip.picture.pixelWidth, 40);
    EXPECT_EQ(clip.picture.pixelHeight, 20);
}

TEST_F(NativeExcelTest, AGifFromTheSheetIsKeptInTheDocumentAsAPngOfTheSamePixels) {
    copyPicture(90, 60, true);
    sheet->Paste(false);
    sheet->Shapes()->item(1)->Cut();
    sheet->PasteSpecial(xf::kGif, false, false);
    sheet->Shapes()->item(1)->Cut();
    const SheetClip clip = cutClip();
    ASSERT_EQ(imaging::sniff(*clip.picture.bytes), imaging::PictureType::Gif);

    auto scratch = word.Documents()->add();
    scratch->Range(0)->Paste();
    const auto& model = std::static_pointer_cast<NativeDocument>(scratch)->state()->model;
    ASSERT_EQ(model.inlinesOf(0).size(), 1u);
    const auto& stored = model.inlines[static_cast<std::size_t>(model.inlinesOf(0)[0])].picture;
    EXPECT_EQ(stored.type, formats::model::PictureFormat::Png);
    ASSERT_EQ(imaging::sniff(*stored.bytes), imaging::PictureType::Png);
    const imaging::Image gif = imaging::decode(*clip.picture.bytes, imaging::PictureType::Gif);
    const imaging::Image png = imaging::decode(*stored.bytes, imaging::PictureType::Png);
    EXPECT_EQ(png.width, gif.width);
    EXPECT_EQ(png.height, gif.height);
    ASSERT_EQ(png.rgba.size(), gif.rgba.size());
    // Same alpha everywhere, same colour wherever a pixel is not fully transparent.
    std::size_t differing = 0, transparent = 0;
    for (std::size_t i = 0; i < gif.rgba.size(); i += 4) {
        if (gif.rgba[i + 3] == 0) ++transparent;
        if (png.rgba[i + 3] != gif.rgba[i + 3] ||
            (gif.rgba[i + 3] != 0 && !std::equal(&gif.rgba[i], &gif.rgba[i] + 3, &png.rgba[i]))) {
            ++differing;
        }
    }
    EXPECT_EQ(differing, 0u);
    EXPECT_GT(transparent, 0u) << "the test picture should have kept its transparent part";
    EXPECT_EQ(stored.pixelWidth, gif.width);
}

// A cut draws nothing: the clipboard's rendering, its corner and the pixels
// a paste takes are drawn when asked for, and are the pixels the cut shape
// shows.  A raster picture that cannot be drawn fails the paste that needs
// it; a metafile that cannot be drawn still fails the cut itself.
TEST_F(NativeExcelTest, ACutDrawsOnlyWhatIsAskedForAndFailuresStillSurface) {
    copyPicture(90, 60);
    sheet->Paste(false);
    sheet->Shapes()->item(1)->setWidth(150);
    sheet->Shapes()->item(1)->setHeight(100);
    sheet->Shapes()->item(1)->Cut();
    const auto corner = clipboard.metafileRenderingCorner(96, 96);
    const auto whole = clipboard.metafileRendering();
    ASSERT_TRUE(corner.has_value());
    ASSERT_TRUE(whole.has_value());
    ASSERT_EQ(corner->width, 96);
    ASSERT_EQ(corner->height, 96);
    EXPECT_EQ(whole->width, 200);
    int differing = 0;
    for (int y = 0; y < 96; ++y) {
        for (int x = 0; x < 96; ++x) differing += corner->at(x, y) != whole->at(x, y);
    }
    EXPECT_EQ(differing, 0);
    ASSERT_TRUE(cutClip().rendering);
    EXPECT_EQ(imaging::toRaster(cutClip().rendering->image()).pixels, whole->pixels);

    auto documents = std::static_pointer_cast<NativeDocuments>(word.Documents());
    auto damaged = test::documentWithInlinePicture(20, 20);
    damaged.inlines[0].picture.type = model::PictureFormat::Png;
    damaged.inlines[0].picture.bytes = model::shareBytes("\x89PNG\r\n\x1a\n truncated");
    documents->adopt(std::move(damaged), "damaged.rtf")->InlineShapes()->item(1)->Range()->Copy();
    sheet->Paste(false);
    sheet->Shapes()->item(1)->Cut();
    EXPECT_FALSE(clipboard.metafileRenderingCorner(96, 96).has_value());
    EXPECT_THROW(sheet->PasteSpecial(xf::kJpeg, false, false), OfficeError);
    EXPECT_THROW(sheet->Paste(false), OfficeError);
    EXPECT_EQ(sheet->Shapes()->count(), 0);

    auto metafile = test::documentWithInlinePicture(20, 20);
    metafile.inlines[0].picture.type = model::PictureFormat::Emf;
    metafile.inlines[0].picture.bytes = model::shareBytes(std::string(200, '\x01'));
    documents->adopt(std::move(metafile), "metafile.rtf")->InlineShapes()->item(1)->Range()->Copy();
    sheet->Paste(false);
    EXPECT_THROW(sheet->Shapes()->item(1)->Cut(), OfficeError);
}

// A photo cut from the sheet and pasted as JPEG is stored straight from its
// bytes: the same JPEG as when its rendering was drawn first.
TEST_F(NativeExcelTest, AJpegPastedFromACutPhotoIsTheJpegOfItsRendering) {
    auto pastedJpeg = [&](bool drawFirst) {
        auto document = test::documentWithInlinePicture(300, 225);
        document.inlines[0].picture = test::pngPicture(400, 300);
        document.inlines[0].picture.type = model::PictureFormat::Jpeg;
        document.inlines[0].picture.bytes = model::shareBytes(
            imaging::encodeJpeg(imaging::decode(*document.inlines[0].picture.bytes, imaging::PictureType::Png), 95));
        auto documents = std::static_pointer_cast<NativeDocuments>(word.Documents());
        documents->adopt(std::move(document), "photo.rtf")->InlineShapes()->item(1)->Range()->Copy();
        sheet->Paste(false);
        sheet->Shapes()->item(1)->setWidth(90);
        sheet->Shapes()->item(1)->setHeight(67.5);
        sheet->Shapes()->item(1)->Cut();
        if (drawFirst) clipboard.metafileRendering();
        sheet->PasteSpecial(xf::kJpeg, false, false);
        EXPECT_DOUBLE_EQ(sheet->Shapes()->item(1)->Width(), 90);
        sheet->Shapes()->item(1)->Cut();
        const SheetClip clip = cutClip();
        EXPECT_EQ(clip.picture.pixelWidth, 120);
        EXPECT_EQ(clip.picture.pixelHeight, 90);
        return *clip.picture.bytes;
    };
    const std::string direct = pastedJpeg(false);
    EXPECT_EQ(imaging::sniff(direct), imaging::PictureType::Jpeg);
    EXPECT_TRUE(direct == pastedJpeg(true));
}

TEST_F(NativeExcelTest, RefusalsAreOfficeErrors) {
    EXPECT_THROW(sheet->Paste(false), OfficeError);  // empty clipboard
    copyPicture(90, 60);
    EXPECT_THROW(sheet->PasteSpecial("図 (ビットマップ)", false, false), OfficeError);
    EXPECT_THROW(sheet->PasteSpecial(xf::kPng, true, false), OfficeError);
    EXPECT_THROW(sheet->PasteSpecial(xf::kPng, false, true), OfficeError);
    EXPECT_THROW(sheet->Paste(true), OfficeError);
    EXPECT_EQ(sheet->Shapes()->count(), 0);
    EXPECT_THROW(sheet->Shapes()->item(1), OfficeError);
    EXPECT_THROW(book->Worksheets(2), OfficeError);

    book->setSaved(true);
    sheet->Paste(false);
    EXPECT_FALSE(book->Saved());
    auto shape = sheet->Shapes()->item(1);
    EXPECT_THROW(shape->setWidth(0), OfficeError);
    shape->Delete();
    EXPECT_THROW(shape->Cut(), OfficeError);

    // A picture that cannot be drawn fails the paste that needs its pixels.
    auto document = test::documentWithInlinePicture(20, 20);
    document.inlines[0].picture.type = model::PictureFormat::Png;
    document.inlines[0].picture.bytes = model::shareBytes("\x89PNG\r\n\x1a\n truncated");
    auto documents = std::static_pointer_cast<NativeDocuments>(word.Documents());
    documents->adopt(std::move(document), "bad.rtf")->InlineShapes()->item(1)->Range()->Copy();
    EXPECT_FALSE(clipboard.metafileRendering().has_value());
    EXPECT_THROW(sheet->PasteSpecial(xf::kJpeg, false, false), OfficeError);

    EXPECT_THROW(excel.setWindowState(7), OfficeError);
    excel.setWindowState(office::excel::constants::xlMinimized);
    EXPECT_EQ(excel.WindowState(), office::excel::constants::xlMinimized);
    excel.Quit();
    EXPECT_THROW(excel.Workbooks(), OfficeError);
    EXPECT_THROW(sheet->Shapes(), OfficeError);
}

TEST_F(NativeExcelTest, AHostileSizeIsRefusedBeforeAnyPixelIsTakenAndNothingIsPlaced) {
    copyPicture(90, 60);
    sheet->Paste(false);
    auto shape = sheet->Shapes()->item(1);
    shape->setWidth(160000);
    shape->setHeight(160000);
    // Cut: the clipboard's rendering shows it at the size of the largest
    // page; pasted on the sheet it would be drawn at its own size, which the
    // budget refuses.
    shape->Cut();
    ASSERT_TRUE(clipboard.metafileRendering().has_value());
    EXPECT_EQ(clipboard.metafileRendering()->width, 2112);
    EXPECT_THROW(sheet->PasteSpecial(xf::kJpeg, false, false), OfficeError);
    EXPECT_THROW(sheet->Paste(false), OfficeError);
    EXPECT_EQ(sheet->Shapes()->count(), 0);
    copyPicture(90, 60);
    sheet->Paste(false);
    EXPECT_THROW(sheet->Shapes()->item(1)->setWidth(std::nan("")), OfficeError);
}

TEST_F(NativeExcelTest, AShapeLargerThanAnyPageIsShownAtThePageSizeAndKeepsItsPixels) {
    // Cut at 2,000 x 1,000 points: the clipboard shows it fitted to 22
    // inches (aspect kept); pasted again it is drawn at its own size.
    copyPicture(90, 60);
    sheet->Paste(false);
    sheet->Shapes()->item(1)->setWidth(2000);
    sheet->Shapes()->item(1)->setHeight(1000);
    sheet->Shapes()->item(1)->Cut();
    ASSERT_TRUE(clipboard.metafileRendering().has_value());
    EXPECT_EQ(clipboard.metafileRendering()->width, 2112);  // 1584 pt at 96 pixels per inch
    EXPECT_EQ(clipboard.metafileRendering()->height, 1056);
    EXPECT_FALSE(cutClip().rendering);
    sheet->PasteSpecial(xf::kPng, false, false);
    sheet->Shapes()->item(1)->Cut();
    const auto size = imaging::pictureSize(*cutClip().picture.bytes, imaging::PictureType::Png);
    EXPECT_EQ(size.width, 2667);  // 2000 pt
    EXPECT_EQ(size.height, 1333);

    // A shape within the page is drawn once, for both.
    copyPicture(90, 60);
    sheet->Paste(false);
    sheet->Shapes()->item(1)->setWidth(1500);
    sheet->Shapes()->item(1)->setHeight(750);
    sheet->Shapes()->item(1)->Cut();
    ASSERT_TRUE(cutClip().rendering);
    EXPECT_EQ(cutClip().rendering->width, 2000);
    EXPECT_EQ(clipboard.metafileRendering()->width, 2000);
}

}  // namespace
}  // namespace kelvaran::office::native
