#include "formats/doc/DocFormatDetail.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <set>

#include "formats/doc/Bytes.h"
#include "formats/doc/DocDocument.h"
#include "formats/doc/Sprm.h"
#include "formats/doc/TextCodec.h"

// The model reader: a parsed Word 97-2003 file as the format-neutral model.

namespace kelvaran::formats::doc::detail {

namespace {

model::PictureFormat toModel(PictureFormat format)
{
    switch (format) {
    case PictureFormat::Emf: return model::PictureFormat::Emf;
    case PictureFormat::Wmf: return model::PictureFormat::Wmf;
    case PictureFormat::Pict: return model::PictureFormat::Pict;
    case PictureFormat::Jpeg: return model::PictureFormat::Jpeg;
    case PictureFormat::Png: return model::PictureFormat::Png;
    case PictureFormat::Dib: return model::PictureFormat::Dib;
    case PictureFormat::Tiff: return model::PictureFormat::Tiff;
    case PictureFormat::Unknown: break;
    }
    return model::PictureFormat::Unknown;
}

// Pixel size of a bitmap file, when its header says it.
void pixelSize(const std::string& b, PictureFormat format, int& width, int& height)
{
    width = height = 0;
    if (format == PictureFormat::Png && b.size() >= 24 && b.compare(12, 4, "IHDR") == 0) {
        auto be32 = [&](std::size_t o) {
            return (std::uint32_t(u8At(b, o)) << 24) | (std::uint32_t(u8At(b, o + 1)) << 16) |
                   (std::uint32_t(u8At(b, o + 2)) << 8) | u8At(b, o + 3);
        };
        width = static_cast<int>(std::min<std::uint32_t>(be32(16), 0x7FFFFFFF));
        height = static_cast<int>(std::min<std::uint32_t>(be32(20), 0x7FFFFFFF));
    } else if (format == PictureFormat::Dib && b.size() >= 12) {
        if (u32At(b, 0) == 12) {
            width = u16At(b, 4);
            height = u16At(b, 6);
        } else if (b.size() >= 16) {
            width = i32At(b, 4);
            height = static_cast<int>(std::min<std::int64_t>(std::llabs(std::int64_t(i32At(b, 8))), 0x7FFFFFFF));
        }
    } else if (format == PictureFormat::Jpeg) {
        std::size_t at = 2;
        while (at + 9 < b.size() && u8At(b, at) == 0xFF) {
            const std::uint8_t marker = u8At(b, at + 1);
            if (marker == 0xFF) {
                ++at;
                continue;
            }
            const std::size_t length = (std::size_t(u8At(b, at + 2)) << 8) | u8At(b, at + 3);
            const bool frame = marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
            if (frame) {
                height = (u8At(b, at + 5) << 8) | u8At(b, at + 6);
                width = (u8At(b, at + 7) << 8) | u8At(b, at + 8);
                break;
            }
            if (length < 2)
                break;
            at += 2 + length;
        }
    }
    if (width < 0 || height < 0 || width > 1000000 || height > 1000000)
        width = height = 0;
}

// An old-style inline picture holds a bare Windows metafile; imaging wants the
// placeable header in front, with bounds from the metafile's own window.
std::string withPlaceableHeader(const std::string& wmf, std::int32_t goalWidthTwips)
{
    std::int32_t left = 0, top = 0, right = 0, bottom = 0;
    bool haveExt = false, haveOrg = false;
    if (wmf.size() >= 18) {
        std::size_t at = std::size_t(u16At(wmf, 2)) * 2;  // header size in words
        for (int guard = 0; guard < 4096 && at + 6 <= wmf.size(); ++guard) {
            const std::uint64_t words = u32At(wmf, at);
            const std::uint16_t function = u16At(wmf, at + 4);
            if (words < 3 || words * 2 > wmf.size() - at)
                break;
            if (function == 0x020C && words >= 5 && !haveExt) {  // SetWindowExt: y, x
                bottom = i16At(wmf, at + 6);
                right = i16At(wmf, at + 8);
                haveExt = true;
            } else if (function == 0x020B && words >= 5 && !haveOrg) {  // SetWindowOrg: y, x
                top = i16At(wmf, at + 6);
                left = i16At(wmf, at + 8);
                haveOrg = true;
            }
            if (function == 0 || (haveExt && haveOrg))
                break;
            at += static_cast<std::size_t>(words) * 2;
        }
    }
    if (!haveExt || right == 0 || bottom == 0) {
        right = std::max<std::int32_t>(1, goalWidthTwips);
        bottom = right;
        left = top = 0;
    }
    const std::int32_t width = std::abs(right);
    const std::int32_t height = std::abs(bottom);
    std::int64_t inch = 1440;
    if (goalWidthTwips > 0)
        inch = std::clamp<std::int64_t>(std::int64_t(width) * 1440 / goalWidthTwips, 1, 0x7FFF);
    return placeableHeader(left, top, left + width, top + height, inch) + wmf;
}

model::PictureData pictureOf(const PictureData& stored)
{
    model::PictureData out;
    out.type = toModel(stored.format);
    // The model holds the parsed document's own bytes: a picture is in memory
    // once, however many models are built from the document.
    out.bytes = stored.bytes;
    if (stored.bytes)
        pixelSize(*stored.bytes, stored.format, out.pixelWidth, out.pixelHeight);
    return out;
}

// The 16 colours of the border palette (ico), as 0x00BBGGRR.
std::int32_t paletteColour(std::uint8_t ico)
{
    static const std::int32_t colours[17] = {model::BorderLine::kAutomaticColour,
                                             0x000000, 0xFF0000, 0xFFFF00, 0x00FF00, 0xFF00FF, 0x0000FF, 0x00FFFF,
                                             0xFFFFFF, 0x800000, 0x808000, 0x008000, 0x800080, 0x000080, 0x008080,
                                             0x808080, 0xC0C0C0};
    return ico <= 16 ? colours[ico] : model::BorderLine::kAutomaticColour;
}

model::BorderLine borderLine(std::uint32_t brc, double& distancePt, bool& shadow)
{
    model::BorderLine line;
    if (brc == 0 || brc == 0xFFFFFFFF)
        return line;
    const std::uint8_t width = brc & 0xFF;
    const std::uint8_t type = (brc >> 8) & 0xFF;
    const std::uint8_t ico = (brc >> 16) & 0xFF;
    if (type == 0 || type == 0xFF)
        return line;
    switch (type) {
    case 3: line.style = 7; break;   // double
    case 6: line.style = 2; break;   // dotted
    case 7: case 22: line.style = 3; break;  // dashed
    case 8: line.style = 4; break;   // dot dash
    case 9: line.style = 5; break;   // dot dot dash
    case 10: line.style = 6; break;  // triple
    default: line.style = 1; break;
    }
    line.widthEighths = width == 0 ? 2 : width;
    line.colourIndex = ico <= 16 ? ico : 0;
    line.colour = paletteColour(ico);
    line.visible = true;
    distancePt = ((brc >> 24) & 0x1F);
    shadow = shadow || ((brc >> 29) & 1);
    return line;
}

model::Borders bordersOf(const InlinePicture& picture)
{
    model::Borders borders;
    const int sides[4] = {model::Borders::Top, model::Borders::Left, model::Borders::Bottom, model::Borders::Right};
    double* distances[4] = {&borders.distanceTopPt, &borders.distanceLeftPt, &borders.distanceBottomPt,
                            &borders.distanceRightPt};
    for (int i = 0; i < 4; ++i)
        borders.sides[static_cast<std::size_t>(sides[i])] = borderLine(picture.borders[static_cast<std::size_t>(i)],
                                                                       *distances[i], borders.shadow);
    borders.enable = borders.anyVisible();
    return borders;
}

int shapeTypeOf(const FloatingShape& shape)
{
    if (shape.isGroup)
        return model::shape_type::kGroup;
    if (shape.oleShape())
        return model::shape_type::kEmbeddedObject;
    // A picture frame without a picture is drawn as an empty shape.
    if (shape.linked)
        return model::shape_type::kLinkedPicture;
    if (shape.blipIndex != 0)
        return model::shape_type::kPicture;
    if (shape.shapeType == 202 || shape.textboxId != 0)
        return model::shape_type::kTextBox;
    if (shape.shapeType == 1)
        return model::shape_type::kRectangle;
    if (shape.shapeType == 3)
        return model::shape_type::kOval;
    return model::shape_type::kOther;
}

// Wrapping of the shape anchor (SPA) in the object model's terms.
void wrapOf(const FloatingShape& shape, model::Wrap& wrap)
{
    switch (shape.wrap) {
    case 1: wrap.type = 4; break;
    case 3: wrap.type = shape.belowText ? 5 : 3; break;
    case 4: wrap.type = 1; break;
    case 5: wrap.type = 2; break;
    default: wrap.type = 0; break;
    }
    wrap.side = shape.wrapSide <= 3 ? shape.wrapSide : 0;
    wrap.distanceLeftPt = shape.wrapDistanceEmu[0] / 12700.0;
    wrap.distanceTopPt = shape.wrapDistanceEmu[1] / 12700.0;
    wrap.distanceRightPt = shape.wrapDistanceEmu[2] / 12700.0;
    wrap.distanceBottomPt = shape.wrapDistanceEmu[3] / 12700.0;
}

// Section ends of the main story (CP one past the section's last character)
// with the kind of break that ends them.  A section's own break kind says
// how it begins, so the break at the end of a section is the next one's.
std::map<std::uint32_t, std::uint8_t> sectionEnds(const DocDocument& d)
{
    std::map<std::uint32_t, std::uint8_t> ends;
    const CompoundEntry* wd = d.container().root.child("WordDocument");
    const CompoundEntry* tb = d.container().root.child(d.fib().useTable1 ? "1Table" : "0Table");
    if (!wd || !tb)
        return ends;
    const std::string_view w = wd->data, t = tb->data;
    const std::uint32_t f = d.fib().fc(Fib::kPlcfSed), l = d.fib().lcb(Fib::kPlcfSed);
    if (l < 16 || !fits(t.size(), f, l))
        return ends;
    const std::size_t n = (l - 4) / 16;
    std::uint32_t previousEnd = 0;
    bool first = true;
    for (std::size_t i = 0; i < n; ++i) {
        const std::uint32_t cpEnd = u32At(t, f + 4 * (i + 1));
        const std::uint32_t sepx = u32At(t, f + 4 * (n + 1) + 12 * i + 2);
        std::uint8_t bkc = 2;
        if (sepx != 0xFFFFFFFF && fits(w.size(), sepx, 2)) {
            const std::size_t cb = u16At(w, sepx);
            if (fits(w.size(), std::size_t(sepx) + 2, cb))
                for (const Sprm& s : Sprm::list(w, std::size_t(sepx) + 2, std::size_t(sepx) + 2 + cb))
                    if (s.opcode == Sprm::kSBkc)
                        bkc = u8At(w, s.operand);
        }
        if (!first)
            ends[previousEnd] = bkc;
        ends.emplace(cpEnd, 2);
        previousEnd = cpEnd;
        first = false;
    }
    return ends;
}

// The page setup of each section, in order.
std::vector<model::PageSetup> sectionPages(const DocDocument& d)
{
    std::vector<model::PageSetup> pages;
    const CompoundEntry* wd = d.container().root.child("WordDocument");
    const CompoundEntry* tb = d.container().root.child(d.fib().useTable1 ? "1Table" : "0Table");
    if (!wd || !tb)
        return pages;
    const std::string_view w = wd->data, t = tb->data;
    const std::uint32_t f = d.fib().fc(Fib::kPlcfSed), l = d.fib().lcb(Fib::kPlcfSed);
    if (l < 16 || !fits(t.size(), f, l))
        return pages;
    const std::size_t n = (l - 4) / 16;
    for (std::size_t i = 0; i < n && i < 10000; ++i) {
        // A section without properties of its own has the file format's defaults.
        model::PageSetup page;
        page.widthPt = 612;
        page.heightPt = 792;
        page.marginLeftPt = page.marginRightPt = 90;
        page.marginTopPt = page.marginBottomPt = 72;
        const std::uint32_t sepx = u32At(t, f + 4 * (n + 1) + 12 * i + 2);
        if (sepx != 0xFFFFFFFF && fits(w.size(), sepx, 2)) {
            const std::size_t cb = u16At(w, sepx);
            if (fits(w.size(), std::size_t(sepx) + 2, cb))
                for (const Sprm& s : Sprm::list(w, std::size_t(sepx) + 2, std::size_t(sepx) + 2 + cb)) {
                    const double twips = u16At(w, s.operand) / 20.0;
                    const double signedTwips = std::abs(i16At(w, s.operand)) / 20.0;
                    switch (s.opcode) {
                    case Sprm::kSXaPage: if (twips > 0) page.widthPt = twips; break;
                    case Sprm::kSYaPage: if (twips > 0) page.heightPt = twips; break;
                    case Sprm::kSDxaLeft: page.marginLeftPt = twips; break;
                    case Sprm::kSDxaRight: page.marginRightPt = twips; break;
                    case Sprm::kSDyaTop: page.marginTopPt = signedTwips; break;
                    case Sprm::kSDyaBottom: page.marginBottomPt = signedTwips; break;
                    default: break;
                    }
                }
        }
        pages.push_back(page);
    }
    return pages;
}

model::SectionBreakKind sectionKind(std::uint8_t bkc)
{
    switch (bkc) {
    case 0: return model::SectionBreakKind::Continuous;
    case 1: return model::SectionBreakKind::NewColumn;
    case 3: return model::SectionBreakKind::EvenPage;
    case 4: return model::SectionBreakKind::OddPage;
    default: return model::SectionBreakKind::NewPage;
    }
}

model::FrameProperties frameOf(const FrameInfo& frame)
{
    model::FrameProperties out;
    out.widthPt = frame.widthTwips / 20.0;
    const double height = (frame.heightTwips & 0x7FFF) / 20.0;
    // The high bit asks for "at least"; without it the height is exact.
    out.heightPt = height == 0 ? 0.0 : (frame.heightTwips & 0x8000) ? height : -height;
    out.xPt = frame.xTwips / 20.0;
    out.yPt = frame.yTwips / 20.0;
    const int vertical = (frame.anchoring >> 4) & 3;
    const int horizontal = (frame.anchoring >> 6) & 3;
    out.verticalReference = vertical == 0 ? 0 : vertical == 1 ? 1 : 2;
    out.horizontalReference = horizontal == 0 ? 2 : horizontal == 1 ? 0 : 1;
    out.wrapAround = frame.wrap != 1;
    return out;
}

// Turns the parsed document into the model.
class ModelBuilder {
public:
    ModelBuilder(std::shared_ptr<const DocDocument> document, model::Document& out)
        : d_(std::move(document)), doc_(out), inv_(d_->inventory()), text_(d_->text())
    {
        // What is not shown as a picture stays a character of the text.
        for (std::size_t i = 0; i < inv_.pictures.size(); ++i)
            if (inv_.pictures[i].objectIndex < 0 && inv_.pictures[i].shownAsPicture())
                pictureAt_[inv_.pictures[i].cp] = i;
        for (std::size_t i = 0; i < inv_.objects.size(); ++i)
            objectAt_[inv_.objects[i].fieldBegin] = i;
        sections_ = sectionEnds(*d_);
        for (const PageBreak& b : inv_.pageBreaks)
            if (b.kind == PageBreakKind::ParagraphBefore)
                breakBefore_.insert(b.cp);
    }

