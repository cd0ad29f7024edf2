#include "fuzz/RtfFuzzEntry.h"

#include "formats/rtf/RtfDetail.h"
#include "formats/rtf/RtfFormat.h"
#include "fuzz/DocumentEdits.h"

#include <cstdlib>

namespace kelvaran::formats::rtf {

namespace model = formats::model;

int exerciseRtf(std::string_view bytes) {
    auto source = std::make_shared<const std::string>(bytes);
    model::Document document;
    try {
        document = readRtf(source);
    } catch (const model::FormatError&) {
        return 0;
    }
    if (writeRtf(document) != bytes) std::abort();
    // Every run's text, and where its first and last characters stand, as a
    // writer asks for them: runs kept as spelled are read again here.
    for (const auto& story : document.stories) {
        (void)story.plainText();
        for (const auto& element : story.elements) {
            if (element.kind != model::ElementKind::Text || element.chars <= 0) continue;
            for (const std::int64_t unit : {std::int64_t{0}, element.chars - 1}) {
                const auto at = runCharacterOffset(element, unit);
                if (at && (static_cast<std::int64_t>(*at) < element.origin.range.begin ||
                           static_cast<std::int64_t>(*at) >= element.origin.range.end)) {
                    std::abort();
                }
            }
        }
    }
    fuzz::drawEveryPicture(document);
    bool edited = fuzz::replaceEveryPicture(document) > 0;
    for (int shape : document.topLevelShapes()) {
        auto& entry = document.shapes[static_cast<std::size_t>(shape)];
        if (entry.edit == model::EditState::Added) continue;
        entry.leftPt = 12;
        entry.rotation = 30;
        entry.layoutChanged = true;
        edited = true;
        break;
    }
    if (!edited) return 1;
    std::string written;
    try {
        written = writeRtf(document);
    } catch (const model::FormatError&) {
        return 1;  // a writer may refuse an edit it cannot express
    }
    model::Document again;
    try {
        again = readRtf(std::make_shared<const std::string>(written));
    } catch (const model::FormatError&) {
        std::abort();
    }
    if (fuzz::countPictures(again) != fuzz::countPictures(document)) std::abort();
    return 2;
}

}  // namespace kelvaran::formats::rtf
