#include "formats/doc/DocDocument.h"

#include <algorithm>
#include <set>

#include "formats/doc/Bytes.h"
#include "formats/doc/DocError.h"
#include "formats/doc/Sprm.h"

// Converted objects leave the text the way Word unlinks a field: the field
// begin, the field code, the separator and the field end go, the result (the
// picture) stays.  Taking characters out moves every character position after
// them, so the piece table and every table of positions are rewritten; a
// document holding a table of positions this file does not know is left alone.

namespace kelvaran::formats::doc {
namespace {

[[noreturn]] void cannot(const std::string& why)
{
    throw DocError(DocError::Kind::CannotWrite, why);
}

// What the positions of a table stand for.
enum class Positions {
    Ranges,      // starts and ends of ranges: a position inside a removed range moves to the next character kept
    Characters,  // characters that must stay (note references, shape anchors)
    Fields,      // a field table: the entries of the removed fields go with them
};

struct PositionTable {
    std::size_t pair;
    Fib::Story story;        // the story its positions count from
    std::uint32_t dataSize;  // bytes of data per entry after the positions
    Positions kind;
};

// Every table of character positions of the FIB that the writer updates.
// Positions of tables counted from the main story are positions in the whole
// text, which the main story starts.
constexpr PositionTable kPositionTables[] = {
    {2, Fib::kMain, 2, Positions::Characters},           // footnote references
    {3, Fib::kFootnote, 0, Positions::Ranges},           // footnote texts
    {4, Fib::kMain, 30, Positions::Characters},          // comment references
    {5, Fib::kComment, 0, Positions::Ranges},            // comment texts
    {6, Fib::kMain, 12, Positions::Ranges},              // sections
    {10, Fib::kMain, 0, Positions::Ranges},              // AutoText entries
    {11, Fib::kHeader, 0, Positions::Ranges},            // headers and footers
    {16, Fib::kMain, 2, Positions::Fields},              // fields of the main story
    {17, Fib::kHeader, 2, Positions::Fields},            // of the headers
    {18, Fib::kFootnote, 2, Positions::Fields},          // of the footnotes
    {19, Fib::kComment, 2, Positions::Fields},           // of the comments
    {22, Fib::kMain, 4, Positions::Ranges},              // bookmark starts
    {23, Fib::kMain, 0, Positions::Ranges},              // bookmark ends
    {40, Fib::kMain, 26, Positions::Characters},         // shape anchors of the main story
    {41, Fib::kHeader, 26, Positions::Characters},       // of the headers
    {42, Fib::kMain, 4, Positions::Ranges},              // comment range starts
    {43, Fib::kMain, 0, Positions::Ranges},              // comment range ends
    {46, Fib::kMain, 2, Positions::Characters},          // endnote references
    {47, Fib::kEndnote, 0, Positions::Ranges},           // endnote texts
    {48, Fib::kEndnote, 2, Positions::Fields},           // fields of the endnotes
    {55, Fib::kMain, 2, Positions::Ranges},              // spelling state
    {56, Fib::kTextbox, 22, Positions::Ranges},          // text box texts
    {57, Fib::kTextbox, 2, Positions::Fields},           // fields of the text boxes
    {58, Fib::kHeaderTextbox, 22, Positions::Ranges},    // header text box texts
    {59, Fib::kHeaderTextbox, 2, Positions::Fields},     // their fields
    {75, Fib::kTextbox, 6, Positions::Ranges},           // text box breaks
    {76, Fib::kHeaderTextbox, 6, Positions::Ranges},     // header text box breaks
    {90, Fib::kMain, 2, Positions::Ranges},              // grammar state
    {93, Fib::kMain, 4, Positions::Ranges},              // table character cache
    {98, Fib::kMain, 2, Positions::Ranges},              // language detection state
    {115, Fib::kMain, 6, Positions::Ranges},             // smart tag bookmark starts
    {117, Fib::kMain, 4, Positions::Ranges},             // smart tag bookmark ends
    {132, Fib::kMain, 2, Positions::Ranges},             // smart tag recognition state
};

// Tables that hold no character positions, or that readers are told to
// ignore (pair 87 is a date, not a table).
bool holdsNoPositions(std::size_t pair)
{
    static const std::set<std::size_t> none = {
        0,   1,   9,   12,  13,  15,  21,  24,  26,  27,  28,  29,  30,  31,  32,  33,  35,  36,  37,  44,
        45,  50,  51,  52,  53,  60,  61,  62,  69,  70,  71,  72,  73,  74,  77,  78,  79,  80,  83,  84,
        86,  87,  88,  91,  92,  94,  95,  96,  97,  99,  108, 109, 111, 112, 113, 114, 118, 119, 120, 123,
        126, 127, 131, 136, 137, 140, 141, 144, 145, 165, 168, 171, 172, 173, 174, 177, 178, 179, 180, 181,
        182};
    return none.count(pair) > 0;
}

// Page layout and revision-comparison caches keyed by position: they are
// dropped, and Word builds them again.
bool isDroppedCache(std::size_t pair)
{
    return (pair >= 63 && pair <= 68) || pair == 34 || pair == 49 || (pair >= 102 && pair <= 107) ||
           (pair >= 128 && pair <= 130) || (pair >= 133 && pair <= 135) || (pair >= 146 && pair <= 163);
}

// A character a field code may hold besides text: a tab, or the NUL some
// writers leave at the end of an object's class name.
bool plainCodeCharacter(char16_t c)
{
    return c >= 0x20 || c == 0x09 || c == 0x00;
}

const PositionTable* positionTable(std::size_t pair)
{
    for (const PositionTable& table : kPositionTables)
        if (table.pair == pair)
            return &table;
    return nullptr;
}

// Sorted, separate ranges of removed characters and what they do to a position.
class Removal {
public:
    explicit Removal(std::vector<DocDocument::CpRange> ranges) : ranges_(std::move(ranges))
    {
        std::sort(ranges_.begin(), ranges_.end(),
                  [](const DocDocument::CpRange& a, const DocDocument::CpRange& b) { return a.begin < b.begin; });
        for (std::size_t i = 1; i < ranges_.size(); ++i)
            if (ranges_[i].begin < ranges_[i - 1].end)
                cannot("two converted objects overlap in the text");
    }

