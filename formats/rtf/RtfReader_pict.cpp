// The RTF reader: picture groups, {\pict} and {\*\shppict}.

#include "formats/rtf/RtfReaderImpl.h"

#include "formats/rtf/RtfPicture.h"
#include "platform/LargeBuffers.h"
#include "platform/PagesAhead.h"

#include <algorithm>
#include <cmath>
#include <optional>

namespace kelvaran::formats::rtf::detail {

namespace {

// What the words and the data of a {\pict} group say, as they are read.
struct PictRead {
    std::string data;
    int pendingDigit = -1;
    bool badData = false;
    bool sawHex = false;
    bool sawBin = false;
    model::PictureFormat type = model::PictureFormat::Unknown;
    bool typeWord = false;
    bool wbitmap = false;
    std::int64_t picw = 0, pich = 0;
    int scaleX = 100, scaleY = 100;
    int wbmBits = 0, wbmWidthBytes = 0;
    int borderSide = -1;
};

// The lines of a picture's hex are decoded this many bytes of the file at a time.
constexpr std::size_t kHexPiece = std::size_t{1} << 16;

// Decodes the digits of `text` after those of `r.data`, into room made
// beforehand up to `to`.  Digits come in pairs nearly always: a pair is one
// look-up each and one byte written, with nothing but locals in the loop;
// blanks and a digit left over from the text before take the careful way.
// Returns where the first byte that is neither digit nor blank stands
// (text.size() when there is none).
std::size_t decodeHex(std::string_view text, PictRead& r, char*& to) {
    const auto* const first = reinterpret_cast<const unsigned char*>(text.data());
    const auto* at = first;
    const auto* const end = at + text.size();
    const auto& value = kHex.value;
    while (at < end) {
        if (r.pendingDigit < 0) {
            char* const from = to;
            while (end - at >= 2) {
                const int high = value[at[0]];
                const int low = value[at[1]];
                if ((high | low) < 0) break;
                *to++ = static_cast<char>(high << 4 | low);
                at += 2;
            }
            if (to != from) r.sawHex = true;
            if (at == end) break;
        }
        const int digit = value[*at];
        if (digit == -1) break;
        ++at;
        if (digit == -2) continue;
        r.sawHex = true;
        if (r.pendingDigit < 0) {
            r.pendingDigit = digit;
        } else {
            *to++ = static_cast<char>(r.pendingDigit * 16 + digit);
            r.pendingDigit = -1;
        }
    }
    return static_cast<std::size_t>(at - first);
}

// Room in `r.data` for the bytes of up to `digits` more digits; where they go.
// The pages of room made beforehand may be being touched ahead (`ahead`):
// what is written is claimed first, and room beyond it stops that first.
char* hexRoom(PictRead& r, std::size_t digits, std::optional<platform::PagesAhead>& ahead) {
    const std::size_t start = r.data.size();
    const std::size_t room = start + digits / 2 + 1;
    if (ahead) {
        if (room > r.data.capacity()) {
            ahead.reset();
        } else {
            ahead->claim(r.data.data() + room);
        }
    }
    r.data.resize(room);
    return r.data.data() + start;
}

// A run of text of the picture: digits and blanks, anything else damages it.
// `in` is the whole file.  At the first digits, room is made for the whole
// run, and its pages are touched ahead while `ahead` is held.
void readPictHex(const Token& token, std::string_view in, PictRead& r, std::optional<platform::PagesAhead>& ahead) {
    if (r.sawBin) return;
    if (!r.sawHex) {
        // The hex runs to the group's end, in lines: room for all of it at
        // once (in large pages when it is large) instead of growing a
        // picture of megabytes step by step.
        // The room readPictHexLines makes a piece at a time is included.
        const std::size_t close = in.find('}', token.begin);
        if (close != std::string::npos) {
            platform::reserveLarge(r.data, (close - token.begin) / 2 + 1 + kHexPiece / 2 + 1);
            ahead.emplace(r.data.data() + r.data.size(), r.data.capacity() - r.data.size());
        }
    }
    char* to = hexRoom(r, token.data.size(), ahead);
    if (decodeHex(token.data, r, to) < token.data.size()) r.badData = true;
    r.data.resize(static_cast<std::size_t>(to - r.data.data()));
}

// The lines of hex after a run of text of the picture, read straight from
// the file at `from` without a token for each line: digits, blanks and line
// ends up to the first byte that is none of them, where the tokens go on.
// Returns where that byte stands.
std::size_t readPictHexLines(std::string_view in, std::size_t from, PictRead& r,
                             std::optional<platform::PagesAhead>& ahead) {
    if (r.sawBin) return from;
    // Piece by piece, so that room is made for what is there and no more,
    // without looking ahead for the end first.
    std::size_t at = from;
    while (at < in.size()) {
        const std::size_t piece = std::min(in.size() - at, kHexPiece);
        char* to = hexRoom(r, piece, ahead);
        const std::size_t used = decodeHex(in.substr(at, piece), r, to);
        r.data.resize(static_cast<std::size_t>(to - r.data.data()));
        at += used;
        if (used < piece) break;
    }
    return at;
}

// A border word of the picture, after \brdrt, \brdrl, \brdrb, \brdrr or \box.
void readPictBorderWord(std::string_view w, std::int32_t p, int borderSide, model::Borders& borders) {
    for (int s = 0; s < 4; ++s) {
        if (borderSide != 4 && borderSide != s) continue;
        auto& side = borders.sides[static_cast<std::size_t>(s)];
        if (w == "brdrw") side.widthEighths = std::clamp(p * 8 / 20, 1, 48);
        else if (w == "brdrcf") side.colourIndex = std::clamp(p, 0, 16);
        else if (w == "brdrdot") side.style = 2;
        else if (w == "brdrdash") side.style = 3;
        else if (w == "brdrdb") side.style = 7;
        else if (w == "brdrnone") side.visible = false, side.style = 0;
        else if (w == "brdrsh") borders.shadow = true;
    }
}

// A control word of a {\pict} group: the data in binary, the type, the
// size, the cropping, the borders.
void readPictWord(const Token& token, PictRead& r, PictInfo& info) {
    auto& d = info.detail;
    const auto w = token.word;
    const std::int32_t p = token.parameter;
    const model::ByteRange range{static_cast<std::int64_t>(token.begin), static_cast<std::int64_t>(token.end)};
    if (w == "bin") {
        if (r.sawHex || r.sawBin || token.truncated) r.badData = true;
        r.sawBin = true;
        r.data.assign(token.data);
    } else if (w == "pngblip") {
        r.type = model::PictureFormat::Png, r.typeWord = true;
    } else if (w == "jpegblip") {
        r.type = model::PictureFormat::Jpeg, r.typeWord = true;
    } else if (w == "emfblip") {
        r.type = model::PictureFormat::Emf, r.typeWord = true;
    } else if (w == "wmetafile") {
        r.type = model::PictureFormat::Wmf, r.typeWord = true;
    } else if (w == "dibitmap") {
        r.type = model::PictureFormat::Dib, r.typeWord = true;
    } else if (w == "wbitmap") {
        r.type = model::PictureFormat::Dib, r.typeWord = true, r.wbitmap = true;
    } else if (w == "macpict") {
        r.type = model::PictureFormat::Pict, r.typeWord = true;
    } else if (w == "pmmetafile") {
        r.type = model::PictureFormat::Unknown, r.typeWord = true;
    } else if (w == "picw") {
        r.picw = p;
    } else if (w == "pich") {
        r.pich = p;
    } else if (w == "picwgoal") {
        d.goalWidth = p;
        d.sizeWords.push_back(range);
    } else if (w == "pichgoal") {
        d.goalHeight = p;
        d.sizeWords.push_back(range);
    } else if (w == "picscalex") {
        r.scaleX = p;
        d.sizeWords.push_back(range);
    } else if (w == "picscaley") {
        r.scaleY = p;
        d.sizeWords.push_back(range);
    } else if (w == "piccropl") {
        d.cropLeft = p;
        d.sizeWords.push_back(range);
    } else if (w == "piccropr") {
        d.cropRight = p;
        d.sizeWords.push_back(range);
    } else if (w == "piccropt") {
        d.cropTop = p;
        d.sizeWords.push_back(range);
    } else if (w == "piccropb") {
        d.cropBottom = p;
        d.sizeWords.push_back(range);
    } else if (w == "wbmbitspixel") {
        r.wbmBits = p;
    } else if (w == "wbmwidthbytes") {
        r.wbmWidthBytes = p;
    } else if (w == "brdrt" || w == "brdrl" || w == "brdrb" || w == "brdrr" || w == "box") {
        r.borderSide = w == "brdrt" ? 0 : w == "brdrl" ? 1 : w == "brdrb" ? 2 : w == "brdrr" ? 3 : 4;
        d.sizeWords.push_back(range);
        for (int s = 0; s < 4; ++s) {
            if (r.borderSide == 4 || r.borderSide == s) {
                info.borders.sides[static_cast<std::size_t>(s)].visible = true;
                info.borders.sides[static_cast<std::size_t>(s)].style = 1;
            }
        }
    } else if (w.substr(0, 4) == "brdr" && r.borderSide >= 0) {
        d.sizeWords.push_back(range);
        readPictBorderWord(w, p, r.borderSide, info.borders);
    }
}

// A device-dependent bitmap given the header of a top-down DIB; the reason
// when it cannot be read.  Every size the group declares is checked against
// the data it holds before anything is allocated: each row must fit in the
// declared row length and every row must be there, so the bitmap made here
// is never larger than its data by more than the padding of its rows.
std::string deviceBitmapAsDib(PictRead& r) {
    const std::int64_t picw = r.picw, pich = r.pich;
    const std::int64_t bits = r.wbmBits, widthBytes = r.wbmWidthBytes;
    const std::string& data = r.data;
    if (bits != 24 && bits != 32 && bits != 1) return "a device-dependent bitmap has an unknown depth";
    if (picw <= 0 || pich <= 0 || picw > 65535 || pich > 65535 || widthBytes <= 0)
        return "a device-dependent bitmap has no usable size";
    if (widthBytes < (picw * bits + 7) / 8) return "a device-dependent bitmap declares rows shorter than its width";
    if (widthBytes * pich > static_cast<std::int64_t>(data.size()))
        return "a device-dependent bitmap declares more rows than its data holds";
    const std::size_t stride = static_cast<std::size_t>((picw * bits + 31) / 32 * 4);
    std::string dib;
    dib.reserve(48 + stride * static_cast<std::size_t>(pich));
    auto put32 = [&dib](std::uint32_t v) {
        for (int i = 0; i < 4; ++i) dib += static_cast<char>((v >> (8 * i)) & 0xFF);
    };
    put32(40);
    put32(static_cast<std::uint32_t>(picw));
    put32(static_cast<std::uint32_t>(-static_cast<std::int32_t>(pich)));
    dib += '\x01', dib += '\0';
    dib += static_cast<char>(bits), dib += '\0';
    for (int i = 0; i < 6; ++i) put32(0);
    if (bits == 1) put32(0), put32(0x00FFFFFF);
    const std::string_view rows(data);
    const std::size_t kept = std::min(stride, static_cast<std::size_t>(widthBytes));
    for (std::int64_t row = 0; row < pich; ++row) {
        dib += rows.substr(static_cast<std::size_t>(row * widthBytes), kept);
        dib.append(stride - kept, '\0');
    }
    r.data = std::move(dib);
    return {};
}

// The picture's type, data, natural and displayed size from what its group
// said; `r.data` holds the picture.
void finishPicture(PictRead& r, PictInfo& info) {
    auto& d = info.detail;
    model::PictureFormat type = r.type;
    if (!r.typeWord || type == model::PictureFormat::Unknown) {
        const auto sniffed = sniffPicture(r.data);
        if (sniffed != model::PictureFormat::Unknown) type = sniffed;
    }
    // Natural size, in twips.
    double naturalW = d.goalWidth;
    double naturalH = d.goalHeight;
    int pixelW = 0, pixelH = 0;
    if (r.wbitmap) {
        if (std::string why = deviceBitmapAsDib(r); !why.empty()) {
            info.problem = why;
            return;
        }
    }
    std::string& data = r.data;
    const std::int64_t picw = r.picw, pich = r.pich;
    if (picturePixelSize(type, data, pixelW, pixelH)) {
        info.data.pixelWidth = pixelW;
        info.data.pixelHeight = pixelH;
    }
    const bool metafile = type == model::PictureFormat::Wmf || type == model::PictureFormat::Emf ||
                          type == model::PictureFormat::Pict;
    if (naturalW <= 0) {
        if (metafile && picw > 0) naturalW = picw * 1440.0 / 2540.0;
        else if (pixelW > 0) naturalW = pixelW * 15.0;
        else if (picw > 0) naturalW = picw * 15.0;
    }
    if (naturalH <= 0) {
        if (metafile && pich > 0) naturalH = pich * 1440.0 / 2540.0;
        else if (pixelH > 0) naturalH = pixelH * 15.0;
        else if (pich > 0) naturalH = pich * 15.0;
    }
    if (type == model::PictureFormat::Wmf && !(data.size() >= 4 && static_cast<unsigned char>(data[0]) == 0xD7 &&
                                               static_cast<unsigned char>(data[1]) == 0xCD)) {
        data = withPlaceableHeader(data, std::llround(naturalW), std::llround(naturalH));
    }
    info.data.type = type;
    info.data.bytes = model::shareBytes(std::move(data));
    info.data.naturalWidthPt = twipsToPt(naturalW);
    info.data.naturalHeightPt = twipsToPt(naturalH);
    if (naturalW > 0 && naturalH > 0) {
        info.data.crop.left = d.cropLeft / naturalW;
        info.data.crop.right = d.cropRight / naturalW;
        info.data.crop.top = d.cropTop / naturalH;
        info.data.crop.bottom = d.cropBottom / naturalH;
    }
    int scaleX = r.scaleX, scaleY = r.scaleY;
    if (scaleX <= 0) scaleX = 100;
    if (scaleY <= 0) scaleY = 100;
    info.widthPt = std::max(0.0, twipsToPt(naturalW - d.cropLeft - d.cropRight) * scaleX / 100.0);
    info.heightPt = std::max(0.0, twipsToPt(naturalH - d.cropTop - d.cropBottom) * scaleY / 100.0);
    info.usable = type != model::PictureFormat::Unknown && info.widthPt > 0 && info.heightPt > 0;
    if (!info.usable) info.problem = "a picture of unknown type or without a size was left as it is";
}

// An inline picture of the text, from a picture group read.
model::InlineObject inlinePicture(const PictInfo& picture, model::ByteRange range) {
    model::InlineObject object;
    object.picture = picture.data;
    object.widthPt = picture.widthPt;
    object.heightPt = picture.heightPt;
    object.borders = picture.borders;
    object.origin.range = range;
    InlineDetail detail;
    detail.hasPict = true;
    detail.pict = picture.detail;
    object.origin.detail = detail;
    return object;
}

// Whether a {\*\picprop} group says its picture stands for a horizontal
// rule ({\sp{\sn fHorizRule}{\sv 1}}).
bool horizontalRule(std::string_view group) {
    if (group.find("picprop") == std::string_view::npos) return false;
    const std::size_t name = group.find("fHorizRule}");
    if (name == std::string_view::npos) return false;
    const std::size_t value = group.find("\\sv", name);
    if (value == std::string_view::npos) return false;
    std::size_t at = value + 3;
    while (at < group.size() && group[at] == ' ') ++at;
    return at < group.size() && group[at] >= '1' && group[at] <= '9';
}

}  // namespace

PictInfo Reader::parsePict(const Token& open, const Token& word) {
    PictInfo info;
    bool rule = false;
    info.detail.afterPictWord = word.end;
    PictRead r;
    const std::size_t end = walkGroup([&](const Token& token) { readPictWord(token, r, info); },
                                      [&](const Token& token) {
                                          // Ends before anything else is done with the picture's bytes.
                                          std::optional<platform::PagesAhead> ahead;
                                          readPictHex(token, in_, r, ahead);
                                          if (!pushed_) {
                                              tok_.moveTo(readPictHexLines(in_, tok_.position(), r, ahead));
                                              lastEnd_ = tok_.position();
                                          }
                                      },
                                      [&](const Token& inner) {
                                          // Binary data may come in a group of its own ("{\bin1374 ...}");
                                          // \*\picprop, \*\blipuid and the like are passed over.
                                          const Token first = next();
                                          if (first.is("bin")) {
                                              readPictWord(first, r, info);
                                              skipGroup();
                                          } else {
                                              skipRest(first);
                                              if (first.isSymbol('*') &&
                                                  horizontalRule(in_.substr(inner.begin, lastEnd_ - inner.begin))) {
                                                  rule = true;
                                              }
                                          }
                                      });
    info.detail.pict = {static_cast<std::int64_t>(open.begin), static_cast<std::int64_t>(end)};
    if (r.pendingDigit >= 0) r.badData = true;
    info.borders.enable = info.borders.anyVisible();
    if (r.badData) {
        info.problem = "a picture's data is damaged";
        return info;
    }
    if (r.data.empty()) {
        info.problem = "a picture holds no data";
        return info;
    }
    finishPicture(r, info);
    if (rule) {
        // Readers draw a horizontal rule as a line across the text, not as
        // this picture: it is no picture to convert, and its bytes stay.
        info.usable = false;
        info.problem.clear();
    }
    return info;
}

std::optional<PictInfo> Reader::parseShpPict() {
    std::optional<PictInfo> found;
    walkGroup(ignore, ignore, [&](const Token& token) {
        const Token word = next();
        if (word.is("pict") && !found) {
            found = parsePict(token, word);
        } else {
            skipRest(word);
        }
    });
    return found;
}

void Reader::readShppictGroup(const Token& open, const State& state, int story, Collected* collect) {
    std::optional<PictInfo> picture = parseShpPict();
    const std::size_t end = tok_.position();
    lastShppictGroupEnd_ = end;
    if (collect) {
        if (!collect->picture && picture) collect->picture = std::move(picture);
        return;
    }
    if (story < 0 || state.linkedPicture) return;
    if (!picture || !picture->usable) {
        if (picture && !picture->problem.empty()) warn(picture->problem);
        return;
    }
    addInline(story, inlinePicture(*picture, {static_cast<std::int64_t>(open.begin), static_cast<std::int64_t>(end)}));
    lastShppict_ = static_cast<int>(doc_.inlines.size()) - 1;
    lastShppictEnd_ = end;
}

// The picture for readers without \shppict, right after one: kept with it,
// and noted as a fallback picture a writer may leave out.
void Reader::readNonShppictGroup(const Token& open, Collected* collect) {
    const std::size_t end = skipGroup();
    auto blanksOnlyFrom = [&](std::size_t from) {
        bool adjacent = open.begin >= from;
        for (std::size_t i = from; adjacent && i < open.begin; ++i) {
            const char c = in_[i];
            adjacent = c == '\r' || c == '\n' || c == ' ' || c == '\t';
        }
        return adjacent;
    };
    if (lastShppictGroupEnd_ && blanksOnlyFrom(*lastShppictGroupEnd_)) {
        doc_.fallbackPictures.push_back({static_cast<std::int64_t>(open.begin), static_cast<std::int64_t>(end)});
    }
    lastShppictGroupEnd_.reset();
    if (lastShppict_ >= 0 && !collect) {
        if (blanksOnlyFrom(lastShppictEnd_)) {
            doc_.inlines[static_cast<std::size_t>(lastShppict_)].origin.companions.push_back(
                {static_cast<std::int64_t>(open.begin), static_cast<std::int64_t>(end)});
        }
    }
    lastShppict_ = -1;
}

void Reader::readPictGroup(const Token& open, const Token& word, const State& state, int story, Collected* collect) {
    PictInfo picture = parsePict(open, word);
    if (collect) {
        if (!collect->picture) collect->picture = std::move(picture);
        return;
    }
    if (story < 0 || state.linkedPicture) return;
    if (!picture.usable) {
        if (!picture.problem.empty()) warn(picture.problem);
        return;
    }
    addInline(story, inlinePicture(picture, picture.detail.pict));
}

}  // namespace kelvaran::formats::rtf::detail
