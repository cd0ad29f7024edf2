// Every Windows metafile, enhanced metafile and PICT of the corpus of real
// documents is read and drawn, and its metafile-format picture stays a
// drawing.

#include "imaging/Imaging.h"
#include "tests/support/CorpusPictures.h"

#include <gtest/gtest.h>

namespace kelvaran::imaging {
namespace {

bool isMetafile(PictureType type) {
    return type == PictureType::Wmf || type == PictureType::Emf || type == PictureType::Pict;
}

// Something was painted: not every pixel transparent or white.
bool anythingDrawn(const Image& img) {
    for (std::size_t i = 0; i < img.rgba.size(); i += 4)
        if (img.rgba[i + 3] > 0 && (img.rgba[i] < 250 || img.rgba[i + 1] < 250 || img.rgba[i + 2] < 250)) return true;
    return false;
}

TEST(CorpusMetafiles, EveryOneIsReadDrawnAndKeptVector) {
    std::vector<std::string> unreadable;
    const auto pictures = test::corpusPictures(&unreadable);
    for (const std::string& why : unreadable) std::cout << "[ note ] not read by the document readers: " << why << "\n";
    int metafiles = 0;
    for (const auto& found : pictures) {
        const std::string_view bytes = *found.picture.bytes;
        const PictureType type = sniff(bytes);
        if (!isMetafile(type)) continue;
        ++metafiles;
        SCOPED_TRACE(found.document + " " + found.where + " (" + typeName(type) + ", " +
                     std::to_string(bytes.size()) + " bytes)");
        try {
            const PixelSize natural = pictureSize(bytes, type);
            // Drawn at its natural size, capped so that huge ones stay quick.
            const double scale = std::min(1.0, 800.0 / std::max(natural.width, natural.height));
            const int w = std::max(1, static_cast<int>(natural.width * scale));
            const int h = std::max(1, static_cast<int>(natural.height * scale));
            const Image img = render(bytes, type, w, h);
            EXPECT_TRUE(anythingDrawn(img)) << "drawn blank";
            if (type == PictureType::Pict) continue;
            const std::string emf = encodeEmf(bytes, type, w, h, w * 0.75, h * 0.75);
            EXPECT_EQ(sniff(emf), PictureType::Emf);
            EXPECT_LE(emf.size(), 4 * bytes.size() + 4096) << "the metafile format turned a drawing into a bitmap";
            const Image again = render(emf, PictureType::Emf, w, h);
            EXPECT_TRUE(anythingDrawn(again)) << "its metafile-format picture is drawn blank";
        } catch (const ImagingError& error) {
            ADD_FAILURE() << "not read: " << error.what();
        }
    }
    // The corpus holds about a hundred; far fewer means the readers or the
    // corpus changed under this test.
    EXPECT_GE(metafiles, 90);
}

}  // namespace
}  // namespace kelvaran::imaging
