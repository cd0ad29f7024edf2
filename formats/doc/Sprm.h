#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace kelvaran::formats::doc {

// One property modifier (sprm + operand) found in a property list.  `operand` is
// the offset of the operand in the buffer that was scanned.
struct Sprm {
    std::uint16_t opcode = 0;
    std::size_t operand = 0;
    std::size_t length = 0;

    // Operand sizes by the sprm's spra bits; variable ones read their length byte.
    // nullopt when the operand does not fit in [at, end).
    static std::optional<std::size_t> operandLength(std::uint16_t opcode, std::string_view b, std::size_t at,
                                                    std::size_t end);
    // Every sprm in b[begin, end); stops quietly at a sprm that does not fit.
    static std::vector<Sprm> list(std::string_view b, std::size_t begin, std::size_t end);

    enum : std::uint16_t {
        kCPicLocation = 0x6A03,
        kCFData = 0x0806,
        kCFOle2 = 0x080A,
        kCObjLocation = 0x680E,
        kCFSpec = 0x0855,
        kCFObj = 0x0856,
        kPHugePapx = 0x6646,
        kPHugePapxOld = 0x6645,
        kPTableProps = 0x646B,
        kPFPageBreakBefore = 0x2407,
        kPPc = 0x261B,
        kPDxaAbs = 0x8418,
        kPDyaAbs = 0x8419,
        kPDxaWidth = 0x841A,
        kPWHeightAbs = 0x442B,
        kPWr = 0x2423,
        kSBkc = 0x3009,
        kPDyaBefore = 0xA413,
        kPDyaAfter = 0xA414,
        kPDyaLine = 0x6412,
        kPDxaLeft80 = 0x840F,
        kPDxaRight80 = 0x840E,
        kPDxaLeft = 0x845E,
        kPDxaRight = 0x845D,
        kPFInTable = 0x2416,
        kPFTtp = 0x2417,
        kPItap = 0x6649,
        kCHps = 0x4A43,
        kSXaPage = 0xB01F,
        kSYaPage = 0xB020,
        kSDxaLeft = 0xB021,
        kSDxaRight = 0xB022,
        kSDyaTop = 0x9023,
        kSDyaBottom = 0x9024,
    };
};

}  // namespace kelvaran::formats::doc
