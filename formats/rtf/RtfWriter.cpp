// The RTF writer: the input bytes with a sorted list of splices.  Nothing
// outside a changed group is re-serialised, so an unchanged document comes
// back byte for byte.  A new document is written whole from the model.

#include "formats/rtf/RtfDetail.h"
#include "formats/rtf/RtfFormat.h"
#include "formats/rtf/RtfPicture.h"

#include <algorithm>
#include <cmath>
#include <optional>

namespace kelvaran::formats::rtf {

namespace model = formats::model;

namespace {

// The start of every new document: Shift-JIS text, one Japanese font
// (ＭＳ 明朝), Unicode characters with one fallback byte.
constexpr std::string_view kNewDocumentHead =
    "{\\rtf1\\ansi\\ansicpg932\\deff0\\deflang1033\\deflangfe1041"
    "{\\fonttbl{\\f0\\fnil\\fcharset128 \\'82\\'6c\\'82\\'72 \\'96\\'be\\'92\\'a9;}}\r\n"
    "\\uc1\\pard\\plain\\f0\\fs21 ";

struct Edit {
    std::size_t begin = 0;
    std::size_t end = 0;
    std::string text;
    std::size_t sequence = 0;
};

long twips(double points) {
    if (!std::isfinite(points) || std::fabs(points) > 1e7) throw model::FormatError("a size or position is out of range");
    return std::lround(points * 20);
}

bool isWordChar(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'); }

// True when the bytes before `at` end a control word without a delimiter
// ("\b" or "\f1" right before a group).
bool controlWordEndsAt(std::string_view bytes, std::size_t at) {
    std::size_t i = at;
    while (i > 0 && (isWordChar(bytes[i - 1]) || bytes[i - 1] == '-')) --i;
    if (i == at || i == 0 || bytes[i - 1] != '\\') return false;
    // "\\" before it would make it text: an even run of backslashes.
    std::size_t slashes = 0;
    for (std::size_t j = i; j > 0 && bytes[j - 1] == '\\'; --j) ++slashes;
    return slashes % 2 == 1 && isWordChar(bytes[i]) && !(bytes[i] >= '0' && bytes[i] <= '9');
}

// Text that goes in place of [begin, end): a single space where the text
// would otherwise run into a control word before or after it.
std::string joined(std::string_view bytes, std::size_t begin, std::size_t end, std::string text) {
    const char after = end < bytes.size() ? bytes[end] : '}';
    const bool afterJoins = isWordChar(after) || after == ' ' || after == '-';
    if (text.empty()) {
        if (afterJoins && controlWordEndsAt(bytes, begin)) return " ";
        return text;
    }
    if (afterJoins && controlWordEndsAt(text, text.size())) text += ' ';
    return text;
}

std::string escapeText(std::string_view utf8) {
    std::string out;
    for (std::size_t i = 0; i < utf8.size();) {
        const auto lead = static_cast<unsigned char>(utf8[i]);
        char32_t c = lead;
        std::size_t width = 1;
        if (lead >= 0xF0 && i + 3 < utf8.size()) {
            width = 4;
            c = (lead & 0x07u) << 18 | (static_cast<unsigned char>(utf8[i + 1]) & 0x3Fu) << 12 |
                (static_cast<unsigned char>(utf8[i + 2]) & 0x3Fu) << 6 | (static_cast<unsigned char>(utf8[i + 3]) & 0x3Fu);
        } else if (lead >= 0xE0 && i + 2 < utf8.size()) {
            width = 3;
            c = (lead & 0x0Fu) << 12 | (static_cast<unsigned char>(utf8[i + 1]) & 0x3Fu) << 6 |
                (static_cast<unsigned char>(utf8[i + 2]) & 0x3Fu);
        } else if (lead >= 0xC0 && i + 1 < utf8.size()) {
            width = 2;
            c = (lead & 0x1Fu) << 6 | (static_cast<unsigned char>(utf8[i + 1]) & 0x3Fu);
        } else if (lead >= 0x80) {
            c = 0xFFFD;
        }
        i += width;
        if (c == '\\' || c == '{' || c == '}') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c == '\t') {
            out += "\\tab ";
        } else if (c == '\v') {
            out += "\\line ";
        } else if (c == '\n' || c == '\r') {
            out += "\\line ";
        } else if (c < 0x20) {
        } else if (c < 0x80) {
            out += static_cast<char>(c);
        } else {
            auto unit = [&out](char32_t u) {
                const int value = u > 32767 ? static_cast<int>(u) - 65536 : static_cast<int>(u);
                out += "\\u" + std::to_string(value) + "?";
            };
            if (c >= 0x10000) {
                c -= 0x10000;
                unit(0xD800 + (c >> 10));
                unit(0xDC00 + (c & 0x3FF));
            } else {
                unit(c);
            }
        }
    }
    return out;
}

std::string property(const std::string& name, const std::string& value) {
    return "{\\sp{\\sn " + name + "}{\\sv " + value + "}}";
}

// The coordinate space a group gives its members: twips of the group's own
// rectangle unless the group says otherwise.
struct Space {
    double left = 0, top = 0, right = 0, bottom = 0;  // group units
    double leftPt = 0, topPt = 0, widthPt = 0, heightPt = 0;  // the group's rectangle

