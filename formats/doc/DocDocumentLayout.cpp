// What the page estimate needs of a Word 97-2003 document: the style sheet,
// and each paragraph's spacing, indents, table flags and character size as
// its style and its own properties set them.
#include "formats/doc/Bytes.h"
#include "formats/doc/DocDocument.h"
#include "formats/doc/Sprm.h"

#include <algorithm>

namespace kelvaran::formats::doc {

namespace {

void applyParagraphSprms(ParagraphLayout& layout, std::string_view b, std::size_t begin, std::size_t end)
{
    for (const Sprm& s : Sprm::list(b, begin, end)) {
        switch (s.opcode) {
        case Sprm::kPDyaBefore: layout.spaceBeforeTwips = u16At(b, s.operand); break;
        case Sprm::kPDyaAfter: layout.spaceAfterTwips = u16At(b, s.operand); break;
        case Sprm::kPDyaLine:
            layout.lineTwips = i16At(b, s.operand);
            layout.multipleLines = i16At(b, s.operand + 2) != 0;
            break;
        case Sprm::kPDxaLeft80:
        case Sprm::kPDxaLeft: layout.leftTwips = i16At(b, s.operand); break;
        case Sprm::kPDxaRight80:
        case Sprm::kPDxaRight: layout.rightTwips = i16At(b, s.operand); break;
        case Sprm::kPFInTable: layout.inTable = u8At(b, s.operand) != 0; break;
        case Sprm::kPItap: layout.inTable = layout.inTable || u32At(b, s.operand) > 0; break;
        // A nested table's rows are laid as paragraphs of the outer cell:
        // only the outer table's row marks end a row.
        case Sprm::kPFTtp: layout.rowEnd = layout.rowEnd || u8At(b, s.operand) != 0; break;
        case Sprm::kPFPageBreakBefore: layout.pageBreakBefore = u8At(b, s.operand) != 0; break;
        default: break;
        }
    }
}

int halfPointsIn(std::string_view b, std::size_t begin, std::size_t end, int size)
{
    for (const Sprm& s : Sprm::list(b, begin, end))
        if (s.opcode == Sprm::kCHps && u16At(b, s.operand) > 0)
            size = u16At(b, s.operand);
    return size;
}

}  // namespace

void DocDocument::readStyles()
{
    styles_.clear();
    const std::string_view t = stream(tableName().c_str());
    const std::uint32_t f = fib_.fc(Fib::kStshf), l = fib_.lcb(Fib::kStshf);
    if (l < 6 || !fits(t.size(), f, l))
        return;
    const std::size_t end = std::size_t(f) + l;
    const std::size_t cbStshi = u16At(t, f);
    if (cbStshi < 4 || !fits(l, 2, cbStshi))
        return;
    const std::size_t count = std::min<std::size_t>(u16At(t, f + 2), 4096);
    const std::size_t baseLength = u16At(t, f + 4);
    if (baseLength < 10)
        return;
    std::size_t at = std::size_t(f) + 2 + cbStshi;
    for (std::size_t i = 0; i < count && at + 2 <= end; ++i) {
        const std::size_t cbStd = u16At(t, at);
        const std::size_t from = at + 2;
        at = from + cbStd;
        Style style;
        if (cbStd >= baseLength + 2 && at <= end) {
            const std::size_t kind = u16At(t, from + 2) & 0x0F;  // 1 paragraph, 2 character
            style.base = u16At(t, from + 2) >> 4;
            const std::size_t upxCount = u16At(t, from + 4) & 0x0F;
            // The name: a count of UTF-16 units, the units and a terminating zero.
            std::size_t upx = from + baseLength + 2 + 2 * std::size_t(u16At(t, from + baseLength)) + 2;
            for (std::size_t k = 0; k < upxCount && upx + 2 <= at; ++k) {
                const std::size_t cbUpx = u16At(t, upx);
                const std::size_t body = upx + 2;
                if (body + cbUpx > at)
                    break;
                // A paragraph style lists its paragraph properties (after a
                // style index) first, then its character properties.
                if (kind == 1 && k == 0 && cbUpx >= 2) {
                    style.papxBegin = body + 2;
                    style.papxEnd = body + cbUpx;
                } else if ((kind == 1 && k == 1) || (kind == 2 && k == 0)) {
                    style.chpxBegin = body;
                    style.chpxEnd = body + cbUpx;
                }
                upx = body + cbUpx + (cbUpx & 1);
            }
        }
        styles_.push_back(style);
    }
}

std::size_t DocDocument::styleAt(std::uint32_t cp) const
{
    bool ok = false;
    const std::uint32_t fc = fcOfCp(cp, &ok);
    const PropertyRun* r = ok ? runAt(papRuns_, fc) : nullptr;
    if (!r || r->grpprlEnd <= r->grpprlBegin || r->grpprlBegin < 2)
        return 0;
    return u16At(stream("WordDocument"), r->grpprlBegin - 2);
}

std::vector<std::size_t> DocDocument::styleChain(std::size_t istd) const
{
    std::vector<std::size_t> chain;
    while (istd < styles_.size() && chain.size() < 16 && std::find(chain.begin(), chain.end(), istd) == chain.end()) {
        chain.push_back(istd);
        istd = styles_[istd].base;
    }
    return chain;
}

ParagraphLayout DocDocument::paragraphLayoutAt(std::uint32_t cp) const
{
    ParagraphLayout layout;
    const std::string_view t = stream(tableName().c_str());
    const std::vector<std::size_t> chain = styleChain(styleAt(cp));
    for (auto style = chain.rbegin(); style != chain.rend(); ++style)
        applyParagraphSprms(layout, t, styles_[*style].papxBegin, styles_[*style].papxEnd);
    // Table flags are the paragraph's own.
    layout.inTable = false;
    layout.rowEnd = false;
    bool ok = false;
    const std::uint32_t fc = fcOfCp(cp, &ok);
    const PropertyRun* r = ok ? runAt(papRuns_, fc) : nullptr;
    if (r && r->grpprlEnd > r->grpprlBegin)
        applyParagraphSprms(layout, stream("WordDocument"), r->grpprlBegin, r->grpprlEnd);
    return layout;
}

int DocDocument::fontHalfPointsAt(std::uint32_t cp) const
{
    int size = 0;
    const std::string_view t = stream(tableName().c_str());
    const std::vector<std::size_t> chain = styleChain(styleAt(cp));
    for (auto style = chain.rbegin(); style != chain.rend(); ++style)
        size = halfPointsIn(t, styles_[*style].chpxBegin, styles_[*style].chpxEnd, size);
    bool ok = false;
    const std::uint32_t fc = fcOfCp(cp, &ok);
    const PropertyRun* r = ok ? runAt(chpRuns_, fc) : nullptr;
    if (r && r->grpprlEnd > r->grpprlBegin)
        size = halfPointsIn(stream("WordDocument"), r->grpprlBegin, r->grpprlEnd, size);
    return size;
}

int DocDocument::normalStyleHalfPoints() const
{
    const std::string_view t = stream(tableName().c_str());
    int size = 0;
    const std::vector<std::size_t> chain = styleChain(0);
    for (auto style = chain.rbegin(); style != chain.rend(); ++style)
        size = halfPointsIn(t, styles_[*style].chpxBegin, styles_[*style].chpxEnd, size);
    return size > 0 ? size : 20;
}

}  // namespace kelvaran::formats::doc
