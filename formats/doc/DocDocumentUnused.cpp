#include <algorithm>
#include <set>
#include <utility>
#include <vector>

#include "formats/doc/Bytes.h"
#include "formats/doc/DocDocument.h"
#include "formats/doc/OfficeArtRecord.h"
#include "formats/doc/ShapeProperties.h"

// Picture data of the picture store that nothing in the document shows: an
// entry that counts no reference and that no drawing property names, while
// its picture still lies in the WordDocument stream.  Word leaves such entries
// behind when pictures are deleted or replaced; only their bytes can go, the
// entries stay so that every other entry keeps its number.

namespace kelvaran::formats::doc {
namespace {

// Properties whose value numbers an entry of the picture store: the picture
// of a picture shape, the picture of a fill, of a line and of the four
// borders of a table cell shape.  Any other property that says its value
// names a picture counts too.
bool namesStoreEntry(std::uint16_t id, const ShapeProperties::Property& p)
{
    if (p.isComplex || p.value == 0)
        return false;
    switch (id) {
    case 0x0104:  // pib
    case 0x0186:  // fillBlip
    case 0x01C5:  // lineFillBlip
    case 0x0545:  // lineLeftFillBlip
    case 0x0585:  // lineTopFillBlip
    case 0x05C5:  // lineRightFillBlip
    case 0x0605:  // lineBottomFillBlip
        return true;
    default:
        return p.isBlip;
    }
}

bool isPropertyTable(std::uint16_t type)
{
    return type == 0xF00B || type == 0xF121 || type == 0xF122;
}

void collectNames(std::string_view b, const OfficeArtRecord& record, std::set<std::uint32_t>& named)
{
    if (isPropertyTable(record.type)) {
        ShapeProperties props;
        props.addTable(b, record.bodyOffset(), record.length, record.instance);
        for (const auto& [id, p] : props.all())
            if (namesStoreEntry(id, p))
                named.insert(p.value);
    }
    for (const OfficeArtRecord& child : record.children)
        collectNames(b, child, named);
}

}  // namespace

std::set<std::uint32_t> DocDocument::unusedStoreEntries() const
{
    const std::string_view w = stream("WordDocument");
    const std::string_view t = stream(tableName().c_str());
    const std::uint32_t fc = fib_.fc(Fib::kDggInfo), lcb = fib_.lcb(Fib::kDggInfo);
    if (lcb == 0 || !fits(t.size(), fc, lcb))
        return {};
    const std::size_t end = std::size_t(fc) + lcb;
    OfficeArtRecord dgg;
    bool damaged = false;
    if (!OfficeArtRecord::parseOne(t, fc, end, dgg, &damaged) || dgg.type != 0xF000 || damaged)
        return {};
    const OfficeArtRecord* store = dgg.firstChild(0xF001);
    if (!store)
        return {};

    // Every name given anywhere: the drawing group's defaults, then each
    // drawing (a label byte, then its container) with all its shapes, group
    // members, header shapes and the page background among them.  Records
    // that cannot be read hide what they name, so nothing is taken as unused.
    std::set<std::uint32_t> named;
    collectNames(t, dgg, named);
    for (std::size_t at = dgg.end(); at + 9 <= end;) {
        OfficeArtRecord dg;
        if (!OfficeArtRecord::parseOne(t, at + 1, end, dg, &damaged) || dg.type != 0xF002 || damaged)
            return {};
        collectNames(t, dg, named);
        at = dg.end();
    }
    // A picture in the text carries its own entry and picture in its block
    // of the Data stream, and what its shape names is that entry.  A block
    // without an entry of its own may name one of the store instead.
    const std::string_view data = stream("Data");
    for (const InlinePicture& p : inventory_.pictures) {
        if (p.mappingMode != 0x64 && p.mappingMode != 0x66)
            continue;
        const std::size_t blockEnd = std::size_t(p.dataOffset) + p.blockLength;
        if (!fits(data.size(), p.dataOffset, 8) || blockEnd > data.size())
            continue;
        std::size_t at = p.dataOffset + u16At(data, p.dataOffset + 4);
        if (p.mappingMode == 0x66 && at < blockEnd)
            at += 1 + u8At(data, at);
        if (at >= blockEnd)
            continue;
        const auto records = OfficeArtRecord::parseSequence(data, at, blockEnd);
        const bool ownEntry = std::any_of(records.begin(), records.end(),
                                          [](const OfficeArtRecord& r) { return r.type == 0xF007; });
        if (!ownEntry)
            for (const OfficeArtRecord& r : records)
                collectNames(data, r, named);
    }

    // Word may leave an old entry pointing where another picture now lies:
    // those bytes are the other picture's, and nothing is gained by it.
    std::vector<std::pair<std::size_t, std::size_t>> kept;
    std::set<std::uint32_t> unused;
    for (std::size_t i = 0; i < store->children.size(); ++i) {
        const OfficeArtRecord& entry = store->children[i];
        const auto slot = static_cast<std::uint32_t>(i + 1);
        if (entry.type != 0xF007 || entry.length < 36)
            continue;
        const std::size_t body = entry.bodyOffset();
        const std::uint32_t size = u32At(t, body + 20), references = u32At(t, body + 24), delay = u32At(t, body + 28);
        if (delay == 0xFFFFFFFF || size == 0 || delay >= w.size())
            continue;
        // Only a picture kept in the WordDocument stream: one inside the
        // entry itself would change the size of the drawing records.
        const bool delayed = std::size_t(entry.length) == 36u + u8At(t, body + 33);
        if (references == 0 && delayed && !named.count(slot) && fits(w.size(), delay, size))
            unused.insert(slot);
        else
            kept.emplace_back(delay, std::min<std::size_t>(w.size(), std::size_t(delay) + size));
    }
    std::erase_if(unused, [&](std::uint32_t slot) {
        const std::size_t body = store->children[slot - 1].bodyOffset();
        const std::size_t from = u32At(t, body + 28), to = from + u32At(t, body + 20);
        return std::any_of(kept.begin(), kept.end(), [&](const auto& k) { return from < k.second && k.first < to; });
    });
    return unused;
}

std::uint64_t DocDocument::unusedPictureBytes() const
{
    const std::string_view t = stream(tableName().c_str());
    const std::set<std::uint32_t> slots = unusedStoreEntries();
    if (slots.empty())
        return 0;
    OfficeArtRecord dgg;
    const std::uint32_t fc = fib_.fc(Fib::kDggInfo), lcb = fib_.lcb(Fib::kDggInfo);
    if (!OfficeArtRecord::parseOne(t, fc, std::size_t(fc) + lcb, dgg))
        return 0;
    const OfficeArtRecord* store = dgg.firstChild(0xF001);
    std::uint64_t bytes = 0;
    for (std::uint32_t slot : slots)
        bytes += u32At(t, store->children[slot - 1].bodyOffset() + 20);
    return bytes;
}

}  // namespace kelvaran::formats::doc
