#include "formats/doc/Blip.h"

#include <zlib.h>

#include <algorithm>
#include <climits>
#include <cstring>

#include "formats/doc/Bytes.h"
#include "formats/doc/DocError.h"
#include "platform/LargeBuffers.h"

namespace kelvaran::formats::doc {
namespace {

bool inflateBounded(std::string_view in, std::size_t limit, std::string& out)
{
    z_stream z{};
    if (inflateInit(&z) != Z_OK)
        return false;
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in.data()));
    z.avail_in = static_cast<uInt>(in.size());
    out.clear();
    char buf[16384];
    int rc = Z_OK;
    while (rc == Z_OK) {
        z.next_out = reinterpret_cast<Bytef*>(buf);
        z.avail_out = sizeof buf;
        rc = inflate(&z, Z_NO_FLUSH);
        const std::size_t got = sizeof buf - z.avail_out;
        if (out.size() + got > limit) {
            inflateEnd(&z);
            return false;
        }
        out.append(buf, got);
        if (rc == Z_BUF_ERROR && z.avail_in == 0)
            break;
        if (got == 0 && rc == Z_OK && z.avail_in == 0)
            break;
    }
    inflateEnd(&z);
    return rc == Z_STREAM_END;
}

// The placeable header of a stored WMF, with the units per inch that keep the
// picture's stored physical width (ptSize is in EMU).
std::string placeableWmfHeader(std::int32_t l, std::int32_t t, std::int32_t r, std::int32_t b, std::int32_t ptx)
{
    std::int64_t inch = 1440;
    if (ptx > 0 && r > l)
        inch = std::clamp<std::int64_t>((std::int64_t(r) - l) * 914400 / ptx, 1, 0x7FFF);
    return placeableHeader(l, t, r, b, inch);
}

}  // namespace

std::string placeableHeader(std::int32_t left, std::int32_t top, std::int32_t right, std::int32_t bottom,
                            std::int64_t unitsPerInch)
{
    std::string h;
    appendU32(h, 0x9AC6CDD7);
    appendU16(h, 0);
    appendU16(h, static_cast<std::uint16_t>(static_cast<std::int16_t>(left)));
    appendU16(h, static_cast<std::uint16_t>(static_cast<std::int16_t>(top)));
    appendU16(h, static_cast<std::uint16_t>(static_cast<std::int16_t>(right)));
    appendU16(h, static_cast<std::uint16_t>(static_cast<std::int16_t>(bottom)));
    appendU16(h, static_cast<std::uint16_t>(std::clamp<std::int64_t>(unitsPerInch, 1, 0x7FFF)));
    appendU32(h, 0);
    std::uint16_t sum = 0;
    for (std::size_t i = 0; i < h.size(); i += 2)
        sum ^= u16At(h, i);
    appendU16(h, sum);
    return h;
}

const char* pictureFormatName(PictureFormat f)
{
    switch (f) {
    case PictureFormat::Emf: return "EMF";
    case PictureFormat::Wmf: return "WMF";
    case PictureFormat::Pict: return "PICT";
    case PictureFormat::Jpeg: return "JPEG";
    case PictureFormat::Png: return "PNG";
    case PictureFormat::Dib: return "DIB";
    case PictureFormat::Tiff: return "TIFF";
    case PictureFormat::Unknown: break;
    }
    return "unknown";
}

