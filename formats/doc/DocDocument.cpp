#include "formats/doc/DocDocument.h"

#include <algorithm>
#include <cmath>
#include <map>

#include "formats/doc/Bytes.h"
#include "formats/doc/CompObj.h"
#include "formats/doc/CompoundValidator.h"
#include "formats/doc/DocDrawing.h"
#include "formats/doc/DocError.h"
#include "formats/doc/OfficeArtRecord.h"
#include "formats/doc/ShapeProperties.h"
#include "formats/doc/Sprm.h"
#include "formats/doc/TextCodec.h"
#include "platform/AtomicFile.h"

namespace kelvaran::formats::doc {
namespace {

// The group-shape booleans and the flags of them that tell a horizontal
// line and a picture bullet.
constexpr std::uint16_t kGroupBooleans = 0x03BF;
constexpr int kHorizontalRuleBit = 11;
constexpr int kBulletBit = 14;

struct CharProps {
    std::optional<std::uint32_t> picLocation;
    bool spec = false, data = false, ole2 = false, obj = false;
};

bool toggleOn(std::string_view b, const Sprm& s)
{
    const std::uint8_t v = u8At(b, s.operand);
    return v == 1 || v == 0x81;
}

void applyChar(std::string_view b, const std::vector<Sprm>& list, CharProps& p)
{
    for (const Sprm& s : list) {
        switch (s.opcode) {
        case Sprm::kCPicLocation:
        case Sprm::kCObjLocation: p.picLocation = u32At(b, s.operand); break;
        case Sprm::kCFSpec: p.spec = toggleOn(b, s); break;
        case Sprm::kCFData: p.data = toggleOn(b, s); break;
        case Sprm::kCFOle2: p.ole2 = toggleOn(b, s); break;
        case Sprm::kCFObj: p.obj = toggleOn(b, s); break;
        default: break;
        }
    }
}

std::string trim(std::string s)
{
    const auto notSpace = [](unsigned char c) { return c > 0x20; };
    s.erase(s.begin(), std::find_if(s.begin(), s.end(), notSpace));
    s.erase(std::find_if(s.rbegin(), s.rend(), notSpace).base(), s.end());
    return s;
}

std::string firstWordUpper(const std::string& s, std::string* rest)
{
    std::size_t i = 0;
    while (i < s.size() && s[i] > 0x20)
        ++i;
    std::string w = s.substr(0, i);
    for (char& c : w)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 32);
    if (rest)
        *rest = trim(s.substr(i));
    return w;
}

// The programmatic id of an object whose CompObj stream names none (other
// suites write only the user type): the well-known class ids, else a user type
// that is itself written like a programmatic id.
std::string progIdOfClass(const std::array<std::uint8_t, 16>& id, const std::string& userType)
{
    static const std::uint8_t kTail[8] = {0xC0, 0, 0, 0, 0, 0, 0, 0x46};
    const std::uint32_t data1 = u32At(std::string_view(reinterpret_cast<const char*>(id.data()), 16), 0);
    const bool standard = std::equal(kTail, kTail + 8, id.begin() + 8) && id[4] == 0 && id[5] == 0 && id[6] == 0 &&
                          id[7] == 0;
    if (standard) {
        switch (data1) {
        case 0x00020810: return "Excel.Sheet.5";
        case 0x00020811: return "Excel.Chart.5";
        case 0x00020820: return "Excel.Sheet.8";
        case 0x00020821: return "Excel.Chart.8";
        case 0x00020900: return "Word.Document.6";
        case 0x00020906: return "Word.Document.8";
        case 0x00020803: return "MSGraph.Chart.8";
        case 0x0002CE02: return "Equation.3";
        case 0x0003000C: return "Package";
        default: break;
        }
    }
    if (data1 == 0x64818D10)
        return "PowerPoint.Show.8";
    const bool looksLikeId = !userType.empty() && userType.find('.') != std::string::npos &&
                             userType.find(' ') == std::string::npos;
    return looksLikeId ? userType : std::string();
}

using detail::readShape;
using detail::ShapeNode;

// The picture an object of the older kind keeps in its storage: the metafile
// of \003META (after its 8-byte picture header) sized by \003PIC.
std::optional<StoragePicture> storagePictureOf(const CompoundEntry& storage)
{
    const CompoundEntry* pic = storage.child("\003PIC");
    const CompoundEntry* meta = storage.child("\003META");
    if (!pic || !meta || pic->isStorage || meta->isStorage || pic->data.size() < 0x44 || meta->data.size() < 8 + 18)
        return std::nullopt;
    const std::string_view p = pic->data;
    StoragePicture out;
    out.naturalWidth = i32At(p, 0x14);
    out.naturalHeight = i32At(p, 0x18);
    out.scaleX = i32At(p, 0x2C);
    out.scaleY = i32At(p, 0x30);
    out.cropLeft = i32At(p, 0x34);
    out.cropTop = i32At(p, 0x38);
    out.cropRight = i32At(p, 0x3C);
    out.cropBottom = i32At(p, 0x40);
    const auto sane = [](std::int32_t v, std::int32_t low, std::int32_t high) { return v >= low && v <= high; };
    if (!sane(out.naturalWidth, 1, 0x7FFF) || !sane(out.naturalHeight, 1, 0x7FFF) || !sane(out.scaleX, 1, 100000) ||
        !sane(out.scaleY, 1, 100000) || !sane(out.cropLeft, -0x7FFF, 0x7FFF) || !sane(out.cropTop, -0x7FFF, 0x7FFF) ||
        !sane(out.cropRight, -0x7FFF, 0x7FFF) || !sane(out.cropBottom, -0x7FFF, 0x7FFF) || out.widthTwips() <= 0 ||
        out.heightTwips() <= 0 || out.widthTwips() > 0x7FFF || out.heightTwips() > 0x7FFF)
        return std::nullopt;
    out.picture.format = PictureFormat::Wmf;
    out.picture.bytes = std::make_shared<const std::string>(meta->data.substr(8));
    out.picture.recordSize = static_cast<std::uint32_t>(meta->data.size());
    return out;
}

}  // namespace

