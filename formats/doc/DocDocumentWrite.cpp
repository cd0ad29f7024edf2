#include <algorithm>
#include <map>
#include <optional>
#include <set>

#include "formats/doc/Bytes.h"
#include "formats/doc/DocDocument.h"
#include "formats/doc/DocError.h"
#include "formats/doc/EmptyDocumentData.h"
#include "formats/doc/OfficeArtRecord.h"
#include "formats/doc/ShapeProperties.h"
#include "formats/doc/Sprm.h"
#include "platform/AtomicFile.h"

namespace kelvaran::formats::doc {
namespace {

[[noreturn]] void cannot(const std::string& why)
{
    throw DocError(DocError::Kind::CannotWrite, why);
}

void checkPicture(PictureFormat format, const std::string& file)
{
    if (file.empty())
        cannot("the new picture is empty");
    if (format != PictureFormat::Jpeg && format != PictureFormat::Png && format != PictureFormat::Emf
        && format != PictureFormat::Dib && format != PictureFormat::Tiff)
        cannot(std::string("a ") + pictureFormatName(format) + " picture cannot be stored in a Word 97-2003 document");
}

// FBSE record (36 fixed bytes, no name) for a BLIP record; embedded when `blip` is given.
std::string makeFbse(PictureFormat format, const std::array<std::uint8_t, 16>& uid, std::uint32_t blipSize,
                     std::uint32_t foDelay, const std::string* blip)
{
    const std::uint8_t bt = Blip::blipType(format);
    std::string body;
    body.push_back(static_cast<char>(bt));
    body.push_back(static_cast<char>(format == PictureFormat::Emf ? 4 : bt));
    body.append(reinterpret_cast<const char*>(uid.data()), 16);
    appendU16(body, 0x00FF);
    appendU32(body, blipSize);
    appendU32(body, 1);
    appendU32(body, foDelay);
    body.append(4, '\0');
    if (blip)
        body += *blip;
    std::string rec;
    appendU16(rec, static_cast<std::uint16_t>((bt << 4) | 2));
    appendU16(rec, 0xF007);
    appendU32(rec, static_cast<std::uint32_t>(body.size()));
    return rec + body;
}

// Picture properties that describe the old picture's cropping are set to zero;
// the new picture is already cropped.  `shape` is the copy of the bytes from
// `shapeAt` on of a block of `blockSize` bytes, which the property offsets
// count in; only what falls into the copy is written.
void clearCropping(std::string& shape, std::size_t shapeAt, std::size_t blockSize, const ShapeProperties& props)
{
    for (std::uint16_t id = 0x0100; id <= 0x0103; ++id)
        if (const auto* p = props.find(id); p && !p->isComplex && fits(blockSize, p->valueOffset, 4))
            for (std::size_t at = p->valueOffset; at < p->valueOffset + 4; ++at)
                if (at >= shapeAt && at - shapeAt < shape.size())
                    shape[at - shapeAt] = 0;
}

// Where the drawing records of a picture block at `begin` of `b` start: after
// the picture header and, in the named form, the name.
std::size_t drawingStart(std::string_view b, std::size_t begin)
{
    std::size_t at = begin + u16At(b, begin + 4);
    if (u16At(b, begin + 6) == 0x66 && at < b.size())
        at += 1 + u8At(b, at);
    return at;
}

// The offsets of the foDelay fields of the picture-store entries in a
// picture block [begin, end) of `b`.
std::vector<std::size_t> delayFields(std::string_view b, std::size_t begin, std::size_t end)
{
    std::vector<std::size_t> out;
    if (!fits(b.size(), begin, 8) || end > b.size() || (u16At(b, begin + 6) != 0x64 && u16At(b, begin + 6) != 0x66))
        return out;
    for (const OfficeArtRecord& r : OfficeArtRecord::parseSequence(b, drawingStart(b, begin), end))
        if (r.type == 0xF007 && r.length >= 36)
            out.push_back(r.bodyOffset() + 28);
    return out;
}

// A copy of the container to be patched.  `rewritten`, a stream of the root that
// the caller puts together anew, is copied without its bytes: a large Data
// stream is then not held three times while the new one is built.
CompoundFile copyForPatching(const CompoundFile& file, const CompoundEntry* rewritten)
{
    CompoundFile out;
    out.root.name = file.root.name;
    out.root.isStorage = file.root.isStorage;
    out.root.classId = file.root.classId;
    out.root.data = file.root.data;
    out.root.children.reserve(file.root.children.size());
    for (const CompoundEntry& e : file.root.children) {
        if (&e != rewritten || e.isStorage) {
            out.root.children.push_back(e);
            continue;
        }
        CompoundEntry bare;
        bare.name = e.name;
        bare.isStorage = e.isStorage;
        bare.classId = e.classId;
        out.root.children.push_back(std::move(bare));
    }
    return out;
}

}  // namespace

DocDocument DocDocument::createEmpty()
{
    return fromBytes(std::string_view(reinterpret_cast<const char*>(kEmptyDocumentData), sizeof kEmptyDocumentData));
}

void DocDocument::replaceInlinePicture(std::size_t index, PictureFormat format, std::string file)
{
    if (index >= inventory_.pictures.size())
        cannot("there is no inline picture number " + std::to_string(index + 1));
    const InlinePicture& p = inventory_.pictures[index];
    if (p.linked)
        cannot("a linked picture cannot be replaced");
    if (p.objectIndex >= 0)
        cannot("this picture shows an embedded object; convert the object instead");
    if (paragraphPropertiesWithin(p.dataOffset, std::uint64_t(p.dataOffset) + p.blockLength))
        cannot("paragraph properties of the document lie inside the picture's data");
    checkPicture(format, file);
    inlineEdits_.erase(std::remove_if(inlineEdits_.begin(), inlineEdits_.end(), [&](const Edit& e) { return e.index == index; }),
                       inlineEdits_.end());
    inlineEdits_.push_back({index, format, std::move(file)});
}

void DocDocument::replaceFloatingPicture(std::size_t index, PictureFormat format, std::string file)
{
    if (index >= inventory_.shapes.size())
        cannot("there is no floating shape number " + std::to_string(index + 1));
    const FloatingShape& s = inventory_.shapes[index];
    if (s.blipIndex == 0 || !s.picture)
        cannot("the floating shape \"" + s.name + "\" has no picture to replace");
    if (s.oleShape())
        cannot("the floating shape is an embedded object; convert the object instead");
    checkPicture(format, file);
    floatingEdits_.erase(
        std::remove_if(floatingEdits_.begin(), floatingEdits_.end(), [&](const Edit& e) { return e.index == index; }),
        floatingEdits_.end());
    floatingEdits_.push_back({index, format, std::move(file)});
}

void DocDocument::convertObjectToPicture(std::size_t index, PictureFormat format, std::string file)
{
    if (index >= inventory_.objects.size())
        cannot("there is no embedded object number " + std::to_string(index + 1));
    if (const std::string why = whyObjectCannotBecomePicture(index); !why.empty())
        cannot(why);
    checkPicture(format, file);
    objectEdits_.erase(std::remove_if(objectEdits_.begin(), objectEdits_.end(), [&](const Edit& e) { return e.index == index; }),
                       objectEdits_.end());
    objectEdits_.push_back({index, format, std::move(file)});
}

void DocDocument::convertFloatingObjectToPicture(std::size_t index, PictureFormat format, std::string file)
{
    if (index >= inventory_.shapes.size())
        cannot("there is no floating shape number " + std::to_string(index + 1));
    if (const std::string why = whyShapeCannotBecomePicture(index); !why.empty())
        cannot(why);
    checkPicture(format, file);
    floatingEdits_.erase(
        std::remove_if(floatingEdits_.begin(), floatingEdits_.end(), [&](const Edit& e) { return e.index == index; }),
        floatingEdits_.end());
    floatingEdits_.push_back({index, format, std::move(file)});
    if (std::find(floatingObjects_.begin(), floatingObjects_.end(), index) == floatingObjects_.end())
        floatingObjects_.push_back(index);
}

// ---- Inline pictures (and the result pictures of converted objects) ----

DocDocument::DataBlock DocDocument::newInlineBlock(const InlinePicture& p, PictureFormat format, const std::string& file,
                                                   bool dropOle, std::string_view given) const
{
    const std::string_view oldData = stream("Data");
    if (given.empty() && !fits(oldData.size(), p.dataOffset, p.blockLength))
        cannot("a picture block lies outside the Data stream");
    // Read in place: a block of a large picture is not copied, only the
    // parts of it that go into the new block.
    const std::string_view old = given.empty() ? oldData.substr(p.dataOffset, p.blockLength) : given;
    if (old.size() < 6 || u16At(old, 4) > old.size())
        cannot("a picture block is shorter than its own header");
    const std::uint16_t cbHeader = u16At(old, 4);
    std::string head(old.substr(0, cbHeader));
    std::size_t at = cbHeader;
    std::string shape;
    if (p.mappingMode == 0x64 || p.mappingMode == 0x66) {
        if (p.mappingMode == 0x66 && at < old.size()) {
            const std::size_t n = 1 + u8At(old, at);
            head += old.substr(at, std::min(n, old.size() - at));
            at += n;
        }
        for (const OfficeArtRecord& r : OfficeArtRecord::parseSequence(old, at, old.size())) {
            if (r.type != 0xF004)
                continue;
            ShapeProperties props;
            for (const OfficeArtRecord& c : r.children)
                if (c.type == 0xF00B || c.type == 0xF121 || c.type == 0xF122)
                    props.addTable(old, c.bodyOffset(), c.length, c.instance);
            std::string sp(old.substr(r.offset, r.end() - r.offset));
            clearCropping(sp, r.offset, old.size(), props);
            if (dropOle)
                for (const OfficeArtRecord& c : r.children)
                    if (c.type == 0xF00A && c.length >= 8) {
                        const std::size_t flagsAt = c.bodyOffset() + 4 - r.offset;
                        putU32(sp, flagsAt, u32At(sp, flagsAt) & ~0x10u);
                    }
            if (dropOle)
                if (const auto* pid = props.find(0x010B); pid && !pid->isComplex)
                    putU32(sp, pid->valueOffset - r.offset, 0);
            shape = std::move(sp);
            break;
        }
    } else {
        head = old.substr(0, 68);
        putU16(head, 4, 68);
    }
    if (shape.empty()) {
        // A plain picture-frame shape whose picture is the file block that follows.
        std::string fsp, fopt, body;
        appendU16(fsp, static_cast<std::uint16_t>((75 << 4) | 2));
        appendU16(fsp, 0xF00A);
        appendU32(fsp, 8);
        appendU32(fsp, 0x400);
        appendU32(fsp, 0xA00);
        appendU16(fopt, static_cast<std::uint16_t>((1 << 4) | 3));
        appendU16(fopt, 0xF00B);
        appendU32(fopt, 6);
        appendU16(fopt, 0x4104);
        appendU32(fopt, 1);
        body = fsp + fopt;
        appendU16(shape, 0x000F);
        appendU16(shape, 0xF004);
        appendU32(shape, static_cast<std::uint32_t>(body.size()));
        shape += body;
        putU16(head, 6, 0x64);
    }
    // Displayed size kept: natural size = displayed size at 100 %, no cropping.
    if (p.widthTwips <= 0 || p.heightTwips <= 0 || p.widthTwips > 0x7FFF || p.heightTwips > 0x7FFF)
        cannot("the picture's displayed size cannot be kept");
    std::array<std::uint8_t, 16> uid{};
    const std::string blip = Blip::encode(format, file, uid, {p.widthTwips, p.heightTwips});
    const std::string fbse = makeFbse(format, uid, static_cast<std::uint32_t>(blip.size()), 0, &blip);
    std::string block = head + shape + fbse;
    putU32(block, 0, static_cast<std::uint32_t>(block.size()));
    putU16(block, 0x1C, static_cast<std::uint16_t>(p.widthTwips));
    putU16(block, 0x1E, static_cast<std::uint16_t>(p.heightTwips));
    putU16(block, 0x20, 1000);
    putU16(block, 0x22, 1000);
    for (int i = 0; i < 4; ++i)
        putU16(block, 0x24 + 2 * i, 0);
    return {p.dataOffset, p.blockLength, std::move(block)};
}

// The picture of an object of the older kind, which had no block in the Data
// stream: a new block at the stream's end, a plain picture shown at the
// object's size.
DocDocument::DataBlock DocDocument::newStoragePictureBlock(std::size_t object, PictureFormat format,
                                                           const std::string& file) const
{
    const StoragePicture& p = *inventory_.objects[object].storagePicture;
    InlinePicture shown;
    shown.widthTwips = p.widthTwips();
    shown.heightTwips = p.heightTwips();
    shown.mappingMode = 0x64;
    // A header of its own: no borders, the drawing records follow.
    std::string header(68, '\0');
    putU16(header, 4, 68);
    putU16(header, 6, 0x64);
    DataBlock block = newInlineBlock(shown, format, file, true, header);
    block.offset = static_cast<std::uint32_t>(stream("Data").size());
    block.length = 0;
    block.object = static_cast<int>(object);
    return block;
}

std::vector<DocDocument::DataBlock> DocDocument::newInlineBlocks() const
{
    std::vector<DataBlock> blocks;
    for (const Edit& e : inlineEdits_)
        blocks.push_back(newInlineBlock(inventory_.pictures[e.index], e.format, e.file, false));
    for (const Edit& e : objectEdits_) {
        const EmbeddedObject& o = inventory_.objects[e.index];
        if (o.resultPicture >= 0)
            blocks.push_back(
                newInlineBlock(inventory_.pictures[static_cast<std::size_t>(o.resultPicture)], e.format, e.file, true));
        else
            blocks.push_back(newStoragePictureBlock(e.index, e.format, e.file));
    }
    // The pictures that leave with a floating object's field leave the Data
    // stream too.
    for (std::size_t i : picturesLeaving())
        blocks.push_back({inventory_.pictures[i].dataOffset, inventory_.pictures[i].blockLength, {}});
    return blocks;
}

// The Data stream put together from the original with the new blocks in
// place, and every reference into it in `w` and `t` moved along.
std::string DocDocument::patchedData(std::vector<DataBlock>& blocks, std::string& w, std::string& t,
                                     std::map<int, std::uint32_t>& placed) const
{
    const std::string_view oldData = stream("Data");
    std::stable_sort(blocks.begin(), blocks.end(),
                     [](const DataBlock& a, const DataBlock& b) { return a.offset < b.offset; });
    for (std::size_t i = 1; i < blocks.size(); ++i)
        if (blocks[i].offset < blocks[i - 1].offset + blocks[i - 1].length)
            cannot("two pictures share their data; the document cannot be rewritten safely");
    // Sized up front: a stream of many megabytes grown by appending would
    // briefly take up to twice its size.
    std::size_t dataSize = oldData.size();
    for (const DataBlock& b : blocks)
        dataSize = dataSize + b.bytes.size() - b.length;
    std::string data;
    data.reserve(dataSize);
    std::size_t at = 0;
    for (const DataBlock& b : blocks) {
        data.append(oldData.substr(at, b.offset - at));
        if (b.object >= 0)
            placed[b.object] = static_cast<std::uint32_t>(data.size());
        data += b.bytes;
        at = std::size_t(b.offset) + b.length;
    }
    data.append(oldData.substr(at));
    if (data.size() > 0x7FFFFFFF)
        cannot("the Data stream would be too large");
    // The new offset of an old one; nullopt for one inside a replaced block.
    auto moved = [&](std::uint32_t old) -> std::optional<std::uint32_t> {
        std::int64_t delta = 0;
        for (const DataBlock& b : blocks) {
            if (old <= b.offset)
                break;
            if (old < std::uint64_t(b.offset) + b.length)
                return std::nullopt;
            delta += std::int64_t(b.bytes.size()) - b.length;
        }
        return static_cast<std::uint32_t>(std::int64_t(old) + delta);
    };
    // Word notes in a picture's store entry where its drawing records lie in
    // this stream, and readers go there: the note follows the picture.
    for (const InlinePicture& p : inventory_.pictures) {
        const std::optional<std::uint32_t> to = moved(p.dataOffset);
        const auto oldFields = delayFields(oldData, p.dataOffset, std::size_t(p.dataOffset) + p.blockLength);
        if (!to || oldFields.empty() || !fits(data.size(), *to, 8))
            continue;
        const std::uint32_t noted = u32At(oldData, oldFields.front());
        if (noted != drawingStart(oldData, p.dataOffset))
            continue;  // not Word's note (other writers leave 0)
        const auto newFields = delayFields(data, *to, std::size_t(*to) + u32At(data, *to));
        if (!newFields.empty())
            putU32(data, newFields.front(), static_cast<std::uint32_t>(drawingStart(data, *to)));
    }
    // Where the pictures of the text are; those leaving the text may be
    // pointed at by the properties they leave behind.
    std::set<std::uint32_t> pictureAt;
    const std::set<std::size_t> leaving = picturesLeaving();
    for (std::size_t i = 0; i < inventory_.pictures.size(); ++i)
        if (!leaving.count(i))
            pictureAt.insert(inventory_.pictures[i].dataOffset);
    // Every reference into Data: picture locations (not object storage numbers),
    // huge paragraph properties and the row properties Word keeps there for
    // table rows, in the property pages and the piece table.  A row property
    // left behind would point into whatever bytes now lie there, and readers
    // build the table's rows and nesting from them.
    std::set<std::size_t> patchedW, patchedT;
    auto patchList = [&](std::string& buf, std::size_t begin, std::size_t end, bool chars, std::set<std::size_t>& done) {
        const auto list = Sprm::list(buf, begin, end);
        bool ole = false;
        for (const Sprm& s : list)
            if (s.opcode == Sprm::kCFOle2 && (u8At(buf, s.operand) == 1 || u8At(buf, s.operand) == 0x81))
                ole = true;
        for (const Sprm& s : list) {
            const bool isRef = chars ? (s.opcode == Sprm::kCPicLocation || s.opcode == Sprm::kCObjLocation) && !ole
                                     : (s.opcode == Sprm::kPHugePapx || s.opcode == Sprm::kPHugePapxOld ||
                                        s.opcode == Sprm::kPTableProps);
            if (!isRef || s.length != 4 || done.count(s.operand))
                continue;
            done.insert(s.operand);
            const std::uint32_t v = u32At(buf, s.operand);
            if (v >= oldData.size())
                continue;
            // Paragraph properties never lie in a picture block, not even at
            // its start, which would follow the new picture.
            if (!chars && std::any_of(blocks.begin(), blocks.end(), [&](const DataBlock& b) {
                    return b.length > 0 && v >= b.offset && v - b.offset < b.length;
                }))
                cannot("paragraph properties lie inside a replaced picture");
            const std::optional<std::uint32_t> to = moved(v);
            if (to) {
                putU32(buf, s.operand, *to);
            } else if (!chars || pictureAt.count(v)) {
                cannot("a reference points into the middle of a replaced picture");
            }
            // Otherwise a stale picture location that no picture character
            // uses (Word leaves them on text and anchors): nothing reads
            // it, so it stays as it is.
        }
    };
    for (const PropertyRun& r : chpRuns_)
        if (r.grpprlEnd > r.grpprlBegin)
            patchList(w, r.grpprlBegin, r.grpprlEnd, true, patchedW);
    for (const PropertyRun& r : papRuns_)
        if (r.grpprlEnd > r.grpprlBegin)
            patchList(w, r.grpprlBegin, r.grpprlEnd, false, patchedW);
    for (const auto& g : prcGroups_) {
        patchList(t, g.first, g.second, true, patchedT);
        patchList(t, g.first, g.second, false, patchedT);
    }
    return data;
}

// ---- Floating pictures: new BLIPs in the WordDocument stream ----

void DocDocument::storeFloatingPictures(std::string& w, std::string& t, const std::set<std::uint32_t>& emptied) const
{
    const std::uint32_t fc = fib_.fc(Fib::kDggInfo), lcb = fib_.lcb(Fib::kDggInfo);
    OfficeArtRecord dgg;
    if (!OfficeArtRecord::parseOne(t, fc, std::size_t(fc) + lcb, dgg) || dgg.type != 0xF000)
        cannot("the drawing records cannot be rewritten");
    const OfficeArtRecord* bs = dgg.firstChild(0xF001);
    if (!bs)
        cannot("the drawing records have no picture store");
    std::vector<const OfficeArtRecord*> slots;
    for (const OfficeArtRecord& r : bs->children)
        slots.push_back(&r);
    std::map<std::uint32_t, const Edit*> bySlot;
    std::map<std::uint32_t, int> users;
    for (const FloatingShape& s : inventory_.shapes)
        if (s.blipIndex)
            ++users[s.blipIndex];
    for (const Edit& e : floatingEdits_) {
        const std::uint32_t slot = inventory_.shapes[e.index].blipIndex;
        if (slot > slots.size() || slots[slot - 1]->type != 0xF007 || slots[slot - 1]->length < 36)
            cannot("the picture store entry of a floating picture is broken");
        if (auto it = bySlot.find(slot); it != bySlot.end() && it->second->file != e.file)
            cannot("two shapes share one picture but were given different replacements");
        bySlot[slot] = &e;
    }
    for (const auto& [slot, e] : bySlot) {
        int replaced = 0;
        for (const Edit& f : floatingEdits_)
            if (inventory_.shapes[f.index].blipIndex == slot)
                ++replaced;
        if (replaced < users[slot])
            cannot("a picture shared by several shapes can only be replaced in all of them at once");
        const OfficeArtRecord& r = *slots[slot - 1];
        if (std::size_t(r.length) > 36u + u8At(t, r.bodyOffset() + 33))
            cannot("pictures kept inside the drawing records cannot be replaced");
    }
    // Where the delayed pictures live, and whether they form the stream's tail.
    std::size_t tail = w.size();
    for (const OfficeArtRecord* r : slots)
        if (r->type == 0xF007 && r->length >= 36) {
            const std::uint32_t d = u32At(t, r->bodyOffset() + 28), sz = u32At(t, r->bodyOffset() + 20);
            if (d != 0xFFFFFFFF && sz > 0 && fits(w.size(), d, sz))
                tail = std::min<std::size_t>(tail, d);
        }
    const std::size_t used = wordDocumentInUse(w, t);
    std::string newTail;
    std::size_t base;
    const bool relayout = used <= tail && u16At(w, 0x08) == 0;
    if (!relayout && bySlot.empty())
        return;  // nothing replaced, and what is unused cannot be taken out
    if (relayout) {
        base = tail;
        // Every delayed picture in slot order; unchanged ones keep their bytes.
        for (std::size_t i = 0; i < slots.size(); ++i) {
            const OfficeArtRecord& r = *slots[i];
            if (r.type != 0xF007 || r.length < 36)
                continue;
            const std::size_t b = r.bodyOffset();
            const std::uint32_t d = u32At(t, b + 28), sz = u32At(t, b + 20);
            auto edit = bySlot.find(static_cast<std::uint32_t>(i + 1));
            if (emptied.count(static_cast<std::uint32_t>(i + 1)) && edit == bySlot.end()) {
                // An empty entry: no picture, nowhere.
                putU32(t, b + 20, 0);
                putU32(t, b + 28, 0xFFFFFFFF);
            } else if (edit != bySlot.end()) {
                std::array<std::uint8_t, 16> uid{};
                const std::string blip = Blip::encode(edit->second->format, edit->second->file, uid);
                const std::string fbse = makeFbse(edit->second->format, uid, static_cast<std::uint32_t>(blip.size()),
                                                  static_cast<std::uint32_t>(base + newTail.size()), nullptr);
                // Same size as the old fixed part: the name (if any) stays after it.
                t.replace(r.offset, 8 + 36, fbse);
                putU32(t, r.offset + 4, r.length);
                newTail += blip;
            } else if (d != 0xFFFFFFFF && sz > 0 && fits(w.size(), d, sz)) {
                putU32(t, b + 28, static_cast<std::uint32_t>(base + newTail.size()));
                newTail.append(w, d, sz);
            }
        }
        w.resize(base);
        w += newTail;
    } else {
        // The pictures go after the bytes in use.  A count of bytes in use
        // beyond the stream's end is damaged (a fuzzed file claimed 1.7 GB):
        // the stream is not padded out to it.
        base = w.size();
        for (const auto& [slot, e] : bySlot) {
            const OfficeArtRecord& r = *slots[slot - 1];
            std::array<std::uint8_t, 16> uid{};
            const std::string blip = Blip::encode(e->format, e->file, uid);
            const std::string fbse = makeFbse(e->format, uid, static_cast<std::uint32_t>(blip.size()),
                                              static_cast<std::uint32_t>(w.size()), nullptr);
            t.replace(r.offset, 8 + 36, fbse);
            putU32(t, r.offset + 4, r.length);
            w += blip;
        }
    }
    if (w.size() > 0x7FFFFFFF)
        cannot("the WordDocument stream would be too large");
    putU32(w, 0x40, static_cast<std::uint32_t>(w.size()));
}

// How much of the WordDocument stream the text, the property pages and the
// section properties take, from its start: the delayed pictures after it
// may be laid out anew.
std::size_t DocDocument::wordDocumentInUse(const std::string& w, const std::string& t) const
{
    std::size_t used = 0x9A + 8 * fib_.pairCount();
    for (const Piece& p : pieces_)
        used = std::max<std::size_t>(used, std::size_t(p.fc) + std::size_t(p.cpEnd - p.cpStart) * (p.compressed ? 1 : 2));
    for (const PropertyRun& r : chpRuns_)
        used = std::max<std::size_t>(used, (r.grpprlBegin / 512 + 1) * 512);
    for (const PropertyRun& r : papRuns_)
        used = std::max<std::size_t>(used, (r.grpprlBegin / 512 + 1) * 512);
    for (std::size_t pair : {std::size_t(Fib::kPlcfBteChpx), std::size_t(Fib::kPlcfBtePapx)}) {
        const std::uint32_t f = fib_.fc(pair), l = fib_.lcb(pair);
        if (l >= 12 && fits(t.size(), f, l)) {
            const std::size_t n = (l - 4) / 8;
            for (std::size_t i = 0; i < n; ++i)
                used = std::max<std::size_t>(used, (std::size_t(u32At(t, f + 4 * (n + 1) + 4 * i) & 0x3FFFFF) + 1) * 512);
        }
    }
    {
        const std::uint32_t f = fib_.fc(Fib::kPlcfSed), l = fib_.lcb(Fib::kPlcfSed);
        if (l >= 16 && fits(t.size(), f, l)) {
            const std::size_t n = (l - 4) / 16;
            for (std::size_t i = 0; i < n; ++i) {
                const std::uint32_t s = u32At(t, f + 4 * (n + 1) + 12 * i + 2);
                if (s != 0xFFFFFFFF && fits(w.size(), s, 2))
                    used = std::max<std::size_t>(used, std::size_t(s) + 2 + u16At(w, s));
            }
        }
    }
    return used;
}

// Reads the result back: a file this reader cannot open is never written.
void DocDocument::checkReadBack(const std::string& bytes) const
{
    try {
        const DocDocument check = fromBytes(bytes);
        const DocInventory& a = check.inventory();
        const std::set<std::size_t> picturesGone = picturesLeaving();
        std::size_t objectsGone = objectEdits_.size();
        for (std::size_t shape : floatingObjects_)
            objectsGone += floatingObjectLeaving(shape) ? 1 : 0;
        std::size_t picturesMade = 0;
        for (const Edit& e : objectEdits_)
            picturesMade += inventory_.objects[e.index].resultPicture < 0 ? 1 : 0;
        if (a.pictures.size() + picturesGone.size() != inventory_.pictures.size() + picturesMade ||
            a.shapes.size() != inventory_.shapes.size() || a.objects.size() + objectsGone != inventory_.objects.size())
            cannot("the rewritten document does not hold the same pictures and objects");
        for (std::size_t shape : floatingObjects_)
            if (a.shapes[shape].oleShape())
                cannot("a converted floating object is still an object in the rewritten document");
        // The text is the original's without the converted objects' fields.
        std::u16string expected;
        {
            std::vector<CpRange> gone = convertedFieldRanges();
            std::sort(gone.begin(), gone.end(), [](const CpRange& x, const CpRange& y) { return x.begin < y.begin; });
            std::size_t at = 0;
            for (const CpRange& r : gone) {
                expected.append(text_, at, r.begin - at);
                at = r.end;
            }
            expected.append(text_, at, std::u16string::npos);
        }
        if (check.text() != expected)
            cannot("the rewritten document's text differs from the original");
        // Every picture that could be read before can be read now.
        for (std::size_t i = 0; i < a.shapes.size(); ++i)
            if (inventory_.shapes[i].picture && !a.shapes[i].picture)
                cannot("a floating picture of the rewritten document could not be read back");
        std::size_t readable = 0, readableNow = 0;
        for (std::size_t i = 0; i < inventory_.pictures.size(); ++i)
            readable += !picturesGone.count(i) && inventory_.pictures[i].picture ? 1 : 0;
        for (const InlinePicture& p : a.pictures)
            readableNow += p.picture ? 1 : 0;
        if (readableNow < readable + picturesMade)
            cannot("an inline picture of the rewritten document could not be read back");
    } catch (const DocError& e) {
        if (e.kind() == DocError::Kind::CannotWrite)
            throw;
        cannot(std::string("the rewritten document could not be read back (") + e.what() + ")");
    }
}

std::string DocDocument::saveToBytes() const
{
    std::vector<DataBlock> blocks = newInlineBlocks();
    // New picture blocks mean a new Data stream, put together from the original.
    CompoundFile out = copyForPatching(*file_, blocks.empty() ? nullptr : file_->root.child("Data"));
    if (!blocks.empty() && !out.root.child("Data"))
        out.root.addStream("Data", {});  // before the references below: adding moves the entries
    if (CompoundEntry* data = out.root.child("Data"); data && data->isStorage && !blocks.empty())
        cannot("the document's Data stream is a storage");
    CompoundEntry* wdEntry = out.root.child("WordDocument");
    CompoundEntry* tableEntry = out.root.child(tableName());
    std::string& w = wdEntry->data;
    std::string& t = tableEntry->data;
    std::map<int, std::uint32_t> placed;
    if (!blocks.empty())
        out.root.child("Data")->data = patchedData(blocks, w, t, placed);
    // Pictures of objects of the older kind become pictures of the new
    // blocks through properties of their characters in the piece table.
    CharacterProperties props;
    for (const auto& [object, offset] : placed) {
        std::string list;
        appendU16(list, Sprm::kCPicLocation);
        appendU32(list, offset);
        appendU16(list, Sprm::kCFOle2);
        list.push_back('\0');
        appendU16(list, Sprm::kCFObj);
        list.push_back('\0');
        props[inventory_.objects[static_cast<std::size_t>(object)].storagePicture->cp] = list;
    }
    removeCharacters(convertedFieldRanges(), props, w, t);
    const std::vector<std::string> goneStorages = storagesLeaving();
    const std::set<std::uint32_t> emptied = dropUnused_ ? unusedStoreEntries() : std::set<std::uint32_t>{};
    if (!floatingEdits_.empty() || !emptied.empty())
        storeFloatingPictures(w, t, emptied);
    clearObjectMarks(t);
    if (!goneStorages.empty()) {
        if (CompoundEntry* pool = out.root.child("ObjectPool")) {
            for (const std::string& name : goneStorages)
                pool->removeChild(name);
            if (pool->children.empty())
                out.root.removeChild("ObjectPool");
        }
    }

    std::string bytes = std::move(out).toBytes();
    out = CompoundFile{};  // not needed for the check below
    checkReadBack(bytes);
    return bytes;
}

std::string DocDocument::saveWithUnreferencedParts(std::string data, std::vector<CompoundEntry> storages) const
{
    if (hasChanges())
        cannot("a document with replaced pictures cannot take unreferenced parts");
    CompoundFile out = *file_;
    if (!data.empty()) {
        CompoundEntry* entry = out.root.child("Data");
        if (!entry)
            entry = &out.root.addStream("Data", {});
        if (entry->isStorage)
            cannot("the document's Data stream is a storage");
        if (entry->data.size() + data.size() > 0x7FFFFFFF)
            cannot("the Data stream would be too large");
        if (entry->data.empty())
            entry->data = std::move(data);
        else
            entry->data += data;
    }
    if (!storages.empty()) {
        CompoundEntry* pool = out.root.child("ObjectPool");
        if (!pool) {
            CompoundEntry fresh;
            fresh.name = "ObjectPool";
            fresh.isStorage = true;
            out.root.children.push_back(std::move(fresh));
            pool = &out.root.children.back();
        }
        if (!pool->isStorage)
            cannot("the document's ObjectPool is not a storage");
        std::uint32_t next = 1;
        for (CompoundEntry& storage : storages) {
            while (pool->child("_" + std::to_string(next)))
                ++next;
            storage.name = "_" + std::to_string(next);
            storage.isStorage = true;
            pool->children.push_back(std::move(storage));
        }
    }
    return std::move(out).toBytes();
}

void DocDocument::save(const std::string& path) const
{
    const std::string bytes = saveToBytes();
    try {
        platform::writeFileAtomically(path, bytes);
    } catch (const std::exception& e) {
        cannot(std::string("the document could not be saved (") + e.what() + ")");
    }
}

}  // namespace kelvaran::formats::doc
