#pragma once

// What the RTF reader records in Origin::detail for its writer: where the
// keywords sit that a layout change rewrites.  Nothing outside formats/rtf
// looks at these.

#include "formats/model/Document.h"
#include "formats/model/FloatingShape.h"
#include "formats/model/Origin.h"
#include "formats/rtf/RtfRunOffsets.h"

#include <functional>

#include <cstdint>
#include <map>
#include <optional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace kelvaran::formats::rtf {

// A text run: the byte at which each of its characters begins.
struct TextDetail {
    RunOffsets offsets;
};

// A text run of one byte a character, one after the other from the start of
// its range (plain text between two keywords): its offsets need no record.
struct PlainTextDetail {};

// A text run kept as spelled in the input (model::RunText::spelled()): the
// state its reading starts from, as spelledRunContext() packs it.  Its
// offsets are read again from its bytes when asked for.
struct SpelledTextDetail {
    std::uint32_t context = 0;
};

// The byte at which character `unit` of a text run read from the input
// begins, when the reader recorded it and the run has that many.
std::optional<std::size_t> runCharacterOffset(const model::Element& run, std::int64_t unit);

// A {\pict} group and the words a new displayed size rewrites.
struct PictDetail {
    model::ByteRange pict;
    std::size_t afterPictWord = 0;  // where new size words go
    std::vector<model::ByteRange> sizeWords;  // \picscalex, \picscaley, \brdr..
    // In twips; 0 when the picture did not say.
    std::int32_t goalWidth = 0;
    std::int32_t goalHeight = 0;
    std::int32_t cropLeft = 0;
    std::int32_t cropRight = 0;
    std::int32_t cropTop = 0;
    std::int32_t cropBottom = 0;
};

// An inline picture or object.
struct InlineDetail {
    bool object = false;     // an {\object} group
    bool hasPict = false;
    PictDetail pict;         // pictures: the picture; objects: unused
    std::size_t afterObjectWord = 0;
    std::vector<model::ByteRange> objectSizeWords;  // \objscalex, \objscaley
    std::int32_t objectWidth = 0;   // \objw, twips
    std::int32_t objectHeight = 0;  // \objh, twips
    int story = -1;                 // the story it was read into
};

// The values a shape was read with: a writer that rewrites a shape compares
// the model with them and touches only the keywords of what changed.
struct ShapeValues {
    double leftPt = 0, topPt = 0, widthPt = 0, heightPt = 0;
    bool hasRel = false;  // a group member's relLeft.. in its group's units
    double relLeft = 0, relTop = 0, relRight = 0, relBottom = 0;
    double rotation = 0;
    bool flipHorizontal = false;
    bool flipVertical = false;
    std::int64_t stackPosition = 0;
    bool behindText = false;
    model::Wrap wrap;
    model::RelativeLayout relative;
    bool lockAspectRatio = true;
    std::string name;
    std::map<std::string, std::string> formatting;
    bool inHeader = false;
    int parent = -1;     // the group it was a member of
    int shapeType = -1;  // the shapeType property, -1 when it had none
};

// A {\shp} or {\shpgrp} group.
struct ShapeDetail {
    model::ByteRange group;              // the {\shp} or {\shpgrp} group itself
    model::ByteRange instance;           // the {\*\shpinst} group
    std::size_t afterInstanceWord = 0;   // where new layout words go
    struct Keyword {
        std::string name;
        model::ByteRange range;
    };
    std::vector<Keyword> layoutWords;    // \shpleft .. \shpz, \shpbx.., \shpby..
    std::vector<Keyword> properties;     // each whole {\sp} group by its name
    model::ByteRange text;               // the {\shptxt} group, if any
    std::vector<model::ByteRange> results;  // {\shprslt}: the copy for readers without shapes
    // Where the shape's picture came from: "pib", "fillBlip" or nothing.
    std::string pictureProperty;
    ShapeValues read;
    // Groups: the coordinate space of their members.
    bool hasGroupSpace = false;
    double groupLeft = 0, groupTop = 0, groupRight = 0, groupBottom = 0;
    bool member = false;  // written with relLeft.. inside a group
};

// Shape properties that are line, fill or shadow formatting: what a
// shape's `formatting` holds and a layout change writes again.  The picture
// fill is content, not formatting.
inline bool isFormattingProperty(std::string_view name) {
    if (name == "fillBlip" || name == "fillBlipName" || name == "fillBlipFlags" || name == "fillType") return false;
    for (std::string_view prefix : {"line", "fLine", "fill", "fFilled", "shadow", "fShadow"}) {
        if (name.substr(0, prefix.size()) == prefix) return true;
    }
    return false;
}

// Shape properties that a layout change writes again from the model.
inline bool isLayoutProperty(std::string_view name) {
    for (std::string_view known : {"rotation", "fFlipH", "fFlipV", "posrelh", "posrelv", "posh", "posv",
                                   "dxWrapDistLeft", "dxWrapDistRight", "dyWrapDistTop", "dyWrapDistBottom",
                                   "fBehindDocument", "fAllowOverlap", "sizerelh", "sizerelv", "relLeft", "relTop",
                                   "relRight", "relBottom", "fLockAspectRatio", "wzName"}) {
        if (name == known) return true;
    }
    return false;
}

// Throws FormatError when an object the writer keeps lies inside the bytes
// of another it removes or writes anew without belonging to it (a member, a
// picture of its text, a shape written again elsewhere): a damaged file can
// nest one object inside another, and the copy would silently lose it.
// owned tells the objects whose bytes are in the file being written.
void refuseLosingNestedObjects(const model::Document& document,
                               const std::function<bool(const model::Origin&)>& owned);

}  // namespace kelvaran::formats::rtf
