#include "formats/doc/DocDocument.h"

#include <algorithm>
#include <map>

#include "formats/doc/Bytes.h"
#include "formats/doc/DocDrawing.h"
#include "formats/doc/OfficeArtRecord.h"
#include "formats/doc/ShapeProperties.h"

// The floating shapes: the drawing records of the table stream and the
// shape anchors of the main and header stories.

namespace kelvaran::formats::doc {

namespace detail {

void readShape(std::string_view t, const OfficeArtRecord& sp, ShapeNode& n)
{
    for (const OfficeArtRecord& c : sp.children) {
        if (c.type == 0xF00A && c.length >= 8) {
            n.type = c.instance;
            n.spid = u32At(t, c.bodyOffset());
            n.flags = u32At(t, c.bodyOffset() + 4);
            n.flagsOffset = c.bodyOffset() + 4;
        } else if ((c.type == 0xF00B || c.type == 0xF121 || c.type == 0xF122)) {
            n.props.addTable(t, c.bodyOffset(), c.length, c.instance);
        } else if (c.type == 0xF00F && c.length >= 16) {
            n.childAnchor = std::array<std::int32_t, 4>{i32At(t, c.bodyOffset()), i32At(t, c.bodyOffset() + 4),
                                                        i32At(t, c.bodyOffset() + 8), i32At(t, c.bodyOffset() + 12)};
        } else if (c.type == 0xF00D && c.length >= 4) {
            n.clientTextbox = u32At(t, c.bodyOffset());
        } else if (c.type == 0xF009 && c.length >= 16) {
            n.groupBounds = std::array<std::int32_t, 4>{i32At(t, c.bodyOffset()), i32At(t, c.bodyOffset() + 4),
                                                        i32At(t, c.bodyOffset() + 8), i32At(t, c.bodyOffset() + 12)};
        }
    }
}

void walkGroup(std::string_view t, const OfficeArtRecord& group, int parent, std::vector<ShapeNode>& out)
{
    bool first = true;
    int self = parent;
    for (const OfficeArtRecord& c : group.children) {
        if (c.type == 0xF004) {
            ShapeNode n;
            readShape(t, c, n);
            if (first) {
                first = false;
                if (n.flags & 0x4)  // the patriarch stands for the whole drawing
                    continue;
                n.isGroup = true;
                n.parent = parent;
                out.push_back(std::move(n));
                self = static_cast<int>(out.size()) - 1;
                continue;
            }
            n.parent = self;
            out.push_back(std::move(n));
        } else if (c.type == 0xF003) {
            first = false;
            walkGroup(t, c, self, out);
        }
    }
}

}  // namespace detail

namespace {

using detail::ShapeNode;

struct FbseInfo {
    std::size_t offset = 0;  // of the FBSE record in the table stream
    std::uint32_t size = 0, foDelay = 0xFFFFFFFF;
    std::size_t embeddedAt = 0; // of an embedded BLIP in the table stream, 0 none
    std::size_t embeddedEnd = 0;
};

struct TextboxRange {
    std::uint32_t start, end;
};

// Where the pictures of the picture store lie.
std::vector<FbseInfo> readPictureStore(std::string_view t, const OfficeArtRecord& dgg)
{
    std::vector<FbseInfo> store;
    if (const OfficeArtRecord* bs = dgg.firstChild(0xF001)) {
        for (const OfficeArtRecord& r : bs->children) {
            FbseInfo f;
            f.offset = r.offset;
            if (r.type == 0xF007 && r.length >= 36) {
                const std::size_t b = r.bodyOffset();
                f.size = u32At(t, b + 20);
                f.foDelay = u32At(t, b + 28);
                const std::size_t blipAt = b + 36 + u8At(t, b + 33);
                if (blipAt + 8 <= r.end()) {
                    f.embeddedAt = blipAt;
                    f.embeddedEnd = r.end();
                }
            } else if (Blip::isBlipType(r.type)) {
                f.embeddedAt = r.offset;
                f.embeddedEnd = r.end();
            }
            store.push_back(f);
        }
    }
    return store;
}

// The drawings after the drawing group record, up to `end`: a label byte (0
// main, 1 header) then a drawing container, repeated.
std::map<int, std::vector<ShapeNode>> readDrawings(std::string_view t, std::size_t at, std::size_t end, bool& damaged)
{
    std::map<int, std::vector<ShapeNode>> drawings;
    while (at + 9 <= end) {
        const int label = u8At(t, at);
        OfficeArtRecord dg;
        if (!OfficeArtRecord::parseOne(t, at + 1, end, dg, &damaged) || dg.type != 0xF002)
            break;
        std::vector<ShapeNode>& nodes = drawings[label];
        for (const OfficeArtRecord& c : dg.children)
            if (c.type == 0xF003)
                detail::walkGroup(t, c, -1, nodes);
            else if (c.type == 0xF004) {
                ShapeNode n;
                detail::readShape(t, c, n);
                nodes.push_back(std::move(n));
            }
        at = dg.end();
    }
    return drawings;
}

// The text ranges of the text boxes of one story, in CP.
std::vector<TextboxRange> textboxRanges(const Fib& fib, std::string_view t, std::size_t pair, Fib::Story story)
{
    std::vector<TextboxRange> out;
    const std::uint32_t f = fib.fc(pair), l = fib.lcb(pair);
    if (l < 4 || !fits(t.size(), f, l))
        return out;
    const std::size_t n = (l - 4) / 26;
    const std::uint32_t base = fib.storyStart(story);
    for (std::size_t i = 0; i < n; ++i)
        out.push_back({base + u32At(t, f + 4 * i), base + u32At(t, f + 4 * (i + 1))});
    return out;
}

// The picture of entry `pib` (from 1) of the picture store, and where its
// record lies.
std::optional<PictureData> storedPicture(const std::vector<FbseInfo>& store, std::string_view w, std::string_view t,
                                         std::uint32_t pib, FloatingShape& s)
{
    if (pib == 0 || pib > store.size())
        return std::nullopt;
    const FbseInfo& f = store[pib - 1];
    std::optional<PictureData> found;
    if (f.embeddedAt) {
        found = Blip::decode(t, f.embeddedAt, f.embeddedEnd);
        s.blipInTable = true;
        s.blipOffset = f.embeddedAt;
    } else if (f.foDelay != 0xFFFFFFFF && fits(w.size(), f.foDelay, 8)) {
        found = Blip::decode(w, f.foDelay, std::min<std::size_t>(w.size(), std::size_t(f.foDelay) + f.size));
        s.blipOffset = f.foDelay;
    }
    if (found)
        s.blipLength = found->recordSize;
    return found;
}

// The position, the wrapping and the properties of a shape: the anchor at
// `spa` places the top shape of a group, its child anchor a member.
void placeShape(const ShapeNode& node, std::string_view t, std::size_t spa, bool isTop, FloatingShape& s)
{
    const std::uint16_t flags = u16At(t, spa + 20);
    if (isTop) {
        s.left = i32At(t, spa + 4);
        s.top = i32At(t, spa + 8);
        s.right = i32At(t, spa + 12);
        s.bottom = i32At(t, spa + 16);
    } else if (node.childAnchor) {
        s.left = (*node.childAnchor)[0];
        s.top = (*node.childAnchor)[1];
        s.right = (*node.childAnchor)[2];
        s.bottom = (*node.childAnchor)[3];
    }
    s.horizontalFrom = (flags >> 1) & 3;
    s.verticalFrom = (flags >> 3) & 3;
    s.wrap = (flags >> 5) & 0xF;
    s.wrapSide = (flags >> 9) & 0xF;
    s.belowText = (flags & 0x4000) != 0;
    const ShapeProperties& p = node.props;
    if (auto r = p.value(0x0004))
        s.rotationDegrees = static_cast<std::int32_t>(*r) / 65536.0;
    s.name = p.text(0x0380);
    s.description = p.text(0x0381);
    s.posH = p.value(0x038F);
    s.posRelH = p.value(0x0390);
    s.posV = p.value(0x0391);
    s.posRelV = p.value(0x0392);
    s.pctWidth = p.value(0x07C0);
    s.pctHeight = p.value(0x07C1);
    s.sizeRelH = p.value(0x07C4);
    s.sizeRelV = p.value(0x07C5);
    for (int d = 0; d < 4; ++d)
        if (auto v = p.value(static_cast<std::uint16_t>(0x0384 + d)))
            s.wrapDistanceEmu[d] = static_cast<std::int32_t>(*v);
}

}  // namespace

void DocDocument::readShapes()
{
    const std::string_view w = stream("WordDocument");
    const std::string_view t = stream(tableName().c_str());
    const std::uint32_t fc = fib_.fc(Fib::kDggInfo), lcb = fib_.lcb(Fib::kDggInfo);
    if (lcb == 0)
        return;
    if (!fits(t.size(), fc, lcb)) {
        inventory_.warnings.push_back("the drawing records lie outside the table stream");
        return;
    }
    const std::size_t end = std::size_t(fc) + lcb;
    OfficeArtRecord dgg;
    bool damaged = false;
    if (!OfficeArtRecord::parseOne(t, fc, end, dgg, &damaged) || dgg.type != 0xF000) {
        inventory_.warnings.push_back("the drawing group record is broken");
        return;
    }
    const std::vector<FbseInfo> store = readPictureStore(t, dgg);
    const std::map<int, std::vector<ShapeNode>> drawings = readDrawings(t, dgg.end(), end, damaged);
    if (damaged)
        inventory_.warnings.push_back("some drawing records are broken");

    const auto mainBoxes = textboxRanges(fib_, t, Fib::kPlcfTxbxTxt, Fib::kTextbox);
    const auto headerBoxes = textboxRanges(fib_, t, Fib::kPlcfHdrTxbxTxt, Fib::kHeaderTextbox);
    // A floating object keeps its field in a text-box story of its own, which
    // its pictureId names the way lTxid names a text box's story.
    auto objectInStory = [&](const std::vector<TextboxRange>& boxes, std::uint32_t pictureId) {
        const std::size_t story = pictureId >> 16;
        if (story < 1 || story > boxes.size())
            return -1;
        for (std::size_t k = 0; k < inventory_.objects.size(); ++k) {
            const std::uint32_t at = inventory_.objects[k].fieldBegin;
            if (at >= boxes[story - 1].start && at < boxes[story - 1].end)
                return static_cast<int>(k);
        }
        return -1;
    };

    for (int header = 0; header < 2; ++header) {
        const std::size_t pair = header ? Fib::kPlcSpaHdr : Fib::kPlcSpaMom;
        const std::uint32_t f = fib_.fc(pair), l = fib_.lcb(pair);
        if (l < 4 + 26 || !fits(t.size(), f, l))
            continue;
        auto found = drawings.find(header);
        if (found == drawings.end()) {
            inventory_.warnings.push_back("floating shapes have no drawing records");
            continue;
        }
        const std::vector<ShapeNode>& nodes = found->second;
        const std::uint32_t storyBase = header ? fib_.storyStart(Fib::kHeader) : 0;
        const std::size_t n = (l - 4) / 30;
        for (std::size_t i = 0; i < n; ++i) {
            const std::size_t spa = f + 4 * (n + 1) + 26 * i;
            const std::uint32_t spid = u32At(t, spa);
            int top = -1;
            for (std::size_t k = 0; k < nodes.size(); ++k)
                if (nodes[k].spid == spid && nodes[k].parent < 0) {
                    top = static_cast<int>(k);
                    break;
                }
            if (top < 0) {
                inventory_.warnings.push_back("a floating shape's anchor names no shape");
                continue;
            }
            // The shape and every shape of its group, in drawing order.
            std::map<int, int> indexOf;
            for (std::size_t k = static_cast<std::size_t>(top); k < nodes.size(); ++k) {
                const ShapeNode& node = nodes[k];
                const bool inside = static_cast<int>(k) == top || (node.parent >= 0 && indexOf.count(node.parent));
                if (!inside)
                    continue;
                FloatingShape s;
                s.shapeId = node.spid;
                s.header = header != 0;
                s.cp = storyBase + u32At(t, f + 4 * i);
                s.parent = static_cast<int>(k) == top ? -1 : indexOf[node.parent];
                s.isGroup = node.isGroup;
                s.groupBounds = node.groupBounds;
                s.shapeType = node.type;
                s.flags = node.flags;
                s.flagsOffset = node.flagsOffset;
                s.zOrder = static_cast<int>(k);
                placeShape(node, t, spa, static_cast<int>(k) == top, s);
                const ShapeProperties& p = node.props;
                if (auto pib = p.find(0x0104); pib && pib->isBlip) {
                    s.blipIndex = pib->value;
                    s.picture = storedPicture(store, w, t, pib->value, s);
                }
                if (const auto* id = p.find(0x010B); id && !id->isComplex && s.oleShape()) {
                    s.pictureId = id->value;
                    s.pictureIdOffset = id->valueOffset;
                    s.objectIndex = objectInStory(header ? headerBoxes : mainBoxes, id->value);
                }
                if (auto f = p.value(0x0106); f && (*f & 0x8) && node.type == 75)
                    s.linked = true;
                std::optional<std::uint32_t> txid = p.value(0x0080);
                if (!txid)
                    txid = node.clientTextbox;
                if (txid && *txid) {
                    s.textboxId = *txid;
                    const auto& boxes = header ? headerBoxes : mainBoxes;
                    const std::size_t idx = (*txid >> 16);
                    if (idx >= 1 && idx <= boxes.size()) {
                        s.textboxStart = static_cast<std::int32_t>(boxes[idx - 1].start);
                        s.textboxEnd = static_cast<std::int32_t>(boxes[idx - 1].end);
                        for (InlinePicture& pic : inventory_.pictures)
                            if (pic.cp >= boxes[idx - 1].start && pic.cp < boxes[idx - 1].end)
                                pic.textboxShapeId = s.shapeId;
                    }
                }
                indexOf[static_cast<int>(k)] = static_cast<int>(inventory_.shapes.size());
                inventory_.shapes.push_back(std::move(s));
            }
        }
    }
}

}  // namespace kelvaran::formats::doc