std::int32_t StoragePicture::widthTwips() const
{
    return static_cast<std::int32_t>(
        std::lround((std::int64_t(naturalWidth) - cropLeft - cropRight) * static_cast<double>(scaleX) / 1000.0));
}

std::int32_t StoragePicture::heightTwips() const
{
    return static_cast<std::int32_t>(
        std::lround((std::int64_t(naturalHeight) - cropTop - cropBottom) * static_cast<double>(scaleY) / 1000.0));
}

DocDocument DocDocument::open(const std::string& path)
{
    std::string bytes;
    try {
        bytes = platform::readWholeFile(path);
    } catch (const std::exception& e) {
        throw DocError(DocError::Kind::NotAWordDocument, std::string("the file cannot be read (") + e.what() + ")");
    }
    return fromBytes(bytes);
}

namespace {
void refuseOlderWord(std::string_view bytes)
{
    if (CompoundValidator::hasSignature(bytes))
        return;
    if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xDB && static_cast<unsigned char>(bytes[1]) == 0xA5)
        throw DocError(DocError::Kind::UnsupportedVersion, "Word 2 documents are not supported");
    if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0x31 && static_cast<unsigned char>(bytes[1]) == 0xBE)
        throw DocError(DocError::Kind::UnsupportedVersion, "documents of Word for DOS and Word 3-5 are not supported");
}
}  // namespace

DocDocument DocDocument::fromBytes(std::string_view bytes)
{
    DocDocument d;
    refuseOlderWord(bytes);
    d.file_ = std::make_shared<const CompoundFile>(CompoundFile::fromBytes(bytes));
    d.load();
    return d;
}

DocDocument DocDocument::fromOwnedBytes(std::shared_ptr<const std::string> bytes)
{
    if (!bytes)
        throw DocError(DocError::Kind::NotAWordDocument, "the document is empty");
    DocDocument d;
    refuseOlderWord(*bytes);
    d.file_ = std::make_shared<const CompoundFile>(CompoundFile::fromBytes(*bytes));
    bytes.reset();
    d.load();
    return d;
}

std::string_view DocDocument::stream(const char* name) const
{
    const CompoundEntry* e = file_->root.child(name);
    if (!e || e->isStorage)
        return {};
    return e->data;
}

