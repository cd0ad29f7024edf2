#include "formats/doc/CompoundValidator.h"

#include <cstdint>
#include <vector>

#include "formats/doc/Bytes.h"

namespace kelvaran::formats::doc {
namespace {

constexpr std::uint32_t kEndOfChain = 0xFFFFFFFE;
constexpr std::uint32_t kFree = 0xFFFFFFFF;
constexpr std::uint32_t kMaxRegular = 0xFFFFFFFA;
constexpr std::uint32_t kNoStream = 0xFFFFFFFF;
constexpr std::size_t kMaxDepth = 64;

struct Layout {
    std::string_view file;
    std::size_t sectorSize = 512;
    std::size_t headerSize = 512;
    std::uint64_t sectorCount = 0;
    std::vector<std::uint32_t> fat;

    std::size_t sectorOffset(std::uint32_t s) const { return headerSize + std::size_t(s) * sectorSize; }

    // Sectors of a FAT chain; empty string on success.
    std::string chain(std::uint32_t start, std::vector<std::uint32_t>& out, const char* what) const
    {
        std::vector<bool> seen(sectorCount, false);
        std::uint32_t s = start;
        while (s != kEndOfChain) {
            if (s >= sectorCount)
                return std::string(what) + " points past the end of the file";
            if (seen[s])
                return std::string(what) + " loops";
            seen[s] = true;
            out.push_back(s);
            if (s >= fat.size())
                return std::string(what) + " is not covered by the allocation table";
            s = fat[s];
            if (s > kMaxRegular && s != kEndOfChain)
                return std::string(what) + " runs into a reserved sector";
        }
        return {};
    }
};

struct Entry {
    std::uint8_t type;
    std::uint32_t left, right, child, start;
    std::uint64_t size;
};

// The allocation table: its sector numbers, 109 in the header, then the
// DIFAT chain, and the table read from those sectors into `l.fat`.
std::string readFat(std::string_view file, Layout& l)
{
    const std::uint32_t fatSectors = u32At(file, 0x2C);
    std::uint32_t difat = u32At(file, 0x44);
    const std::uint32_t difatSectors = u32At(file, 0x48);
    std::vector<std::uint32_t> fatList;
    for (std::size_t i = 0; i < 109 && fatList.size() < fatSectors; ++i)
        fatList.push_back(u32At(file, 0x4C + 4 * i));
    std::vector<bool> seenDifat(l.sectorCount, false);
    const std::size_t perDifat = l.sectorSize / 4 - 1;
    for (std::uint32_t n = 0; fatList.size() < fatSectors; ++n) {
        if (n >= difatSectors || difat >= l.sectorCount || seenDifat[difat])
            return "the allocation table index is broken";
        seenDifat[difat] = true;
        const std::size_t base = l.sectorOffset(difat);
        if (!fits(file.size(), base, l.sectorSize))
            return "the allocation table index points past the end of the file";
        for (std::size_t i = 0; i < perDifat && fatList.size() < fatSectors; ++i)
            fatList.push_back(u32At(file, base + 4 * i));
        difat = u32At(file, base + 4 * perDifat);
    }
    l.fat.reserve(std::size_t(fatSectors) * (l.sectorSize / 4));
    for (std::uint32_t s : fatList) {
        if (s >= l.sectorCount)
            return "an allocation table sector lies outside the file";
        const std::size_t base = l.sectorOffset(s);
        for (std::size_t i = 0; i < l.sectorSize / 4; ++i)
            l.fat.push_back(fits(file.size(), base + 4 * i, 4) ? u32At(file, base + 4 * i) : kFree);
    }
    return {};
}

// The directory entries, in the order of the directory chain.
std::string readDirectory(const Layout& l, std::uint16_t major, std::vector<Entry>& entries)
{
    const std::string_view file = l.file;
    std::vector<std::uint32_t> dirSectors;
    if (std::string e = l.chain(u32At(file, 0x30), dirSectors, "the directory chain"); !e.empty())
        return e;
    if (dirSectors.empty())
        return "the directory is empty";
    const std::size_t perSector = l.sectorSize / 128;
    for (std::uint32_t s : dirSectors) {
        for (std::size_t i = 0; i < perSector; ++i) {
            const std::size_t o = l.sectorOffset(s) + 128 * i;
            if (!fits(file.size(), o, 128)) {
                entries.push_back({0, kNoStream, kNoStream, kNoStream, 0, 0});
                continue;
            }
            Entry e;
            e.type = u8At(file, o + 0x42);
            e.left = u32At(file, o + 0x44);
            e.right = u32At(file, o + 0x48);
            e.child = u32At(file, o + 0x4C);
            e.start = u32At(file, o + 0x74);
            e.size = u32At(file, o + 0x78);
            if (major == 4)
                e.size |= std::uint64_t(u32At(file, o + 0x7C)) << 32;
            const std::uint16_t nameLen = u16At(file, o + 0x40);
            if (e.type != 0 && e.type != 1 && e.type != 2 && e.type != 5)
                return "a directory entry has an unknown type";
            if (e.type != 0 && (nameLen > 64 || (nameLen & 1)))
                return "a directory entry has a broken name";
            if (e.type != 0 && e.size > file.size() && e.type != 1)
                return "a stream is larger than the file";
            entries.push_back(e);
        }
    }
    if (entries.empty() || entries[0].type != 5)
        return "the root entry is missing";
    return {};
}

// The mini stream's chain and the mini allocation table.
struct Mini {
    std::vector<std::uint32_t> fat;
    std::uint64_t count = 0;  // mini sectors the mini stream holds
};

std::string readMini(const Layout& l, const Entry& root, Mini& mini)
{
    const std::string_view file = l.file;
    const std::uint32_t firstMiniFat = u32At(file, 0x3C);
    const std::uint32_t miniFatSectors = u32At(file, 0x40);
    std::vector<std::uint32_t> miniStream;
    if (root.size > 0)
        if (std::string e = l.chain(root.start, miniStream, "the mini stream"); !e.empty())
            return e;
    std::vector<std::uint32_t> miniFatChain;
    if (miniFatSectors > 0)
        if (std::string e = l.chain(firstMiniFat, miniFatChain, "the mini allocation table"); !e.empty())
            return e;
    for (std::uint32_t s : miniFatChain)
        for (std::size_t i = 0; i < l.sectorSize / 4; ++i) {
            const std::size_t o = l.sectorOffset(s) + 4 * i;
            mini.fat.push_back(fits(file.size(), o, 4) ? u32At(file, o) : kFree);
        }
    mini.count = std::uint64_t(miniStream.size()) * l.sectorSize / 64;
    return {};
}

// The sector chain of a stream, as long as its size needs.  Streams never
// share sectors in a sound file, so the sectors they need add up to at most
// what the file (or the mini stream) holds; `miniUsed` and `bigUsed` count
// them, which bounds the walk.
std::string checkStreamChain(const Layout& l, const Mini& mini, const Entry& e, std::uint64_t& miniUsed,
                             std::uint64_t& bigUsed)
{
    if (e.size < 4096) {
        const std::uint64_t need = (e.size + 63) / 64;
        miniUsed += need;
        if (miniUsed > mini.count)
            return "small streams claim more space than the mini stream has";
        std::uint32_t s = e.start;
        for (std::uint64_t n = 0; n < need; ++n) {
            if (s >= mini.count || s >= mini.fat.size())
                return "a small stream leaves the mini stream";
            s = mini.fat[s];
        }
    } else {
        const std::uint64_t need = (e.size + l.sectorSize - 1) / l.sectorSize;
        bigUsed += need;
        if (bigUsed > l.sectorCount)
            return "streams claim more space than the file has";
        std::uint32_t s = e.start;
        for (std::uint64_t n = 0; n < need; ++n) {
            if (s >= l.sectorCount || s >= l.fat.size())
                return "a stream's sector chain is shorter than the stream";
            s = l.fat[s];
        }
    }
    return {};
}

// Walks the tree from the root: each entry once, an explicit stack, a
// bounded depth, and every stream's chain.
std::string walkTree(const Layout& l, const Mini& mini, const std::vector<Entry>& entries)
{
    std::vector<bool> visited(entries.size(), false);
    std::uint64_t miniUsed = 0;
    std::uint64_t bigUsed = 0;
    struct Item { std::uint32_t index; std::size_t depth; };
    std::vector<Item> stack;
    visited[0] = true;
    if (entries[0].child != kNoStream)
        stack.push_back({entries[0].child, 1});
    // The root has no siblings in a sound file, but the container library
    // follows them as it follows any entry's: a sibling that reaches an entry
    // twice trips it up halfway through building its tree (it then reports
    // an assertion and loses what it had built), so they are links here too.
    if (entries[0].left != kNoStream)
        stack.push_back({entries[0].left, 1});
    if (entries[0].right != kNoStream)
        stack.push_back({entries[0].right, 1});
    while (!stack.empty()) {
        const Item it = stack.back();
        stack.pop_back();
        if (it.index >= entries.size())
            return "a directory link points outside the directory";
        if (visited[it.index])
            return "the directory tree loops";
        visited[it.index] = true;
        const Entry& e = entries[it.index];
        if (e.type == 0 || e.type == 5)
            return "the directory tree links to an unused entry";
        if (e.left != kNoStream)
            stack.push_back({e.left, it.depth});
        if (e.right != kNoStream)
            stack.push_back({e.right, it.depth});
        if (e.type == 1 && e.child != kNoStream) {
            if (it.depth + 1 > kMaxDepth)
                return "storages are nested too deeply";
            stack.push_back({e.child, it.depth + 1});
        }
        if (e.type == 2 && e.size > 0)
            if (std::string problem = checkStreamChain(l, mini, e, miniUsed, bigUsed); !problem.empty())
                return problem;
    }
    return {};
}

}  // namespace

bool CompoundValidator::hasSignature(std::string_view file)
{
    static const unsigned char sig[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
    if (file.size() < 8)
        return false;
    for (int i = 0; i < 8; ++i)
        if (static_cast<unsigned char>(file[i]) != sig[i])
            return false;
    return true;
}

std::size_t CompoundValidator::rootSiblingLinks(std::string_view file)
{
    if (file.size() < 512 || !hasSignature(file))
        return 0;
    const std::size_t sectorSize = std::size_t(1) << u16At(file, 0x1E);
    const std::size_t root = (std::size_t(u32At(file, 0x30)) + 1) * sectorSize;
    if (!fits(file.size(), root + 0x44, 8))
        return 0;
    return u32At(file, root + 0x44) != kNoStream || u32At(file, root + 0x48) != kNoStream ? root + 0x44 : 0;
}

std::string CompoundValidator::check(std::string_view file)
{
    if (file.size() < 512 || !hasSignature(file))
        return "it is not a compound file";
    Layout l;
    l.file = file;
    const std::uint16_t major = u16At(file, 0x1A);
    const std::uint16_t shift = u16At(file, 0x1E);
    if (u16At(file, 0x1C) != 0xFFFE)
        return "the byte order mark is wrong";
    if (!((major == 3 && shift == 9) || (major == 4 && shift == 12)))
        return "the sector size is not 512 or 4096 bytes";
    if (u16At(file, 0x20) != 6 || u32At(file, 0x38) != 4096)
        return "the mini sector size or cutoff is unusual";
    l.sectorSize = std::size_t(1) << shift;
    l.headerSize = l.sectorSize;  // sector 0 starts after one sector's worth of header
    if (file.size() < l.headerSize)
        return "the file is shorter than its header";
    // A final partial sector counts: some writers do not pad the last sector.
    l.sectorCount = (file.size() - l.headerSize + l.sectorSize - 1) / l.sectorSize;

    const std::uint32_t fatSectors = u32At(file, 0x2C);
    const std::uint32_t miniFatSectors = u32At(file, 0x40);
    const std::uint32_t difatSectors = u32At(file, 0x48);
    if (fatSectors == 0 || fatSectors > l.sectorCount || difatSectors > l.sectorCount
        || miniFatSectors > l.sectorCount)
        return "the allocation table is larger than the file";

    if (std::string e = readFat(file, l); !e.empty())
        return e;
    std::vector<Entry> entries;
    if (std::string e = readDirectory(l, major, entries); !e.empty())
        return e;
    Mini mini;
    if (std::string e = readMini(l, entries[0], mini); !e.empty())
        return e;
    return walkTree(l, mini, entries);
}

}  // namespace kelvaran::formats::doc