    void build()
    {
        doc_.format = "doc";
        doc_.warnings = inv_.warnings;
        doc_.sections = sectionPages(*d_);
        doc_.defaultFontSizePt = d_->normalStyleHalfPoints() / 2.0;
        const std::uint32_t total = static_cast<std::uint32_t>(text_.size());
        const std::uint32_t mainEnd = std::min(d_->fib().ccp[Fib::kMain], total);
        doc_.stories.clear();
        doc_.stories.push_back(buildStory(model::StoryKind::Main, 0, mainEnd, true).story);
        int headerStory = -1;
        const bool headerShapes =
            std::any_of(inv_.shapes.begin(), inv_.shapes.end(), [](const FloatingShape& s) { return s.header; });
        if (headerShapes) {
            const std::uint32_t begin = std::min(d_->fib().storyStart(Fib::kHeader), total);
            const std::uint32_t end =
                static_cast<std::uint32_t>(std::min<std::uint64_t>(std::uint64_t(begin) + d_->fib().ccp[Fib::kHeader], total));
            doc_.stories.push_back(buildStory(model::StoryKind::Header, begin, end, false).story);
            headerStory = static_cast<int>(doc_.stories.size()) - 1;
        }
        buildShapes(headerStory);
    }

private:
    struct Built {
        model::Story story;
        std::vector<std::uint32_t> starts;  // CP of each element
    };

