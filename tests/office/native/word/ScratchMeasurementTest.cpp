// The size a scratch document would have, told without saving it, against
// the size of the file the same document is saved to: every object of the
// real test documents, pasted alone, as it is and converted on the scratch
// sheet.

#include "office/native/excel/NativeExcelApplication.h"
#include "office/native/word/DocumentFiles.h"
#include "office/native/word/NativeWordApplication.h"
#include "platform/Clipboard.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>
#include <unistd.h>

namespace kelvaran::office::native {
namespace {

namespace fs = std::filesystem;

class ScratchMeasurementTest : public ::testing::TestWithParam<std::string> {
protected:
    void SetUp() override {
        dir = fs::temp_directory_path() / ("kelvaran-measure-" + std::to_string(::getpid()));
        fs::create_directories(dir);
    }
    void TearDown() override { fs::remove_all(dir); }

    // Saves the scratch document and checks that the size told beforehand is
    // the saved file's; returns it.
    double toldAndSaved(const word::DocumentPtr& scratch, const std::string& what) {
        const auto told = scratch->SizeIfSaved();
        const std::string file = (dir / ("scratch." + extension)).string();
        scratch->SaveAs(file);
        const auto saved = static_cast<double>(fs::file_size(file));
        EXPECT_TRUE(told.has_value()) << what;
        if (told) {
            EXPECT_EQ(*told, saved) << what;
        }
        return saved;
    }

    fs::path dir;
    std::string extension = "rtf";
    platform::Clipboard clipboard;
    NativeWordApplication word{clipboard, builtInFormats()};
    NativeExcelApplication excel{clipboard};
};

TEST_P(ScratchMeasurementTest, SizeToldWithoutSavingIsTheSavedFilesSize) {
    auto source = word.Documents()->Open(std::string(KELVARAN_NATIVE_DATA) + "/" + GetParam(), true);
    auto scratch = word.Documents()->add();
    // A new document has no format until its first save.
    EXPECT_FALSE(scratch->SizeIfSaved().has_value());
    scratch->SaveAs((dir / "empty.rtf").string());
    const double empty = toldAndSaved(scratch, "the empty document");

    auto sheet = excel.Workbooks()->add()->Worksheets(1);
    int measured = 0;
    auto measure = [&](const std::string& what) {
        scratch->Range(0)->Paste();
        EXPECT_GT(toldAndSaved(scratch, what), empty) << what;
        scratch->Range(0)->Delete();
        EXPECT_EQ(toldAndSaved(scratch, what + ", deleted again"), empty);
        ++measured;
        // The same object converted to JPEG on the sheet, as the engine does.
        sheet->Paste(false);
        sheet->Shapes()->item(1)->Cut();
        sheet->PasteSpecial(excel::formats::kJpeg, false, false);
        sheet->Shapes()->item(1)->Cut();
        scratch->Range(0)->Paste();
        toldAndSaved(scratch, what + ", converted");
        scratch->Range(0)->Delete();
    };
    const std::int32_t inlines = source->InlineShapes()->count();
    for (std::int32_t i = 1; i <= inlines; ++i) {
        source->InlineShapes()->item(i)->Range()->Copy();
        measure("inline shape " + std::to_string(i));
    }
    const std::int32_t shapes = source->Shapes()->count();
    for (std::int32_t i = 1; i <= shapes; ++i) {
        auto shape = source->Shapes()->item(i);
        if (shape->Type() == word::constants::msoTextBox) continue;
        shape->Select();
        word.Selection()->Copy();
        measure("floating shape " + std::to_string(i));
    }
    EXPECT_GT(measured, 0);
}

INSTANTIATE_TEST_SUITE_P(TestDocuments, ScratchMeasurementTest,
                         ::testing::Values("gen-inline-pictures.rtf", "gen-floating-rotated-wrapped.rtf",
                                           "gen-group-pictures.rtf", "gen-embedded-objects.rtf",
                                           "gen-transparent-png.rtf", "gen-page-breaks.rtf"));

// A Word 97-2003 scratch document is measured by writing it in memory.
TEST_F(ScratchMeasurementTest, AWordScratchDocumentIsMeasuredWithoutAFile) {
    extension = "doc";
    auto source = word.Documents()->Open(std::string(KELVARAN_NATIVE_DATA) + "/gen-inline-pictures.rtf", true);
    auto scratch = word.Documents()->add();
    scratch->SaveAs((dir / "empty.doc").string());
    const double empty = toldAndSaved(scratch, "the empty document");
    const std::int32_t inlines = source->InlineShapes()->count();
    ASSERT_GT(inlines, 0);
    for (std::int32_t i = 1; i <= inlines; ++i) {
        source->InlineShapes()->item(i)->Range()->Copy();
        scratch->Range(0)->Paste();
        EXPECT_GT(toldAndSaved(scratch, "inline shape " + std::to_string(i)), empty);
        scratch->Range(0)->Delete();
    }
}

TEST(ScratchMeasurement, AFormatThatOnlyASaveCanMeasureTellsNothing) {
    platform::Clipboard clipboard;
    // The built-in formats with the Word format's measurement taken away.
    std::vector<FileFormat> formats = builtInFormats();
    for (auto& format : formats) {
        if (format.name == "doc") format.sizeOf = {};
    }
    NativeWordApplication word{clipboard, formats};
    auto scratch = word.Documents()->add();
    const fs::path file = fs::temp_directory_path() / ("kelvaran-measure-doc-" + std::to_string(::getpid()) + ".doc");
    scratch->SaveAs(file.string());
    EXPECT_FALSE(scratch->SizeIfSaved().has_value());
    fs::remove(file);
}

}  // namespace
}  // namespace kelvaran::office::native