void DocDocument::load()
{
    const CompoundEntry* wd = file_->root.child("WordDocument");
    if (!wd || wd->isStorage)
        throw DocError(DocError::Kind::NotAWordDocument,
                       "the file is not a Word 97-2003 document (it has no WordDocument stream)");
    fib_ = Fib::parse(wd->data);
    if (file_->root.child("\006DataSpaces"))
        throw DocError(DocError::Kind::Encrypted, "the document is protected by rights management");
    const CompoundEntry* table = file_->root.child(tableName());
    if (!table || table->isStorage)
        throw DocError(DocError::Kind::Damaged, "the document is damaged (its table stream " + tableName() + " is missing)");
    readPieces();
    readText();
    readPropertyRuns(Fib::kPlcfBteChpx, false, chpRuns_);
    readPropertyRuns(Fib::kPlcfBtePapx, true, papRuns_);
    readStyles();
    readInlinePictures();
    readFields();
    readShapes();
    readPageBreaksAndFrames();
}

void DocDocument::readPieces()
{
    const std::string_view t = stream(tableName().c_str());
    const std::uint32_t fc = fib_.fc(Fib::kClx), lcb = fib_.lcb(Fib::kClx);
    if (lcb == 0 || !fits(t.size(), fc, lcb))
        throw DocError(DocError::Kind::Damaged, "the document is damaged (its piece table is missing)");
    std::size_t o = fc;
    const std::size_t end = std::size_t(fc) + lcb;
    while (o < end) {
        const std::uint8_t kind = u8At(t, o);
        if (kind == 1) {
            if (o + 3 > end)
                break;
            const std::int16_t cb = i16At(t, o + 1);
            if (cb < 0 || o + 3 + std::size_t(cb) > end)
                throw DocError(DocError::Kind::Damaged, "the document is damaged (a property group of the piece table is broken)");
            prcGroups_.emplace_back(o + 3, o + 3 + std::size_t(cb));
            o += 3 + std::size_t(cb);
        } else if (kind == 2) {
            if (o + 5 > end)
                break;
            const std::uint32_t plcLen = u32At(t, o + 1);
            const std::size_t plc = o + 5;
            if (plcLen < 16 || plcLen > end - plc || (plcLen - 4) % 12 != 0)
                throw DocError(DocError::Kind::Damaged, "the document is damaged (its piece table has a wrong size)");
            const std::size_t n = (plcLen - 4) / 12;
            for (std::size_t i = 0; i < n; ++i) {
                Piece p;
                p.cpStart = u32At(t, plc + 4 * i);
                p.cpEnd = u32At(t, plc + 4 * (i + 1));
                const std::size_t pcd = plc + 4 * (n + 1) + 8 * i;
                const std::uint32_t fcRaw = u32At(t, pcd + 2);
                p.compressed = (fcRaw & 0x40000000u) != 0;
                p.fc = fcRaw & 0x3FFFFFFFu;
                if (p.compressed)
                    p.fc /= 2;
                p.prm = u16At(t, pcd + 6);
                p.prmOffset = pcd + 6;
                if (p.cpEnd < p.cpStart || (i > 0 && p.cpStart != pieces_.back().cpEnd))
                    throw DocError(DocError::Kind::Damaged, "the document is damaged (its piece table is out of order)");
                pieces_.push_back(p);
            }
            return;
        } else {
            throw DocError(DocError::Kind::Damaged, "the document is damaged (its piece table is broken)");
        }
    }
    throw DocError(DocError::Kind::Damaged, "the document is damaged (its piece table is incomplete)");
}

void DocDocument::readText()
{
    const std::string_view w = stream("WordDocument");
    std::uint64_t total = 0;
    for (const Piece& p : pieces_) {
        const std::uint64_t n = p.cpEnd - p.cpStart;
        total += n;
        if (total > w.size() || !fits(w.size(), p.fc, p.compressed ? n : 2 * n))
            throw DocError(DocError::Kind::Damaged, "the document is damaged (its text lies outside the WordDocument stream)");
    }
    text_.reserve(static_cast<std::size_t>(total));
    for (const Piece& p : pieces_) {
        const std::uint32_t n = p.cpEnd - p.cpStart;
        for (std::uint32_t i = 0; i < n; ++i)
            text_.push_back(p.compressed ? TextCodec::fromCompressed(u8At(w, p.fc + i))
                                         : static_cast<char16_t>(u16At(w, p.fc + 2 * std::size_t(i))));
    }
}

