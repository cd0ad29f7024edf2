// The RTF writer: the input bytes with a sorted list of splices.  Nothing
// outside a changed group is re-serialised, so an unchanged document comes
// back byte for byte.  A new document is written whole from the model.

#include "formats/rtf/RtfFormat.h"
#include "formats/rtf/RtfPicture.h"
#include "formats/rtf/RtfWriterImpl.h"

#include <algorithm>
#include <cmath>
#include <optional>

namespace kelvaran::formats::rtf {

namespace writing {

namespace {

// The start of every new document: Shift-JIS text, one Japanese font
// (ＭＳ 明朝), Unicode characters with one fallback byte.
constexpr std::string_view kNewDocumentHead =
    "{\\rtf1\\ansi\\ansicpg932\\deff0\\deflang1033\\deflangfe1041"
    "{\\fonttbl{\\f0\\fnil\\fcharset128 \\'82\\'6c\\'82\\'72 \\'96\\'be\\'92\\'a9;}}\r\n"
    "\\uc1\\pard\\plain\\f0\\fs21 ";

// True when the bytes before `at` end a control word without a delimiter
// ("\\b" or "\\f1" right before a group).
bool controlWordEndsAt(std::string_view bytes, std::size_t at) {
    std::size_t i = at;
    while (i > 0 && (isWordChar(bytes[i - 1]) || bytes[i - 1] == '-')) --i;
    if (i == at || i == 0 || bytes[i - 1] != '\\') return false;
    // "\\" before it would make it text: an even run of backslashes.
    std::size_t slashes = 0;
    for (std::size_t j = i; j > 0 && bytes[j - 1] == '\\'; --j) ++slashes;
    return slashes % 2 == 1 && isWordChar(bytes[i]) && !(bytes[i] >= '0' && bytes[i] <= '9');
}

}  // namespace

long twips(double points) {
    if (!std::isfinite(points) || std::fabs(points) > 1e7) throw model::FormatError("a size or position is out of range");
    return std::lround(points * 20);
}

bool isWordChar(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'); }

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

Writer::Writer(const model::Document& document) : doc_(document) {
    if (doc_.source) source_ = *doc_.source;
    pairStandIns();
    stackKept_ = stackingKept();
}

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
    std::string out;
    emitInline(object, [&out](std::string_view piece) { out.append(piece); });
    return out;
}

void Writer::emitInline(const model::InlineObject& object, const ByteSink& sink) {
    if (!fromRtf(object.origin) || object.edit == model::EditState::Replaced) {
        sink(newInline(object));
        return;
    }
    const std::string_view bytes = *object.origin.source;
    const auto begin = static_cast<std::size_t>(object.origin.range.begin);
    const auto end = static_cast<std::size_t>(object.origin.range.end);
    // Unchanged bytes go out as they stand in their file: a picture of
    // megabytes is not copied to be measured.
    if (object.layoutChanged) sink(apply(bytes, begin, end, inlineSizePatch(object, bytes)));
    else sink(bytes.substr(begin, end - begin));
    // The fallback copies go with it: they are part of what it costs.
    for (const auto& companion : object.origin.companions) {
        if (!companion.valid() || static_cast<std::size_t>(companion.end) > bytes.size()) continue;
        sink(bytes.substr(static_cast<std::size_t>(companion.begin), static_cast<std::size_t>(companion.length())));
    }
}

std::string Writer::storyText(int story, int depth) {
    std::string out;
    storyText(story, depth, [&out](std::string_view piece) { out.append(piece); });
    return out;
}

void Writer::storyText(int story, int depth, const ByteSink& sink) {
    if (depth > 64) throw model::FormatError("the text boxes are nested too deeply to be written");
    const auto& elements = doc_.stories.at(static_cast<std::size_t>(story)).elements;
    // Small pieces gather here; inline objects go to the sink on their own.
    std::string out;
    std::string scratch;
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
            case model::ElementKind::Text: out += escapeText(element.text.view(scratch)); break;
            case model::ElementKind::Inline:
                if (element.object >= 0 && element.object < static_cast<int>(doc_.inlines.size()) &&
                    doc_.inlines[static_cast<std::size_t>(element.object)].edit != model::EditState::Deleted) {
                    if (!out.empty()) sink(out);
                    out.clear();
                    emitInline(doc_.inlines[static_cast<std::size_t>(element.object)], sink);
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
    if (!out.empty()) sink(out);
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
            if (const auto offset = runCharacterOffset(element, element.chars + tail)) return *offset;
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
            if (const auto offset = runCharacterOffset(element, 0)) return *offset;
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
            // Where the story's first element has no place of its own, the
            // story's group bounds the search for the deleted picture, or the
            // file's start: only a picture read into this same story can be
            // the one this one took the place of.  Otherwise the first pictures
            // of the text, replaced, all went before the first text left, which
            // may stand where readers do not look for pictures (a linked
            // picture's field).
            std::optional<std::size_t> lower = before;
            if (!lower) {
                lower = s > 0 && owned(doc_.stories[s].origin)
                            ? static_cast<std::size_t>(doc_.stories[s].origin.range.begin)
                            : std::size_t{0};
            }
            // Nothing with bytes after it in its story (no text, not even the
            // tail of a split run): the story's end bounds the search.
            std::optional<std::size_t> upper = after;
            const bool lastInStory = std::none_of(elements.begin() + static_cast<std::ptrdiff_t>(e) + 1, elements.end(),
                                                  [](const model::Element& next) {
                                                      return next.kind == model::ElementKind::Text;
                                                  });
            if (!upper && lastInStory) {
                if (s == 0) upper = source_.size();
                else if (owned(doc_.stories[s].origin)) upper = static_cast<std::size_t>(doc_.stories[s].origin.range.end);
            }
            std::string bytes = renderInline(object);
            int target = -1;
            for (int candidate : deleted) {
                if (taken[static_cast<std::size_t>(candidate)]) continue;
                const auto* detail = std::any_cast<InlineDetail>(&doc_.inlines[static_cast<std::size_t>(candidate)].origin.detail);
                if (!detail || detail->story != static_cast<int>(s)) continue;
                const auto& range = doc_.inlines[static_cast<std::size_t>(candidate)].origin.range;
                const auto begin = static_cast<std::size_t>(range.begin);
                const auto end = static_cast<std::size_t>(range.end);
                // Only between two known places: a picture put inside a run of
                // text has no gap of its own.
                if (lower && upper && begin >= *lower && end <= *upper) {
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

void Writer::write(const ByteSink& sink) {
    if (!doc_.source || doc_.source->empty()) {
        // A new document: written whole.
        // A failure half-way leaves the output unfinished: every caller
        // throws it away (the temporary file, the string, the count).
        sink(kNewDocumentHead);
        storyText(0, 0, sink);
        sink("\r\n}\r\n");
        return;
    }
    const bool dropping = doc_.dropFallbackPictures && !doc_.fallbackPictures.empty();
    if (!doc_.modified() && !dropping) {
        bool layout = false;
        for (const auto& object : doc_.inlines) layout = layout || object.layoutChanged;
        for (const auto& shape : doc_.shapes) layout = layout || shape.layoutChanged || shape.ungroupedFrom >= 0;
        if (!layout) {
            sink(source_);
            return;
        }
    }
    refuseLosingNestedObjects(doc_, [this](const model::Origin& origin) { return owned(origin); });
    // Pictures first: shapes written again take the changes inside them along.
    inlineEdits();
    shapeEdits();
    if (dropping) {
        // Inside a group written anew or removed, a drop goes with that group.
        for (const auto& range : doc_.fallbackPictures) {
            if (!range.valid() || static_cast<std::size_t>(range.end) > source_.size()) continue;
            add(static_cast<std::size_t>(range.begin), static_cast<std::size_t>(range.end), {});
        }
    }
    applyTo(sink, source_, 0, source_.size(), std::move(edits_));
}

}  // namespace writing

std::string writeRtf(const model::Document& document) {
    std::string out;
    writeRtf(document, [&out](std::string_view piece) { out.append(piece); });
    return out;
}

void writeRtf(const model::Document& document, const ByteSink& sink) {
    writing::Writer writer(document);
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
