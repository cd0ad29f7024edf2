#include "formats/doc/DocFormat.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <set>

#include "formats/doc/Bytes.h"
#include "formats/doc/CompoundValidator.h"
#include "formats/doc/DocDocument.h"
#include "formats/doc/DocError.h"
#include "formats/doc/EmptyDocumentData.h"
#include "formats/doc/Sprm.h"
#include "formats/doc/TextCodec.h"

namespace kelvaran::formats::doc {

// The source of a document read by readDocTakingBytes: its parsed file is
// held by its objects' origins.
const std::string kSourceStandIn = "(Word 97-2003 file, held parsed)";

namespace {

// What Origin::detail holds for objects, shapes and elements read from a .doc:
// the inventory entry they came from and the parsed document itself, so that a
// writer of another document (the scratch document) finds the original bytes
// without parsing the file again.
struct DocOrigin {
    enum class Kind { Picture, Object, Shape, Text };
    Kind kind = Kind::Text;
    std::size_t index = 0;  // into the inventory's pictures, objects or shapes
    std::uint32_t cpBegin = 0, cpEnd = 0;
    std::shared_ptr<const DocDocument> document;
};

const DocOrigin* docOrigin(const model::Origin& origin)
{
    if (origin.format != "doc")
        return nullptr;
    return std::any_cast<DocOrigin>(&origin.detail);
}

[[noreturn]] void refuse(const std::string& why)
{
    throw model::FormatError(why);
}

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

const char* modelFormatName(model::PictureFormat format)
{
    switch (format) {
    case model::PictureFormat::Jpeg: return "JPEG";
    case model::PictureFormat::Png: return "PNG";
    case model::PictureFormat::Gif: return "GIF";
    case model::PictureFormat::Bmp: return "BMP";
    case model::PictureFormat::Dib: return "DIB";
    case model::PictureFormat::Tiff: return "TIFF";
    case model::PictureFormat::Emf: return "EMF";
    case model::PictureFormat::Wmf: return "WMF";
    case model::PictureFormat::Pict: return "PICT";
    case model::PictureFormat::Unknown: break;
    }
    return "unknown";
}

// A picture of the model as the drawing records store it: a BMP file loses its
// file header (the records hold the DIB), formats the records cannot hold are
// refused.
std::pair<PictureFormat, std::string> toStored(const model::PictureData& picture)
{
    if (picture.empty())
        refuse("a new picture has no data");
    const std::string& bytes = *picture.bytes;
    switch (picture.type) {
    case model::PictureFormat::Jpeg: return {PictureFormat::Jpeg, bytes};
    case model::PictureFormat::Png: return {PictureFormat::Png, bytes};
    case model::PictureFormat::Dib: return {PictureFormat::Dib, bytes};
    case model::PictureFormat::Tiff: return {PictureFormat::Tiff, bytes};
    case model::PictureFormat::Emf: return {PictureFormat::Emf, bytes};
    case model::PictureFormat::Gif:
        // The drawing records have no GIF type: the office stores a GIF as a
        // PNG of the same pixels before it reaches a document.
        refuse("a GIF picture cannot be stored in a Word 97-2003 document as it is");
    case model::PictureFormat::Bmp:
        if (bytes.size() > 14 + 40 && bytes[0] == 'B' && bytes[1] == 'M')
            return {PictureFormat::Dib, bytes.substr(14)};
        refuse("a new BMP picture is broken");
    default: break;
    }
    refuse(std::string("a ") + modelFormatName(picture.type) +
           " picture cannot be stored in a Word 97-2003 document");
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
    if (shape.shapeType == 75 || shape.blipIndex != 0)
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
// with their break kind.
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
        ends[cpEnd] = bkc;
    }
    return ends;
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
        for (std::size_t i = 0; i < inv_.pictures.size(); ++i)
            if (inv_.pictures[i].objectIndex < 0)
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
        e.origin = origin(DocOrigin::Kind::Text, 0, begin, end);
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
                p.picture->bytes)
                object.picture.bytes = model::shareBytes(withPlaceableHeader(*p.picture->bytes, p.dxaGoal));
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
        object.progId = progId;
        object.borders = bordersOf(p);
        object.origin = origin(DocOrigin::Kind::Picture, pictureIndex, p.cp, p.cp + 1);
        object.origin.range = {p.dataOffset, std::int64_t(p.dataOffset) + p.blockLength};
        doc_.inlines.push_back(std::move(object));
        return static_cast<int>(doc_.inlines.size()) - 1;
    }

    Built buildStory(model::StoryKind kind, std::uint32_t begin, std::uint32_t end, bool editable)
    {
        Built b;
        b.story.kind = kind;
        b.story.editable = editable;
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
                e.origin = origin(DocOrigin::Kind::Text, 0, cp, next);
            b.story.elements.push_back(std::move(e));
            b.starts.push_back(cp);
            runStart = next;
        };
        auto paragraphProperties = [&]() {
            model::ParagraphProperties props;
            props.pageBreakBefore = breakBefore_.count(paragraphStart) > 0;
            if (!frame)
                frame = d_->frameAt(paragraphStart);
            if (frame)
                props.frame = frameOf(*frame);
            return props;
        };
        for (std::uint32_t cp = begin; cp < end; ++cp) {
            const char16_t c = text_[cp];
            if (auto o = objectAt_.find(cp); o != objectAt_.end()) {
                const EmbeddedObject& object = inv_.objects[o->second];
                if (object.resultPicture >= 0 && object.fieldEnd < end && object.fieldEnd > cp) {
                    const std::size_t pi = static_cast<std::size_t>(object.resultPicture);
                    const int index = addInlinePicture(
                        pi, object.linked ? model::InlineKind::LinkedObject : model::InlineKind::EmbeddedObject,
                        object.progId);
                    if (inv_.pictures[pi].frame)
                        frame = inv_.pictures[pi].frame;
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
                    const int index = addInlinePicture(p->second, model::InlineKind::Picture, {});
                    if (inv_.pictures[p->second].frame)
                        frame = inv_.pictures[p->second].frame;
                    model::Element e = model::Element::inlineObject(index);
                    e.origin = doc_.inlines[static_cast<std::size_t>(index)].origin;
                    single(std::move(e), cp, cp + 1);
                    continue;
                }
            }
            if (c == 0x0D || c == 0x07) {
                single(model::Element::paragraphMark(paragraphProperties()), cp, cp + 1);
                paragraphStart = cp + 1;
                frame.reset();
                continue;
            }
            if (c == 0x0C) {
                auto s = kind == model::StoryKind::Main ? sections_.find(cp + 1) : sections_.end();
                if (s != sections_.end()) {
                    model::Element e = model::Element::sectionBreak(sectionKind(s->second));
                    e.paragraph = paragraphProperties();
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
                    const double sx = gb[2] != gb[0] ? (gr[2] - gr[0]) / double(gb[2] - gb[0]) : 1.0;
                    const double sy = gb[3] != gb[1] ? (gr[3] - gr[1]) / double(gb[3] - gb[1]) : 1.0;
                    r = {gr[0] + (s.left - gb[0]) * sx, gr[1] + (s.top - gb[1]) * sy,
                         gr[0] + (s.right - gb[0]) * sx, gr[1] + (s.bottom - gb[1]) * sy};
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
};

// Runs a reader of the file, its refusals and damage turned into FormatError.
template <typename Read>
std::shared_ptr<const DocDocument> parseWith(Read read)
{
    try {
        return std::make_shared<const DocDocument>(read());
    } catch (const DocError& e) {
        throw model::FormatError(e.what());
    } catch (const std::bad_alloc&) {
        throw;
    } catch (const std::exception& e) {
        throw model::FormatError(std::string("the document is damaged (") + e.what() + ")");
    }
}

std::shared_ptr<const DocDocument> parse(std::string_view bytes)
{
    return parseWith([&] { return DocDocument::fromBytes(bytes); });
}

model::Document build(std::shared_ptr<const DocDocument> parsed, std::shared_ptr<const std::string> source)
{
    model::Document doc;
    doc.source = std::move(source);
    ModelBuilder(std::move(parsed), doc).build();
    return doc;
}

const std::string& emptyDocumentBytes()
{
    static const std::string bytes(reinterpret_cast<const char*>(kEmptyDocumentData), sizeof kEmptyDocumentData);
    return bytes;
}

// ---------------------------------------------------------------------------
// Writing

bool near(double a, double b, double tolerance) { return std::fabs(a - b) <= tolerance; }

// One character of a story as the writer compares them.
struct Token {
    model::ElementKind kind = model::ElementKind::Text;
    int object = -1;
    char32_t unit = 0;  // Text: the UTF-16 unit, 0 when the run's text is not known
};

std::vector<Token> tokensOf(const model::Story& story)
{
    std::vector<Token> out;
    for (const model::Element& e : story.elements) {
        if (e.kind == model::ElementKind::Text) {
            // A run whose text is hidden or was split by count keeps no text.
            std::u16string units;
            {
                std::size_t i = 0;
                const std::string& s = e.text;
                while (i < s.size()) {
                    const auto lead = static_cast<unsigned char>(s[i]);
                    char32_t cp = lead;
                    std::size_t width = 1;
                    if (lead >= 0xF0 && i + 3 < s.size()) {
                        cp = ((lead & 0x07u) << 18) | ((s[i + 1] & 0x3Fu) << 12) | ((s[i + 2] & 0x3Fu) << 6) | (s[i + 3] & 0x3Fu);
                        width = 4;
                    } else if (lead >= 0xE0 && i + 2 < s.size()) {
                        cp = ((lead & 0x0Fu) << 12) | ((s[i + 1] & 0x3Fu) << 6) | (s[i + 2] & 0x3Fu);
                        width = 3;
                    } else if (lead >= 0xC0 && i + 1 < s.size()) {
                        cp = ((lead & 0x1Fu) << 6) | (s[i + 1] & 0x3Fu);
                        width = 2;
                    }
                    if (cp >= 0x10000) {
                        cp -= 0x10000;
                        units.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
                        units.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
                    } else {
                        units.push_back(static_cast<char16_t>(cp));
                    }
                    i += width;
                }
            }
            const bool known = static_cast<std::int64_t>(units.size()) == e.chars;
            for (std::int64_t i = 0; i < e.chars; ++i)
                out.push_back(Token{e.kind, -1, known ? char32_t(units[static_cast<std::size_t>(i)]) : char32_t(0)});
        } else {
            for (std::int64_t i = 0; i < std::max<std::int64_t>(1, e.chars); ++i)
                out.push_back(Token{e.kind, e.object, 0});
        }
    }
    return out;
}

bool sameBorders(const model::Borders& a, const model::Borders& b)
{
    for (std::size_t i = 0; i < 4; ++i) {
        const auto& x = a.sides[i];
        const auto& y = b.sides[i];
        if (x.visible != y.visible)
            return false;
        if (x.visible && (x.style != y.style || x.widthEighths != y.widthEighths ||
                          (x.colour != y.colour && x.colourIndex != y.colourIndex)))
            return false;
    }
    return true;
}

// In front of or behind the text is part of the wrap type (3 or 5): the
// behind-text flag of the file may be set on shapes with other wrapping, where
// it means nothing, and a copied wrap does not carry it.
bool sameLayout(const model::FloatingShape& a, const model::FloatingShape& b, double tolerance)
{
    return near(a.leftPt, b.leftPt, tolerance) && near(a.topPt, b.topPt, tolerance) &&
           near(a.widthPt, b.widthPt, tolerance) && near(a.heightPt, b.heightPt, tolerance) &&
           near(std::fmod(a.rotation - b.rotation + 720.0, 360.0), 0.0, 0.5) &&
           a.flipHorizontal == b.flipHorizontal && a.flipVertical == b.flipVertical && a.wrap.type == b.wrap.type &&
           a.wrap.side == b.wrap.side &&
           a.relative.horizontalPosition == b.relative.horizontalPosition &&
           a.relative.verticalPosition == b.relative.verticalPosition;
}

std::string describe(const model::FloatingShape& shape)
{
    return shape.name.empty() ? std::string("a floating shape") : "the shape \"" + shape.name + "\"";
}

// The picture an added object brings, for the writer: its own picture, or for
// an object of a .doc the bytes it has there.
struct Replacement {
    std::size_t target = 0;  // inventory index
    bool object = false;
    model::PictureData picture;
};

class Writer {
public:
    explicit Writer(const model::Document& document) : doc_(document) {}

    std::string write()
    {
        std::shared_ptr<const DocDocument> parsed = parsedSource();
        original_ = build(parsed, doc_.source);
        DocDocument target = *parsed;
        if (doc_.stories.size() < original_.stories.size() || doc_.shapes.size() < original_.shapes.size() ||
            doc_.inlines.size() < original_.inlines.size())
            refuse("the document's structure changed in a way a Word 97-2003 document cannot be saved with");
        std::set<int> matchedAdded;
        compareStories(matchedAdded);
        compareShapes();
        checkLeftovers(matchedAdded);
        try {
            for (const Replacement& r : inlines_) {
                auto [format, bytes] = toStored(r.picture);
                if (r.object)
                    target.convertObjectToPicture(r.target, format, std::move(bytes));
                else
                    target.replaceInlinePicture(r.target, format, std::move(bytes));
            }
            for (const Replacement& r : floating_) {
                auto [format, bytes] = toStored(r.picture);
                target.replaceFloatingPicture(r.target, format, std::move(bytes));
            }
            return target.saveToBytes();
        } catch (const DocError& e) {
            throw model::FormatError(e.what());
        }
    }

private:
    static bool live(model::EditState state) { return state != model::EditState::Deleted; }

    // The document as the reader parsed it for this model, found through any
    // object still pointing into the source; parsed anew only when there is
    // none.  A large document is then held once, not twice, while it is saved.
    std::shared_ptr<const DocDocument> parsedSource() const
    {
        auto ofSource = [&](const model::Origin& origin) -> std::shared_ptr<const DocDocument> {
            const DocOrigin* o = docOrigin(origin);
            return o && origin.source == doc_.source ? o->document : nullptr;
        };
        for (const model::Story& story : doc_.stories)
            for (const model::Element& element : story.elements)
                if (auto parsed = ofSource(element.origin))
                    return parsed;
        for (const model::InlineObject& object : doc_.inlines)
            if (auto parsed = ofSource(object.origin))
                return parsed;
        for (const model::FloatingShape& shape : doc_.shapes)
            if (auto parsed = ofSource(shape.origin))
                return parsed;
        if (*doc_.source == kSourceStandIn)
            refuse("nothing of the document's file is left in it to write from");
        return parse(*doc_.source);
    }

    const DocOrigin& ownOrigin(const model::Origin& origin) const
    {
        const DocOrigin* o = docOrigin(origin);
        if (!o)
            refuse("an object of the document lost its place in the file");
        return *o;
    }

    void compareStories(std::set<int>& matchedAdded)
    {
        for (std::size_t s = 0; s < original_.stories.size(); ++s) {
            const model::Story& before = original_.stories[s];
            const model::Story& now = doc_.stories[s];
            // A text box whose shape is gone takes its story along.
            if (before.owner >= 0 && static_cast<std::size_t>(before.owner) < doc_.shapes.size() &&
                !live(doc_.shapes[static_cast<std::size_t>(before.owner)].edit))
                continue;
            const std::vector<Token> a = tokensOf(before);
            const std::vector<Token> b = tokensOf(now);
            const std::string where = s == 0 ? "the main text" : "the text of a text box";
            if (a.size() != b.size())
                refuse("the text of " + where + " changed; only pictures and objects can be replaced in a Word "
                       "97-2003 document");
            for (std::size_t i = 0; i < a.size(); ++i) {
                const Token& x = a[i];
                const Token& y = b[i];
                if (x.kind != y.kind || (x.unit && y.unit && x.unit != y.unit))
                    refuse("the text of " + where + " changed; only pictures and objects can be replaced in a Word "
                           "97-2003 document");
                if (x.kind != model::ElementKind::Inline)
                    continue;
                const auto& old = original_.inlines[static_cast<std::size_t>(x.object)];
                if (y.object < 0 || static_cast<std::size_t>(y.object) >= doc_.inlines.size())
                    refuse("an inline object of the document is missing");
                const auto& cur = doc_.inlines[static_cast<std::size_t>(y.object)];
                if (y.object == x.object) {
                    if (cur.edit == model::EditState::Replaced) {
                        replaceInline(old, cur);
                    } else if (cur.layoutChanged && !sameInlineLayout(old, cur)) {
                        refuse("the size or border of an inline picture changed, which cannot be saved in a Word "
                               "97-2003 document");
                    }
                    continue;
                }
                // Another object at this place: a replacement when the original
                // is gone and the newcomer is a picture.
                if (static_cast<std::size_t>(x.object) < doc_.inlines.size() &&
                    live(doc_.inlines[static_cast<std::size_t>(x.object)].edit))
                    refuse("an inline object moved in the text, which cannot be saved in a Word 97-2003 document");
                if (cur.edit != model::EditState::Added || cur.kind != model::InlineKind::Picture)
                    refuse("an inline object was put in the place of another, which cannot be saved in a Word 97-2003 "
                           "document");
                replaceInline(old, cur);
                matchedAdded.insert(y.object);
            }
        }
    }

    bool sameInlineLayout(const model::InlineObject& a, const model::InlineObject& b) const
    {
        return near(a.widthPt, b.widthPt, 0.05) && near(a.heightPt, b.heightPt, 0.05) &&
               sameBorders(a.borders, b.borders);
    }

    void replaceInline(const model::InlineObject& old, const model::InlineObject& cur)
    {
        const DocOrigin& o = ownOrigin(old.origin);
        if (cur.picture.empty())
            refuse("a replacing picture has no data");
        // The new picture keeps the old one's place, displayed size and border.
        if (!near(cur.widthPt, old.widthPt, std::max(1.0, old.widthPt * 0.01)) ||
            !near(cur.heightPt, old.heightPt, std::max(1.0, old.heightPt * 0.01)))
            refuse("a replacing picture has another size than the picture it replaces, which cannot be saved in a "
                   "Word 97-2003 document");
        if (!sameBorders(cur.borders, old.borders))
            refuse("a replacing picture has another border than the picture it replaces, which cannot be saved in "
                   "a Word 97-2003 document");
        Replacement r;
        r.object = o.kind == DocOrigin::Kind::Object;
        r.target = o.index;
        if (r.object && old.kind == model::InlineKind::LinkedObject)
            refuse("a linked object cannot be replaced by a picture in a Word 97-2003 document");
        r.picture = cur.picture;
        if (cur.picture.crop.any())
            refuse("a replacing picture is cropped, which cannot be saved in a Word 97-2003 document");
        inlines_.push_back(std::move(r));
    }

    // A group taken apart and put together again from the same members,
    // some of them replaced by new pictures, is the file's group with those
    // pictures replaced.  Finds every such rebuilt group, from the top
    // groups down, and the picture standing in for each replaced member.
    void matchRebuiltGroups(std::set<int>& usedAdded)
    {
        for (std::size_t i = 0; i < original_.shapes.size(); ++i) {
            const auto& before = original_.shapes[i];
            if (before.parent >= 0 || before.type != model::shape_type::kGroup || live(doc_.shapes[i].edit))
                continue;
            for (std::size_t k = original_.shapes.size(); k < doc_.shapes.size(); ++k) {
                if (usedAdded.count(static_cast<int>(k)) || doc_.shapes[k].parent >= 0)
                    continue;
                std::map<int, int> groups, standIns;
                std::set<int> used = usedAdded;
                if (!matchGroup(static_cast<int>(i), static_cast<int>(k), used, groups, standIns))
                    continue;
                usedAdded = std::move(used);
                rebuilt_.insert(groups.begin(), groups.end());
                memberStandIn_.insert(standIns.begin(), standIns.end());
                break;
            }
        }
    }

    bool matchGroup(int original, int rebuilt, std::set<int>& used, std::map<int, int>& groups,
                    std::map<int, int>& standIns) const
    {
        const auto& group = doc_.shapes[static_cast<std::size_t>(rebuilt)];
        const auto& before = original_.shapes[static_cast<std::size_t>(original)];
        if (!live(group.edit) || group.type != model::shape_type::kGroup || group.edit != model::EditState::Added ||
            group.children.size() != before.children.size() || group.inHeader != before.inHeader)
            return false;
        used.insert(rebuilt);
        groups[original] = rebuilt;
        std::set<int> members(group.children.begin(), group.children.end());
        for (int child : before.children) {
            const auto& was = original_.shapes[static_cast<std::size_t>(child)];
            const auto& now = doc_.shapes[static_cast<std::size_t>(child)];
            if (live(now.edit)) {
                // The member itself came back into the group.
                if (!members.erase(child))
                    return false;
                continue;
            }
            bool found = false;
            if (was.type == model::shape_type::kGroup) {
                for (int candidate : members) {
                    if (candidate < static_cast<int>(original_.shapes.size()) || used.count(candidate))
                        continue;
                    if (matchGroup(child, candidate, used, groups, standIns)) {
                        members.erase(candidate);
                        found = true;
                        break;
                    }
                }
            } else if (!was.picture.empty() && was.type == model::shape_type::kPicture) {
                const int standIn = memberStandIn(child, members, used);
                if (standIn >= 0) {
                    members.erase(standIn);
                    used.insert(standIn);
                    standIns[child] = standIn;
                    found = true;
                }
            }
            if (!found)
                return false;
        }
        return members.empty();
    }

    // The added picture among `members` that took the place of original
    // member `index`: the one that names it, else the one on its rectangle.
    int memberStandIn(int index, const std::set<int>& members, const std::set<int>& used) const
    {
        const auto& old = original_.shapes[static_cast<std::size_t>(index)];
        int best = -1;
        for (int k : members) {
            if (k < static_cast<int>(original_.shapes.size()) || used.count(k))
                continue;
            const auto& s = doc_.shapes[static_cast<std::size_t>(k)];
            if (s.edit != model::EditState::Added || s.picture.empty() || s.type != model::shape_type::kPicture ||
                !s.children.empty())
                continue;
            if (s.standsFor == index)
                return k;
            const double tolerance = std::max(1.0, std::max(old.widthPt, old.heightPt) * 0.01);
            if (best < 0 && sameLayout(old, s, tolerance))
                best = k;
        }
        return best;
    }

    void compareShapes()
    {
        std::set<int> usedAdded;
        matchRebuiltGroups(usedAdded);
        for (const auto& [original, rebuilt] : rebuilt_)
            standIn_[rebuilt] = original;
        for (std::size_t i = 0; i < original_.shapes.size(); ++i) {
            const model::FloatingShape& before = original_.shapes[i];
            const model::FloatingShape& now = doc_.shapes[i];
            if (rebuilt_.count(static_cast<int>(i)))
                continue;  // stays as the file has it; its members are compared one by one
            if (auto it = memberStandIn_.find(static_cast<int>(i)); it != memberStandIn_.end()) {
                floatingReplacement(i, doc_.shapes[static_cast<std::size_t>(it->second)]);
                standIn_[it->second] = static_cast<int>(i);
                continue;
            }
            if (now.edit == model::EditState::Replaced) {
                if (before.picture.empty())
                    refuse(describe(now) + " has no picture of its own to replace");
                floatingReplacement(i, now);
                continue;
            }
            if (live(now.edit)) {
                // A text box set back to its size after its pictures were
                // converted comes back rounded to whole points: the file keeps
                // the exact size it had.
                if (now.layoutChanged && !sameLayout(before, now, 0.51))
                    refuse("the position, size or wrapping of " + describe(now) +
                           " changed, which cannot be saved in a Word 97-2003 document");
                if ((now.parent >= 0) != (before.parent >= 0) || now.children.size() != before.children.size())
                    refuse("the groups of the document changed, which cannot be saved in a Word 97-2003 document");
                continue;
            }
            // Deleted: only a picture that another picture took the place of.
            if (before.parent >= 0)
                refuse("a shape was taken out of its group, which cannot be saved in a Word 97-2003 document");
            if (before.picture.empty() || before.type != model::shape_type::kPicture)
                refuse(describe(before) + " was deleted, which cannot be saved in a Word 97-2003 document");
            const int added = findStandIn(static_cast<int>(i), usedAdded);
            if (added < 0)
                refuse(describe(before) + " was deleted without a picture in its place, which cannot be saved in a "
                       "Word 97-2003 document");
            usedAdded.insert(added);
            floatingReplacement(i, doc_.shapes[static_cast<std::size_t>(added)]);
            standIn_[added] = static_cast<int>(i);
        }
        checkStacking();
    }

    int paragraphOf(const model::Anchor& anchor) const
    {
        if (anchor.story < 0 || static_cast<std::size_t>(anchor.story) >= doc_.stories.size())
            return -1;
        const auto& story = doc_.stories[static_cast<std::size_t>(anchor.story)];
        return static_cast<int>(story.paragraphStart(static_cast<std::size_t>(std::max(0, anchor.element))));
    }

    // The added picture that took the place of deleted shape `index`: the one
    // that names it, else one anchored in the same paragraph with the same
    // rectangle.
    int findStandIn(int index, const std::set<int>& used) const
    {
        const auto& old = doc_.shapes[static_cast<std::size_t>(index)];
        for (std::size_t k = 0; k < doc_.shapes.size(); ++k) {
            const auto& s = doc_.shapes[k];
            if (s.standsFor == index && s.edit == model::EditState::Added && !used.count(static_cast<int>(k)))
                return static_cast<int>(k);
        }
        int best = -1;
        double bestDistance = 0;
        for (std::size_t k = original_.shapes.size(); k < doc_.shapes.size(); ++k) {
            const auto& s = doc_.shapes[k];
            if (s.edit != model::EditState::Added || s.parent >= 0 || used.count(static_cast<int>(k)) ||
                s.picture.empty() || s.type != model::shape_type::kPicture)
                continue;
            if (s.anchor.story != old.anchor.story || paragraphOf(s.anchor) != paragraphOf(old.anchor))
                continue;
            const double distance = std::fabs(s.leftPt - old.leftPt) + std::fabs(s.topPt - old.topPt);
            if (best < 0 || distance < bestDistance) {
                best = static_cast<int>(k);
                bestDistance = distance;
            }
        }
        return best;
    }

    void floatingReplacement(std::size_t index, const model::FloatingShape& now)
    {
        const model::FloatingShape& before = original_.shapes[index];
        const double tolerance = std::max(1.0, std::max(before.widthPt, before.heightPt) * 0.01);
        if (!sameLayout(before, now, tolerance))
            refuse("the picture replacing " + describe(before) +
                   " stands elsewhere or wraps otherwise, which cannot be saved in a Word 97-2003 document");
        if (now.textStory >= 0 || !now.children.empty())
            refuse("the picture replacing " + describe(before) + " is not a plain picture");
        if (now.picture.empty())
            refuse("the picture replacing " + describe(before) + " has no data");
        if (now.picture.crop.any())
            refuse("the picture replacing " + describe(before) + " is cropped, which cannot be saved in a Word "
                   "97-2003 document");
        Replacement r;
        r.target = ownOrigin(original_.shapes[index].origin).index;
        r.picture = now.picture;
        floating_.push_back(std::move(r));
    }

    // The front-to-back order of the live shapes must be the order of the file,
    // with every replacement in its original's place.
    void checkStacking() const
    {
        for (int header = 0; header < 2; ++header) {
            std::vector<std::pair<std::int64_t, int>> before, now;
            for (std::size_t i = 0; i < original_.shapes.size(); ++i) {
                const auto& s = original_.shapes[i];
                if (s.parent < 0 && s.inHeader == (header != 0))
                    before.emplace_back(s.stackPosition, static_cast<int>(i));
            }
            for (std::size_t i = 0; i < doc_.shapes.size(); ++i) {
                const auto& s = doc_.shapes[i];
                if (!live(s.edit) || s.parent >= 0 || s.inHeader != (header != 0))
                    continue;
                int stands = static_cast<int>(i);
                if (auto it = standIn_.find(static_cast<int>(i)); it != standIn_.end())
                    stands = it->second;
                else if (i >= original_.shapes.size())
                    continue;  // reported by checkLeftovers
                now.emplace_back(s.stackPosition, stands);
            }
            std::stable_sort(before.begin(), before.end(),
                             [](const auto& a, const auto& b) { return a.first < b.first; });
            std::stable_sort(now.begin(), now.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
            std::vector<int> a, b;
            for (const auto& p : before)
                a.push_back(p.second);
            for (const auto& p : now)
                b.push_back(p.second);
            if (a != b)
                refuse("the stacking order of the floating shapes changed, which cannot be saved in a Word 97-2003 "
                       "document");
        }
    }

    void checkLeftovers(const std::set<int>& matched) const
    {
        for (std::size_t i = original_.inlines.size(); i < doc_.inlines.size(); ++i) {
            const auto& object = doc_.inlines[i];
            if (!live(object.edit) || matched.count(static_cast<int>(i)))
                continue;
            // Live added objects in the compared stories were matched above; one
            // left over stands in a story of its own.
            refuse("a picture was added to the document, which cannot be saved in a Word 97-2003 document");
        }
        for (std::size_t i = original_.shapes.size(); i < doc_.shapes.size(); ++i) {
            if (!live(doc_.shapes[i].edit) || standIn_.count(static_cast<int>(i)))
                continue;
            refuse("a floating shape was added to the document, which cannot be saved in a Word 97-2003 document");
        }
        for (std::size_t s = original_.stories.size(); s < doc_.stories.size(); ++s) {
            const int owner = doc_.stories[s].owner;
            if (owner >= 0 && static_cast<std::size_t>(owner) < doc_.shapes.size() &&
                !live(doc_.shapes[static_cast<std::size_t>(owner)].edit))
                continue;
            if (doc_.stories[s].length() > 0 && owner >= 0)
                refuse("a text box was added to the document, which cannot be saved in a Word 97-2003 document");
        }
    }

    const model::Document& doc_;
    model::Document original_;
    std::vector<Replacement> inlines_, floating_;
    std::map<int, int> standIn_;  // added shape -> the original it replaces
    std::map<int, int> rebuilt_;        // original group -> the group rebuilt from its members
    std::map<int, int> memberStandIn_;  // original member -> the picture in its place
};

// ---------------------------------------------------------------------------
// The scratch document

// Bytes an inline picture block takes besides its picture: the picture header
// and the picture-frame shape with its store entry, as a replacement writes them.
constexpr std::size_t kInlineBlockOverhead = 68 + 38 + 44;
// A floating picture's store entry.
constexpr std::size_t kStoreEntry = 44;

class ScratchWriter {
public:
    explicit ScratchWriter(const model::Document& document) : doc_(document) {}

    std::string write()
    {
        for (std::size_t s = 0; s < doc_.stories.size(); ++s) {
            if (s > 0 && doc_.stories[s].owner >= 0 &&
                static_cast<std::size_t>(doc_.stories[s].owner) < doc_.shapes.size() &&
                doc_.shapes[static_cast<std::size_t>(doc_.stories[s].owner)].edit == model::EditState::Deleted)
                continue;
            for (int object : doc_.inlinesOf(static_cast<int>(s)))
                addInline(doc_.inlines[static_cast<std::size_t>(object)]);
        }
        for (int shape : doc_.topLevelShapes())
            addShape(shape, 0);
        std::shared_ptr<const DocDocument> empty = parse(*doc_.source);
        try {
            return empty->saveWithUnreferencedParts(std::move(data_), std::move(storages_));
        } catch (const DocError& e) {
            throw model::FormatError(e.what());
        }
    }

private:
    void addNewPicture(const model::PictureData& picture, std::size_t overhead)
    {
        if (picture.empty())
            return;
        auto [format, bytes] = toStored(picture);
        try {
            std::array<std::uint8_t, 16> uid{};
            const std::string blip = Blip::encode(format, bytes, uid);
            data_.append(overhead, '\0');
            data_ += blip;
        } catch (const DocError& e) {
            throw model::FormatError(e.what());
        }
    }

    void addInline(const model::InlineObject& object)
    {
        const DocOrigin* o = docOrigin(object.origin);
        if (o && o->document && object.edit != model::EditState::Replaced &&
            (o->kind == DocOrigin::Kind::Picture || o->kind == DocOrigin::Kind::Object)) {
            const DocInventory& inv = o->document->inventory();
            const std::size_t pi = o->kind == DocOrigin::Kind::Picture
                                       ? o->index
                                       : static_cast<std::size_t>(std::max(0, inv.objects.at(o->index).resultPicture));
            const InlinePicture& p = inv.pictures.at(pi);
            const CompoundEntry* dataStream = o->document->container().root.child("Data");
            if (dataStream && fits(dataStream->data.size(), p.dataOffset, p.blockLength))
                data_.append(dataStream->data, p.dataOffset, p.blockLength);
            if (o->kind == DocOrigin::Kind::Object) {
                const EmbeddedObject& eo = inv.objects.at(o->index);
                const CompoundEntry* pool = o->document->container().root.child("ObjectPool");
                const CompoundEntry* storage = pool ? pool->child("_" + std::to_string(eo.storageId)) : nullptr;
                if (storage && storage->isStorage)
                    storages_.push_back(*storage);
            }
            return;
        }
        addNewPicture(object.picture, kInlineBlockOverhead);
    }

    void addShape(int index, int depth)
    {
        if (depth > 64)
            refuse("the groups are nested too deeply");
        const model::FloatingShape& shape = doc_.shapes.at(static_cast<std::size_t>(index));
        const DocOrigin* o = docOrigin(shape.origin);
        if (o && o->document && shape.edit != model::EditState::Replaced && o->kind == DocOrigin::Kind::Shape) {
            const FloatingShape& s = o->document->inventory().shapes.at(o->index);
            const char* streamName = s.blipInTable ? (o->document->fib().useTable1 ? "1Table" : "0Table")
                                                   : "WordDocument";
            const CompoundEntry* stream = o->document->container().root.child(streamName);
            if (s.blipLength && stream && fits(stream->data.size(), s.blipOffset, s.blipLength)) {
                data_.append(kStoreEntry, '\0');
                data_.append(stream->data, s.blipOffset, s.blipLength);
            }
        } else {
            addNewPicture(shape.picture, kStoreEntry);
        }
        for (int member : shape.children)
            if (member != index && member >= 0 && static_cast<std::size_t>(member) < doc_.shapes.size() &&
                doc_.shapes[static_cast<std::size_t>(member)].edit != model::EditState::Deleted)
                addShape(member, depth + 1);
    }

    const model::Document& doc_;
    std::string data_;
    std::vector<CompoundEntry> storages_;
};

}  // namespace

bool looksLikeDoc(std::string_view bytes)
{
    if (CompoundValidator::hasSignature(bytes))
        return true;
    // Word 2 and Word for DOS files are no compound files; the reader refuses
    // them by name instead of leaving them unrecognised.
    if (bytes.size() >= 2) {
        const auto a = static_cast<unsigned char>(bytes[0]), b = static_cast<unsigned char>(bytes[1]);
        return (a == 0xDB && b == 0xA5) || (a == 0x31 && b == 0xBE);
    }
    return false;
}

model::Document readDoc(std::shared_ptr<const std::string> bytes)
{
    if (!bytes)
        throw model::FormatError("the document is empty");
    if (bytes->size() > CompoundFile::kMaxInputSize)
        throw model::FormatError("the document is too large (more than 1 GB)");
    return build(parse(*bytes), bytes);
}

model::Document readDocTakingBytes(std::shared_ptr<const std::string> bytes)
{
    if (!bytes)
        throw model::FormatError("the document is empty");
    if (bytes->size() > CompoundFile::kMaxInputSize)
        throw model::FormatError("the document is too large (more than 1 GB)");
    // A caller that keeps its own reference keeps the bytes; only then is the
    // usual source kept as well.
    if (bytes.use_count() > 1)
        return readDoc(std::move(bytes));
    auto parsed = parseWith([&] { return DocDocument::fromOwnedBytes(std::move(bytes)); });
    return build(std::move(parsed), std::make_shared<const std::string>(kSourceStandIn));
}

std::string writeDoc(const model::Document& document)
{
    if (!document.source || document.source->empty())
        throw model::FormatError("the document has no Word 97-2003 file to be written from");
    if (*document.source == emptyDocumentBytes())
        return ScratchWriter(document).write();
    return Writer(document).write();
}

model::Document newDocDocument()
{
    auto bytes = std::make_shared<const std::string>(emptyDocumentBytes());
    return build(parse(*bytes), bytes);
}

}  // namespace kelvaran::formats::doc