void DocDocument::readPropertyRuns(std::size_t pair, bool paragraphs, std::vector<PropertyRun>& out)
{
    const std::string_view t = stream(tableName().c_str());
    const std::string_view w = stream("WordDocument");
    const std::uint32_t fc = fib_.fc(pair), lcb = fib_.lcb(pair);
    if (lcb < 12 || !fits(t.size(), fc, lcb) || (lcb - 4) % 8 != 0) {
        inventory_.warnings.push_back(paragraphs ? "paragraph properties are missing" : "character properties are missing");
        return;
    }
    const std::size_t n = (lcb - 4) / 8;
    std::vector<bool> seenPage;
    for (std::size_t i = 0; i < n; ++i) {
        const std::uint32_t pn = u32At(t, fc + 4 * (n + 1) + 4 * i) & 0x3FFFFF;
        const std::size_t page = std::size_t(pn) * 512;
        if (!fits(w.size(), page, 512)) {
            inventory_.warnings.push_back("a property page lies outside the WordDocument stream");
            continue;
        }
        const std::size_t count = u8At(w, page + 511);
        if (count == 0 || 4 * (count + 1) > 511) {
            inventory_.warnings.push_back("a property page is broken");
            continue;
        }
        for (std::size_t r = 0; r < count; ++r) {
            PropertyRun run;
            run.fcStart = u32At(w, page + 4 * r);
            run.fcEnd = u32At(w, page + 4 * (r + 1));
            run.grpprlBegin = run.grpprlEnd = 0;
            if (!paragraphs) {
                const std::size_t bAt = page + 4 * (count + 1) + r;
                const std::size_t b = bAt < page + 511 ? u8At(w, bAt) : 0;
                if (b != 0) {
                    const std::size_t at = page + 2 * b;
                    if (at < page + 511) {
                        const std::size_t cb = u8At(w, at);
                        run.grpprlBegin = at + 1;
                        run.grpprlEnd = std::min(at + 1 + cb, page + 511);
                    }
                }
            } else {
                const std::size_t bxAt = page + 4 * (count + 1) + 13 * r;
                if (bxAt >= page + 511)
                    continue;
                const std::size_t b = u8At(w, bxAt);
                if (b != 0) {
                    std::size_t at = page + 2 * b;
                    if (at + 1 < page + 511) {
                        std::size_t len = u8At(w, at);
                        if (len == 0) {
                            len = 2 * std::size_t(u8At(w, at + 1));
                            at += 2;
                        } else {
                            len = 2 * len - 1;
                            at += 1;
                        }
                        // Skip the style index in front of the sprms.
                        if (len >= 2 && at + 2 <= page + 511) {
                            run.grpprlBegin = at + 2;
                            run.grpprlEnd = std::min(at + len, page + 511);
                        }
                    }
                }
            }
            if (run.fcEnd > run.fcStart)
                out.push_back(run);
        }
    }
    std::sort(out.begin(), out.end(), [](const PropertyRun& a, const PropertyRun& b) { return a.fcStart < b.fcStart; });
}

const DocDocument::PropertyRun* DocDocument::runAt(const std::vector<PropertyRun>& runs, std::uint32_t fc) const
{
    auto it = std::upper_bound(runs.begin(), runs.end(), fc,
                               [](std::uint32_t v, const PropertyRun& r) { return v < r.fcStart; });
    if (it == runs.begin())
        return nullptr;
    --it;
    return fc < it->fcEnd ? &*it : nullptr;
}

std::uint32_t DocDocument::fcOfCp(std::uint32_t cp, bool* ok) const
{
    auto it = std::upper_bound(pieces_.begin(), pieces_.end(), cp,
                               [](std::uint32_t v, const Piece& p) { return v < p.cpEnd; });
    if (it == pieces_.end() || cp < it->cpStart) {
        if (ok)
            *ok = false;
        return 0;
    }
    if (ok)
        *ok = true;
    return it->fc + (cp - it->cpStart) * (it->compressed ? 1 : 2);
}

StoryKind DocDocument::storyOf(std::uint32_t cp) const
{
    static const StoryKind kinds[] = {StoryKind::Main, StoryKind::Footnote, StoryKind::Header, StoryKind::Other,
                                      StoryKind::Comment, StoryKind::Endnote, StoryKind::Textbox,
                                      StoryKind::HeaderTextbox};
    std::uint64_t start = 0;
    for (int i = 0; i < 8; ++i) {
        start += fib_.ccp[i];
        if (cp < start)
            return kinds[i];
    }
    return StoryKind::Other;
}

