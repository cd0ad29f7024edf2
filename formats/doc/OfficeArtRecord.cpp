#include "formats/doc/OfficeArtRecord.h"

#include "formats/doc/Bytes.h"

namespace kelvaran::formats::doc {
namespace {

constexpr int kMaxDepth = 32;
constexpr std::size_t kMaxRecords = 200000;

bool parseAt(std::string_view b, std::size_t offset, std::size_t limit, OfficeArtRecord& r, int depth,
             std::size_t& budget, bool& damaged);

void parseChildren(std::string_view b, OfficeArtRecord& r, int depth, std::size_t& budget, bool& damaged)
{
    std::size_t o = r.bodyOffset();
    while (o + 8 <= r.end()) {
        OfficeArtRecord c;
        if (!parseAt(b, o, r.end(), c, depth + 1, budget, damaged))
            return;
        o = c.end();
        r.children.push_back(std::move(c));
    }
}

bool parseAt(std::string_view b, std::size_t offset, std::size_t limit, OfficeArtRecord& r, int depth,
             std::size_t& budget, bool& damaged)
{
    if (limit > b.size())
        limit = b.size();
    if (offset > limit || limit - offset < 8 || budget == 0) {
        if (budget == 0)
            damaged = true;
        return false;
    }
    --budget;
    const std::uint16_t verInst = u16At(b, offset);
    r.version = verInst & 0xF;
    r.instance = verInst >> 4;
    r.type = u16At(b, offset + 2);
    r.length = u32At(b, offset + 4);
    r.offset = offset;
    if (r.length > limit - offset - 8) {
        damaged = true;
        return false;
    }
    if (r.isContainer()) {
        if (depth >= kMaxDepth) {
            damaged = true;
            return true;
        }
        parseChildren(b, r, depth, budget, damaged);
    }
    return true;
}

}  // namespace

const OfficeArtRecord* OfficeArtRecord::firstChild(std::uint16_t recType) const
{
    for (const OfficeArtRecord& c : children)
        if (c.type == recType)
            return &c;
    return nullptr;
}

std::vector<OfficeArtRecord> OfficeArtRecord::parseSequence(std::string_view buffer, std::size_t begin,
                                                            std::size_t end, bool* damaged)
{
    std::vector<OfficeArtRecord> out;
    std::size_t budget = kMaxRecords;
    bool bad = false;
    std::size_t o = begin;
    while (o + 8 <= end && o + 8 <= buffer.size()) {
        OfficeArtRecord r;
        if (!parseAt(buffer, o, end, r, 0, budget, bad))
            break;
        o = r.end();
        out.push_back(std::move(r));
    }
    if (damaged)
        *damaged = bad;
    return out;
}

bool OfficeArtRecord::parseOne(std::string_view buffer, std::size_t offset, std::size_t limit, OfficeArtRecord& out,
                               bool* damaged)
{
    std::size_t budget = kMaxRecords;
    bool bad = false;
    const bool ok = parseAt(buffer, offset, limit, out, 0, budget, bad);
    if (damaged)
        *damaged = bad;
    return ok;
}

}  // namespace kelvaran::formats::doc
