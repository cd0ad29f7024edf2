#include "tests/formats/doc/DocTestSupport.h"

#include "formats/doc/DocFormat.h"
#include "formats/model/NewPicture.h"

#include <zlib.h>

#include <fstream>
#include <sstream>
#include <stdexcept>

namespace kelvaran::formats::doc::test {

std::shared_ptr<const std::string> testFile(const std::string& relative) {
    const std::string path = std::string(KELVARAN_SOURCE_DIR) + "/tests/data/" + relative;
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("missing test file " + path);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return std::make_shared<const std::string>(bytes.str());
}

model::Document readTestDocument(const std::string& relative) {
    return readDoc(testFile(relative));
}

namespace {

void appendBigEndian(std::string& out, std::uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<char>((value >> shift) & 0xFF));
}

void appendChunk(std::string& out, const char* type, const std::string& data) {
    appendBigEndian(out, static_cast<std::uint32_t>(data.size()));
    std::string body = std::string(type, 4) + data;
    out += body;
    appendBigEndian(out, static_cast<std::uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(body.data()),
                                                          static_cast<uInt>(body.size()))));
}

void collect(const CompoundEntry& entry, const std::string& prefix, std::map<std::string, std::string>& out) {
    for (const auto& child : entry.children) {
        const std::string path = prefix.empty() ? child.name : prefix + "/" + child.name;
        if (child.isStorage) {
            collect(child, path, out);
        } else {
            out[path] = child.data;
        }
    }
}

}  // namespace

std::string makePng(int width, int height) {
    std::string raw;
    for (int y = 0; y < height; ++y) {
        raw.push_back('\0');
        for (int x = 0; x < width; ++x) {
            raw.push_back(static_cast<char>(x * 255 / std::max(1, width - 1)));
            raw.push_back(static_cast<char>(y * 255 / std::max(1, height - 1)));
            raw.push_back(static_cast<char>(128));
        }
    }
    uLongf packedSize = compressBound(static_cast<uLong>(raw.size()));
    std::string packed(packedSize, '\0');
    compress2(reinterpret_cast<Bytef*>(packed.data()), &packedSize, reinterpret_cast<const Bytef*>(raw.data()),
              static_cast<uLong>(raw.size()), 9);
    packed.resize(packedSize);
    std::string header;
    appendBigEndian(header, static_cast<std::uint32_t>(width));
    appendBigEndian(header, static_cast<std::uint32_t>(height));
    header += std::string("\x08\x02\x00\x00\x00", 5);
    std::string png = "\x89PNG\r\n\x1a\n";
    appendChunk(png, "IHDR", header);
    appendChunk(png, "IDAT", packed);
    appendChunk(png, "IEND", {});
    return png;
}

std::map<std::string, std::string> streamsOf(const std::string& file) {
    std::map<std::string, std::string> out;
    collect(CompoundFile::fromBytes(file).root, "", out);
    return out;
}

int nthInline(const model::Document& document, int story, std::size_t n) {
    const auto live = document.inlinesOf(story);
    if (n >= live.size()) throw std::out_of_range("no such inline object");
    return live[n];
}

int replaceInlineLikeTheOffice(model::Document& document, int object, const std::string& png, int pixelWidth,
                               int pixelHeight) {
    const auto [story, element] = document.locateInline(object);
    if (story < 0) throw std::out_of_range("the object is not in the text");
    const auto& old = document.inlines[static_cast<std::size_t>(object)];
    model::InlineObject fresh;
    fresh.kind = model::InlineKind::Picture;
    fresh.widthPt = old.widthPt;
    fresh.heightPt = old.heightPt;
    fresh.borders = old.borders;
    fresh.lockAspectRatio = old.lockAspectRatio;
    model::NewPicture picture;
    picture.type = model::PictureFormat::Png;
    picture.bytes = model::shareBytes(png);
    picture.pixelWidth = pixelWidth;
    picture.pixelHeight = pixelHeight;
    picture.widthPt = old.widthPt;
    picture.heightPt = old.heightPt;
    fresh.picture = picture.toPictureData();
    const std::int64_t at =
        document.stories[static_cast<std::size_t>(story)].positionOf(static_cast<std::size_t>(element));
    const int added = document.insertInline(story, at, std::move(fresh));
    document.eraseRange(story, at + 1, at + 2);
    return added;
}

int replaceShapeLikeTheOffice(model::Document& document, int shape, const std::string& png, int pixelWidth,
                              int pixelHeight) {
    model::FloatingShape fresh = document.shapes[static_cast<std::size_t>(shape)];
    fresh.origin = model::Origin{};
    fresh.name = "Picture 99";
    fresh.type = model::shape_type::kPicture;  // an object comes back as a picture
    fresh.progId.clear();
    model::NewPicture picture;
    picture.type = model::PictureFormat::Png;
    picture.bytes = model::shareBytes(png);
    picture.pixelWidth = pixelWidth;
    picture.pixelHeight = pixelHeight;
    picture.widthPt = fresh.widthPt;
    picture.heightPt = fresh.heightPt;
    fresh.picture = picture.toPictureData();
    const std::int64_t stack = document.shapes[static_cast<std::size_t>(shape)].stackPosition;
    const int added = document.addShape(std::move(fresh));
    // Sunk back to where the original stood; the original goes.
    document.shapes[static_cast<std::size_t>(added)].stackPosition = stack;
    document.deleteShape(shape);
    return added;
}

}  // namespace kelvaran::formats::doc::test