    double x(double pt) const { return widthPt > 0 ? left + (pt - leftPt) * (right - left) / widthPt : pt * 20; }
    double y(double pt) const { return heightPt > 0 ? top + (pt - topPt) * (bottom - top) / heightPt : pt * 20; }
};

class Writer {
public:
    explicit Writer(const model::Document& document) : doc_(document) {
        if (doc_.source) source_ = *doc_.source;
    }

    void write(const ByteSink& sink);

private:
    bool owned(const model::Origin& origin) const {
        return origin.format == "rtf" && origin.source && doc_.source && origin.source == doc_.source &&
               origin.range.valid() && static_cast<std::size_t>(origin.range.end) <= source_.size();
    }
    static bool fromRtf(const model::Origin& origin) {
        return origin.format == "rtf" && origin.source && origin.range.valid() &&
               static_cast<std::size_t>(origin.range.end) <= origin.source->size();
    }
    void add(std::vector<Edit>& list, std::string_view bytes, std::size_t begin, std::size_t end, std::string text) {
        list.push_back(Edit{begin, end, joined(bytes, begin, end, std::move(text)), sequence_++});
    }
    void add(std::size_t begin, std::size_t end, std::string text) { add(edits_, source_, begin, end, std::move(text)); }
    void remove(const model::Origin& origin, std::string replacement = {});

    // The bytes [from, to) of `bytes` with the edits inside that range applied.
    static std::string apply(std::string_view bytes, std::size_t from, std::size_t to, std::vector<Edit> list);
    static void applyTo(const ByteSink& sink, std::string_view bytes, std::size_t from, std::size_t to,
                        std::vector<Edit> list);

    std::string renderInline(const model::InlineObject& object);
    std::string newInline(const model::InlineObject& object);
    std::vector<Edit> inlineSizePatch(const model::InlineObject& object, std::string_view bytes);
    std::string renderShape(int index, const Space* space, int depth);
    std::string newShape(int index, const Space* space, int depth);
    std::vector<Edit> shapePatch(const model::FloatingShape& shape, std::string_view bytes, const Space* space);
    std::string layoutWords(const model::FloatingShape& shape, const Space* space) const;
    std::string layoutProperties(const model::FloatingShape& shape, const Space* space) const;
    std::string storyText(int story, int depth);
    Space spaceOf(const model::FloatingShape& group) const;

    // Where something added before element `index` of a story goes.
    std::optional<std::size_t> endBefore(int story, std::size_t index) const;
    std::optional<std::size_t> beginAt(int story, std::size_t index) const;
    bool storyWritten(int story) const;

    void inlineEdits();
    void shapeEdits();

