// The page the in-process Word reports for an object (Information(1)),
// checked against the pages LibreOffice lays the same document out on: a
// generated document of several pages, in RTF and converted to .doc, and
// the page counts of the real documents of the shared corpus.  The office's
// answer is an estimate; it must be right within one page.
#include "imaging/Imaging.h"
#include "office/native/word/DocumentFiles.h"
#include "platform/Clipboard.h"

#include <gtest/gtest.h>

#include <unistd.h>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace kelvaran::office::native {
namespace {

namespace fs = std::filesystem;
namespace model = formats::model;

std::string output(const std::string& command) {
    std::string text;
    if (FILE* pipe = ::popen(command.c_str(), "r")) {
        char buffer[4096];
        std::size_t n = 0;
        while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) text.append(buffer, n);
        ::pclose(pipe);
    }
    return text;
}

class LibreOffice {
public:
    explicit LibreOffice(fs::path work) : work_(std::move(work)) {}
    // Converts every file to `format` into the work folder, in one start.
    bool convert(const std::vector<fs::path>& files, const std::string& format) const {
        std::string command = "soffice -env:UserInstallation=file://" + (work_ / "profile").string() +
                              " --headless --convert-to " + format + " --outdir '" + work_.string() + "'";
        for (const auto& file : files) command += " '" + file.string() + "'";
        command += " >/dev/null 2>&1";
        return std::system(command.c_str()) == 0;
    }
    // The page of every picture drawn in a PDF, in drawing order.
    static std::vector<int> picturePages(const fs::path& pdf) {
        std::vector<int> pages;
        std::istringstream lines(output("pdfimages -list '" + pdf.string() + "' 2>/dev/null"));
        std::string line;
        for (int header = 0; header < 2 && std::getline(lines, line);) ++header;
        while (std::getline(lines, line)) {
            std::istringstream fields(line);
            int page = 0;
            int number = 0;
            std::string type;
            if (fields >> page >> number >> type && type == "image") pages.push_back(page);
        }
        return pages;
    }
    static int pageCount(const fs::path& pdf) {
        std::istringstream lines(output("pdfinfo '" + pdf.string() + "' 2>/dev/null"));
        std::string line;
        while (std::getline(lines, line)) {
            if (line.rfind("Pages:", 0) == 0) return std::atoi(line.c_str() + 6);
        }
        return 0;
    }

private:
    fs::path work_;
};

// The estimated page of every live inline object of the main story, in
// text order.
std::vector<int> estimatedPictures(const model::Document& document) {
    std::vector<int> pages;
    for (int object : document.inlinesOf(0)) {
        const auto [story, element] = document.locateInline(object);
        pages.push_back(document.estimatePage(
            story, document.stories[static_cast<std::size_t>(story)].positionOf(static_cast<std::size_t>(element))));
    }
    return pages;
}

int estimatedPages(const model::Document& document) {
    return document.estimatePage(0, std::max<std::int64_t>(0, document.main().length() - 1));
}

std::string pngOfColour(int index) {
    imaging::Image image;
    image.width = 4;
    image.height = 4;
    image.rgba.assign(4 * 4 * 4, 255);
    for (int i = 0; i < 16; ++i) {
        image.rgba[static_cast<std::size_t>(i * 4)] = static_cast<std::uint8_t>(index * 37 % 256);
        image.rgba[static_cast<std::size_t>(i * 4 + 1)] = static_cast<std::uint8_t>(index * 91 % 256);
        image.rgba[static_cast<std::size_t>(i * 4 + 2)] = static_cast<std::uint8_t>(255 - index * 13 % 256);
    }
    return imaging::encodePng(image);
}

std::string hex(const std::string& bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (unsigned char byte : bytes) {
        out += digits[byte >> 4];
        out += digits[byte & 15];
    }
    return out;
}