    void flush(Built& b, std::u16string& run, bool hidden, std::uint32_t begin, std::uint32_t end)
    {
        if (end <= begin)
            return;
        model::Element e = model::Element::textRun(hidden ? std::string() : TextCodec::utf16ToUtf8(run),
                                                   static_cast<std::int64_t>(end - begin));
        e.origin = textOrigin(begin, end);
        b.story.elements.push_back(std::move(e));
        b.starts.push_back(begin);
        run.clear();
    }

    model::Origin origin(DocOrigin::Kind kind, std::size_t index, std::uint32_t begin, std::uint32_t end) const
    {
        model::Origin o;
        o.format = "doc";
        o.source = doc_.source;
        DocOrigin detail;
        detail.kind = kind;
        detail.index = index;
        detail.cpBegin = begin;
        detail.cpEnd = end;
        detail.document = d_;
        o.detail = std::move(detail);
        return o;
    }

    // A text element's origin: the format and source shared by all of them.
    model::ElementOrigin textOrigin(std::uint32_t begin, std::uint32_t end)
    {
        if (!elementShared_ || elementShared_->source != doc_.source)
            elementShared_ = model::ElementOrigin::share("doc", doc_.source);
        model::Origin o = origin(DocOrigin::Kind::Text, 0, begin, end);
        return model::ElementOrigin(elementShared_, o.range, std::move(o.detail));
    }

