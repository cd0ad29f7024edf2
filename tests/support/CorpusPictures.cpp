#include "tests/support/CorpusPictures.h"

#include "formats/doc/DocFormat.h"
#include "formats/model/FormatError.h"
#include "formats/rtf/RtfFormat.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <memory>
#include <stdexcept>

namespace kelvaran::test {

namespace fs = std::filesystem;
namespace model = formats::model;

fs::path corpusFolder() {
    const fs::path folder = fs::path(KELVARAN_SOURCE_DIR) / ".." / "shared" / "corpus";
    std::error_code error;
    if (!fs::is_directory(folder / "doc", error) || !fs::is_directory(folder / "rtf", error))
        throw std::runtime_error("the corpus of real documents is missing: " + folder.string());
    return folder;
}

std::vector<std::string> corpusDocuments() {
    const fs::path folder = corpusFolder();
    std::vector<std::string> names;
    for (const char* kind : {"doc", "rtf"}) {
        for (const auto& entry : fs::directory_iterator(folder / kind)) {
            if (entry.is_regular_file() && entry.path().extension() == std::string(".") + kind)
                names.push_back(std::string(kind) + "/" + entry.path().filename().string());
        }
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<CorpusPicture> picturesOf(const std::string& document) {
    std::ifstream in(corpusFolder() / document, std::ios::binary);
    if (!in) throw std::runtime_error("cannot open " + document);
    auto bytes = std::make_shared<const std::string>(std::istreambuf_iterator<char>(in),
                                                     std::istreambuf_iterator<char>());
    const model::Document doc = formats::rtf::looksLikeRtf(*bytes) ? formats::rtf::readRtf(bytes)
                                                                   : formats::doc::readDoc(bytes);
    std::vector<CorpusPicture> pictures;
    for (std::size_t i = 0; i < doc.inlines.size(); ++i) {
        const auto& object = doc.inlines[i];
        if (object.edit == model::EditState::Deleted || object.picture.empty()) continue;
        pictures.push_back(
            {document, "inline " + std::to_string(i), object.progId, object.widthPt, object.heightPt, object.picture});
    }
    for (std::size_t i = 0; i < doc.shapes.size(); ++i) {
        const auto& shape = doc.shapes[i];
        if (shape.edit == model::EditState::Deleted || shape.picture.empty()) continue;
        pictures.push_back(
            {document, "shape " + std::to_string(i), shape.progId, shape.widthPt, shape.heightPt, shape.picture});
    }
    return pictures;
}

std::vector<CorpusPicture> corpusPictures(std::vector<std::string>* unreadable) {
    std::vector<CorpusPicture> all;
    for (const std::string& document : corpusDocuments()) {
        try {
            std::vector<CorpusPicture> found = picturesOf(document);
            all.insert(all.end(), std::make_move_iterator(found.begin()), std::make_move_iterator(found.end()));
        } catch (const model::FormatError& error) {
            if (unreadable) unreadable->push_back(document + ": " + error.what());
        }
    }
    return all;
}

}  // namespace kelvaran::test