    const model::Document& doc_;
    std::string_view source_;
    std::vector<Edit> edits_;
    std::size_t sequence_ = 0;
    std::vector<bool> replacementUsed_;
};

void Writer::remove(const model::Origin& origin, std::string replacement) {
    add(static_cast<std::size_t>(origin.range.begin), static_cast<std::size_t>(origin.range.end), std::move(replacement));
    for (const auto& companion : origin.companions) {
        if (!companion.valid() || static_cast<std::size_t>(companion.end) > source_.size()) continue;
        add(static_cast<std::size_t>(companion.begin), static_cast<std::size_t>(companion.end), {});
    }
}

std::string Writer::apply(std::string_view bytes, std::size_t from, std::size_t to, std::vector<Edit> list) {
    std::string out;
    applyTo([&out](std::string_view piece) { out.append(piece); }, bytes, from, to, std::move(list));
    return out;
}

void Writer::applyTo(const ByteSink& sink, std::string_view bytes, std::size_t from, std::size_t to,
                     std::vector<Edit> list) {
    // At one place, insertions come before a range that starts there.
    std::stable_sort(list.begin(), list.end(), [](const Edit& a, const Edit& b) {
        if (a.begin != b.begin) return a.begin < b.begin;
        const bool aInserts = a.end == a.begin;
        const bool bInserts = b.end == b.begin;
        if (aInserts != bInserts) return aInserts;
        return a.sequence < b.sequence;
    });
    std::size_t cursor = from;
    for (const auto& edit : list) {
        if (edit.begin < from || edit.end > to || edit.end < edit.begin) continue;
        // An edit inside a group that is already replaced or deleted goes with it.
        if (edit.begin < cursor) continue;
        if (edit.begin > cursor) sink(bytes.substr(cursor, edit.begin - cursor));
        if (!edit.text.empty()) sink(edit.text);
        cursor = std::max(cursor, edit.end);
    }
    if (to > cursor) sink(bytes.substr(cursor, to - cursor));
}

std::vector<Edit> Writer::inlineSizePatch(const model::InlineObject& object, std::string_view bytes) {
    std::vector<Edit> list;
    const auto* detail = std::any_cast<InlineDetail>(&object.origin.detail);
    if (!detail) throw model::FormatError("a picture's new size cannot be written: its place in the file is unknown");
    if (!std::isfinite(object.widthPt) || !std::isfinite(object.heightPt) || object.widthPt <= 0 ||
        object.heightPt <= 0) {
        throw model::FormatError("a picture has no usable size");
    }
    if (detail->object) {
        if (detail->objectWidth <= 0 || detail->objectHeight <= 0) {
            throw model::FormatError("an object's new size cannot be written: it has no size of its own");
        }
        for (const auto& range : detail->objectSizeWords) {
            add(list, bytes, static_cast<std::size_t>(range.begin), static_cast<std::size_t>(range.end), {});
        }
        add(list, bytes, detail->afterObjectWord, detail->afterObjectWord,
            "\\objw" + std::to_string(twips(object.widthPt)) + "\\objh" + std::to_string(twips(object.heightPt)) +
                "\\objscalex100\\objscaley100");
    }
    if (detail->hasPict) {
        // The new size as the picture's own, unscaled: exact to the twip.
        // The crop keeps its share of the picture.
        const auto& pict = detail->pict;
        const double goalW = pict.goalWidth > 0 ? pict.goalWidth : object.picture.naturalWidthPt * 20;
        const double goalH = pict.goalHeight > 0 ? pict.goalHeight : object.picture.naturalHeightPt * 20;
        const double shownW = goalW - pict.cropLeft - pict.cropRight;
        const double shownH = goalH - pict.cropTop - pict.cropBottom;
        if (!(shownW > 0) || !(shownH > 0)) {
            throw model::FormatError("a picture's new size cannot be written: its own size is unknown");
        }
        for (const auto& range : pict.sizeWords) {
            add(list, bytes, static_cast<std::size_t>(range.begin), static_cast<std::size_t>(range.end), {});
        }
        const double sx = object.widthPt * 20 / shownW;
        const double sy = object.heightPt * 20 / shownH;
        auto scaled = [](double value, double by) { return std::to_string(std::lround(value * by)); };
        add(list, bytes, pict.afterPictWord, pict.afterPictWord,
            borderWords(object.borders) + "\\picscalex100\\picscaley100\\piccropl" + scaled(pict.cropLeft, sx) +
                "\\piccropr" + scaled(pict.cropRight, sx) + "\\piccropt" + scaled(pict.cropTop, sy) + "\\piccropb" +
                scaled(pict.cropBottom, sy) + "\\picwgoal" + scaled(goalW, sx) + "\\pichgoal" + scaled(goalH, sy));
    }
    return list;
}

std::string Writer::newInline(const model::InlineObject& object) {
    // Objects made anew are pictures: their object data is not carried.
    return "{\\*\\shppict" + pictGroup(object.picture, object.widthPt, object.heightPt, &object.borders) + "}";
}

std::string Writer::renderInline(const model::InlineObject& object) {
    if (!fromRtf(object.origin) || object.edit == model::EditState::Replaced) return newInline(object);
    const std::string_view bytes = *object.origin.source;
    const auto begin = static_cast<std::size_t>(object.origin.range.begin);
    const auto end = static_cast<std::size_t>(object.origin.range.end);
    std::string out = object.layoutChanged ? apply(bytes, begin, end, inlineSizePatch(object, bytes))
                                           : std::string(bytes.substr(begin, end - begin));
    // The fallback copies go with it: they are part of what it costs.
    for (const auto& companion : object.origin.companions) {
        if (!companion.valid() || static_cast<std::size_t>(companion.end) > bytes.size()) continue;
        out.append(bytes.substr(static_cast<std::size_t>(companion.begin),
                                static_cast<std::size_t>(companion.length())));
    }
    return out;
}

Space Writer::spaceOf(const model::FloatingShape& group) const {
    Space space;
    space.leftPt = group.leftPt;
    space.topPt = group.topPt;
    space.widthPt = group.widthPt;
    space.heightPt = group.heightPt;
    const auto* detail = group.origin.format == "rtf" ? std::any_cast<ShapeDetail>(&group.origin.detail) : nullptr;
    if (detail && detail->hasGroupSpace && detail->groupRight > detail->groupLeft &&
        detail->groupBottom > detail->groupTop) {
        space.left = detail->groupLeft;
        space.top = detail->groupTop;
        space.right = detail->groupRight;
        space.bottom = detail->groupBottom;
    } else {
        space.left = static_cast<double>(twips(group.leftPt));
        space.top = static_cast<double>(twips(group.topPt));
        space.right = static_cast<double>(twips(group.leftPt + group.widthPt));
        space.bottom = static_cast<double>(twips(group.topPt + group.heightPt));
    }
    return space;
}

std::string Writer::layoutWords(const model::FloatingShape& shape, const Space* space) const {
    if (space) return {};  // members are placed by their relLeft.. properties
    std::string out;
    out += "\\shpleft" + std::to_string(twips(shape.leftPt)) + "\\shptop" + std::to_string(twips(shape.topPt));
    out += "\\shpright" + std::to_string(twips(shape.leftPt + shape.widthPt));
    out += "\\shpbottom" + std::to_string(twips(shape.topPt + shape.heightPt));
    switch (shape.relative.horizontalPosition) {
        case 0: out += "\\shpbxmargin"; break;
        case 1: out += "\\shpbxpage"; break;
        case 2: out += "\\shpbxcolumn"; break;
        default: break;
    }
    out += "\\shpbxignore";
    switch (shape.relative.verticalPosition) {
        case 0: out += "\\shpbymargin"; break;
        case 1: out += "\\shpbypage"; break;
        case 2: out += "\\shpbypara"; break;
        default: break;
    }
    out += "\\shpbyignore";
    int wr = 3;
    switch (shape.wrap.type) {
        case 0: wr = 2; break;
        case 1: wr = 4; break;
        case 2: wr = 5; break;
        case 4: wr = 1; break;
        default: wr = 3; break;
    }
    out += "\\shpwr" + std::to_string(wr);
    if (wr == 2 || wr == 4 || wr == 5) out += "\\shpwrk" + std::to_string(std::clamp(shape.wrap.side, 0, 3));
    const bool behind = shape.behindText || shape.wrap.type == 5;
    out += "\\shpfblwtxt" + std::to_string(behind ? 1 : 0);
    out += "\\shpz" + std::to_string(std::max<std::int64_t>(0, shape.stackPosition));
    out += "\\shpfhdr" + std::to_string(shape.inHeader ? 1 : 0);
    return out;
}

std::string Writer::layoutProperties(const model::FloatingShape& shape, const Space* space) const {
    std::string out;
    auto emu = [](double points) { return std::to_string(std::llround(points * 12700)); };
    if (shape.rotation != 0) {
        // Written between -180 and 180 degrees, as LibreOffice writes it and
        // reads it back the right way round (it turns 330 the other way).
        double degrees = std::fmod(shape.rotation, 360.0);
        if (degrees > 180) degrees -= 360;
        if (degrees <= -180) degrees += 360;
        out += property("rotation", std::to_string(std::llround(degrees * 65536)));
    }
    if (shape.flipHorizontal) out += property("fFlipH", "1");
    if (shape.flipVertical) out += property("fFlipV", "1");
    if (space) {
        out += property("relLeft", std::to_string(std::llround(space->x(shape.leftPt))));
        out += property("relTop", std::to_string(std::llround(space->y(shape.topPt))));
        out += property("relRight", std::to_string(std::llround(space->x(shape.leftPt + shape.widthPt))));
        out += property("relBottom", std::to_string(std::llround(space->y(shape.topPt + shape.heightPt))));
    } else {
        out += property("posrelh", std::to_string(std::clamp(shape.relative.horizontalPosition, 0, 7)));
        out += property("posrelv", std::to_string(std::clamp(shape.relative.verticalPosition, 0, 7)));
        out += property("dxWrapDistLeft", emu(shape.wrap.distanceLeftPt));
        out += property("dxWrapDistRight", emu(shape.wrap.distanceRightPt));
        out += property("dyWrapDistTop", emu(shape.wrap.distanceTopPt));
        out += property("dyWrapDistBottom", emu(shape.wrap.distanceBottomPt));
        out += property("fBehindDocument", shape.behindText || shape.wrap.type == 5 ? "1" : "0");
        if (!shape.wrap.allowOverlap) out += property("fAllowOverlap", "0");
        if (shape.relative.horizontalSize != 0) out += property("sizerelh", std::to_string(shape.relative.horizontalSize));
        if (shape.relative.verticalSize != 0) out += property("sizerelv", std::to_string(shape.relative.verticalSize));
    }
    if (!shape.lockAspectRatio) out += property("fLockAspectRatio", "0");
    if (!shape.name.empty()) out += property("wzName", escapeText(shape.name));
    for (const auto& [name, value] : shape.formatting) {
        if (!isFormattingProperty(name) || name.find_first_of("{}\\") != std::string::npos) continue;
        if (value.find_first_of("{}\\") != std::string::npos) continue;
        out += property(name, value);
    }
    return out;
}

std::vector<Edit> Writer::shapePatch(const model::FloatingShape& shape, std::string_view bytes, const Space* space) {
    std::vector<Edit> list;
    const auto* detail = std::any_cast<ShapeDetail>(&shape.origin.detail);
    if (!detail || !detail->instance.valid()) {
        throw model::FormatError("a shape's new layout cannot be written: its place in the file is unknown");
    }
    for (const auto& range : detail->layoutWords) {
        add(list, bytes, static_cast<std::size_t>(range.begin), static_cast<std::size_t>(range.end), {});
    }
    for (const auto& entry : detail->properties) {
        if (isLayoutProperty(entry.name) || isFormattingProperty(entry.name)) {
            add(list, bytes, static_cast<std::size_t>(entry.range.begin), static_cast<std::size_t>(entry.range.end), {});
        }
    }
    std::string fresh = layoutWords(shape, space) + layoutProperties(shape, space);
    add(list, bytes, detail->afterInstanceWord, detail->afterInstanceWord, std::move(fresh));
    return list;
}

std::string Writer::renderShape(int index, const Space* space, int depth) {
    if (depth > 64) throw model::FormatError("the groups are nested too deeply to be written");
    const auto& shape = doc_.shapes.at(static_cast<std::size_t>(index));
    const bool madeInMemory = shape.type == model::shape_type::kGroup && shape.edit == model::EditState::Added &&
                              !fromRtf(shape.origin);
    if (!fromRtf(shape.origin) || madeInMemory || shape.edit == model::EditState::Replaced) {
        return newShape(index, space, depth);
    }
    const std::string_view bytes = *shape.origin.source;
    const auto begin = static_cast<std::size_t>(shape.origin.range.begin);
    const auto end = static_cast<std::size_t>(shape.origin.range.end);
    std::vector<Edit> list = shapePatch(shape, bytes, space);
    if (owned(shape.origin)) {
        // Changes inside it (pictures of its text, members) come along.
        for (const auto& edit : edits_) {
            if (edit.begin >= begin && edit.end <= end && !(edit.begin == begin && edit.end == end)) list.push_back(edit);
        }
    }
    return apply(bytes, begin, end, std::move(list));
}

std::string Writer::newShape(int index, const Space* space, int depth) {
    const auto& shape = doc_.shapes.at(static_cast<std::size_t>(index));
    if (shape.type == model::shape_type::kGroup) {
        const Space inner = spaceOf(shape);
        std::string out = "{\\shpgrp{\\*\\shpinst" + layoutWords(shape, space);
        out += property("groupLeft", std::to_string(std::llround(inner.left)));
        out += property("groupTop", std::to_string(std::llround(inner.top)));
        out += property("groupRight", std::to_string(std::llround(inner.right)));
        out += property("groupBottom", std::to_string(std::llround(inner.bottom)));
        out += layoutProperties(shape, space);
        for (int member : shape.children) {
            if (member == index || member < 0 || member >= static_cast<int>(doc_.shapes.size())) continue;
            if (doc_.shapes[static_cast<std::size_t>(member)].edit == model::EditState::Deleted) continue;
            out += renderShape(member, &inner, depth + 1);
        }
        return out + "}}";
    }
    std::string out = "{\\shp{\\*\\shpinst" + layoutWords(shape, space);
    int shapeType = 1;
    switch (shape.type) {
        case model::shape_type::kPicture:
        case model::shape_type::kEmbeddedObject: shapeType = 75; break;
        case model::shape_type::kTextBox: shapeType = 202; break;
        case model::shape_type::kOval: shapeType = 3; break;
        default: shapeType = 1; break;
    }
    out += property("shapeType", std::to_string(shapeType));
    out += layoutProperties(shape, space);
    if (!shape.picture.empty()) {
        out += "{\\sp{\\sn pib}{\\sv " + pictGroup(shape.picture, shape.widthPt, shape.heightPt) + "}}";
    } else if (shapeType == 75) {
        throw model::FormatError("a picture shape without a picture cannot be written");
    }
    if (shape.textStory > 0 && shape.textStory < static_cast<int>(doc_.stories.size())) {
        out += "{\\shptxt " + storyText(shape.textStory, depth + 1) + "}";
    }
    return out + "}}";
}

std::string Writer::storyText(int story, int depth) {
    if (depth > 64) throw model::FormatError("the text boxes are nested too deeply to be written");
    const auto& elements = doc_.stories.at(static_cast<std::size_t>(story)).elements;
    std::string out;
    auto shapesAt = [&](std::size_t index) {
        for (int shape : doc_.topLevelShapes()) {
            const auto& anchor = doc_.shapes[static_cast<std::size_t>(shape)].anchor;
            const std::size_t at = std::min(static_cast<std::size_t>(std::max(0, anchor.element)), elements.size());
            if (anchor.story == story && at == index) out += renderShape(shape, nullptr, depth + 1);
        }
    };
    for (std::size_t i = 0; i < elements.size(); ++i) {
        shapesAt(i);
        const auto& element = elements[i];
        const bool last = i + 1 == elements.size();
        switch (element.kind) {
            case model::ElementKind::Text: out += escapeText(element.text); break;
            case model::ElementKind::Inline:
                if (element.object >= 0 && element.object < static_cast<int>(doc_.inlines.size()) &&
                    doc_.inlines[static_cast<std::size_t>(element.object)].edit != model::EditState::Deleted) {
                    out += renderInline(doc_.inlines[static_cast<std::size_t>(element.object)]);
                }
                break;
            case model::ElementKind::ParagraphMark:
                if (!last || story > 0) out += "\\par\r\n";
                break;
            case model::ElementKind::PageBreak: out += "\\page\r\n"; break;
            case model::ElementKind::ColumnBreak: out += "\\column\r\n"; break;
            case model::ElementKind::SectionBreak:
                out += "\\sect\\sectd";
                switch (element.section) {
                    case model::SectionBreakKind::Continuous: out += "\\sbknone"; break;
                    case model::SectionBreakKind::NewColumn: out += "\\sbkcol"; break;
                    case model::SectionBreakKind::EvenPage: out += "\\sbkeven"; break;
                    case model::SectionBreakKind::OddPage: out += "\\sbkodd"; break;
                    case model::SectionBreakKind::NewPage: break;
                }
                out += "\r\n";
                break;
        }
    }
    shapesAt(elements.size());
    return out;
}

std::optional<std::size_t> Writer::endBefore(int story, std::size_t index) const {
    const auto& elements = doc_.stories[static_cast<std::size_t>(story)].elements;
    std::int64_t tail = 0;  // characters of split-off runs after the one with a place
    for (std::size_t k = std::min(index, elements.size()); k > 0; --k) {
        const auto& element = elements[k - 1];
        if (!owned(element.origin)) {
            if (element.kind == model::ElementKind::Text) tail += element.chars;
            continue;
        }
        if (element.kind == model::ElementKind::Text) {
            const auto* detail = std::any_cast<TextDetail>(&element.origin.detail);
            const std::int64_t at = element.chars + tail;
            if (detail && detail->offsets && at >= 0 && at < static_cast<std::int64_t>(detail->offsets->size())) {
                return (*detail->offsets)[static_cast<std::size_t>(at)];
            }
        }
        return static_cast<std::size_t>(element.origin.range.end);
    }
    return std::nullopt;
}

std::optional<std::size_t> Writer::beginAt(int story, std::size_t index) const {
    const auto& elements = doc_.stories[static_cast<std::size_t>(story)].elements;
    for (std::size_t k = index; k < elements.size(); ++k) {
        const auto& element = elements[k];
        if (!owned(element.origin)) {
            // The tail of a split run: its place is inside the run before it.
            if (element.kind == model::ElementKind::Text) return std::nullopt;
            continue;
        }
        if (element.kind == model::ElementKind::Text) {
            const auto* detail = std::any_cast<TextDetail>(&element.origin.detail);
            if (detail && detail->offsets && !detail->offsets->empty()) return detail->offsets->front();
        }
        return static_cast<std::size_t>(element.origin.range.begin);
    }
    return std::nullopt;
}

bool Writer::storyWritten(int story) const {
    // Stories of shapes that are written whole (added ones) or not at all
    // (deleted ones) are not patched on their own.
    // A group made in memory around a text box is no reason: its members
    // are written from their own bytes.
    int owner = doc_.stories[static_cast<std::size_t>(story)].owner;
    for (int guard = 0; story > 0 && owner >= 0 && owner < static_cast<int>(doc_.shapes.size()) && guard < 64;
         ++guard) {
        const auto& shape = doc_.shapes[static_cast<std::size_t>(owner)];
        if (shape.edit == model::EditState::Deleted || shape.edit == model::EditState::Replaced) return false;
        if (shape.edit == model::EditState::Added && (guard == 0 || fromRtf(shape.origin))) return false;
        owner = shape.parent;
    }
    return true;
}

void Writer::inlineEdits() {
    for (const auto& object : doc_.inlines) {
        if (!owned(object.origin)) continue;
        if (object.edit == model::EditState::Deleted) {
            remove(object.origin);
        } else if (object.edit == model::EditState::Replaced) {
            remove(object.origin, newInline(object));
        } else if (object.edit == model::EditState::Unchanged && object.layoutChanged) {
            for (auto& edit : inlineSizePatch(object, source_)) edits_.push_back(std::move(edit));
        }
    }
    // Added objects go where they stand in their story; one pasted in the
    // place of a deleted one takes that one's bytes.
    std::vector<int> deleted;
    for (std::size_t i = 0; i < doc_.inlines.size(); ++i) {
        if (doc_.inlines[i].edit == model::EditState::Deleted && owned(doc_.inlines[i].origin)) {
            deleted.push_back(static_cast<int>(i));
        }
    }
    std::vector<bool> taken(doc_.inlines.size(), false);
    for (std::size_t s = 0; s < doc_.stories.size(); ++s) {
        const auto& elements = doc_.stories[s].elements;
        if (!storyWritten(static_cast<int>(s))) continue;
        for (std::size_t e = 0; e < elements.size(); ++e) {
            const auto& element = elements[e];
            if (element.kind != model::ElementKind::Inline || element.object < 0 ||
                element.object >= static_cast<int>(doc_.inlines.size())) {
                continue;
            }
            const auto& object = doc_.inlines[static_cast<std::size_t>(element.object)];
            if (object.edit != model::EditState::Added) continue;
            const auto before = endBefore(static_cast<int>(s), e);
            const auto after = beginAt(static_cast<int>(s), e + 1);
            std::string bytes = renderInline(object);
            int target = -1;
            for (int candidate : deleted) {
                if (taken[static_cast<std::size_t>(candidate)]) continue;
                const auto& range = doc_.inlines[static_cast<std::size_t>(candidate)].origin.range;
                const auto begin = static_cast<std::size_t>(range.begin);
                const auto end = static_cast<std::size_t>(range.end);
                // Only between two known places: a picture put inside a run of
                // text has no gap of its own.
                if (before && after && begin >= *before && end <= *after) {
                    target = candidate;
                    break;
                }
            }
            if (target >= 0) {
                taken[static_cast<std::size_t>(target)] = true;
                const auto begin = static_cast<std::size_t>(doc_.inlines[static_cast<std::size_t>(target)].origin.range.begin);
                add(begin, begin, std::move(bytes));
                continue;
            }
            const auto at = before ? before : after;
            if (!at) throw model::FormatError("an added picture has no place in the file");
            add(*at, *at, std::move(bytes));
        }
    }
}

void Writer::shapeEdits() {
    const int count = static_cast<int>(doc_.shapes.size());
    auto liveShape = [&](int index) {
        return index >= 0 && index < count && doc_.shapes[static_cast<std::size_t>(index)].edit != model::EditState::Deleted;
    };
    // Deleted shapes lose their bytes; one that an added shape stands for
    // gets that shape's bytes instead.
    std::vector<int> standIn(static_cast<std::size_t>(count), -1);
    for (int i = 0; i < count; ++i) {
        const auto& shape = doc_.shapes[static_cast<std::size_t>(i)];
        if (shape.edit == model::EditState::Added && shape.parent < 0 && shape.standsFor >= 0 &&
            shape.standsFor < count && doc_.shapes[static_cast<std::size_t>(shape.standsFor)].edit == model::EditState::Deleted &&
            owned(doc_.shapes[static_cast<std::size_t>(shape.standsFor)].origin)) {
            standIn[static_cast<std::size_t>(shape.standsFor)] = i;
        }
    }
    std::vector<bool> placed(static_cast<std::size_t>(count), false);
    for (int i = 0; i < count; ++i) {
        const auto& shape = doc_.shapes[static_cast<std::size_t>(i)];
        if (!owned(shape.origin)) continue;
        const auto* detail = std::any_cast<ShapeDetail>(&shape.origin.detail);
        const bool wasMember = detail && detail->member;
        if (shape.edit == model::EditState::Deleted) {
            const int by = standIn[static_cast<std::size_t>(i)];
            if (by >= 0) {
                // In the deleted one's place, inside its group when it had one.
                std::optional<Space> space;
                if (wasMember && shape.parent >= 0 && liveShape(shape.parent)) {
                    space = spaceOf(doc_.shapes[static_cast<std::size_t>(shape.parent)]);
                }
                // Members of a deleted group cannot stand in: the group goes.
                if (!wasMember || space) {
                    remove(shape.origin, renderShape(by, space ? &*space : nullptr, 0));
                    placed[static_cast<std::size_t>(by)] = true;
                    continue;
                }
            }
            remove(shape.origin);
            continue;
        }
        if (shape.edit == model::EditState::Replaced) {
            std::optional<Space> space;
            if (shape.parent >= 0 && liveShape(shape.parent)) space = spaceOf(doc_.shapes[static_cast<std::size_t>(shape.parent)]);
            remove(shape.origin, newShape(i, space ? &*space : nullptr, 0));
            continue;
        }
        if (shape.edit != model::EditState::Unchanged) continue;
        const bool moved = shape.ungroupedFrom >= 0 || (wasMember && shape.parent < 0) ||
                           (shape.parent >= 0 && doc_.shapes[static_cast<std::size_t>(shape.parent)].edit ==
                                                     model::EditState::Added);
        if (moved) {
            remove(shape.origin);  // written again where it now belongs
            continue;
        }
        if (!shape.layoutChanged) continue;
        std::optional<Space> space;
        if (shape.parent >= 0 && liveShape(shape.parent)) space = spaceOf(doc_.shapes[static_cast<std::size_t>(shape.parent)]);
        for (auto& edit : shapePatch(shape, source_, space ? &*space : nullptr)) edits_.push_back(std::move(edit));
    }
    // Shapes to write at their anchors: added ones and former members.
    for (int i = 0; i < count; ++i) {
        const auto& shape = doc_.shapes[static_cast<std::size_t>(i)];
        if (shape.edit == model::EditState::Deleted || shape.parent >= 0 || placed[static_cast<std::size_t>(i)]) continue;
        const auto* detail = owned(shape.origin) ? std::any_cast<ShapeDetail>(&shape.origin.detail) : nullptr;
        const bool formerMember =
            shape.edit == model::EditState::Unchanged && (shape.ungroupedFrom >= 0 || (detail && detail->member));
        if (shape.edit != model::EditState::Added && !formerMember) continue;
        const int story = shape.anchor.story;
        if (story < 0 || story >= static_cast<int>(doc_.stories.size())) {
            throw model::FormatError("a shape's anchor is not in the document");
        }
        if (!storyWritten(story)) continue;
        const auto element = static_cast<std::size_t>(std::max(0, shape.anchor.element));
        auto at = beginAt(story, element);
        if (!at) at = endBefore(story, element);
        if (!at) throw model::FormatError("a shape has no place in the file");
        std::string bytes = renderShape(i, nullptr, 0);
        add(*at, *at, std::move(bytes));
    }
}

void Writer::write(const ByteSink& sink) {
    if (!doc_.source || doc_.source->empty()) {
        // A new document: written whole.
        const std::string text = storyText(0, 0);
        sink(kNewDocumentHead);
        sink(text);
        sink("\r\n}\r\n");
        return;
    }
    if (!doc_.modified()) {
        bool layout = false;
        for (const auto& object : doc_.inlines) layout = layout || object.layoutChanged;
        for (const auto& shape : doc_.shapes) layout = layout || shape.layoutChanged || shape.ungroupedFrom >= 0;
        if (!layout) {
            sink(source_);
            return;
        }
    }
    // Pictures first: shapes written again take the changes inside them along.
    inlineEdits();
    shapeEdits();
    applyTo(sink, source_, 0, source_.size(), std::move(edits_));
}

}  // namespace

std::string writeRtf(const model::Document& document) {
    std::string out;
    writeRtf(document, [&out](std::string_view piece) { out.append(piece); });
    return out;
}

void writeRtf(const model::Document& document, const ByteSink& sink) {
    Writer writer(document);
    writer.write(sink);
}

std::uint64_t rtfSize(const model::Document& document) {
    std::uint64_t size = 0;
    writeRtf(document, [&size](std::string_view piece) { size += piece.size(); });
    return size;
}

model::Document newRtfDocument() {
    model::Document document;
    document.format = "rtf";
    document.main().elements.push_back(model::Element::paragraphMark());
    return document;
}

}  // namespace kelvaran::formats::rtf