    const std::vector<DocDocument::CpRange>& ranges() const { return ranges_; }

    // Characters removed before `cp`.
    std::uint32_t before(std::uint64_t cp) const
    {
        std::uint32_t n = 0;
        for (const auto& r : ranges_) {
            if (r.begin >= cp)
                break;
            n += static_cast<std::uint32_t>(std::min<std::uint64_t>(cp, r.end) - r.begin);
        }
        return n;
    }
    bool removed(std::uint64_t cp) const
    {
        auto it = std::upper_bound(ranges_.begin(), ranges_.end(), cp,
                                   [](std::uint64_t v, const DocDocument::CpRange& r) { return v < r.begin; });
        return it != ranges_.begin() && cp < std::prev(it)->end;
    }
    // The new position of an old one: a removed character's position becomes
    // that of the next character kept.
    std::uint64_t moved(std::uint64_t cp) const { return cp - before(cp); }

private:
    std::vector<DocDocument::CpRange> ranges_;
};

void putPair(std::string& w, std::size_t pair, std::uint32_t fc, std::uint32_t lcb)
{
    putU32(w, Fib::pairOffset(pair), fc);
    putU32(w, Fib::pairOffset(pair) + 4, lcb);
}

// Appends a rewritten table to the table stream and points the FIB at it: the
// old copy stays where it was, unreferenced.
void relocate(std::string& w, std::string& t, std::size_t pair, const std::string& table)
{
    if (t.size() + table.size() > 0x7FFFFFFF)
        cannot("the table stream would be too large");
    const auto fc = static_cast<std::uint32_t>(t.size());
    t += table;
    putPair(w, pair, fc, static_cast<std::uint32_t>(table.size()));
}

}  // namespace

std::string DocDocument::whyTextCannotShrink() const
{
    const std::string_view t = stream(tableName().c_str());
    for (std::size_t pair = 0; pair < fib_.pairCount(); ++pair) {
        const std::uint32_t lcb = fib_.lcb(pair);
        if (lcb == 0 || holdsNoPositions(pair) || isDroppedCache(pair))
            continue;
        const PositionTable* table = positionTable(pair);
        if (!table)
            return "the document holds a table of text positions (number " + std::to_string(pair) +
                   ") that this program cannot update";
        if (lcb < 4 || (lcb - 4) % (4 + table->dataSize) != 0 || !fits(t.size(), fib_.fc(pair), lcb))
            return "a table of text positions of the document (number " + std::to_string(pair) + ") is damaged";
    }
    return {};
}

std::string DocDocument::whyObjectCannotBecomePicture(std::size_t index) const
{
    const EmbeddedObject& o = inventory_.objects.at(index);
    if (o.resultPicture < 0 && !o.storagePicture)
        return "the embedded object has no picture to keep in its place";
    if (o.storagePicture) {
        // Its picture character becomes a picture through properties given
        // in the piece table.
        const Piece* piece = pieceAt(o.storagePicture->cp);
        if (!piece || (piece->prm != 0 && !(piece->prm & 1)) ||
            ((piece->prm & 1) && (piece->prm >> 1) >= prcGroups_.size()))
            return "the embedded object's picture character cannot be given new properties";
    }
    if (o.fieldEnd >= text_.size() || text_[o.fieldBegin] != 0x13 || text_[o.fieldEnd] != 0x15 ||
        o.separator >= o.fieldEnd || text_[o.separator] != 0x14)
        return "the embedded object's field is incomplete";
    for (std::uint32_t cp = o.fieldBegin + 1; cp < o.separator; ++cp)
        if (!plainCodeCharacter(text_[cp]))
            return "the embedded object's field code holds more than text";
    const StoryKind story = storyOf(o.fieldBegin);
    if (story != storyOf(o.fieldEnd) || story == StoryKind::Other)
        return "the embedded object's field is not within one part of the document";
    if (o.resultPicture >= 0) {
        const InlinePicture& p = inventory_.pictures[static_cast<std::size_t>(o.resultPicture)];
        if (paragraphPropertiesWithin(p.dataOffset, std::uint64_t(p.dataOffset) + p.blockLength))
            return "paragraph properties of the document lie inside the embedded object's picture";
    }
    return whyTextCannotShrink();
}

bool DocDocument::paragraphPropertiesWithin(std::uint64_t begin, std::uint64_t end) const
{
    auto within = [&](std::string_view buf, std::size_t from, std::size_t to) {
        for (const Sprm& s : Sprm::list(buf, from, to))
            if ((s.opcode == Sprm::kPHugePapx || s.opcode == Sprm::kPHugePapxOld || s.opcode == Sprm::kPTableProps) &&
                s.length == 4) {
                const std::uint32_t at = u32At(buf, s.operand);
                if (at >= begin && at < end)
                    return true;
            }
        return false;
    };
    const std::string_view w = stream("WordDocument");
    for (const PropertyRun& r : papRuns_)
        if (r.grpprlEnd > r.grpprlBegin && within(w, r.grpprlBegin, r.grpprlEnd))
            return true;
    const std::string_view t = stream(tableName().c_str());
    for (const auto& g : prcGroups_)
        if (within(t, g.first, g.second))
            return true;
    return false;
}

std::string DocDocument::whyShapeCannotBecomePicture(std::size_t index) const
{
    const FloatingShape& s = inventory_.shapes.at(index);
    if (!s.oleShape())
        return "the shape is not an embedded object";
    if (s.blipIndex == 0 || !s.picture)
        return "the floating object has no picture to keep in its place";
    if (s.pictureId != 0 && s.pictureIdOffset == 0)
        return "the floating object's link to its data cannot be taken off";
    return {};
}

const EmbeddedObject* DocDocument::floatingObjectLeaving(std::size_t shape) const
{
    const FloatingShape& s = inventory_.shapes[shape];
    if (s.objectIndex < 0 || !whyTextCannotShrink().empty())
        return nullptr;
    const EmbeddedObject& o = inventory_.objects[static_cast<std::size_t>(s.objectIndex)];
    if (o.fieldEnd >= text_.size() || text_[o.fieldBegin] != 0x13 || text_[o.fieldEnd] != 0x15 ||
        storyOf(o.fieldBegin) != storyOf(o.fieldEnd))
        return nullptr;
    // Nothing but the field code and the object's own pictures goes with it.
    for (std::uint32_t cp = o.fieldBegin + 1; cp < o.fieldEnd; ++cp) {
        const char16_t c = text_[cp];
        if (cp < o.separator ? !plainCodeCharacter(c) : (cp > o.separator && c != 0x01))
            return nullptr;
        if (cp == o.separator && c != 0x14)
            return nullptr;
    }
    for (const InlinePicture& p : inventory_.pictures)
        if (p.cp > o.fieldBegin && p.cp < o.fieldEnd && p.objectIndex != s.objectIndex)
            return nullptr;
    return &o;
}

std::set<std::size_t> DocDocument::picturesLeaving() const
{
    std::set<std::size_t> gone;
    for (std::size_t shape : floatingObjects_)
        if (const EmbeddedObject* o = floatingObjectLeaving(shape))
            for (std::size_t i = 0; i < inventory_.pictures.size(); ++i)
                if (inventory_.pictures[i].cp > o->fieldBegin && inventory_.pictures[i].cp < o->fieldEnd)
                    gone.insert(i);
    return gone;
}

void DocDocument::clearObjectMarks(std::string& t) const
{
    for (std::size_t index : floatingObjects_) {
        const FloatingShape& s = inventory_.shapes[index];
        if (!fits(t.size(), s.flagsOffset, 4) || (s.pictureIdOffset && !fits(t.size(), s.pictureIdOffset, 4)))
            cannot("the floating object's drawing record cannot be rewritten");
        putU32(t, s.flagsOffset, u32At(t, s.flagsOffset) & ~0x10u);
        if (s.pictureIdOffset)
            putU32(t, s.pictureIdOffset, 0);
    }
}

std::vector<DocDocument::CpRange> DocDocument::convertedFieldRanges() const
{
    std::vector<CpRange> ranges;
    for (const Edit& e : objectEdits_) {
        if (const std::string why = whyObjectCannotBecomePicture(e.index); !why.empty())
            cannot(why);
        const EmbeddedObject& o = inventory_.objects[e.index];
        ranges.push_back({o.fieldBegin, o.separator + 1});
        ranges.push_back({o.fieldEnd, o.fieldEnd + 1});
    }
    // A floating object's field goes whole, its picture included: the shape
    // shows the new picture.
    for (std::size_t shape : floatingObjects_)
        if (const EmbeddedObject* o = floatingObjectLeaving(shape))
            ranges.push_back({o->fieldBegin, o->fieldEnd + 1});
    return ranges;
}

std::vector<std::string> DocDocument::storagesLeaving() const
{
    std::set<std::size_t> leaving;
    for (const Edit& e : objectEdits_)
        leaving.insert(e.index);
    for (std::size_t shape : floatingObjects_)
        if (floatingObjectLeaving(shape))
            leaving.insert(static_cast<std::size_t>(inventory_.shapes[shape].objectIndex));
    std::set<std::uint32_t> converted, kept;
    for (std::size_t i = 0; i < inventory_.objects.size(); ++i)
        if (inventory_.objects[i].hasStorage)
            (leaving.count(i) ? converted : kept).insert(inventory_.objects[i].storageId);
    std::vector<std::string> names;
    for (std::uint32_t id : converted)
        if (!kept.count(id))
            names.push_back("_" + std::to_string(id));
    return names;
}

const DocDocument::Piece* DocDocument::pieceAt(std::uint32_t cp) const
{
    auto it = std::upper_bound(pieces_.begin(), pieces_.end(), cp,
                               [](std::uint32_t v, const Piece& p) { return v < p.cpEnd; });
    return it != pieces_.end() && cp >= it->cpStart ? &*it : nullptr;
}

void DocDocument::rewritePieces(const std::vector<CpRange>& removedRanges, const CharacterProperties& props,
                                std::string& w, std::string& t) const
{
    const Removal removal(removedRanges);
    const std::uint32_t fc = fib_.fc(Fib::kClx), lcb = fib_.lcb(Fib::kClx);
    // The property groups in front of the pieces stay as they are: the
    // pieces name them by number.
    std::size_t groupsEnd = fc;
    while (groupsEnd < std::size_t(fc) + lcb && u8At(t, groupsEnd) == 1)
        groupsEnd += 3 + std::size_t(u16At(t, groupsEnd + 1));
    std::string clx = t.substr(fc, groupsEnd - fc);
    std::size_t groups = prcGroups_.size();
    std::vector<std::uint32_t> cps;
    std::string pcds;
    std::uint32_t cp = 0;
    // A piece of one character with properties of its own: a new group of
    // the piece's properties (if any) followed by the new ones.
    auto ownPiece = [&](const Piece& p, std::uint32_t at, const std::string& added) {
        std::string list;
        if (p.prm & 1)
            list.append(t, prcGroups_.at(p.prm >> 1).first, prcGroups_[p.prm >> 1].second - prcGroups_[p.prm >> 1].first);
        else if (p.prm != 0)
            cannot("a character's properties in the piece table cannot be extended");
        list += added;
        if (list.size() > 0x3FA2 || groups >= 0x7FFF)
            cannot("a character's properties do not fit in the piece table");
        clx.push_back(1);
        appendU16(clx, static_cast<std::uint16_t>(list.size()));
        clx += list;
        std::string entry = t.substr(p.prmOffset - 6, 8);
        const std::uint32_t start = p.fc + (at - p.cpStart) * (p.compressed ? 1 : 2);
        putU32(entry, 2, p.compressed ? ((start * 2) | 0x40000000u) : start);
        putU16(entry, 6, static_cast<std::uint16_t>((groups << 1) | 1));
        ++groups;
        cps.push_back(cp);
        pcds += entry;
        cp += 1;
    };
    auto keep = [&](const Piece& p, std::uint32_t from, std::uint32_t to) {
        for (auto it = props.lower_bound(from); it != props.end() && it->first < to; it = props.lower_bound(from)) {
            const std::uint32_t at = it->first;
            if (at > from) {
                std::string entry = t.substr(p.prmOffset - 6, 8);
                const std::uint32_t start = p.fc + (from - p.cpStart) * (p.compressed ? 1 : 2);
                putU32(entry, 2, p.compressed ? ((start * 2) | 0x40000000u) : start);
                cps.push_back(cp);
                pcds += entry;
                cp += at - from;
            }
            ownPiece(p, at, it->second);
            from = at + 1;
        }
        if (to <= from)
            return;
        std::string entry = t.substr(p.prmOffset - 6, 8);
        const std::uint32_t start = p.fc + (from - p.cpStart) * (p.compressed ? 1 : 2);
        putU32(entry, 2, p.compressed ? ((start * 2) | 0x40000000u) : start);
        cps.push_back(cp);
        pcds += entry;
        cp += to - from;
    };
    // Each piece without the removed ranges that fall into it.
    for (const Piece& p : pieces_) {
        std::uint32_t at = p.cpStart;
        for (const CpRange& r : removal.ranges()) {
            if (r.end <= at || r.begin >= p.cpEnd)
                continue;
            keep(p, at, std::max(at, r.begin));
            at = std::min(p.cpEnd, r.end);
        }
        keep(p, at, p.cpEnd);
    }
    cps.push_back(cp);
    std::string plc;
    for (std::uint32_t c : cps)
        appendU32(plc, c);
    plc += pcds;
    clx.push_back(2);
    appendU32(clx, static_cast<std::uint32_t>(plc.size()));
    clx += plc;
    relocate(w, t, Fib::kClx, clx);
}

void DocDocument::removeCharacters(const std::vector<CpRange>& removedRanges, const CharacterProperties& props,
                                   std::string& w, std::string& t) const
{
    if (removedRanges.empty())
        return;
    if (const std::string why = whyTextCannotShrink(); !why.empty())
        cannot(why);
    const Removal removal(removedRanges);
    // The removed characters of every story and the field marks among them.
    std::set<std::uint64_t> fieldMarks;
    for (const CpRange& r : removal.ranges())
        for (std::uint32_t cp = r.begin; cp < r.end; ++cp)
            if (text_[cp] == 0x13 || text_[cp] == 0x14 || text_[cp] == 0x15)
                fieldMarks.insert(cp);

    rewritePieces(removal.ranges(), props, w, t);
    for (const PositionTable& table : kPositionTables) {
        if (table.pair >= fib_.pairCount() || fib_.lcb(table.pair) == 0)
            continue;
        const std::uint32_t fc = fib_.fc(table.pair), lcb = fib_.lcb(table.pair);
        const std::size_t n = (lcb - 4) / (4 + table.dataSize);
        const std::uint64_t base = fib_.storyStart(table.story);
        const std::uint64_t newBase = removal.moved(base);
        auto movedPosition = [&](std::uint32_t value) {
            const std::uint64_t absolute = base + value;
            if (absolute > 0x7FFFFFFF)
                return value;  // not a position (an end marker far past the text)
            return static_cast<std::uint32_t>(removal.moved(absolute) - newBase);
        };
        if (table.kind != Positions::Fields) {
            for (std::size_t i = 0; i <= n; ++i) {
                const std::uint32_t value = u32At(t, fc + 4 * i);
                if (table.kind == Positions::Characters && i < n && removal.removed(base + value))
                    cannot("a note reference or a shape anchor stands in a converted object's field");
                putU32(t, fc + 4 * i, movedPosition(value));
            }
            continue;
        }
        // A field table loses the entries of the removed field marks.
        std::string positions, entries;
        std::size_t dropped = 0;
        for (std::size_t i = 0; i <= n; ++i) {
            const std::uint32_t value = u32At(t, fc + 4 * i);
            if (i < n && removal.removed(base + value)) {
                if (!fieldMarks.erase(base + value))
                    cannot("the field table does not match the text of a converted object");
                ++dropped;
                continue;
            }
            appendU32(positions, movedPosition(value));
            if (i < n)
                entries.append(t, fc + 4 * (n + 1) + 2 * i, 2);
        }
        if (dropped > 0)
            relocate(w, t, table.pair, positions + entries);
    }
    if (!fieldMarks.empty())
        cannot("a converted object's field is missing from the field table");
    for (std::size_t pair = 0; pair < fib_.pairCount(); ++pair)
        if (isDroppedCache(pair) && fib_.lcb(pair) != 0)
            putU32(w, Fib::pairOffset(pair) + 4, 0);
    // The lengths of the stories.
    std::uint64_t start = 0;
    for (std::size_t s = 0; s < 8; ++s) {
        const std::uint64_t end = start + fib_.ccp[s];
        const std::uint32_t gone = removal.before(end) - removal.before(start);
        putU32(w, 0x4C + 4 * s, fib_.ccp[s] - gone);
        start = end;
    }
}

}  // namespace kelvaran::formats::doc
