// Writes every WMF and EMF of the corpus of real documents, and the enhanced
// metafile the metafile format makes of it, into a folder, with one line per
// picture on standard output:
//   NAME <tab> TYPE <tab> WIDTH_PX <tab> HEIGHT_PX
// (TYPE is EMF-mended for an EMF whose alpha-blended bitmaps were described
// anew, see withPlainAlphaBitmaps)
// (NAME.src is the source, NAME.emf ours).  For the comparison with
// LibreOffice in scripts/compare-metafiles-with-libreoffice.py.

#include "imaging/Imaging.h"
#include "tests/support/CorpusPictures.h"

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
        } catch (const std::exception& error) {
            std::cout << name << "\tFAILED\t" << error.what() << '\n';
        }
    }
    std::cerr << n << " metafiles written\n";
    return 0;
}