namespace {

CharProps charPropsAt(const DocDocument& d, const std::vector<DocDocument::Piece>& pieces,
                      const std::vector<std::pair<std::size_t, std::size_t>>& prc,
                      const DocDocument::PropertyRun* run, std::string_view w, std::string_view t, std::uint32_t cp)
{
    (void)d;
    CharProps p;
    if (run && run->grpprlEnd > run->grpprlBegin)
        applyChar(w, Sprm::list(w, run->grpprlBegin, run->grpprlEnd), p);
    auto it = std::upper_bound(pieces.begin(), pieces.end(), cp,
                               [](std::uint32_t v, const DocDocument::Piece& x) { return v < x.cpEnd; });
    if (it != pieces.end() && (it->prm & 1)) {
        const std::size_t g = it->prm >> 1;
        if (g < prc.size())
            applyChar(t, Sprm::list(t, prc[g].first, prc[g].second), p);
    }
    return p;
}

}  // namespace

void DocDocument::readInlinePictures()
{
    const std::string_view w = stream("WordDocument");
    const std::string_view t = stream(tableName().c_str());
    const std::string_view data = stream("Data");
    for (std::uint32_t cp = 0; cp < text_.size(); ++cp) {
        if (text_[cp] != 0x01)
            continue;
        bool ok = false;
        const std::uint32_t fc = fcOfCp(cp, &ok);
        if (!ok)
            continue;
        const CharProps props = charPropsAt(*this, pieces_, prcGroups_, runAt(chpRuns_, fc), w, t, cp);
        if (!props.picLocation || props.data || props.ole2)
            continue;
        const std::uint32_t off = *props.picLocation;
        if (!fits(data.size(), off, 68)) {
            inventory_.warnings.push_back("a picture lies outside the Data stream");
            continue;
        }
        InlinePicture pic;
        pic.cp = cp;
        pic.story = storyOf(cp);
        pic.dataOffset = off;
        pic.blockLength = u32At(data, off);
        const std::uint16_t cbHeader = u16At(data, off + 4);
        if (pic.blockLength < 68 || !fits(data.size(), off, pic.blockLength) || cbHeader < 68 || cbHeader > pic.blockLength) {
            inventory_.warnings.push_back("a picture header is broken");
            continue;
        }
        pic.mappingMode = u16At(data, off + 6);
        pic.dxaGoal = i16At(data, off + 0x1C);
        pic.dyaGoal = i16At(data, off + 0x1E);
        pic.mx = u16At(data, off + 0x20);
        pic.my = u16At(data, off + 0x22);
        pic.cropLeft = i16At(data, off + 0x24);
        pic.cropTop = i16At(data, off + 0x26);
        pic.cropRight = i16At(data, off + 0x28);
        pic.cropBottom = i16At(data, off + 0x2A);
        for (int i = 0; i < 4; ++i)
            pic.borders[i] = u32At(data, off + 0x2E + 4 * i);
        pic.widthTwips = static_cast<std::int32_t>(
            std::lround((pic.dxaGoal - pic.cropLeft - pic.cropRight) * static_cast<double>(pic.mx) / 1000.0));
        pic.heightTwips = static_cast<std::int32_t>(
            std::lround((pic.dyaGoal - pic.cropTop - pic.cropBottom) * static_cast<double>(pic.my) / 1000.0));
        const std::size_t end = std::size_t(off) + pic.blockLength;
        if (pic.mappingMode == 0x64 || pic.mappingMode == 0x66) {
            std::size_t at = std::size_t(off) + cbHeader;
            if (pic.mappingMode == 0x66 && at < end)
                at += 1 + u8At(data, at);
            bool damaged = false;
            const auto records = OfficeArtRecord::parseSequence(data, at, end, &damaged);
            for (const OfficeArtRecord& r : records) {
                if (r.type == 0xF004) {
                    ShapeNode n;
                    readShape(data, r, n);
                    pic.oleShape = (n.flags & 0x10) != 0;
                    // cropFromLeft, cropFromTop, cropFromRight, cropFromBottom: 16.16 fractions.
                    const std::uint16_t ids[4] = {0x0102, 0x0100, 0x0103, 0x0101};
                    for (int side = 0; side < 4; ++side)
                        if (auto v = n.props.value(ids[side]))
                            pic.shapeCrop[static_cast<std::size_t>(side)] =
                                std::clamp(static_cast<std::int32_t>(*v) / 65536.0, -10.0, 1.0);
                    pic.name = n.props.text(0x0380);
                    if (auto f = n.props.value(0x0106); f && (*f & 0x8))
                        pic.linked = true;
                    if (const auto* pib = n.props.find(0x0104); pib && pib->isBlip && pib->value != 0)
                        pic.blipReferenced = true;
                    pic.horizontalRule = n.props.flag(kGroupBooleans, kHorizontalRuleBit);
                    pic.bullet = n.props.flag(kGroupBooleans, kBulletBit);
                } else if (r.type == 0xF007 && !pic.picture) {
                    pic.blipReferenced = true;
                    const std::size_t b = r.bodyOffset();
                    if (r.length >= 36) {
                        const std::size_t blipAt = b + 36 + u8At(data, b + 33);
                        if (blipAt < r.end())
                            pic.picture = Blip::decode(data, blipAt, r.end());
                    }
                } else if (Blip::isBlipType(r.type) && !pic.picture) {
                    pic.blipReferenced = true;
                    pic.picture = Blip::decode(data, r.offset, r.end());
                }
            }
            // A drawing that holds no picture (a horizontal line, WordArt, the
            // stand-in of a drawing) has nothing to read; a picture that
            // should have data does.
            if (!pic.picture && !pic.linked && pic.blipReferenced)
                inventory_.warnings.push_back("an inline picture has no readable picture data");
        } else {
            // An old-style picture: a bare Windows metafile follows the header.
            PictureData legacy;
            legacy.format = PictureFormat::Wmf;
            legacy.bytes =
                std::make_shared<const std::string>(data.substr(std::size_t(off) + cbHeader, end - off - cbHeader));
            legacy.recordSize = static_cast<std::uint32_t>(legacy.bytes->size());
            pic.picture = std::move(legacy);
        }
        inventory_.pictures.push_back(std::move(pic));
    }
}

