#include "formats/doc/DocFormatDetail.h"

#include <algorithm>
#include <array>
#include <vector>

#include "formats/doc/Blip.h"
#include "formats/doc/Bytes.h"
#include "formats/doc/DocDocument.h"
#include "formats/doc/DocError.h"

// The scratch-document writer: the scratch document is measured, never
// opened again, so it holds its objects' pictures and little else.

namespace kelvaran::formats::doc::detail {

namespace {

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
            // An object of the older kind has no picture of the Data stream:
            // its picture is part of its storage.
            const int pi = o->kind == DocOrigin::Kind::Picture ? static_cast<int>(o->index)
                                                                : inv.objects.at(o->index).resultPicture;
            const CompoundEntry* dataStream = o->document->container().root.child("Data");
            if (pi >= 0) {
                const InlinePicture& p = inv.pictures.at(static_cast<std::size_t>(pi));
                if (dataStream && fits(dataStream->data.size(), p.dataOffset, p.blockLength))
                    data_.append(dataStream->data, p.dataOffset, p.blockLength);
            }
            if (o->kind == DocOrigin::Kind::Object)
                addStorage(*o->document, inv.objects.at(o->index));
            return;
        }
        addNewPicture(object.picture, kInlineBlockOverhead);
    }

    void addStorage(const DocDocument& document, const EmbeddedObject& object)
    {
        const CompoundEntry* pool = document.container().root.child("ObjectPool");
        const CompoundEntry* storage = object.hasStorage && pool ? pool->child("_" + std::to_string(object.storageId))
                                                                 : nullptr;
        if (storage && storage->isStorage)
            storages_.push_back(*storage);
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
            // A floating object costs its storage as well.
            if (s.oleShape() && s.objectIndex >= 0)
                addStorage(*o->document, o->document->inventory().objects.at(static_cast<std::size_t>(s.objectIndex)));
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

std::string writeScratch(const model::Document& document)
{
    return ScratchWriter(document).write();
}

}  // namespace kelvaran::formats::doc::detail