    int addInlinePicture(std::size_t pictureIndex, model::InlineKind kind, const std::string& progId)
    {
        const InlinePicture& p = inv_.pictures[pictureIndex];
        model::InlineObject object;
        object.kind = kind;
        object.widthPt = p.widthTwips / 20.0;
        object.heightPt = p.heightTwips / 20.0;
        if (p.picture) {
            object.picture = pictureOf(*p.picture);
            if (p.mappingMode != 0x64 && p.mappingMode != 0x66 && p.picture->format == PictureFormat::Wmf &&
                p.picture->bytes) {
                // Made once for a picture block that many characters show.
                auto& framed = framedLegacy_[{p.picture->bytes.get(), p.dxaGoal}];
                if (!framed)
                    framed = model::shareBytes(withPlaceableHeader(*p.picture->bytes, p.dxaGoal));
                object.picture.bytes = framed;
            }
        }
        object.picture.naturalWidthPt = p.dxaGoal / 20.0;
        object.picture.naturalHeightPt = p.dyaGoal / 20.0;
        if (p.dxaGoal > 0) {
            object.picture.crop.left = p.cropLeft / static_cast<double>(p.dxaGoal);
            object.picture.crop.right = p.cropRight / static_cast<double>(p.dxaGoal);
        }
        if (p.dyaGoal > 0) {
            object.picture.crop.top = p.cropTop / static_cast<double>(p.dyaGoal);
            object.picture.crop.bottom = p.cropBottom / static_cast<double>(p.dyaGoal);
        }
        // A crop kept only in the drawing properties: the header's size is
        // the visible part, so the natural size grows by what is cut off.
        const auto& sc = p.shapeCrop;
        // Only cuts are taken: a side pushed outwards is left to the header.
        const double keptX = 1.0 - sc[0] - sc[2], keptY = 1.0 - sc[1] - sc[3];
        const bool cutsOnly = std::all_of(sc.begin(), sc.end(), [](double v) { return v >= 0; });
        if (!object.picture.crop.any() && cutsOnly && (sc[0] || sc[1] || sc[2] || sc[3]) && keptX > 0.01 &&
            keptY > 0.01) {
            object.picture.crop = model::Crop{sc[0], sc[1], sc[2], sc[3]};
            object.picture.naturalWidthPt = object.widthPt / keptX;
            object.picture.naturalHeightPt = object.heightPt / keptY;
        }
        object.progId = progId;
        object.borders = bordersOf(p);
        object.origin = origin(DocOrigin::Kind::Picture, pictureIndex, p.cp, p.cp + 1);
        object.origin.range = {p.dataOffset, std::int64_t(p.dataOffset) + p.blockLength};
        doc_.inlines.push_back(std::move(object));
        return static_cast<int>(doc_.inlines.size()) - 1;
    }