void DocDocument::readFields()
{
    const std::string_view w = stream("WordDocument");
    const std::string_view t = stream(tableName().c_str());
    struct Open {
        std::uint32_t begin;
        std::uint32_t sep = 0;
        bool hasSep = false;
        std::u16string code;
    };
    std::vector<Open> stack;
    for (std::uint32_t cp = 0; cp < text_.size(); ++cp) {
        const char16_t c = text_[cp];
        if (c == 0x13) {
            if (stack.size() < 64)
                stack.push_back(Open{cp, 0, false, {}});
        } else if (c == 0x14 && !stack.empty()) {
            stack.back().sep = cp;
            stack.back().hasSep = true;
        } else if (c == 0x15 && !stack.empty()) {
            Open f = std::move(stack.back());
            stack.pop_back();
            std::string rest;
            const std::string code = trim(TextCodec::utf16ToUtf8(f.code));
            const std::string keyword = firstWordUpper(code, &rest);
            if (keyword != "EMBED" && keyword != "LINK")
                continue;
            EmbeddedObject o;
            o.fieldBegin = f.begin;
            o.separator = f.hasSep ? f.sep : cp;
            o.fieldEnd = cp;
            o.instruction = code;
            o.linked = keyword == "LINK";
            // The class name follows the keyword, perhaps quoted; a switch is none.
            o.progId = rest.substr(0, rest.find(' '));
            if (o.progId.size() >= 2 && o.progId.front() == '"' && o.progId.back() == '"')
                o.progId = o.progId.substr(1, o.progId.size() - 2);
            if (!o.progId.empty() && o.progId.front() == '\\')
                o.progId.clear();
            // The storage number sits on the separator (or on a picture character of the result).
            for (std::uint32_t k = o.separator; k < cp && !o.hasStorage; ++k) {
                if (text_[k] != 0x14 && text_[k] != 0x01)
                    continue;
                bool ok = false;
                const std::uint32_t fc = fcOfCp(k, &ok);
                if (!ok)
                    continue;
                const CharProps p = charPropsAt(*this, pieces_, prcGroups_, runAt(chpRuns_, fc), w, t, k);
                if (p.ole2 && p.picLocation) {
                    o.storageId = *p.picLocation;
                    o.hasStorage = true;
                }
            }
            if (o.hasStorage) {
                const CompoundEntry* pool = file_->root.child("ObjectPool");
                const CompoundEntry* st = pool ? pool->child("_" + std::to_string(o.storageId)) : nullptr;
                if (st && st->isStorage) {
                    if (const CompoundEntry* co = st->child("\001CompObj"); co && !co->isStorage) {
                        const CompObj info = CompObj::parse(co->data);
                        if (!info.progId.empty())
                            o.progId = info.progId;
                        o.userType = info.userType;
                    }
                    if (o.progId.empty())
                        o.progId = progIdOfClass(st->classId, o.userType);
                    if (const CompoundEntry* oi = st->child("\003ObjInfo"); oi && !oi->isStorage && !oi->data.empty())
                        o.iconic = (static_cast<unsigned char>(oi->data[0]) & 0x40) != 0;
                    o.storagePicture = storagePictureOf(*st);
                } else {
                    o.hasStorage = false;
                    inventory_.warnings.push_back("an embedded object's storage is missing");
                }
            }
            for (std::size_t i = 0; i < inventory_.pictures.size(); ++i) {
                InlinePicture& p = inventory_.pictures[i];
                if (p.cp > o.separator && p.cp < o.fieldEnd && p.objectIndex < 0) {
                    p.objectIndex = static_cast<int>(inventory_.objects.size());
                    o.resultPicture = static_cast<int>(i);
                    break;
                }
            }
            // Without a picture of the Data stream the result shows the one in
            // the storage, through a picture character naming the storage.
            if (o.storagePicture && o.resultPicture < 0) {
                bool found = false;
                for (std::uint32_t k = o.separator + 1; k < o.fieldEnd && !found; ++k) {
                    bool ok = false;
                    const std::uint32_t fc = text_[k] == 0x01 ? fcOfCp(k, &ok) : 0;
                    if (ok && charPropsAt(*this, pieces_, prcGroups_, runAt(chpRuns_, fc), w, t, k).ole2) {
                        o.storagePicture->cp = k;
                        found = true;
                    }
                }
                if (!found)
                    o.storagePicture.reset();
            } else {
                o.storagePicture.reset();
            }
            inventory_.objects.push_back(std::move(o));
        } else if (!stack.empty() && !stack.back().hasSep && c >= 0x20 && stack.back().code.size() < 4096) {
            stack.back().code.push_back(c);
        }
    }
    std::sort(inventory_.objects.begin(), inventory_.objects.end(),
              [](const EmbeddedObject& a, const EmbeddedObject& b) { return a.fieldBegin < b.fieldBegin; });
    for (std::size_t i = 0; i < inventory_.objects.size(); ++i)
        if (inventory_.objects[i].resultPicture >= 0)
            inventory_.pictures[static_cast<std::size_t>(inventory_.objects[i].resultPicture)].objectIndex = static_cast<int>(i);
}

