#include "formats/doc/Fib.h"

#include "formats/doc/Bytes.h"
#include "formats/doc/DocError.h"

namespace kelvaran::formats::doc {

Fib Fib::parse(std::string_view w)
{
    if (w.size() < 0x20)
        throw DocError(DocError::Kind::Damaged, "the document is damaged (its WordDocument stream is too short)");
    const std::uint16_t ident = u16At(w, 0);
    Fib f;
    f.nFib = u16At(w, 2);
    f.flags = u16At(w, 0x0A);
    if (ident == 0xA5DB)
        throw DocError(DocError::Kind::UnsupportedVersion, "Word 2 documents are not supported");
    if (ident == 0xA5DC || (f.nFib >= 101 && f.nFib <= 105))
        throw DocError(DocError::Kind::UnsupportedVersion, "Word 6/95 documents are not supported");
    if (ident != 0xA5EC)
        throw DocError(DocError::Kind::Damaged,
                       "the document is damaged (its file information block is not that of a Word document)");
    if (f.nFib < 0x00C0 && f.nFib != 0)
        throw DocError(DocError::Kind::UnsupportedVersion,
                       "documents older than Word 97 are not supported");
    if (f.flags & 0x0100)
        throw DocError(DocError::Kind::Encrypted, "the document is encrypted");
    if (f.nFib < 0x00C0)
        throw DocError(DocError::Kind::Damaged, "the document is damaged (its version number is missing)");
    f.complex = (f.flags & 0x0004) != 0;
    f.useTable1 = (f.flags & 0x0200) != 0;

    std::size_t o = 0x20;
    const std::uint16_t csw = readU16(w, o, "the file information block");
    o += 2 + std::size_t(csw) * 2;
    const std::uint16_t cslw = readU16(w, o, "the file information block");
    if (cslw < 22)
        throw DocError(DocError::Kind::Damaged, "the document is damaged (its file information block is too short)");
    const std::size_t lw = o + 2;
    requireRange(w, lw, std::size_t(cslw) * 4, "the file information block");
    f.cbMac = u32At(w, lw);
    for (int i = 0; i < 8; ++i)
        f.ccp[i] = u32At(w, lw + 12 + 4 * i);
    o = lw + std::size_t(cslw) * 4;
    const std::uint16_t pairs = readU16(w, o, "the file information block");
    if (csw != 14 || cslw != 22 || o != 0x98)
        throw DocError(DocError::Kind::Damaged, "the document is damaged (its file information block is inconsistent)");
    if (pairs < 0x5D)
        throw DocError(DocError::Kind::Damaged, "the document is damaged (its table of tables is too short)");
    o += 2;
    requireRange(w, o, std::size_t(pairs) * 8, "the table of tables");
    for (std::size_t i = 0; i < pairs; ++i)
        f.pairs_.emplace_back(u32At(w, o + 8 * i), u32At(w, o + 8 * i + 4));
    o += std::size_t(pairs) * 8;
    if (fits(w.size(), o, 4) && u16At(w, o) > 0)
        f.nFibNew = u16At(w, o + 2);
    return f;
}

std::uint32_t Fib::storyStart(Story s) const
{
    std::uint64_t cp = 0;
    for (std::size_t i = 0; i < static_cast<std::size_t>(s); ++i)
        cp += ccp[i];
    return cp > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<std::uint32_t>(cp);
}

}  // namespace kelvaran::formats::doc