    // The object of the older kind whose picture is in its storage.
    int addStoragePicture(const StoragePicture& p, model::InlineKind kind, const std::string& progId)
    {
        model::InlineObject object;
        object.kind = kind;
        object.widthPt = p.widthTwips() / 20.0;
        object.heightPt = p.heightTwips() / 20.0;
        object.picture = pictureOf(p.picture);
        if (p.picture.bytes)
            object.picture.bytes = model::shareBytes(withPlaceableHeader(*p.picture.bytes, p.naturalWidth));
        object.picture.naturalWidthPt = p.naturalWidth / 20.0;
        object.picture.naturalHeightPt = p.naturalHeight / 20.0;
        object.picture.crop.left = p.cropLeft / static_cast<double>(p.naturalWidth);
        object.picture.crop.right = p.cropRight / static_cast<double>(p.naturalWidth);
        object.picture.crop.top = p.cropTop / static_cast<double>(p.naturalHeight);
        object.picture.crop.bottom = p.cropBottom / static_cast<double>(p.naturalHeight);
        object.progId = progId;
        object.origin = origin(DocOrigin::Kind::Picture, 0, p.cp, p.cp + 1);
        doc_.inlines.push_back(std::move(object));
        return static_cast<int>(doc_.inlines.size()) - 1;
    }

