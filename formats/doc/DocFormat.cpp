#include "formats/doc/DocFormat.h"

#include "formats/doc/CompoundFile.h"
#include "formats/doc/CompoundValidator.h"
#include "formats/doc/DocDocument.h"
#include "formats/doc/DocError.h"
#include "formats/doc/DocFormatDetail.h"
#include "formats/doc/EmptyDocumentData.h"

namespace kelvaran::formats::doc {

namespace detail {

const std::string kSourceStandIn = "(Word 97-2003 file, held parsed)";

const DocOrigin* docOrigin(const model::Origin& origin)
{
    if (origin.format != "doc")
        return nullptr;
    return std::any_cast<DocOrigin>(&origin.detail);
}

const DocOrigin* docOrigin(const model::ElementOrigin& origin)
{
    if (origin.format() != "doc")
        return nullptr;
    return origin.detail.as<DocOrigin>();
}

[[noreturn]] void refuse(const std::string& why)
{
    throw model::FormatError(why);
}

namespace {

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

}  // namespace

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

namespace {

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

}  // namespace

std::shared_ptr<const DocDocument> parse(std::string_view bytes)
{
    return parseWith([&] { return DocDocument::fromBytes(bytes); });
}

const std::string& emptyDocumentBytes()
{
    static const std::string bytes(reinterpret_cast<const char*>(kEmptyDocumentData), sizeof kEmptyDocumentData);
    return bytes;
}

}  // namespace detail

using namespace detail;

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
        return writeScratch(document);
    return writeEdited(document);
}

model::Document newDocDocument()
{
    auto bytes = std::make_shared<const std::string>(emptyDocumentBytes());
    return build(parse(*bytes), bytes);
}

std::string whyObjectStays(const model::Document& document, const model::Origin& origin)
{
    const detail::DocOrigin* o = detail::docOrigin(origin);
    if (!o || !o->document || origin.source != document.source)
        return {};
    switch (o->kind) {
    case detail::DocOrigin::Kind::Object:
        return o->document->whyObjectCannotBecomePicture(o->index);
    case detail::DocOrigin::Kind::Shape:
        if (o->index < o->document->inventory().shapes.size() && o->document->inventory().shapes[o->index].oleShape())
            return o->document->whyShapeCannotBecomePicture(o->index);
        return {};
    default:
        return {};
    }
}

}  // namespace kelvaran::formats::doc
