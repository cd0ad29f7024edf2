#include "fuzz/RtfFuzzEntry.h"

#include "formats/model/NewPicture.h"
#include "formats/rtf/RtfFormat.h"

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
    // One edit of each common kind, as the program makes them.
    bool edited = false;
    const auto objects = document.inlinesOf(0);
    if (!objects.empty()) {
        const auto [story, element] = document.locateInline(objects.front());
        const auto at = document.stories[static_cast<std::size_t>(story)].positionOf(static_cast<std::size_t>(element));
        model::InlineObject added;
        added.picture.type = model::PictureFormat::Png;
        added.picture.bytes = model::shareBytes(std::string("\x89PNG\r\n\x1a\n", 8));
        added.widthPt = 10;
        added.heightPt = 10;
        document.eraseRange(story, at, at + 1);
        document.insertInline(story, at, added);
        edited = true;
    }
    for (int shape : document.topLevelShapes()) {
        auto& entry = document.shapes[static_cast<std::size_t>(shape)];
        entry.leftPt = 12;
        entry.rotation = 30;
        entry.layoutChanged = true;
        edited = true;
        break;
    }
    if (!edited) return 1;
    try {
        const std::string written = writeRtf(document);
        readRtf(std::make_shared<const std::string>(written));
    } catch (const model::FormatError&) {
        return 1;
    }
    return 2;
}

}  // namespace kelvaran::formats::rtf