    // What the page estimate needs of a paragraph: its spacing, indents,
    // table flags and the character size at its mark.
    void addLayout(model::ParagraphProperties& props, std::uint32_t start, std::uint32_t mark, bool cellMark) const
    {
        const ParagraphLayout layout = d_->paragraphLayoutAt(start);
        props.spaceBeforePt = layout.spaceBeforeTwips / 20.0;
        props.spaceAfterPt = layout.spaceAfterTwips / 20.0;
        if (layout.multipleLines) {
            props.lineMultiple = layout.lineTwips > 0 && layout.lineTwips != 240 ? layout.lineTwips / 240.0 : 0.0;
        } else {
            props.lineSpacingPt = layout.lineTwips / 20.0;
        }
        props.indentLeftPt = layout.leftTwips / 20.0;
        props.indentRightPt = layout.rightTwips / 20.0;
        // A page break before that the paragraph's style asks for (its own
        // is in the inventory already); never before the document's start.
        props.pageBreakBefore = props.pageBreakBefore || (layout.pageBreakBefore && start > 0);
        props.inTable = layout.inTable || cellMark;
        props.rowEnd = cellMark && layout.rowEnd;
        props.cellEnd = cellMark && !layout.rowEnd;
        if (const int halfPoints = d_->fontHalfPointsAt(mark); halfPoints > 0)
            props.fontSizePt = halfPoints / 2.0;
    }

    Built buildStory(model::StoryKind kind, std::uint32_t begin, std::uint32_t end, bool editable)
    {
        Built b;
        b.story.kind = kind;
        b.story.editable = editable;
        {
            // Reserved up front from the paragraph marks, about a run of text
            // before each: a long text's elements are then never held twice
            // while the list grows.
            const std::size_t from = std::min<std::size_t>(begin, text_.size());
            const std::size_t to = std::clamp<std::size_t>(end, from, text_.size());
            const auto marks = static_cast<std::size_t>(
                std::count_if(text_.begin() + static_cast<std::ptrdiff_t>(from),
                              text_.begin() + static_cast<std::ptrdiff_t>(to),
                              [](char16_t c) { return c == 0x0D || c == 0x07 || c == 0x0C; }));
            b.story.elements.reserve(2 * marks + 16);
            b.starts.reserve(2 * marks + 16);
        }
        std::u16string run;
        std::uint32_t runStart = begin;
        bool runHidden = false;
        std::vector<bool> inCode;  // open fields: still in their code part
        std::uint32_t paragraphStart = begin;
        std::optional<FrameInfo> frame;
        auto hiddenNow = [&] { return std::find(inCode.begin(), inCode.end(), true) != inCode.end(); };
        auto single = [&](model::Element e, std::uint32_t cp, std::uint32_t next) {
            flush(b, run, runHidden, runStart, cp);
            if (!e.origin.known())
                e.origin = textOrigin(cp, next);
            b.story.elements.push_back(std::move(e));
            b.starts.push_back(cp);
            runStart = next;
        };
        auto paragraphProperties = [&](std::uint32_t mark) {
            model::ParagraphProperties props;
            props.pageBreakBefore = breakBefore_.count(paragraphStart) > 0;
            if (!frame)
                frame = d_->frameAt(paragraphStart);
            if (frame)
                props.frame = frameOf(*frame);
            addLayout(props, paragraphStart, mark, text_[mark] == 0x07);
            return props;
        };
        for (std::uint32_t cp = begin; cp < end; ++cp) {
            const char16_t c = text_[cp];
            // An object whose field stands in another field's code is not
            // shown, as a picture there is not: the outer field shows its
            // result instead.
            if (auto o = objectAt_.find(cp); o != objectAt_.end() && !hiddenNow()) {
                const EmbeddedObject& object = inv_.objects[o->second];
                if ((object.resultPicture >= 0 || object.storagePicture) && object.fieldEnd < end &&
                    object.fieldEnd > cp) {
                    const model::InlineKind kind =
                        object.linked ? model::InlineKind::LinkedObject : model::InlineKind::EmbeddedObject;
                    int index = -1;
                    if (object.resultPicture >= 0) {
                        const std::size_t pi = static_cast<std::size_t>(object.resultPicture);
                        index = addInlinePicture(pi, kind, object.progId);
                        if (inv_.pictures[pi].frame)
                            frame = inv_.pictures[pi].frame;
                    } else {
                        index = addStoragePicture(*object.storagePicture, kind, object.progId);
                    }
                    auto& made = doc_.inlines[static_cast<std::size_t>(index)];
                    auto* detail = std::any_cast<DocOrigin>(&made.origin.detail);
                    detail->kind = DocOrigin::Kind::Object;
                    detail->index = o->second;
                    detail->cpBegin = cp;
                    detail->cpEnd = object.fieldEnd + 1;
                    model::Element e = model::Element::inlineObject(index);
                    e.origin = made.origin;
                    single(std::move(e), cp, object.fieldEnd + 1);
                    cp = object.fieldEnd;
                    continue;
                }
            }
            if (c == 0x01 && !hiddenNow()) {
                if (auto p = pictureAt_.find(cp); p != pictureAt_.end()) {
                    const int index = addInlinePicture(p->second,
                                                       inv_.pictures[p->second].linked ? model::InlineKind::LinkedPicture
                                                                                       : model::InlineKind::Picture,
                                                       {});
                    if (inv_.pictures[p->second].frame)
                        frame = inv_.pictures[p->second].frame;
                    model::Element e = model::Element::inlineObject(index);
                    e.origin = doc_.inlines[static_cast<std::size_t>(index)].origin;
                    single(std::move(e), cp, cp + 1);
                    continue;
                }
            }
            if (c == 0x0D || c == 0x07) {
                single(model::Element::paragraphMark(sharedMark(paragraphProperties(cp))), cp, cp + 1);
                paragraphStart = cp + 1;
                frame.reset();
                continue;
            }
            if (c == 0x0C) {
                auto s = kind == model::StoryKind::Main ? sections_.find(cp + 1) : sections_.end();
                if (s != sections_.end()) {
                    model::Element e = model::Element::sectionBreak(sectionKind(s->second));
                    e.paragraph = sharedMark(paragraphProperties(cp));
                    single(std::move(e), cp, cp + 1);
                    paragraphStart = cp + 1;
                    frame.reset();
                } else {
                    single(model::Element::pageBreak(), cp, cp + 1);
                }
                continue;
            }
            if (c == 0x0E) {
                model::Element e;
                e.kind = model::ElementKind::ColumnBreak;
                e.chars = 1;
                single(std::move(e), cp, cp + 1);
                continue;
            }
            bool hidden = hiddenNow();
            char16_t shown = c;
            if (c == 0x13) {
                inCode.push_back(true);
                hidden = true;
            } else if (c == 0x14) {
                if (!inCode.empty())
                    inCode.back() = false;
                hidden = true;
            } else if (c == 0x15) {
                if (!inCode.empty())
                    inCode.pop_back();
                hidden = true;
            } else if (c == 0x09) {
                shown = u'\t';
            } else if (c == 0x0B) {
                shown = u'\n';
            } else if (c == 0x1E) {
                shown = u'\u2011';
            } else if (c == 0x1F) {
                shown = u'\u00AD';
            } else if (c < 0x20) {
                hidden = true;
            }
            if (cp > runStart && hidden != runHidden)
                flush(b, run, runHidden, runStart, cp), runStart = cp;
            if (cp == runStart)
                runHidden = hidden;
            if (!hidden)
                run.push_back(shown);
        }
        flush(b, run, runHidden, runStart, end);
        builtStarts_.push_back(b.starts);
        return b;
    }