void DocDocument::readPageBreaksAndFrames()
{
    const std::string_view w = stream("WordDocument");
    const std::string_view t = stream(tableName().c_str());
    // Section ends and whether each starts a new page.
    std::map<std::uint32_t, bool> sectionEnds;
    const std::uint32_t f = fib_.fc(Fib::kPlcfSed), l = fib_.lcb(Fib::kPlcfSed);
    if (l >= 4 + 12 && fits(t.size(), f, l)) {
        const std::size_t n = (l - 4) / 16;
        for (std::size_t i = 0; i < n; ++i) {
            const std::uint32_t cpEnd = u32At(t, f + 4 * (i + 1));
            const std::uint32_t fcSepx = u32At(t, f + 4 * (n + 1) + 12 * i + 2);
            std::uint8_t bkc = 2;
            if (fcSepx != 0xFFFFFFFF && fits(w.size(), fcSepx, 2)) {
                const std::size_t cb = u16At(w, fcSepx);
                if (fits(w.size(), std::size_t(fcSepx) + 2, cb))
                    for (const Sprm& s : Sprm::list(w, std::size_t(fcSepx) + 2, std::size_t(fcSepx) + 2 + cb))
                        if (s.opcode == Sprm::kSBkc)
                            bkc = u8At(w, s.operand);
            }
            sectionEnds[cpEnd] = bkc >= 2;
        }
    }
    const std::uint32_t mainEnd = std::min<std::uint32_t>(fib_.ccp[0], static_cast<std::uint32_t>(text_.size()));
    for (std::uint32_t cp = 0; cp < mainEnd; ++cp) {
        if (text_[cp] != 0x0C)
            continue;
        auto s = sectionEnds.find(cp + 1);
        if (s == sectionEnds.end())
            inventory_.pageBreaks.push_back({cp, PageBreakKind::Character});
        else if (s->second && cp + 1 < mainEnd)
            inventory_.pageBreaks.push_back({cp, PageBreakKind::Section});
    }
    // Paragraphs with "page break before" and framed paragraphs, found by FC.
    auto cpOfFc = [&](std::uint32_t fc, std::uint32_t* cp) {
        for (const Piece& p : pieces_) {
            const std::uint64_t len = std::uint64_t(p.cpEnd - p.cpStart) * (p.compressed ? 1 : 2);
            if (fc >= p.fc && fc < p.fc + len) {
                *cp = p.cpStart + (fc - p.fc) / (p.compressed ? 1 : 2);
                return true;
            }
        }
        return false;
    };
    for (const PropertyRun& r : papRuns_) {
        if (r.grpprlEnd <= r.grpprlBegin)
            continue;
        for (const Sprm& s : Sprm::list(w, r.grpprlBegin, r.grpprlEnd)) {
            if (s.opcode == Sprm::kPFPageBreakBefore && u8At(w, s.operand) == 1) {
                std::uint32_t cp = 0;
                if (cpOfFc(r.fcStart, &cp) && cp < mainEnd && cp > 0)
                    inventory_.pageBreaks.push_back({cp, PageBreakKind::ParagraphBefore});
            }
        }
    }
    std::sort(inventory_.pageBreaks.begin(), inventory_.pageBreaks.end(),
              [](const PageBreak& a, const PageBreak& b) { return a.cp < b.cp; });
    for (InlinePicture& pic : inventory_.pictures)
        pic.frame = frameAt(pic.cp);
}

