#include "tests/formats/rtf/RtfTestSupport.h"

#include "formats/rtf/RtfFormat.h"
#include "platform/AtomicFile.h"

#include <algorithm>
#include <cctype>
#include <sstream>
#include <fstream>
#include <filesystem>

namespace kelvaran::formats::rtf::test {

namespace fs = std::filesystem;

std::string dataFile(const std::string& relative) {
    return platform::readWholeFile((fs::path(KELVARAN_SOURCE_DIR) / "tests/data" / relative).string());
}

std::vector<std::string> generatedRtfFiles() {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(fs::path(KELVARAN_SOURCE_DIR) / "tests/data/generated")) {
        if (entry.path().extension() == ".rtf") names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<std::string> corpusRtfFiles() {
    std::vector<std::string> paths;
    const fs::path corpus = fs::path(KELVARAN_SOURCE_DIR) / "../shared/corpus/rtf";
    std::error_code error;
    if (!fs::is_directory(corpus, error)) return paths;
    for (const auto& entry : fs::directory_iterator(corpus)) {
        if (entry.path().extension() == ".rtf") paths.push_back(entry.path().string());
    }
    std::sort(paths.begin(), paths.end());
    return paths;
}

std::map<std::string, int> corpusManifestCounts() {
    std::map<std::string, int> counts;
    std::ifstream in(fs::path(KELVARAN_SOURCE_DIR) / "../shared/corpus/MANIFEST.tsv");
    // Columns: file, bytes, sha256, source, license, writer, pictures, objects, ...
    for (std::string line; std::getline(in, line);) {
        std::vector<std::string> columns;
        std::stringstream row(line);
        for (std::string column; std::getline(row, column, '\t');) columns.push_back(column);
        if (columns.size() < 8 || columns[0] == "file") continue;
        const auto leading = [](const std::string& text) {
            return !text.empty() && std::isdigit(static_cast<unsigned char>(text[0])) ? std::stoi(text) : -1;
        };
        // Pictures in the body: header and footer pictures are not read.
        const auto body = columns[6].find(" body");
        const auto open = columns[6].rfind(' ', body == std::string::npos ? 0 : body - 1);
        const int pictures = body != std::string::npos && open != std::string::npos
                                 ? leading(columns[6].substr(open + 1))
                                 : leading(columns[6]);
        const int objects = leading(columns[7]);
        counts[columns[0]] = pictures < 0 || objects < 0 ? -1 : pictures + objects;
    }
    return counts;
}

model::Document read(const std::string& bytes) { return readRtf(std::make_shared<const std::string>(bytes)); }

model::Document roundTrip(const model::Document& document, std::string* written) {
    const std::string bytes = writeRtf(document);
    if (written) *written = bytes;
    return read(bytes);
}

std::string tinyPng() {
    // 2x2 red pixels, RGB: a complete file with correct checksums.
    static const unsigned char png[] = {
        0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A, 0x00, 0x00, 0x00, 0x0D, 0x49, 0x48, 0x44, 0x52, 0x00,
        0x00, 0x00, 0x02, 0x00, 0x00, 0x00, 0x02, 0x08, 0x02, 0x00, 0x00, 0x00, 0xFD, 0xD4, 0x9A, 0x73, 0x00,
        0x00, 0x00, 0x10, 0x49, 0x44, 0x41, 0x54, 0x78, 0x9C, 0x63, 0xF8, 0xCF, 0xC0, 0x00, 0x44, 0x0C, 0x10,
        0x0A, 0x00, 0x1F, 0xEE, 0x03, 0xFD, 0x8B, 0x5F, 0x14, 0xD4, 0x00, 0x00, 0x00, 0x00, 0x49, 0x45, 0x4E,
        0x44, 0xAE, 0x42, 0x60, 0x82};
    return std::string(reinterpret_cast<const char*>(png), sizeof png);
}

model::NewPicture newPng(double widthPt, double heightPt) {
    model::NewPicture picture;
    picture.type = model::PictureFormat::Png;
    picture.bytes = model::shareBytes(tinyPng());
    picture.pixelWidth = 2;
    picture.pixelHeight = 2;
    picture.widthPt = widthPt;
    picture.heightPt = heightPt;
    return picture;
}

std::string wrap(const std::string& body, const std::string& header) {
    return "{\\rtf1\\ansi\\ansicpg1252\\deff0{\\fonttbl{\\f0\\froman\\fcharset0 Times;}" + header + "}\r\n" + body +
           "}";
}

std::string hex(const std::string& bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (unsigned char c : bytes) {
        out += digits[c >> 4];
        out += digits[c & 15];
    }
    return out;
}

std::vector<std::pair<double, double>> inlineSizes(const model::Document& document) {
    std::vector<std::pair<double, double>> sizes;
    for (std::size_t s = 0; s < document.stories.size(); ++s) {
        for (int object : document.inlinesOf(static_cast<int>(s))) {
            sizes.emplace_back(document.inlines[static_cast<std::size_t>(object)].widthPt,
                               document.inlines[static_cast<std::size_t>(object)].heightPt);
        }
    }
    return sizes;
}

}  // namespace kelvaran::formats::rtf::test
