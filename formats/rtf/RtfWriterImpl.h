#pragma once

// The RTF writer's class, shared by RtfWriter.cpp (splices, inline objects,
// stories, the pass over the document) and RtfWriter_shape.cpp (floating
// shapes and groups).  Nothing outside formats/rtf includes it.

#include "formats/model/Document.h"
#include "formats/model/FormatError.h"
#include "formats/rtf/RtfDetail.h"
#include "formats/rtf/RtfFormat.h"

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kelvaran::formats::rtf::writing {

namespace model = formats::model;

// One splice of the input: bytes [begin, end) become `text`.
struct Edit {
    std::size_t begin = 0;
    std::size_t end = 0;
    std::string text;
    std::size_t sequence = 0;
};

// Points as twips; throws model::FormatError for values no document holds.
long twips(double points);
bool isWordChar(char c);
// Text that goes in place of [begin, end): a single space where the text
// would otherwise run into a control word before or after it.
std::string joined(std::string_view bytes, std::size_t begin, std::size_t end, std::string text);
// UTF-8 text as RTF: escapes, \u for everything beyond ASCII.
std::string escapeText(std::string_view utf8);
// A {\sp} shape property group.
std::string property(const std::string& name, const std::string& value);

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
    explicit Writer(const model::Document& document);

    // The file, handed to `sink` piece by piece.
    void write(const ByteSink& sink);

private:
    bool owned(const model::Origin& origin) const {
        return origin.format == "rtf" && origin.source && doc_.source && origin.source == doc_.source &&
               origin.range.valid() && static_cast<std::size_t>(origin.range.end) <= source_.size();
    }
    bool owned(const model::ElementOrigin& origin) const {
        return origin.format() == "rtf" && origin.source() && doc_.source && origin.source() == doc_.source &&
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
    // The same bytes handed to `sink`: unchanged stretches straight from `bytes`.
    static void applyTo(const ByteSink& sink, std::string_view bytes, std::size_t from, std::size_t to,
                        std::vector<Edit> list);

    // Inline objects and stories (RtfWriter.cpp).
    std::string renderInline(const model::InlineObject& object);
    void emitInline(const model::InlineObject& object, const ByteSink& sink);
    std::string newInline(const model::InlineObject& object);
    std::vector<Edit> inlineSizePatch(const model::InlineObject& object, std::string_view bytes);
    std::string storyText(int story, int depth);
    // The same text handed to `sink` piece by piece.
    void storyText(int story, int depth, const ByteSink& sink);
    // Where something added before element `index` of a story goes.
    std::optional<std::size_t> endBefore(int story, std::size_t index) const;
    std::optional<std::size_t> beginAt(int story, std::size_t index) const;
    bool storyWritten(int story) const;
    void inlineEdits();

    // Floating shapes (RtfWriter_shape.cpp).
    std::string renderShape(int index, const Space* space, int depth);
    std::string newShape(int index, const Space* space, int depth);
    // A shape read from RTF written again: its own bytes with only the
    // keywords of what changed rewritten.
    std::vector<Edit> shapePatch(const model::FloatingShape& shape, std::string_view bytes, const Space* space);
    // The edits that turn the bytes of shape `was` into shape `now`: the
    // keywords of every value that differs from what `was` was read with.
    // A stand-in is a new picture in the old shape's place: it takes the old
    // shape's bytes with the picture exchanged.
    std::vector<Edit> rewriteEdits(const model::FloatingShape& now, const model::FloatingShape& was,
                                   std::string_view bytes, const Space* space, bool standIn);
    std::string renderStandIn(int added, const Space* space);
    std::string layoutWords(const model::FloatingShape& shape, const Space* space) const;
    std::string layoutProperties(const model::FloatingShape& shape, const Space* space) const;
    Space spaceOf(const model::FloatingShape& group) const;
    // Pairs every added picture with the deleted shape whose place it took.
    void pairStandIns();
    // True when the shapes keep the stacking order they were read with.
    bool stackingKept() const;
    // How many text boxes deep the text of `story` lies (0 for the main text
    // and headers).
    int textBoxDepth(int story) const;
    void shapeEdits();

    const model::Document& doc_;
    std::string_view source_;
    std::vector<Edit> edits_;
    std::size_t sequence_ = 0;
    // For each shape: the deleted shape of this file it stands in for, or -1.
    std::vector<int> standsFor_;
    bool stackKept_ = true;
};

}  // namespace kelvaran::formats::rtf::writing
