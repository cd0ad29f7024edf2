#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

namespace kelvaran::formats::doc {

// One drawing record: its 8-byte header and, for containers (recVer 0xF), the
// records inside.  Offsets are into the buffer that was parsed.
struct OfficeArtRecord {
    std::uint16_t version = 0;
    std::uint16_t instance = 0;
    std::uint16_t type = 0;
    std::size_t offset = 0;  // of the header
    std::uint32_t length = 0; // bytes after the header
    std::vector<OfficeArtRecord> children;

    std::size_t bodyOffset() const { return offset + 8; }
    std::size_t end() const { return offset + 8 + length; }
    bool isContainer() const { return version == 0xF; }
    const OfficeArtRecord* firstChild(std::uint16_t recType) const;

    // Parses the records in [begin, end) of `buffer`.  Records whose length leaves
    // the range, nesting deeper than 32 levels and more than 200000 records in all
    // stop the parse (what was read so far is returned, `damaged` is set).
    static std::vector<OfficeArtRecord> parseSequence(std::string_view buffer, std::size_t begin, std::size_t end,
                                                      bool* damaged = nullptr);
    // Parses one record at `offset`; false when its header does not fit.
    static bool parseOne(std::string_view buffer, std::size_t offset, std::size_t limit, OfficeArtRecord& out,
                         bool* damaged = nullptr);
};

}  // namespace kelvaran::formats::doc
