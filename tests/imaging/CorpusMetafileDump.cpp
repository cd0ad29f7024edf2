// Writes every WMF and EMF of the corpus of real documents, and the enhanced
// metafile the metafile format makes of it, into a folder, with one line per
// picture on standard output:
//   NAME <tab> TYPE <tab> WIDTH_PX <tab> HEIGHT_PX
// (TYPE is EMF-mended for an EMF whose alpha-blended bitmaps were described
// anew, see withPlainAlphaBitmaps)
// (NAME.src is the source, NAME.emf ours).  A WMF shown cropped is also
// written cut to its visible part, as NAME-crop (its source NAME.src):
//   NAME-crop <tab> TYPE-crop <tab> WIDTH_PX <tab> HEIGHT_PX <tab> crop <tab> LEFT <tab> TOP <tab> RIGHT
//     <tab> BOTTOM <tab> FULL_WIDTH_PX <tab> FULL_HEIGHT_PX
// (the visible size, the fractions cut off each side, the whole picture's
// size).  (LibreOffice applies the crop of an RTF picture to an EMF that
// wraps a bitmap as if the picture had the bitmap's size, so cropped EMFs
// are left to the corpus check of their documents.)  For the comparison with
// LibreOffice in scripts/compare-metafiles-with-libreoffice.py.

#include "imaging/Imaging.h"
#include "tests/support/CorpusPictures.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <iostream>

int main(int argc, char** argv) {
    using namespace kelvaran;
    if (argc != 2) {
        std::cerr << "usage: corpus_metafile_dump FOLDER\n";
        return 2;
    }
    const std::filesystem::path folder = argv[1];
    std::filesystem::create_directories(folder);
    int n = 0;
    for (const auto& found : test::corpusPictures()) {
        const std::string& bytes = *found.picture.bytes;
        const imaging::PictureType type = imaging::sniff(bytes);
        if (type != imaging::PictureType::Wmf && type != imaging::PictureType::Emf) continue;
        std::string name = found.document + "-" + found.where;
        for (char& c : name)
            if (c == '/' || c == ' ') c = '_';
        try {
            const imaging::PixelSize size = imaging::pictureSize(bytes, type);
            const std::string emf = imaging::encodeEmf(bytes, type, size.width, size.height, size.width * 0.75,
                                                       size.height * 0.75);
            std::ofstream(folder / (name + ".src"), std::ios::binary) << bytes;
            std::ofstream(folder / (name + ".emf"), std::ios::binary) << emf;
            // An EMF source whose stored form differs was mended (its
            // alpha-blended icons); the two are expected to look different.
            const bool mended = type == imaging::PictureType::Emf && emf != bytes.substr(0, emf.size());
            std::cout << name << '\t' << imaging::typeName(type) << (mended ? "-mended" : "") << '\t' << size.width
                      << '\t' << size.height << '\n';
            ++n;
            const formats::model::Crop& crop = found.picture.crop;
            if (crop.any() && type == imaging::PictureType::Wmf) {
                const imaging::VisiblePart visible{crop.left, crop.top, crop.right, crop.bottom};
                const int w = std::max(1, static_cast<int>(std::lround(size.width * (1 - crop.left - crop.right))));
                const int h = std::max(1, static_cast<int>(std::lround(size.height * (1 - crop.top - crop.bottom))));
                try {
                    const std::string cut = imaging::encodeEmf(bytes, type, w, h, w * 0.75, h * 0.75, visible);
                    std::ofstream(folder / (name + "-crop.emf"), std::ios::binary) << cut;
                    std::cout << name << "-crop\t" << imaging::typeName(type) << "-crop\t" << w << '\t' << h << "\tcrop\t"
                              << crop.left << '\t' << crop.top << '\t' << crop.right << '\t' << crop.bottom << '\t'
                              << size.width << '\t' << size.height << '\n';
                    ++n;
                } catch (const std::exception& error) {
                    std::cout << name << "-crop\tFAILED\t" << error.what() << '\n';
                }
            }
        } catch (const std::exception& error) {
            std::cout << name << "\tFAILED\t" << error.what() << '\n';
        }
    }
    std::cerr << n << " metafiles written\n";
    return 0;
}