// A document of several pages: an A4 section and an A5 one, text in two
// sizes, Japanese text, spacing, a table, a page break and pictures of
// different heights between and inside paragraphs.
std::string generatedRtf() {
    int pictures = 0;
    auto picture = [&](int widthPt, int heightPt) {
        const std::string png = pngOfColour(++pictures);
        return "{\\pict\\pngblip\\picw4\\pich4\\picwgoal" + std::to_string(widthPt * 20) + "\\pichgoal" +
               std::to_string(heightPt * 20) + " " + hex(png) + "}";
    };
    const std::string english =
        "The quick brown fox jumps over the lazy dog while the committee reviews the annual report on "
        "picture compression and document sizes. ";
    const std::string japanese =
        "\\u25991?\\u26360?\\u12434?\\u23567?\\u12373?\\u12367?\\u12377?\\u12427?\\u12383?\\u12417?\\u12395?"
        "\\u30011?\\u20687?\\u12434?\\u22311?\\u32302?\\u12375?\\u12414?\\u12377?\\u12290?";
    std::string rtf =
        "{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0 Liberation Serif;}{\\f1 IPAMincho;}}"
        "\\paperw11906\\paperh16838\\margl1701\\margr1701\\margt1985\\margb1701\n";
    rtf += "\\pard\\sa240\\fs36 Report on smaller documents\\par\n";
    for (int i = 0; i < 6; ++i) {
        rtf += "\\pard\\sa120\\fs24 ";
        for (int k = 0; k <= i % 4; ++k) rtf += english;
        rtf += "\\par\n";
    }
    rtf += "\\pard\\fs24 " + picture(300, 200) + "\\par\n";
    for (int i = 0; i < 8; ++i) {
        rtf += "\\pard\\f1\\fs21 ";
        for (int k = 0; k <= i % 3; ++k) rtf += japanese + japanese;
        rtf += "\\f0\\par\n";
    }
    rtf += "\\pard\\fs24 Before the picture in the text " + picture(120, 90) + " and after it.\\par\n";
    for (int row = 0; row < 6; ++row) {
        rtf += "\\trowd\\cellx2800\\cellx5600\\cellx8400";
        rtf += "\\pard\\intbl\\fs20 Row " + std::to_string(row) + "\\cell";
        rtf += "\\pard\\intbl\\fs20 " + english + "\\cell";
        rtf += "\\pard\\intbl\\fs20 " + (row == 3 ? picture(100, 120) : std::string("short")) + "\\cell\\row\n";
    }
    for (int i = 0; i < 10; ++i) rtf += "\\pard\\sb60\\sa60\\fs28 " + english + "\\par\n";
    rtf += "\\pard\\fs24 " + picture(400, 300) + "\\par\n";
    rtf += "\\pard\\fs24 A short paragraph before the page break.\\par\\page\n";
    rtf += "\\pard\\fs24 " + picture(200, 150) + "\\par\n";
    for (int i = 0; i < 12; ++i) rtf += "\\pard\\fs18 " + english + english + "\\par\n";
    rtf += "\\pard\\fs24 " + picture(150, 100) + "\\par\n";
    rtf += "\\sect\\sectd\\sbkpage\\pgwsxn8391\\pghsxn11906\\marglsxn1134\\margrsxn1134\\margtsxn1134\\margbsxn1134\n";
    for (int i = 0; i < 14; ++i) {
        rtf += "\\pard\\fs22 " + english + "\\par\n";
        if (i % 5 == 4) rtf += "\\pard\\fs22 " + picture(180, 110) + "\\par\n";
    }
    rtf += "\\pard\\fs22 The end.\\par}";
    return rtf;
}

class PageEstimateTest : public ::testing::Test {
protected:
    void SetUp() override {
        work_ = fs::temp_directory_path() / ("kelvaran-pages-" + std::to_string(::getpid()));
        fs::remove_all(work_);
        fs::create_directories(work_);
    }
    void TearDown() override {
        std::error_code ec;
        if (!std::getenv("KELVARAN_KEEP_PAGE_WORK")) fs::remove_all(work_, ec);
    }
    fs::path work_;
};