std::optional<FrameInfo> DocDocument::frameAt(std::uint32_t cp) const
{
    const std::string_view w = stream("WordDocument");
    bool ok = false;
    const std::uint32_t fc = fcOfCp(cp, &ok);
    const PropertyRun* r = ok ? runAt(papRuns_, fc) : nullptr;
    if (!r || r->grpprlEnd <= r->grpprlBegin)
        return std::nullopt;
    FrameInfo fr;
    bool framed = false;
    for (const Sprm& s : Sprm::list(w, r->grpprlBegin, r->grpprlEnd)) {
        switch (s.opcode) {
        case Sprm::kPDxaAbs: fr.xTwips = i16At(w, s.operand); framed = true; break;
        case Sprm::kPDyaAbs: fr.yTwips = i16At(w, s.operand); framed = true; break;
        case Sprm::kPDxaWidth: fr.widthTwips = i16At(w, s.operand); framed = true; break;
        case Sprm::kPWHeightAbs: fr.heightTwips = u16At(w, s.operand); framed = true; break;
        case Sprm::kPWr: fr.wrap = u8At(w, s.operand); framed = true; break;
        case Sprm::kPPc: fr.anchoring = u8At(w, s.operand); framed = true; break;
        default: break;
        }
    }
    if (!framed)
        return std::nullopt;
    return fr;
}

std::string DocDocument::mainText() const
{
    std::u16string out;
    const std::uint32_t mainEnd = std::min<std::uint32_t>(fib_.ccp[0], static_cast<std::uint32_t>(text_.size()));
    int inCode = 0;
    std::vector<bool> codeStack;
    for (std::uint32_t cp = 0; cp < mainEnd; ++cp) {
        const char16_t c = text_[cp];
        if (c == 0x13) {
            codeStack.push_back(true);
            ++inCode;
            continue;
        }
        if (c == 0x14) {
            if (!codeStack.empty() && codeStack.back()) {
                codeStack.back() = false;
                --inCode;
            }
            continue;
        }
        if (c == 0x15) {
            if (!codeStack.empty()) {
                if (codeStack.back())
                    --inCode;
                codeStack.pop_back();
            }
            continue;
        }
        if (inCode > 0)
            continue;
        if (c == 0x0D || c == 0x0B || c == 0x0C)
            out.push_back(u'\n');
        else if (c == 0x07 || c == 0x09)
            out.push_back(u'\t');
        else if (c >= 0x20)
            out.push_back(c);
    }
    return TextCodec::utf16ToUtf8(out);
}

}  // namespace kelvaran::formats::doc