std::optional<PictureData> Blip::decode(std::string_view b, std::size_t offset, std::size_t limit,
                                        std::size_t inflateLimit)
{
    limit = std::min(limit, b.size());
    if (offset > limit || limit - offset < 8)
        return std::nullopt;
    const std::uint16_t inst = u16At(b, offset) >> 4;
    const std::uint16_t type = u16At(b, offset + 2);
    const std::uint32_t len = u32At(b, offset + 4);
    if (!isBlipType(type) || len > limit - offset - 8)
        return std::nullopt;
    PictureData p;
    p.recordSize = len + 8;
    const std::size_t body = offset + 8;
    const std::size_t end = body + len;
    const bool twoUids = (inst & 1) != 0;
    const std::size_t uids = twoUids ? 32 : 16;
    if (len < uids)
        return std::nullopt;
    std::memcpy(p.uid.data(), b.data() + body, 16);
    switch (type) {
    case 0xF01A: p.format = PictureFormat::Emf; break;
    case 0xF01B: p.format = PictureFormat::Wmf; break;
    case 0xF01C: p.format = PictureFormat::Pict; break;
    case 0xF01D: p.format = PictureFormat::Jpeg; p.cmyk = (inst & 0xFFE) == 0x6E2; break;
    case 0xF02A: p.format = PictureFormat::Jpeg; p.cmyk = true; break;
    case 0xF01E: p.format = PictureFormat::Png; break;
    case 0xF01F: p.format = PictureFormat::Dib; break;
    case 0xF029: p.format = PictureFormat::Tiff; break;
    default: return std::nullopt;
    }
    if (p.format == PictureFormat::Emf || p.format == PictureFormat::Wmf || p.format == PictureFormat::Pict) {
        const std::size_t h = body + uids;
        if (!fits(b.size(), h, 34) || h + 34 > end)
            return std::nullopt;
        const std::uint32_t cbSize = u32At(b, h);
        const std::int32_t l = i32At(b, h + 4), t = i32At(b, h + 8), r = i32At(b, h + 12), bo = i32At(b, h + 16);
        const std::int32_t ptx = i32At(b, h + 20);
        const std::uint32_t cbSave = u32At(b, h + 28);
        const std::uint8_t compression = u8At(b, h + 32);
        const std::size_t dataAt = h + 34;
        const std::size_t stored = std::min<std::size_t>(cbSave, end - dataAt);
        const std::string_view data = b.substr(dataAt, stored);
        std::string file;
        if (compression == 0) {
            if (cbSize > std::min(inflateLimit, kMaxInflated) ||
                !inflateBounded(data, std::max<std::size_t>(cbSize, 1), file))
                return std::nullopt;
        } else {
            file.assign(data);
        }
        // Hostile bounds must not overflow: the differences are taken wide.
        p.pixelsWide = static_cast<std::int32_t>(std::clamp<std::int64_t>(std::int64_t(r) - l, INT32_MIN, INT32_MAX));
        p.pixelsHigh = static_cast<std::int32_t>(std::clamp<std::int64_t>(std::int64_t(bo) - t, INT32_MIN, INT32_MAX));
        if (p.format == PictureFormat::Wmf && !(file.size() >= 4 && u32At(file, 0) == 0x9AC6CDD7))
            file = placeableWmfHeader(l, t, r, bo, ptx) + file;
        p.bytes = std::make_shared<const std::string>(std::move(file));
    } else {
        const std::size_t dataAt = body + uids + 1;  // the tag byte
        if (dataAt > end)
            return std::nullopt;
        p.bytes = std::make_shared<const std::string>(platform::largeCopy(b.substr(dataAt, end - dataAt)));
    }
    return p;
}

std::optional<PictureData> BlipReader::decode(std::string_view buffer, std::size_t offset, std::size_t limit)
{
    const Key key{buffer.data(), offset, limit};
    if (auto found = decoded_.find(key); found != decoded_.end())
        return found->second;
    std::optional<PictureData> picture =
        Blip::decode(buffer, offset, limit, kMaxInflatedPerDocument - std::min(inflated_, kMaxInflatedPerDocument));
    if (picture && picture->bytes) {
        const bool metafile = picture->format == PictureFormat::Emf || picture->format == PictureFormat::Wmf ||
                              picture->format == PictureFormat::Pict;
        if (!take(picture->bytes->size()))
            picture.reset();
        else if (metafile)
            inflated_ += picture->bytes->size();
    }
    decoded_.emplace(key, picture);
    return picture;
}

bool BlipReader::take(std::size_t bytes)
{
    if (bytes > budget_ - std::min(taken_, budget_))
        return false;
    taken_ += bytes;
    return true;
}

std::shared_ptr<const std::string> BlipReader::bytesAt(std::string_view buffer, std::size_t offset, std::size_t end)
{
    const Key key{buffer.data(), offset, end};
    auto& bytes = copied_[key];
    if (!bytes && end >= offset && take(end - offset))
        bytes = std::make_shared<const std::string>(platform::largeCopy(buffer.substr(offset, end - offset)));
    return bytes;
}

std::uint8_t Blip::blipType(PictureFormat f, bool cmyk)
{
    switch (f) {
    case PictureFormat::Emf: return 2;
    case PictureFormat::Wmf: return 3;
    case PictureFormat::Pict: return 4;
    case PictureFormat::Jpeg: return cmyk ? 0x12 : 5;
    case PictureFormat::Png: return 6;
    case PictureFormat::Dib: return 7;
    case PictureFormat::Tiff: return 0x11;
    case PictureFormat::Unknown: break;
    }
    return 0;
}

PictureFormat Blip::sniff(std::string_view f)
{
    auto starts = [&](const char* sig, std::size_t n) { return f.size() >= n && std::memcmp(f.data(), sig, n) == 0; };
    if (starts("\xFF\xD8\xFF", 3))
        return PictureFormat::Jpeg;
    if (starts("\x89PNG\r\n\x1a\n", 8))
        return PictureFormat::Png;
    if (starts("II*\0", 4) || starts("MM\0*", 4))
        return PictureFormat::Tiff;
    if (f.size() >= 44 && u32At(f, 0) == 1 && u32At(f, 40) == 0x464D4520)
        return PictureFormat::Emf;
    if (starts("\xD7\xCD\xC6\x9A", 4))
        return PictureFormat::Wmf;
    if (f.size() >= 40 && (u32At(f, 0) == 40 || u32At(f, 0) == 108 || u32At(f, 0) == 124))
        return PictureFormat::Dib;
    return PictureFormat::Unknown;
}