    // Index of the element holding a CP of a built story.
    int elementAt(int story, std::uint32_t cp) const
    {
        const auto& starts = builtStarts_[static_cast<std::size_t>(story)];
        auto it = std::upper_bound(starts.begin(), starts.end(), cp);
        if (it == starts.begin())
            return 0;
        return static_cast<int>(it - starts.begin()) - 1;
    }

    void buildShapes(int headerStory)
    {
        const std::size_t first = doc_.shapes.size();
        // Absolute rectangles in twips for every shape: members are mapped from
        // their group's child coordinates.
        std::vector<std::array<double, 4>> rect(inv_.shapes.size());
        for (std::size_t i = 0; i < inv_.shapes.size(); ++i) {
            const FloatingShape& s = inv_.shapes[i];
            std::array<double, 4> r{double(s.left), double(s.top), double(s.right), double(s.bottom)};
            if (s.parent >= 0 && static_cast<std::size_t>(s.parent) < i) {
                const FloatingShape& g = inv_.shapes[static_cast<std::size_t>(s.parent)];
                const auto& gr = rect[static_cast<std::size_t>(s.parent)];
                if (g.groupBounds) {
                    const auto& gb = *g.groupBounds;
                    // Taken in doubles: hostile bounds would overflow an int.
                    const double gx0 = gb[0], gy0 = gb[1], gx1 = gb[2], gy1 = gb[3];
                    const double sx = gx1 != gx0 ? (gr[2] - gr[0]) / (gx1 - gx0) : 1.0;
                    const double sy = gy1 != gy0 ? (gr[3] - gr[1]) / (gy1 - gy0) : 1.0;
                    r = {gr[0] + (s.left - gx0) * sx, gr[1] + (s.top - gy0) * sy,
                         gr[0] + (s.right - gx0) * sx, gr[1] + (s.bottom - gy0) * sy};
                }
            }
            rect[i] = r;

            model::FloatingShape shape;
            shape.name = s.name;
            shape.type = shapeTypeOf(s);
            shape.leftPt = r[0] / 20.0;
            shape.topPt = r[1] / 20.0;
            shape.widthPt = (r[2] - r[0]) / 20.0;
            shape.heightPt = (r[3] - r[1]) / 20.0;
            double rotation = std::fmod(s.rotationDegrees, 360.0);
            if (rotation < 0)
                rotation += 360.0;
            shape.rotation = rotation;
            shape.flipHorizontal = s.flipH();
            shape.flipVertical = s.flipV();
            shape.stackPosition = s.zOrder;
            shape.behindText = s.belowText;
            wrapOf(s, shape.wrap);
            shape.relative.horizontalPosition = s.posRelH ? static_cast<int>(*s.posRelH)
                                                          : (s.horizontalFrom == 0 ? 0 : s.horizontalFrom == 1 ? 1 : 2);
            shape.relative.verticalPosition = s.posRelV ? static_cast<int>(*s.posRelV)
                                                        : (s.verticalFrom == 0 ? 0 : s.verticalFrom == 1 ? 1 : 2);
            if (s.sizeRelH)
                shape.relative.horizontalSize = static_cast<int>(*s.sizeRelH);
            if (s.sizeRelV)
                shape.relative.verticalSize = static_cast<int>(*s.sizeRelV);
            if (s.picture)
                shape.picture = pictureOf(*s.picture);
            if (s.objectIndex >= 0)
                shape.progId = inv_.objects[static_cast<std::size_t>(s.objectIndex)].progId;
            shape.parent = s.parent >= 0 ? static_cast<int>(first) + s.parent : -1;
            shape.inHeader = s.header;
            const int story = s.header ? headerStory : 0;
            shape.anchor.story = story < 0 ? 0 : story;
            shape.anchor.element = story < 0 ? 0 : elementAt(story, s.cp);
            shape.origin = origin(DocOrigin::Kind::Shape, i, s.cp, s.cp + 1);
            doc_.shapes.push_back(std::move(shape));
        }
        for (std::size_t i = first; i < doc_.shapes.size(); ++i) {
            const int parent = doc_.shapes[i].parent;
            if (parent >= 0)
                doc_.shapes[static_cast<std::size_t>(parent)].children.push_back(static_cast<int>(i));
        }
        // Members carry their top group's anchor.
        for (std::size_t i = first; i < doc_.shapes.size(); ++i) {
            int top = static_cast<int>(i);
            for (int guard = 0; guard < 64 && doc_.shapes[static_cast<std::size_t>(top)].parent >= 0; ++guard)
                top = doc_.shapes[static_cast<std::size_t>(top)].parent;
            doc_.shapes[i].anchor = doc_.shapes[static_cast<std::size_t>(top)].anchor;
            doc_.shapes[i].inHeader = doc_.shapes[static_cast<std::size_t>(top)].inHeader;
        }
        // Text boxes get their stories, with the pictures in them.
        const std::uint32_t total = static_cast<std::uint32_t>(text_.size());
        for (std::size_t i = 0; i < inv_.shapes.size(); ++i) {
            const FloatingShape& s = inv_.shapes[i];
            if (s.textboxStart < 0 || s.textboxEnd <= s.textboxStart)
                continue;
            const std::uint32_t b = std::min(static_cast<std::uint32_t>(s.textboxStart), total);
            const std::uint32_t e = std::min(static_cast<std::uint32_t>(s.textboxEnd), total);
            Built built = buildStory(model::StoryKind::TextBox, b, e, !s.header);
            built.story.owner = static_cast<int>(first + i);
            doc_.stories.push_back(std::move(built.story));
            doc_.shapes[first + i].textStory = static_cast<int>(doc_.stories.size()) - 1;
        }
    }

    std::shared_ptr<const DocDocument> d_;
    model::Document& doc_;
    const DocInventory& inv_;
    const std::u16string& text_;
    std::map<std::uint32_t, std::size_t> pictureAt_, objectAt_;
    std::map<std::uint32_t, std::uint8_t> sections_;
    std::set<std::uint32_t> breakBefore_;
    std::vector<std::vector<std::uint32_t>> builtStarts_;
    std::map<std::pair<const std::string*, std::int32_t>, std::shared_ptr<const std::string>> framedLegacy_;
    model::ElementOrigin::SharedPart elementShared_;
    model::SharedParagraph lastMark_;

    // A mark's properties, shared with the mark before when they are the same.
    model::SharedParagraph sharedMark(const model::ParagraphProperties& properties)
    {
        lastMark_ = model::SharedParagraph::like(properties, lastMark_);
        return lastMark_;
    }
};

}  // namespace

model::Document build(std::shared_ptr<const DocDocument> parsed, std::shared_ptr<const std::string> source)
{
    model::Document doc;
    doc.source = std::move(source);
    doc.unusedPictureBytes = parsed->unusedPictureBytes();
    ModelBuilder(std::move(parsed), doc).build();
    return doc;
}

}  // namespace kelvaran::formats::doc::detail