TEST_F(PageEstimateTest, PicturesOfAGeneratedDocumentAreOnLibreOfficesPageWithinOne) {
    const fs::path rtf = work_ / "generated.rtf";
    std::ofstream(rtf, std::ios::binary) << generatedRtf();
    LibreOffice office(work_);
    const fs::path doc = work_ / "generated-doc" / "generated.doc";
    ASSERT_TRUE(LibreOffice(work_ / "generated-doc").convert({rtf}, "doc"));
    ASSERT_TRUE(office.convert({rtf}, "pdf"));
    ASSERT_TRUE(LibreOffice(work_ / "generated-doc").convert({doc}, "pdf"));

    struct Case {
        fs::path document;
        fs::path pdf;
    };
    for (const Case& c : {Case{rtf, work_ / "generated.pdf"}, Case{doc, work_ / "generated-doc" / "generated.pdf"}}) {
        SCOPED_TRACE(c.document.string());
        const model::Document document = readDocumentFile(builtInFormats(), c.document.string());
        const std::vector<int> estimated = estimatedPictures(document);
        const std::vector<int> laidOut = LibreOffice::picturePages(c.pdf);
        const int pages = LibreOffice::pageCount(c.pdf);
        ASSERT_GE(pages, 6) << "the document should run over several pages";
        ASSERT_EQ(estimated.size(), 8u);
        ASSERT_EQ(laidOut.size(), estimated.size());
        std::string table;
        for (std::size_t i = 0; i < estimated.size(); ++i) {
            table += " " + std::to_string(estimated[i]) + "/" + std::to_string(laidOut[i]);
            EXPECT_LE(std::abs(estimated[i] - laidOut[i]), 1) << "picture " << i;
        }
        EXPECT_LE(std::abs(estimatedPages(document) - pages), 1);
        std::fprintf(stderr, "%s: estimated/LibreOffice pages of each picture:%s; %d/%d pages\n",
                     c.document.filename().c_str(), table.c_str(), estimatedPages(document), pages);
    }
}

// Most corpus documents end on LibreOffice's last page within one page;
// the others are documents whose layout leans on what the estimate leaves
// out (text flowing around floating pictures, nested tables, linked
// pictures LibreOffice cannot load): they stay within a quarter of the
// page count.
TEST_F(PageEstimateTest, TheCorpusDocumentsRunToLibreOfficesPageCountWithinOne) {
    const fs::path corpus = KELVARAN_CORPUS_DIR;
    if (!fs::exists(corpus)) GTEST_SKIP() << "no corpus at " << corpus;
    std::vector<fs::path> files;
    for (const char* folder : {"doc", "rtf"}) {
        if (!fs::exists(corpus / folder)) continue;
        for (const auto& entry : fs::directory_iterator(corpus / folder)) files.push_back(entry.path());
    }
    std::sort(files.begin(), files.end());
    ASSERT_FALSE(files.empty());
    // Names can repeat across the two folders: each folder converts apart.
    std::map<std::string, std::vector<fs::path>> byFolder;
    for (const auto& file : files) byFolder[file.parent_path().filename()].push_back(file);
    for (const auto& [folder, inFolder] : byFolder) {
        fs::create_directories(work_ / folder);
        LibreOffice(work_ / folder).convert(inFolder, "pdf");
    }
    int compared = 0;
    int withinOne = 0;
    for (const auto& file : files) {
        const fs::path pdf = work_ / file.parent_path().filename() / (file.stem().string() + ".pdf");
        const int pages = fs::exists(pdf) ? LibreOffice::pageCount(pdf) : 0;
        if (pages == 0) continue;  // LibreOffice cannot read it either
        model::Document document;
        try {
            document = readDocumentFile(builtInFormats(), file.string());
        } catch (const std::exception&) {
            continue;  // refused by our readers: no page to report
        }
        ++compared;
        const int estimated = estimatedPages(document);
        std::fprintf(stderr, "%-60s %3d estimated, %3d LibreOffice\n", file.filename().c_str(), estimated, pages);
        if (std::abs(estimated - pages) <= 1) ++withinOne;
        EXPECT_LE(std::abs(estimated - pages), std::max(1, (pages + 3) / 4)) << file.string();
    }
    EXPECT_GE(compared, 20);
    std::fprintf(stderr, "%d of %d documents within one page\n", withinOne, compared);
    EXPECT_GE(withinOne * 10, compared * 8) << withinOne << " of " << compared << " within one page";
}

}  // namespace
}  // namespace kelvaran::office::native