std::array<std::uint8_t, 16> Blip::digest(std::string_view data)
{
    // Two independent 64-bit FNV-1a sums: readers use the id only to tell pictures apart.
    std::uint64_t a = 0xcbf29ce484222325ull, c = 0x84222325cbf29ce4ull;
    for (unsigned char ch : data) {
        a = (a ^ ch) * 0x100000001b3ull;
        c = (c ^ static_cast<unsigned char>(ch + 0x5A)) * 0x100000001b3ull;
    }
    std::array<std::uint8_t, 16> out{};
    for (int i = 0; i < 8; ++i) {
        out[i] = static_cast<std::uint8_t>(a >> (8 * i));
        out[8 + i] = static_cast<std::uint8_t>(c >> (8 * i));
    }
    return out;
}

std::string Blip::encode(PictureFormat format, std::string_view file, std::array<std::uint8_t, 16>& uidOut,
                         std::array<std::int32_t, 2> shownTwips)
{
    uidOut = digest(file);
    std::string body(reinterpret_cast<const char*>(uidOut.data()), 16);
    std::uint16_t type = 0, inst = 0;
    switch (format) {
    case PictureFormat::Jpeg: type = 0xF01D; inst = 0x46A; break;
    case PictureFormat::Png: type = 0xF01E; inst = 0x6E0; break;
    case PictureFormat::Dib: type = 0xF01F; inst = 0x7A8; break;
    case PictureFormat::Tiff: type = 0xF029; inst = 0x6E4; break;
    case PictureFormat::Emf: type = 0xF01A; inst = 0x3D4; break;
    default:
        throw DocError(DocError::Kind::CannotWrite,
                       std::string("a ") + pictureFormatName(format) +
                           " picture cannot be stored in a Word 97-2003 document");
    }
    if (format == PictureFormat::Emf) {
        if (file.size() < 88 || sniff(file) != PictureFormat::Emf)
            throw DocError(DocError::Kind::CannotWrite, "the new EMF picture is not a valid enhanced metafile");
        uLongf packedSize = compressBound(static_cast<uLong>(file.size()));
        std::string packed(packedSize, '\0');
        if (compress2(reinterpret_cast<Bytef*>(packed.data()), &packedSize,
                      reinterpret_cast<const Bytef*>(file.data()), static_cast<uLong>(file.size()), 9) != Z_OK)
            throw DocError(DocError::Kind::CannotWrite, "the new EMF picture could not be compressed");
        packed.resize(packedSize);
        appendU32(body, static_cast<std::uint32_t>(file.size()));
        if (shownTwips[0] > 0 && shownTwips[1] > 0) {
            // The shown size: as pixels at 96 per inch, and in EMU (635 per twip).
            appendU32(body, 0);
            appendU32(body, 0);
            appendU32(body, static_cast<std::uint32_t>((shownTwips[0] + 7) / 15));
            appendU32(body, static_cast<std::uint32_t>((shownTwips[1] + 7) / 15));
            appendU32(body, static_cast<std::uint32_t>(std::min<std::int64_t>(std::int64_t(shownTwips[0]) * 635, 0x7FFFFFFF)));
            appendU32(body, static_cast<std::uint32_t>(std::min<std::int64_t>(std::int64_t(shownTwips[1]) * 635, 0x7FFFFFFF)));
        } else {
            for (int i = 0; i < 4; ++i)  // rclBounds in device units
                appendU32(body, u32At(file, 8 + 4 * i));
            // rclFrame is in 0.01 mm; the header wants EMU (360 per 0.01 mm).
            const std::int64_t w = std::int64_t(i32At(file, 32)) - i32At(file, 24);
            const std::int64_t h = std::int64_t(i32At(file, 36)) - i32At(file, 28);
            appendU32(body, static_cast<std::uint32_t>(std::clamp<std::int64_t>(w * 360, 0, 0x7FFFFFFF)));
            appendU32(body, static_cast<std::uint32_t>(std::clamp<std::int64_t>(h * 360, 0, 0x7FFFFFFF)));
        }
        appendU32(body, static_cast<std::uint32_t>(packed.size()));
        body.push_back('\0');
        body.push_back('\xFE');
        body += packed;
    } else {
        body.push_back('\xFF');
        body.append(file);
    }
    std::string rec;
    appendU16(rec, static_cast<std::uint16_t>(inst << 4));
    appendU16(rec, type);
    appendU32(rec, static_cast<std::uint32_t>(body.size()));
    return rec + body;
}

}  // namespace kelvaran::formats::doc
