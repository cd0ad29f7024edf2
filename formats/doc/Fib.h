#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

namespace kelvaran::formats::doc {

// The file information block at the start of the WordDocument stream: the
// version, the flags that decide whether the document can be read, the story
// lengths and the offset/length pairs of every table.
class Fib {
public:
    // Indexes of the offset/length pairs used here.
    enum Pair : std::size_t {
        kStshf = 1,
        kPlcfSed = 6,
        kPlcfHdd = 11,
        kPlcfBteChpx = 12,
        kPlcfBtePapx = 13,
        kPlcfFldMom = 16,
        kClx = 33,
        kPlcSpaMom = 40,
        kPlcSpaHdr = 41,
        kDggInfo = 50,
        kPlcfTxbxTxt = 56,
        kPlcfHdrTxbxTxt = 58,
    };
    enum Story : std::size_t { kMain, kFootnote, kHeader, kMacro, kComment, kEndnote, kTextbox, kHeaderTextbox };

    // Throws DocError: UnsupportedVersion for Word 6/95 and older, Encrypted,
    // Damaged for a FIB that does not fit or whose counts are inconsistent.
    static Fib parse(std::string_view wordDocument);

    std::uint16_t nFib = 0;
    std::uint16_t flags = 0;
    bool complex = false;
    bool useTable1 = false;
    std::uint32_t cbMac = 0;
    std::uint32_t ccp[8] = {};
    std::uint16_t nFibNew = 0;

    std::size_t pairCount() const { return pairs_.size(); }
    std::uint32_t fc(std::size_t i) const { return i < pairs_.size() ? pairs_[i].first : 0; }
    std::uint32_t lcb(std::size_t i) const { return i < pairs_.size() ? pairs_[i].second : 0; }
    // Offset of pair i's fc inside the WordDocument stream.
    static std::size_t pairOffset(std::size_t i) { return 0x9A + 8 * i; }
    // First CP of a story.
    std::uint32_t storyStart(Story s) const;

private:
    std::vector<std::pair<std::uint32_t, std::uint32_t>> pairs_;
};

}  // namespace kelvaran::formats::doc
