// The RTF reader: one pass over the tokens with a recursive descent per
// destination, filling the document model and recording where every object
// and shape sits in the input so the writer can patch it.

#include "formats/rtf/RtfDetail.h"
#include "formats/rtf/RtfFormat.h"
#include "formats/rtf/RtfPicture.h"
#include "formats/rtf/RtfText.h"
#include "formats/rtf/RtfTokenizer.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <map>
#include <optional>
#include <set>
#include <string_view>
#include <utility>

namespace kelvaran::formats::rtf {

namespace model = formats::model;

namespace {

// The characters that RTF writes as control words, in UTF-8; null for any
// other word.
const char* specialCharacter(std::string_view word) {
    static constexpr std::pair<std::string_view, const char*> kCharacters[] = {
        {"tab", "\t"},
        {"line", "\v"},
        {"emdash", "\xE2\x80\x94"},
        {"endash", "\xE2\x80\x93"},
        {"bullet", "\xE2\x80\xA2"},
        {"lquote", "\xE2\x80\x98"},
        {"rquote", "\xE2\x80\x99"},
        {"ldblquote", "\xE2\x80\x9C"},
        {"rdblquote", "\xE2\x80\x9D"},
        {"emspace", "\xE2\x80\x83"},
        {"enspace", "\xE2\x80\x82"},
    };
    for (const auto& [name, character] : kCharacters) {
        if (name == word) return character;
    }
    return nullptr;
}

// Deeper groups are left as they are (their bytes stay, their content is not
// read); no real document comes near this.
constexpr int kMaxDepth = 200;

const std::set<std::string_view>& skippedDestinations() {
    static const std::set<std::string_view> names = {
        "colortbl", "stylesheet", "info", "header", "headerl", "headerr", "headerf", "footer", "footerl",
        "footerr", "footerf", "footnote", "annotation", "pgdsctbl", "listtable", "listoverridetable",
        "rsidtbl", "xmlnstbl", "generator", "background", "pntext", "pntxta", "pntxtb", "listtext",
        "txe", "comment", "author", "title", "subject", "operator", "keywords", "doccomm", "company",
        "buptim", "creatim", "revtim", "printim", "filetbl", "revtbl", "themedata", "colorschememapping",
        "datastore", "latentstyles", "fldinst", "bkmkstart", "bkmkend", "nonshppict", "shprslt", "do",
        "xe", "tc", "template", "userprops", "ftnsep", "ftnsepc", "ftncn", "aftnsep", "aftnsepc", "aftncn",
        "pict", "object", "objdata", "sp", "shpinst", "mmathPr", "wgrffmtfilter", "pgptbl", "listpicture",
        "fontemb", "falt", "panose", "protusertbl", "passwordhash", "docvar", "atnid", "atnauthor", "atnref",
        "atndate", "atrfstart", "atrfend", "ud", "upr"};
    return names;
}

double twipsToPt(double twips) { return twips / 20.0; }
double emuToPt(double emu) { return emu / 12700.0; }

long long toNumber(const std::string& text, long long fallback = 0) {
    std::size_t at = 0;
    while (at < text.size() && (text[at] == ' ' || text[at] == '\t')) ++at;
    bool negative = false;
    if (at < text.size() && (text[at] == '-' || text[at] == '+')) negative = text[at++] == '-';
    if (at >= text.size() || text[at] < '0' || text[at] > '9') return fallback;
    long long value = 0;
    while (at < text.size() && text[at] >= '0' && text[at] <= '9') {
        if (value < (1LL << 40)) value = value * 10 + (text[at] - '0');
        ++at;
    }
    return negative ? -value : value;
}

// The value of every byte as a hex digit: -1 for none, -2 for the blanks a
// picture's hex may hold.
struct HexTable {
    std::array<std::int8_t, 256> value{};
    constexpr HexTable() {
        for (int c = 0; c < 256; ++c) value[static_cast<std::size_t>(c)] = -1;
        for (int c = '0'; c <= '9'; ++c) value[static_cast<std::size_t>(c)] = static_cast<std::int8_t>(c - '0');
        for (int c = 'a'; c <= 'f'; ++c) value[static_cast<std::size_t>(c)] = static_cast<std::int8_t>(c - 'a' + 10);
        for (int c = 'A'; c <= 'F'; ++c) value[static_cast<std::size_t>(c)] = static_cast<std::int8_t>(c - 'A' + 10);
        value[' '] = value['\t'] = -2;
    }
};
constexpr HexTable kHex;

int hexDigit(char c) {
    const int value = kHex.value[static_cast<unsigned char>(c)];
    return value < 0 ? -1 : value;
}

// Character state that groups keep for themselves.
struct State {
    int uc = 1;
    int codePage = 1252;
    int skip = 0;  // fallback units still to drop after \u
    model::ParagraphProperties paragraph;
    bool linkedPicture = false;  // inside an INCLUDEPICTURE field
};

// What a picture group turned out to hold.
struct PictInfo {
    model::PictureData data;
    double widthPt = 0;
    double heightPt = 0;
    model::Borders borders;
    PictDetail detail;
    bool usable = false;
    std::string problem;
};

// Where the objects found in an object's result go instead of a story.
struct Collected {
    std::optional<PictInfo> picture;
    int shape = -1;
};

// The current run of text of a story, built a character at a time.
struct Run {
    std::string utf8;
    std::int64_t units = 0;
    std::vector<std::uint32_t> offsets;
    std::size_t begin = 0;
    std::size_t end = 0;
    char16_t highSurrogate = 0;
};

// Raw shape values before the group they belong to is complete.
struct ShapeRaw {
    bool hasRect = false;
    double left = 0, top = 0, right = 0, bottom = 0;  // twips
    bool hasRel = false;
    double relLeft = 0, relTop = 0, relRight = 0, relBottom = 0;
    std::map<std::string, std::string> properties;
    std::optional<PictInfo> pib;
    std::optional<PictInfo> fillBlip;
    int shpwr = -1;
    int shpwrk = 0;
    int horizontal = -1;  // from \shpbx..
    int vertical = -1;
    bool behind = false;
};

class Reader {
public:
    explicit Reader(std::shared_ptr<const std::string> bytes) : bytes_(std::move(bytes)), in_(*bytes_), tok_(in_) {}

    model::Document read();

private:
    Token next() {
        if (pushed_) {
            pushed_ = false;
            return pushedToken_;
        }
        return tok_.next();
    }
    void pushBack(const Token& token) {
        pushed_ = true;
        pushedToken_ = token;
    }
    [[noreturn]] void unbalanced() const {
        throw model::FormatError("the file ends inside an open group: its braces are unbalanced");
    }
    // Skips to the end of a group whose "{" was read; returns the byte after its "}".
    std::size_t skipGroup();
    // The plain text of a group whose "{" and first token were read.
    std::string groupText(int codePage, std::size_t* end = nullptr);

    void parseText(State state, int story, Collected* collect, int depth);
    void parseFontTable();
    void parseGroupStart(const Token& open, State& state, int story, Collected* collect, int depth);

    PictInfo parsePict(const Token& open, const Token& word);
    std::optional<PictInfo> parseShpPict();
    void parseObject(const Token& open, const Token& word, State& state, int story, Collected* collect, int depth);
    int parseShape(const Token& open, bool group, int parent, model::Anchor anchor, bool inObject, int depth);
    void parseShapeInstance(const Token& open, const Token& word, int shape, model::Anchor anchor, bool inObject,
                            int depth);
    // Reads a {\sp} group; returns the property's name and sets `end`.
    std::string parseProperty(int shape, std::size_t& end);
    void finishShape(int shape, bool inObject);
    void placeMembers(int group, int depth);
    void setAnchor(int shape, model::Anchor anchor, int depth) {
        if (depth > kMaxDepth) return;
        doc_.shapes[static_cast<std::size_t>(shape)].anchor = anchor;
        for (int member : doc_.shapes[static_cast<std::size_t>(shape)].children) setAnchor(member, anchor, depth + 1);
    }

    // Story building.
    void flush(int story);
    void addChar(int story, std::string_view utf8, int units, std::size_t begin, std::size_t end);
    void addBytes(int story, State& state, std::string_view bytes, std::size_t begin);
    void addUnicode(int story, State& state, std::int32_t unit, std::size_t begin, std::size_t end);
    void addElement(int story, model::Element element, std::size_t begin, std::size_t end);
    void addInline(int story, model::InlineObject object);
    model::Anchor anchorHere(int story) {
        flush(story);
        return model::Anchor{story, static_cast<int>(doc_.stories[static_cast<std::size_t>(story)].elements.size())};
    }

    std::shared_ptr<const std::string> bytes_;
    std::string_view in_;
    Tokenizer tok_;
    bool pushed_ = false;
    Token pushedToken_;
    model::Document doc_;
    std::map<int, Run> runs_;
    std::map<int, int> fontCodePage_;
    int defaultFont_ = -1;
    int ansiCodePage_ = 1252;
    std::vector<ShapeRaw> raw_;
    // The last \shppict object and where it ended, to pair a \nonshppict.
    int lastShppict_ = -1;
    std::size_t lastShppictEnd_ = 0;
    int warningsLeft_ = 20;
    // A lead byte written as \'hh whose trail byte is still to come.
    int pendingLead_ = -1;
    std::size_t pendingLeadAt_ = 0;
    // The last section break read: later \sbk.. words describe it.
    std::pair<int, std::size_t> lastSection_{-1, 0};
    // Set by a group that changes its parent's state (the font table, a
    // field instruction naming a linked picture).
    bool fontTableJustRead_ = false;
    bool linkedFieldJustSeen_ = false;
    void warn(std::string text) {
        if (warningsLeft_-- > 0) doc_.warnings.push_back(std::move(text));
    }
};

std::size_t Reader::skipGroup() {
    int depth = 1;
    for (;;) {
        const Token token = next();
        switch (token.kind) {
            case TokenKind::GroupStart: ++depth; break;
            case TokenKind::GroupEnd:
                if (--depth == 0) return token.end;
                break;
            case TokenKind::End: unbalanced();
            default: break;
        }
    }
}

std::string Reader::groupText(int codePage, std::size_t* end) {
    std::string text;
    int depth = 1;
    int pendingLead = -1;
    for (;;) {
        const Token token = next();
        switch (token.kind) {
            case TokenKind::GroupStart: ++depth; break;
            case TokenKind::GroupEnd:
                if (--depth == 0) {
                    if (end) *end = token.end;
                    return text;
                }
                break;
            case TokenKind::End: unbalanced();
            case TokenKind::Text:
                if (text.size() < 65536) {
                    for (std::size_t i = 0; i < token.data.size(); ++i) {
                        const auto byte = static_cast<std::uint8_t>(token.data[i]);
                        if (isLeadByteIn(codePage, byte) && i + 1 < token.data.size()) {
                            appendCodePageChar(codePage, token.data.substr(i, 2), text);
                            ++i;
                        } else {
                            appendCodePageChar(codePage, token.data.substr(i, 1), text);
                        }
                    }
                }
                break;
            case TokenKind::ControlSymbol:
                if (token.word[0] == '\'') {
                    if (pendingLead >= 0) {
                        const char pair[2] = {static_cast<char>(pendingLead), static_cast<char>(token.byte)};
                        appendCodePageChar(codePage, std::string_view(pair, 2), text);
                        pendingLead = -1;
                    } else if (isLeadByteIn(codePage, token.byte)) {
                        pendingLead = token.byte;
                    } else {
                        const char one = static_cast<char>(token.byte);
                        appendCodePageChar(codePage, std::string_view(&one, 1), text);
                    }
                } else if (token.word[0] == '\\' || token.word[0] == '{' || token.word[0] == '}') {
                    text += token.word[0];
                }
                break;
            case TokenKind::ControlWord:
                if (token.word == "u" && token.hasParameter) {
                    appendUtf8(static_cast<char32_t>(token.parameter < 0 ? token.parameter + 65536 : token.parameter),
                               text);
                    // One fallback character follows in practice.
                    Token fallback = next();
                    if (!(fallback.kind == TokenKind::ControlSymbol && fallback.word[0] == '\'') &&
                        !(fallback.kind == TokenKind::Text && fallback.data.size() == 1)) {
                        pushBack(fallback);
                    }
                }
                break;
        }
    }
}

void Reader::flush(int story) {
    auto found = runs_.find(story);
    if (found == runs_.end() || found->second.units == 0) return;
    Run run = std::move(found->second);
    runs_.erase(found);
    model::Element element = model::Element::textRun(std::move(run.utf8), run.units);
    element.origin.format = "rtf";
    element.origin.range = {static_cast<std::int64_t>(run.begin), static_cast<std::int64_t>(run.end)};
    element.origin.source = bytes_;
    element.origin.detail = TextDetail{std::make_shared<const std::vector<std::uint32_t>>(std::move(run.offsets))};
    doc_.stories[static_cast<std::size_t>(story)].elements.push_back(std::move(element));
}

void Reader::addChar(int story, std::string_view utf8, int units, std::size_t begin, std::size_t end) {
    if (story < 0) return;
    Run& run = runs_[story];
    if (run.units == 0) run.begin = begin;
    run.utf8.append(utf8);
    for (int i = 0; i < units; ++i) run.offsets.push_back(static_cast<std::uint32_t>(begin));
    run.units += units;
    run.end = end;
}

void Reader::addBytes(int story, State& state, std::string_view bytes, std::size_t begin) {
    const int codePage = state.codePage;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const auto byte = static_cast<std::uint8_t>(bytes[i]);
        const bool pair = isLeadByteIn(codePage, byte) && i + 1 < bytes.size();
        if (state.skip > 0) {
            --state.skip;
            if (pair) ++i;
            continue;
        }
        if (story < 0) continue;
        std::string utf8;
        appendCodePageChar(codePage, bytes.substr(i, pair ? 2 : 1), utf8);
        const std::size_t at = begin + i;
        if (pair) ++i;
        addChar(story, utf8, 1, at, begin + i + 1);
    }
}

void Reader::addUnicode(int story, State& state, std::int32_t parameter, std::size_t begin, std::size_t end) {
    state.skip = state.uc;
    if (story < 0) return;
    const auto unit = static_cast<char16_t>(parameter < 0 ? parameter + 65536 : parameter);
    Run& run = runs_[story];
    if (unit >= 0xD800 && unit <= 0xDBFF) {
        run.highSurrogate = unit;
        if (run.units == 0) run.begin = begin;
        run.offsets.push_back(static_cast<std::uint32_t>(begin));
        run.units += 1;
        run.end = end;
        return;
    }
    std::string utf8;
    if (unit >= 0xDC00 && unit <= 0xDFFF && run.highSurrogate) {
        const char32_t code = 0x10000 + ((static_cast<char32_t>(run.highSurrogate) - 0xD800) << 10) + (unit - 0xDC00);
        run.highSurrogate = 0;
        appendUtf8(code, utf8);
    } else {
        appendUtf8(unit, utf8);
    }
    addChar(story, utf8, 1, begin, end);
}

void Reader::addElement(int story, model::Element element, std::size_t begin, std::size_t end) {
    if (story < 0) return;
    flush(story);
    element.origin.format = "rtf";
    element.origin.range = {static_cast<std::int64_t>(begin), static_cast<std::int64_t>(end)};
    element.origin.source = bytes_;
    doc_.stories[static_cast<std::size_t>(story)].elements.push_back(std::move(element));
}

void Reader::addInline(int story, model::InlineObject object) {
    flush(story);
    object.origin.format = "rtf";
    object.origin.source = bytes_;
    doc_.inlines.push_back(std::move(object));
    model::Element element = model::Element::inlineObject(static_cast<int>(doc_.inlines.size()) - 1);
    element.origin = doc_.inlines.back().origin;
    doc_.stories[static_cast<std::size_t>(story)].elements.push_back(std::move(element));
}

void Reader::parseFontTable() {
    int depth = 1;
    int font = -1;
    for (;;) {
        const Token token = next();
        switch (token.kind) {
            case TokenKind::GroupStart: ++depth; break;
            case TokenKind::GroupEnd:
                if (--depth == 0) return;
                break;
            case TokenKind::End: unbalanced();
            case TokenKind::ControlWord:
                if (token.word == "f" && token.hasParameter) {
                    font = token.parameter;
                } else if (token.word == "fcharset" && font >= 0) {
                    const int codePage = codePageOfCharset(token.parameter);
                    if (codePage > 0 && !fontCodePage_.count(font)) fontCodePage_[font] = codePage;
                } else if (token.word == "cpg" && font >= 0 && token.parameter > 0) {
                    fontCodePage_[font] = token.parameter;
                }
                break;
            default: break;
        }
    }
}

PictInfo Reader::parsePict(const Token& open, const Token& word) {
    PictInfo info;
    auto& d = info.detail;
    d.afterPictWord = word.end;
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
    std::size_t end = 0;
    for (bool done = false; !done;) {
        const Token token = next();
        switch (token.kind) {
            case TokenKind::End: unbalanced();
            case TokenKind::GroupEnd:
                end = token.end;
                done = true;
                break;
            case TokenKind::GroupStart:
                skipGroup();  // \*\picprop, \*\blipuid and the like
                break;
            case TokenKind::Text: {
                if (sawBin) break;
                if (!sawHex) {
                    // The hex runs to the group's end, in lines: room for all
                    // of it at once instead of growing a picture of megabytes
                    // step by step.
                    const std::size_t close = bytes_->find('}', token.begin);
                    if (close != std::string::npos) data.reserve((close - token.begin) / 2 + 1);
                }
                const std::size_t start = data.size();
                data.resize(start + token.data.size() / 2 + 1);
                char* to = data.data() + start;
                for (char c : token.data) {
                    const int digit = kHex.value[static_cast<unsigned char>(c)];
                    if (digit == -2) continue;
                    if (digit < 0) {
                        badData = true;
                        break;
                    }
                    sawHex = true;
                    if (pendingDigit < 0) {
                        pendingDigit = digit;
                    } else {
                        *to++ = static_cast<char>(pendingDigit * 16 + digit);
                        pendingDigit = -1;
                    }
                }
                data.resize(static_cast<std::size_t>(to - data.data()));
                break;
            }
            case TokenKind::ControlSymbol: break;
            case TokenKind::ControlWord: {
                const auto w = token.word;
                const std::int32_t p = token.parameter;
                const model::ByteRange range{static_cast<std::int64_t>(token.begin),
                                             static_cast<std::int64_t>(token.end)};
                if (w == "bin") {
                    if (sawHex || sawBin || token.truncated) badData = true;
                    sawBin = true;
                    data.assign(token.data);
                } else if (w == "pngblip") {
                    type = model::PictureFormat::Png, typeWord = true;
                } else if (w == "jpegblip") {
                    type = model::PictureFormat::Jpeg, typeWord = true;
                } else if (w == "emfblip") {
                    type = model::PictureFormat::Emf, typeWord = true;
                } else if (w == "wmetafile") {
                    type = model::PictureFormat::Wmf, typeWord = true;
                } else if (w == "dibitmap") {
                    type = model::PictureFormat::Dib, typeWord = true;
                } else if (w == "wbitmap") {
                    type = model::PictureFormat::Dib, typeWord = true, wbitmap = true;
                } else if (w == "macpict") {
                    type = model::PictureFormat::Pict, typeWord = true;
                } else if (w == "pmmetafile") {
                    type = model::PictureFormat::Unknown, typeWord = true;
                } else if (w == "picw") {
                    picw = p;
                } else if (w == "pich") {
                    pich = p;
                } else if (w == "picwgoal") {
                    d.goalWidth = p;
                    d.sizeWords.push_back(range);
                } else if (w == "pichgoal") {
                    d.goalHeight = p;
                    d.sizeWords.push_back(range);
                } else if (w == "picscalex") {
                    scaleX = p;
                    d.sizeWords.push_back(range);
                } else if (w == "picscaley") {
                    scaleY = p;
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
                    wbmBits = p;
                } else if (w == "wbmwidthbytes") {
                    wbmWidthBytes = p;
                } else if (w == "brdrt" || w == "brdrl" || w == "brdrb" || w == "brdrr" || w == "box") {
                    borderSide = w == "brdrt" ? 0 : w == "brdrl" ? 1 : w == "brdrb" ? 2 : w == "brdrr" ? 3 : 4;
                    d.sizeWords.push_back(range);
                    for (int s = 0; s < 4; ++s) {
                        if (borderSide == 4 || borderSide == s) {
                            info.borders.sides[static_cast<std::size_t>(s)].visible = true;
                            info.borders.sides[static_cast<std::size_t>(s)].style = 1;
                        }
                    }
                } else if (w.substr(0, 4) == "brdr" && borderSide >= 0) {
                    d.sizeWords.push_back(range);
                    for (int s = 0; s < 4; ++s) {
                        if (borderSide != 4 && borderSide != s) continue;
                        auto& side = info.borders.sides[static_cast<std::size_t>(s)];
                        if (w == "brdrw") side.widthEighths = std::clamp(p * 8 / 20, 1, 48);
                        else if (w == "brdrcf") side.colourIndex = std::clamp(p, 0, 16);
                        else if (w == "brdrdot") side.style = 2;
                        else if (w == "brdrdash") side.style = 3;
                        else if (w == "brdrdb") side.style = 7;
                        else if (w == "brdrnone") side.visible = false, side.style = 0;
                        else if (w == "brdrsh") info.borders.shadow = true;
                    }
                }
                break;
            }
        }
    }
    d.pict = {static_cast<std::int64_t>(open.begin), static_cast<std::int64_t>(end)};
    if (pendingDigit >= 0) badData = true;
    info.borders.enable = info.borders.anyVisible();
    if (badData) {
        info.problem = "a picture's data is damaged";
        return info;
    }
    if (data.empty()) {
        info.problem = "a picture holds no data";
        return info;
    }
    if (!typeWord || type == model::PictureFormat::Unknown) {
        const auto sniffed = sniffPicture(data);
        if (sniffed != model::PictureFormat::Unknown) type = sniffed;
    }
    // Natural size, in twips.
    double naturalW = d.goalWidth;
    double naturalH = d.goalHeight;
    int pixelW = 0, pixelH = 0;
    if (wbitmap) {
        // A device-dependent bitmap: give it the header of a top-down DIB.
        if ((wbmBits != 24 && wbmBits != 32 && wbmBits != 1) || picw <= 0 || pich <= 0 || picw > 65535 ||
            pich > 65535 || wbmWidthBytes <= 0 || static_cast<std::size_t>(wbmWidthBytes) * pich > data.size()) {
            info.problem = "a device-dependent bitmap cannot be read";
            return info;
        }
        std::string dib;
        auto put32 = [&dib](std::uint32_t v) {
            for (int i = 0; i < 4; ++i) dib += static_cast<char>((v >> (8 * i)) & 0xFF);
        };
        put32(40);
        put32(static_cast<std::uint32_t>(picw));
        put32(static_cast<std::uint32_t>(-static_cast<std::int32_t>(pich)));
        dib += '\x01', dib += '\0';
        dib += static_cast<char>(wbmBits), dib += '\0';
        for (int i = 0; i < 6; ++i) put32(0);
        if (wbmBits == 1) put32(0), put32(0x00FFFFFF);
        const std::size_t stride = (static_cast<std::size_t>(picw) * wbmBits + 31) / 32 * 4;
        for (std::int64_t row = 0; row < pich; ++row) {
            std::string line = data.substr(static_cast<std::size_t>(row * wbmWidthBytes),
                                           std::min<std::size_t>(stride, static_cast<std::size_t>(wbmWidthBytes)));
            line.resize(stride, '\0');
            dib += line;
        }
        data = std::move(dib);
    }
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
    if (scaleX <= 0) scaleX = 100;
    if (scaleY <= 0) scaleY = 100;
    info.widthPt = std::max(0.0, twipsToPt(naturalW - d.cropLeft - d.cropRight) * scaleX / 100.0);
    info.heightPt = std::max(0.0, twipsToPt(naturalH - d.cropTop - d.cropBottom) * scaleY / 100.0);
    info.usable = type != model::PictureFormat::Unknown && info.widthPt > 0 && info.heightPt > 0;
    if (!info.usable) info.problem = "a picture of unknown type or without a size was left as it is";
    return info;
}

std::optional<PictInfo> Reader::parseShpPict() {
    std::optional<PictInfo> found;
    for (;;) {
        const Token token = next();
        if (token.kind == TokenKind::End) unbalanced();
        if (token.kind == TokenKind::GroupEnd) return found;
        if (token.kind != TokenKind::GroupStart) continue;
        const Token word = next();
        if (word.is("pict") && !found) {
            found = parsePict(token, word);
        } else {
            if (word.kind == TokenKind::GroupEnd) continue;
            if (word.kind == TokenKind::GroupStart) pushBack(word);
            skipGroup();
        }
    }
}

void Reader::parseObject(const Token& open, const Token& word, State& state, int story, Collected* collect,
                         int depth) {
    model::InlineObject object;
    object.kind = model::InlineKind::EmbeddedObject;
    InlineDetail detail;
    detail.object = true;
    detail.afterObjectWord = word.end;
    int scaleX = 100, scaleY = 100;
    std::string objectClass;
    std::string ole1Class;
    Collected result;
    std::size_t end = 0;
    for (bool done = false; !done;) {
        const Token token = next();
        switch (token.kind) {
            case TokenKind::End: unbalanced();
            case TokenKind::GroupEnd:
                end = token.end;
                done = true;
                break;
            case TokenKind::ControlWord:
                if (token.word == "objlink" || token.word == "objautlink") object.kind = model::InlineKind::LinkedObject;
                else if (token.word == "objw") detail.objectWidth = token.parameter, detail.objectSizeWords.push_back(
                    {static_cast<std::int64_t>(token.begin), static_cast<std::int64_t>(token.end)});
                else if (token.word == "objh") detail.objectHeight = token.parameter, detail.objectSizeWords.push_back(
                    {static_cast<std::int64_t>(token.begin), static_cast<std::int64_t>(token.end)});
                else if (token.word == "objscalex") scaleX = token.parameter, detail.objectSizeWords.push_back(
                    {static_cast<std::int64_t>(token.begin), static_cast<std::int64_t>(token.end)});
                else if (token.word == "objscaley") scaleY = token.parameter, detail.objectSizeWords.push_back(
                    {static_cast<std::int64_t>(token.begin), static_cast<std::int64_t>(token.end)});
                break;
            case TokenKind::GroupStart: {
                Token inner = next();
                if (inner.isSymbol('*')) inner = next();
                if (inner.is("objclass")) {
                    objectClass = groupText(state.codePage);
                } else if (inner.is("objdata")) {
                    // The OLE 1 header names the class too: read its first bytes only.
                    std::string head;
                    int pending = -1;
                    int level = 1;
                    for (;;) {
                        const Token t = next();
                        if (t.kind == TokenKind::End) unbalanced();
                        if (t.kind == TokenKind::GroupStart) ++level;
                        if (t.kind == TokenKind::GroupEnd && --level == 0) break;
                        if (t.kind != TokenKind::Text || head.size() >= 96) continue;
                        for (char c : t.data) {
                            const int digit = hexDigit(c);
                            if (digit < 0 || head.size() >= 96) continue;
                            if (pending < 0) pending = digit;
                            else head += static_cast<char>(pending * 16 + digit), pending = -1;
                        }
                    }
                    if (head.size() >= 12) {
                        const auto length = static_cast<std::uint32_t>(static_cast<unsigned char>(head[8]) |
                                                                      static_cast<unsigned char>(head[9]) << 8);
                        if (length > 1 && 12 + length <= head.size()) ole1Class = head.substr(12, length - 1);
                    }
                } else if (inner.is("result")) {
                    State inside = state;
                    parseText(inside, -1, &result, depth + 1);
                } else if (inner.kind == TokenKind::GroupEnd) {
                } else {
                    if (inner.kind == TokenKind::GroupStart) pushBack(inner);
                    skipGroup();
                }
                break;
            }
            default: break;
        }
    }
    object.progId = !objectClass.empty() ? objectClass : ole1Class;
    // Trim what some writers leave around the class name.
    while (!object.progId.empty() && (object.progId.back() == ' ' || object.progId.back() == '\0')) object.progId.pop_back();
    object.origin.range = {static_cast<std::int64_t>(open.begin), static_cast<std::int64_t>(end)};
    if (scaleX <= 0) scaleX = 100;
    if (scaleY <= 0) scaleY = 100;

    if (result.shape >= 0) {
        // A floating object: its result is a shape that stands for the whole group.
        if (story >= 0) setAnchor(result.shape, anchorHere(story), 0);
        auto& shape = doc_.shapes[static_cast<std::size_t>(result.shape)];
        shape.type = model::shape_type::kEmbeddedObject;
        shape.progId = object.progId;
        shape.origin.range = object.origin.range;
        shape.origin.companions.clear();
        return;
    }
    if (collect || story < 0 || state.linkedPicture) return;  // objects inside results are not objects of the text
    if (result.picture && result.picture->usable) {
        object.picture = result.picture->data;
        object.borders = result.picture->borders;
        object.widthPt = result.picture->widthPt;
        object.heightPt = result.picture->heightPt;
    } else {
        warn("an object without a readable picture was left as it is");
        // Still a character of the text.
        addElement(story, model::Element::textRun("\xEF\xBF\xBC", 1), open.begin, end);
        return;
    }
    if (detail.objectWidth > 0 && detail.objectHeight > 0) {
        object.widthPt = twipsToPt(detail.objectWidth) * scaleX / 100.0;
        object.heightPt = twipsToPt(detail.objectHeight) * scaleY / 100.0;
    }
    detail.hasPict = true;
    detail.pict = result.picture->detail;
    object.origin.detail = detail;
    addInline(story, std::move(object));
}

std::string Reader::parseProperty(int shape, std::size_t& end) {
    std::string name;
    std::string value;
    std::optional<PictInfo> picture;
    for (;;) {
        const Token token = next();
        if (token.kind == TokenKind::End) unbalanced();
        if (token.kind == TokenKind::GroupEnd) {
            end = token.end;
            break;
        }
        if (token.kind != TokenKind::GroupStart) continue;
        const Token word = next();
        if (word.is("sn")) {
            name = groupText(1252);
        } else if (word.is("sv")) {
            // A value is text, or a whole picture group.
            int lead = -1;
            for (;;) {
                const Token inner = next();
                if (inner.kind == TokenKind::End) unbalanced();
                if (inner.kind == TokenKind::GroupEnd) break;
                if (inner.kind == TokenKind::GroupStart) {
                    const Token first = next();
                    if (first.is("pict") && !picture) {
                        picture = parsePict(inner, first);
                    } else {
                        if (first.kind == TokenKind::GroupEnd) continue;
                        if (first.kind == TokenKind::GroupStart) pushBack(first);
                        skipGroup();
                    }
                } else if (inner.kind == TokenKind::Text) {
                    if (value.size() < 65536) value.append(inner.data);
                } else if (inner.kind == TokenKind::ControlWord && inner.word == "u" && inner.hasParameter) {
                    appendUtf8(static_cast<char32_t>(inner.parameter < 0 ? inner.parameter + 65536 : inner.parameter),
                               value);
                    const Token fallback = next();
                    if (!(fallback.kind == TokenKind::ControlSymbol && fallback.word[0] == '\'')) pushBack(fallback);
                } else if (inner.kind == TokenKind::ControlSymbol && inner.word[0] == '\'') {
                    // A double-byte character is two escapes in a row.
                    const auto byte = static_cast<std::uint8_t>(inner.byte);
                    if (lead >= 0) {
                        const char pair[2] = {static_cast<char>(lead), static_cast<char>(byte)};
                        appendCodePageChar(ansiCodePage_, std::string_view(pair, 2), value);
                        lead = -1;
                    } else if (isLeadByteIn(ansiCodePage_, byte)) {
                        lead = byte;
                    } else {
                        const char one = static_cast<char>(byte);
                        appendCodePageChar(ansiCodePage_, std::string_view(&one, 1), value);
                    }
                }
            }
        } else {
            if (word.kind == TokenKind::GroupEnd) continue;
            if (word.kind == TokenKind::GroupStart) pushBack(word);
            skipGroup();
        }
    }
    if (shape < 0 || name.empty()) return name;
    auto& raw = raw_[static_cast<std::size_t>(shape)];
    if (name == "pib") {
        raw.pib = std::move(picture);
    } else if (name == "fillBlip") {
        raw.fillBlip = std::move(picture);
    } else {
        raw.properties[name] = value;
    }
    return name;
}

void Reader::parseShapeInstance(const Token& open, const Token& word, int shape, model::Anchor anchor, bool inObject,
                                int depth) {
    auto* detail = std::any_cast<ShapeDetail>(&doc_.shapes[static_cast<std::size_t>(shape)].origin.detail);
    detail->afterInstanceWord = word.end;
    for (;;) {
        const Token token = next();
        if (token.kind == TokenKind::End) unbalanced();
        if (token.kind == TokenKind::GroupEnd) {
            detail = std::any_cast<ShapeDetail>(&doc_.shapes[static_cast<std::size_t>(shape)].origin.detail);
            detail->instance = {static_cast<std::int64_t>(open.begin), static_cast<std::int64_t>(token.end)};
            return;
        }
        if (token.kind == TokenKind::ControlWord) {
            const auto w = token.word;
            if (w.substr(0, 3) != "shp") continue;
            auto& raw = raw_[static_cast<std::size_t>(shape)];
            const model::ByteRange range{static_cast<std::int64_t>(token.begin), static_cast<std::int64_t>(token.end)};
            bool layout = true;
            if (w == "shpleft") raw.left = token.parameter, raw.hasRect = true;
            else if (w == "shptop") raw.top = token.parameter, raw.hasRect = true;
            else if (w == "shpright") raw.right = token.parameter, raw.hasRect = true;
            else if (w == "shpbottom") raw.bottom = token.parameter, raw.hasRect = true;
            else if (w == "shpbxmargin") raw.horizontal = 0;
            else if (w == "shpbxpage") raw.horizontal = 1;
            else if (w == "shpbxcolumn") raw.horizontal = 2;
            else if (w == "shpbxignore") {}
            else if (w == "shpbymargin") raw.vertical = 0;
            else if (w == "shpbypage") raw.vertical = 1;
            else if (w == "shpbypara") raw.vertical = 2;
            else if (w == "shpbyignore") {}
            else if (w == "shpwr") raw.shpwr = token.parameter;
            else if (w == "shpwrk") raw.shpwrk = token.parameter;
            else if (w == "shpfblwtxt") raw.behind = token.parameter != 0;
            else if (w == "shpz") doc_.shapes[static_cast<std::size_t>(shape)].stackPosition = token.parameter;
            else if (w == "shpfhdr") doc_.shapes[static_cast<std::size_t>(shape)].inHeader = token.parameter != 0;
            else layout = false;
            if (layout) {
                detail = std::any_cast<ShapeDetail>(&doc_.shapes[static_cast<std::size_t>(shape)].origin.detail);
                detail->layoutWords.push_back(range);
            }
            continue;
        }
        if (token.kind != TokenKind::GroupStart) continue;
        Token inner = next();
        if (inner.is("sp")) {
            std::size_t end = token.end;
            std::string name = parseProperty(shape, end);
            detail = std::any_cast<ShapeDetail>(&doc_.shapes[static_cast<std::size_t>(shape)].origin.detail);
            detail->properties.push_back(
                {std::move(name), {static_cast<std::int64_t>(token.begin), static_cast<std::int64_t>(end)}});
            continue;
        }
        if (inner.isSymbol('*')) inner = next();
        if (inner.is("shptxt")) {
            model::Story text;
            text.kind = model::StoryKind::TextBox;
            text.owner = shape;
            doc_.stories.push_back(std::move(text));
            const int story = static_cast<int>(doc_.stories.size()) - 1;
            doc_.shapes[static_cast<std::size_t>(shape)].textStory = story;
            State state;
            state.codePage = defaultFont_ >= 0 && fontCodePage_.count(defaultFont_) ? fontCodePage_[defaultFont_]
                                                                                    : ansiCodePage_;
            if (depth + 1 > kMaxDepth) {
                skipGroup();
            } else {
                parseText(state, story, nullptr, depth + 1);
            }
            flush(story);
            auto& elements = doc_.stories[static_cast<std::size_t>(story)].elements;
            if (elements.empty() || (elements.back().kind != model::ElementKind::ParagraphMark &&
                                     elements.back().kind != model::ElementKind::SectionBreak)) {
                // A story always ends a paragraph; this one's mark stands at its end.
                model::Element mark = model::Element::paragraphMark();
                const std::size_t at = tok_.position() > 0 ? tok_.position() - 1 : 0;
                mark.origin.format = "rtf";
                mark.origin.range = {static_cast<std::int64_t>(at), static_cast<std::int64_t>(at)};
                mark.origin.source = bytes_;
                elements.push_back(std::move(mark));
            }
        } else if ((inner.is("shp") || inner.is("shpgrp")) && depth + 1 <= kMaxDepth) {
            parseShape(token, inner.is("shpgrp"), shape, anchor, inObject, depth + 1);
        } else {
            if (inner.kind == TokenKind::GroupEnd) continue;
            if (inner.kind == TokenKind::GroupStart) pushBack(inner);
            skipGroup();
        }
    }
}

int Reader::parseShape(const Token& open, bool group, int parent, model::Anchor anchor, bool inObject, int depth) {
    const int index = static_cast<int>(doc_.shapes.size());
    {
        model::FloatingShape shape;
        shape.type = group ? model::shape_type::kGroup : model::shape_type::kOther;
        shape.parent = parent;
        shape.anchor = anchor;
        shape.stackPosition = index;
        shape.origin.format = "rtf";
        shape.origin.source = bytes_;
        ShapeDetail detail;
        detail.member = parent >= 0;
        shape.origin.detail = detail;
        doc_.shapes.push_back(std::move(shape));
        raw_.emplace_back();
    }
    if (parent >= 0) {
        doc_.shapes[static_cast<std::size_t>(parent)].children.push_back(index);
        doc_.shapes[static_cast<std::size_t>(index)].stackPosition =
            static_cast<std::int64_t>(doc_.shapes[static_cast<std::size_t>(parent)].children.size());
    }
    std::size_t end = 0;
    for (bool done = false; !done;) {
        const Token token = next();
        switch (token.kind) {
            case TokenKind::End: unbalanced();
            case TokenKind::GroupEnd:
                end = token.end;
                done = true;
                break;
            case TokenKind::GroupStart: {
                Token inner = next();
                if (inner.isSymbol('*')) inner = next();
                if (inner.is("shpinst")) {
                    parseShapeInstance(token, inner, index, anchor, inObject, depth + 1);
                } else {
                    if (inner.kind == TokenKind::GroupEnd) break;
                    if (inner.kind == TokenKind::GroupStart) pushBack(inner);
                    skipGroup();  // \shprslt: the copy for readers without shapes
                }
                break;
            }
            default: break;
        }
    }
    doc_.shapes[static_cast<std::size_t>(index)].origin.range = {static_cast<std::int64_t>(open.begin),
                                                                 static_cast<std::int64_t>(end)};
    finishShape(index, inObject);
    if (parent < 0 && group) placeMembers(index, 0);
    return index;
}

void Reader::finishShape(int index, bool inObject) {
    auto& shape = doc_.shapes[static_cast<std::size_t>(index)];
    auto& raw = raw_[static_cast<std::size_t>(index)];
    const auto& p = raw.properties;
    auto number = [&p](const char* name, long long fallback) {
        const auto found = p.find(name);
        return found == p.end() ? fallback : toNumber(found->second, fallback);
    };
    if (shape.type != model::shape_type::kGroup) {
        const long long shapeType = number("shapeType", 1);
        switch (shapeType) {
            case 75: shape.type = model::shape_type::kPicture; break;
            case 202: shape.type = model::shape_type::kTextBox; break;
            case 1: shape.type = model::shape_type::kRectangle; break;
            case 3: shape.type = model::shape_type::kOval; break;
            default: shape.type = model::shape_type::kOther; break;
        }
        if (inObject) shape.type = model::shape_type::kEmbeddedObject;
    }
    if (auto found = p.find("wzName"); found != p.end()) shape.name = found->second;
    shape.rotation = 0;
    if (const long long rotation = number("rotation", 0); rotation != 0) {
        double degrees = std::fmod(static_cast<double>(rotation) / 65536.0, 360.0);
        if (degrees < 0) degrees += 360.0;
        shape.rotation = degrees;
    }
    shape.flipHorizontal = number("fFlipH", 0) != 0;
    shape.flipVertical = number("fFlipV", 0) != 0;
    shape.lockAspectRatio = number("fLockAspectRatio", 1) != 0;
    shape.behindText = raw.behind || number("fBehindDocument", 0) != 0;
    switch (raw.shpwr) {
        case 1: shape.wrap.type = 4; break;
        case 2: shape.wrap.type = 0; break;
        case 4: shape.wrap.type = 1; break;
        case 5: shape.wrap.type = 2; break;
        default: shape.wrap.type = shape.behindText ? 5 : 3; break;
    }
    shape.wrap.side = std::clamp(raw.shpwrk, 0, 3);
    shape.wrap.distanceLeftPt = emuToPt(static_cast<double>(number("dxWrapDistLeft", 114300)));
    shape.wrap.distanceRightPt = emuToPt(static_cast<double>(number("dxWrapDistRight", 114300)));
    shape.wrap.distanceTopPt = emuToPt(static_cast<double>(number("dyWrapDistTop", 0)));
    shape.wrap.distanceBottomPt = emuToPt(static_cast<double>(number("dyWrapDistBottom", 0)));
    shape.wrap.allowOverlap = number("fAllowOverlap", 1) != 0;
    // Without any word for it a shape is placed relative to the column and
    // the paragraph (so LibreOffice lays such shapes out, and so the writer
    // has to spell it out when it writes the shape anew).
    shape.relative.horizontalPosition =
        static_cast<int>(std::clamp<long long>(number("posrelh", raw.horizontal >= 0 ? raw.horizontal : 2), 0, 7));
    shape.relative.verticalPosition =
        static_cast<int>(std::clamp<long long>(number("posrelv", raw.vertical >= 0 ? raw.vertical : 2), 0, 7));
    shape.relative.horizontalSize = static_cast<int>(std::clamp<long long>(number("sizerelh", 0), 0, 5));
    shape.relative.verticalSize = static_cast<int>(std::clamp<long long>(number("sizerelv", 0), 0, 5));
    for (const auto& [name, value] : p) {
        if (isFormattingProperty(name)) shape.formatting[name] = value;
    }
    if (auto found = p.find("relLeft"); found != p.end()) {
        raw.hasRel = true;
        raw.relLeft = static_cast<double>(number("relLeft", 0));
        raw.relTop = static_cast<double>(number("relTop", 0));
        raw.relRight = static_cast<double>(number("relRight", 0));
        raw.relBottom = static_cast<double>(number("relBottom", 0));
    }
    shape.leftPt = twipsToPt(raw.left);
    shape.topPt = twipsToPt(raw.top);
    shape.widthPt = twipsToPt(std::max(0.0, raw.right - raw.left));
    shape.heightPt = twipsToPt(std::max(0.0, raw.bottom - raw.top));
    auto* detail = std::any_cast<ShapeDetail>(&shape.origin.detail);
    if (shape.type == model::shape_type::kGroup && p.count("groupRight")) {
        detail->hasGroupSpace = true;
        detail->groupLeft = static_cast<double>(number("groupLeft", 0));
        detail->groupTop = static_cast<double>(number("groupTop", 0));
        detail->groupRight = static_cast<double>(number("groupRight", 20000));
        detail->groupBottom = static_cast<double>(number("groupBottom", 20000));
    }
    // The picture: pib, or a picture fill of a picture frame.
    const std::optional<PictInfo>* picture = nullptr;
    if (raw.pib && raw.pib->usable) picture = &raw.pib;
    else if (raw.fillBlip && raw.fillBlip->usable && (shape.type == model::shape_type::kPicture || inObject)) {
        picture = &raw.fillBlip;
    }
    if (picture) {
        shape.picture = (*picture)->data;
    } else if ((raw.pib && !raw.pib->problem.empty() && raw.pib->detail.pict.length() > 40) ||
               (raw.fillBlip && !raw.fillBlip->usable && shape.type == model::shape_type::kPicture)) {
        warn("a shape's picture could not be read and was left as it is");
    }
    if (shape.type == model::shape_type::kPicture && shape.picture.empty()) {
        // Nothing to show or replace: a picture frame without a picture.
        shape.type = model::shape_type::kOther;
    }
}

void Reader::placeMembers(int group, int depth) {
    if (depth > kMaxDepth) return;
    auto& self = doc_.shapes[static_cast<std::size_t>(group)];
    const auto* detail = std::any_cast<ShapeDetail>(&self.origin.detail);
    double spaceLeft = 0, spaceTop = 0, spaceWidth = 0, spaceHeight = 0;
    if (detail && detail->hasGroupSpace) {
        spaceLeft = detail->groupLeft;
        spaceTop = detail->groupTop;
        spaceWidth = detail->groupRight - detail->groupLeft;
        spaceHeight = detail->groupBottom - detail->groupTop;
    }
    const double scaleX = spaceWidth > 0 ? self.widthPt / spaceWidth : 1.0 / 20.0;
    const double scaleY = spaceHeight > 0 ? self.heightPt / spaceHeight : 1.0 / 20.0;
    const double originX = self.leftPt;
    const double originY = self.topPt;
    const std::vector<int> members = self.children;
    for (int member : members) {
        auto& child = doc_.shapes[static_cast<std::size_t>(member)];
        const auto& raw = raw_[static_cast<std::size_t>(member)];
        if (raw.hasRel) {
            child.leftPt = originX + (raw.relLeft - spaceLeft) * scaleX;
            child.topPt = originY + (raw.relTop - spaceTop) * scaleY;
            child.widthPt = std::max(0.0, raw.relRight - raw.relLeft) * scaleX;
            child.heightPt = std::max(0.0, raw.relBottom - raw.relTop) * scaleY;
        }
        child.anchor = self.anchor;
        // Members lie where their group lies and wrap the way it does: taken
        // out of it they keep that.
        child.relative.horizontalPosition = self.relative.horizontalPosition;
        child.relative.verticalPosition = self.relative.verticalPosition;
        child.wrap = self.wrap;
        child.behindText = self.behindText;
        child.inHeader = self.inHeader;
        if (child.type == model::shape_type::kGroup) placeMembers(member, depth + 1);
    }
}

void Reader::parseGroupStart(const Token& open, State& state, int story, Collected* collect, int depth) {
    Token first = next();
    bool starred = false;
    if (first.isSymbol('*')) {
        starred = true;
        first = next();
    }
    if (first.kind == TokenKind::End) unbalanced();
    if (first.kind == TokenKind::GroupEnd) return;
    if (depth + 1 > kMaxDepth) {
        if (first.kind == TokenKind::GroupStart) pushBack(first);
        else if (first.kind == TokenKind::GroupEnd) return;
        skipGroup();
        warn("groups nested too deeply were left as they are");
        return;
    }
    if (first.kind == TokenKind::ControlWord) {
        const auto w = first.word;
        if (w == "fonttbl") {
            parseFontTable();
            fontTableJustRead_ = true;
            if (defaultFont_ >= 0 && fontCodePage_.count(defaultFont_)) state.codePage = fontCodePage_[defaultFont_];
            return;
        }
        if (w == "shppict") {
            std::optional<PictInfo> picture = parseShpPict();
            const std::size_t end = tok_.position();
            if (collect) {
                if (!collect->picture && picture) collect->picture = std::move(picture);
                return;
            }
            if (story < 0 || state.linkedPicture) return;
            if (!picture || !picture->usable) {
                if (picture && !picture->problem.empty()) warn(picture->problem);
                return;
            }
            model::InlineObject object;
            object.picture = picture->data;
            object.widthPt = picture->widthPt;
            object.heightPt = picture->heightPt;
            object.borders = picture->borders;
            object.origin.range = {static_cast<std::int64_t>(open.begin), static_cast<std::int64_t>(end)};
            InlineDetail detail;
            detail.hasPict = true;
            detail.pict = picture->detail;
            object.origin.detail = detail;
            addInline(story, std::move(object));
            lastShppict_ = static_cast<int>(doc_.inlines.size()) - 1;
            lastShppictEnd_ = end;
            return;
        }
        if (w == "nonshppict") {
            const std::size_t end = skipGroup();
            if (lastShppict_ >= 0 && !collect) {
                bool adjacent = open.begin >= lastShppictEnd_;
                for (std::size_t i = lastShppictEnd_; adjacent && i < open.begin; ++i) {
                    const char c = in_[i];
                    adjacent = c == '\r' || c == '\n' || c == ' ' || c == '\t';
                }
                if (adjacent) {
                    doc_.inlines[static_cast<std::size_t>(lastShppict_)].origin.companions.push_back(
                        {static_cast<std::int64_t>(open.begin), static_cast<std::int64_t>(end)});
                }
            }
            lastShppict_ = -1;
            return;
        }
        if (w == "pict" && !starred) {
            PictInfo picture = parsePict(open, first);
            if (collect) {
                if (!collect->picture) collect->picture = std::move(picture);
                return;
            }
            if (story < 0 || state.linkedPicture) return;
            if (!picture.usable) {
                if (!picture.problem.empty()) warn(picture.problem);
                return;
            }
            model::InlineObject object;
            object.picture = picture.data;
            object.widthPt = picture.widthPt;
            object.heightPt = picture.heightPt;
            object.borders = picture.borders;
            object.origin.range = picture.detail.pict;
            InlineDetail detail;
            detail.hasPict = true;
            detail.pict = picture.detail;
            object.origin.detail = detail;
            addInline(story, std::move(object));
            return;
        }
        if (w == "object" && !starred) {
            parseObject(open, first, state, story, collect, depth + 1);
            return;
        }
        if ((w == "shp" || w == "shpgrp") && !starred) {
            if (state.linkedPicture) {
                skipGroup();
                return;
            }
            const model::Anchor anchor = story >= 0 ? anchorHere(story) : model::Anchor{0, 0};
            const int index = parseShape(open, w == "shpgrp", -1, anchor, collect != nullptr, depth + 1);
            if (collect) {
                if (collect->shape < 0) collect->shape = index;
            }
            return;
        }
        if (w == "fldinst") {
            const std::string instruction = groupText(state.codePage);
            if (instruction.find("INCLUDEPICTURE") != std::string::npos) linkedFieldJustSeen_ = true;
            return;
        }
        if (w == "upr") {
            // The same text twice: plain, and in {\*\ud} for Unicode readers.
            for (;;) {
                const Token token = next();
                if (token.kind == TokenKind::End) unbalanced();
                if (token.kind == TokenKind::GroupEnd) return;
                if (token.kind != TokenKind::GroupStart) continue;
                Token inner = next();
                if (inner.isSymbol('*')) inner = next();
                if (inner.is("ud")) {
                    parseText(state, story, collect, depth + 2);
                } else {
                    if (inner.kind == TokenKind::GroupEnd) continue;
                    if (inner.kind == TokenKind::GroupStart) pushBack(inner);
                    skipGroup();
                }
            }
        }
        if (starred || skippedDestinations().count(w)) {
            skipGroup();
            return;
        }
    } else if (starred) {
        if (first.kind == TokenKind::GroupStart) pushBack(first);
        skipGroup();
        return;
    }
    // An ordinary group: its state is its own.
    pushBack(first);
    parseText(state, story, collect, depth + 1);
}

void Reader::parseText(State state, int story, Collected* collect, int depth) {
    for (;;) {
        tok_.setDoubleByte(isDoubleByteCodePage(state.codePage));
        const Token token = next();
        if (token.kind != TokenKind::ControlSymbol || token.word[0] != '\'') pendingLead_ = -1;
        switch (token.kind) {
            case TokenKind::End:
                if (depth == 0) return;
                unbalanced();
            case TokenKind::GroupEnd: return;
            case TokenKind::GroupStart: {
                State inner = state;
                inner.skip = 0;
                parseGroupStart(token, inner, story, collect, depth);
                // A font table read at the top changes the document's state.
                if (fontTableJustRead_) state.codePage = inner.codePage;
                if (linkedFieldJustSeen_) state.linkedPicture = true;
                fontTableJustRead_ = false;
                linkedFieldJustSeen_ = false;
                break;
            }
            case TokenKind::Text:
                addBytes(story, state, token.data, token.begin);
                break;
            case TokenKind::ControlSymbol: {
                const char c = token.word[0];
                if (c == '\'') {
                    if (state.skip > 0) {
                        --state.skip;
                        break;
                    }
                    if (pendingLead_ >= 0) {
                        const char pair[2] = {static_cast<char>(pendingLead_), static_cast<char>(token.byte)};
                        std::string utf8;
                        appendCodePageChar(state.codePage, std::string_view(pair, 2), utf8);
                        addChar(story, utf8, 1, pendingLeadAt_, token.end);
                        pendingLead_ = -1;
                    } else if (isLeadByteIn(state.codePage, token.byte)) {
                        if (token.trail >= 0) {
                            const char pair[2] = {static_cast<char>(token.byte), static_cast<char>(token.trail)};
                            std::string utf8;
                            appendCodePageChar(state.codePage, std::string_view(pair, 2), utf8);
                            addChar(story, utf8, 1, token.begin, token.end);
                        } else {
                            pendingLead_ = token.byte;
                            pendingLeadAt_ = token.begin;
                        }
                    } else {
                        const char one = static_cast<char>(token.byte);
                        std::string utf8;
                        appendCodePageChar(state.codePage, std::string_view(&one, 1), utf8);
                        addChar(story, utf8, 1, token.begin, token.end);
                    }
                    break;
                }
                if (state.skip > 0) {
                    --state.skip;
                    break;
                }
                switch (c) {
                    case '\\':
                    case '{':
                    case '}': addChar(story, std::string_view(&c, 1), 1, token.begin, token.end); break;
                    case '~': addChar(story, "\xC2\xA0", 1, token.begin, token.end); break;
                    case '_': addChar(story, "\xE2\x80\x91", 1, token.begin, token.end); break;
                    case '-': addChar(story, "\xC2\xAD", 1, token.begin, token.end); break;
                    default: break;
                }
                break;
            }
            case TokenKind::ControlWord: {
                const auto w = token.word;
                const std::int32_t p = token.parameter;
                auto& para = state.paragraph;
                auto frame = [&para]() -> model::FrameProperties& {
                    if (!para.frame) para.frame = model::FrameProperties{};
                    return *para.frame;
                };
                if (w == "par") {
                    addElement(story, model::Element::paragraphMark(para), token.begin, token.end);
                } else if (w == "pard") {
                    para = model::ParagraphProperties{};
                } else if (w == "pagebb") {
                    para.pageBreakBefore = !token.hasParameter || p != 0;
                } else if (w == "absw") {
                    frame().widthPt = twipsToPt(p);
                } else if (w == "absh") {
                    frame().heightPt = twipsToPt(p);
                } else if (w == "posx") {
                    frame().xPt = twipsToPt(p);
                } else if (w == "posnegx") {
                    frame().xPt = twipsToPt(p);
                } else if (w == "posy") {
                    frame().yPt = twipsToPt(p);
                } else if (w == "posnegy") {
                    frame().yPt = twipsToPt(p);
                } else if (w == "phmrg") {
                    frame().horizontalReference = 0;
                } else if (w == "phpg") {
                    frame().horizontalReference = 1;
                } else if (w == "phcol") {
                    frame().horizontalReference = 2;
                } else if (w == "pvmrg") {
                    frame().verticalReference = 0;
                } else if (w == "pvpg") {
                    frame().verticalReference = 1;
                } else if (w == "pvpara") {
                    frame().verticalReference = 2;
                } else if (w == "nowrap") {
                    frame().wrapAround = false;
                } else if (w == "wraparound" || w == "wraptight" || w == "wrapthrough") {
                    frame().wrapAround = true;
                } else if (w == "page") {
                    addElement(story, model::Element::pageBreak(), token.begin, token.end);
                } else if (w == "column") {
                    model::Element element;
                    element.kind = model::ElementKind::ColumnBreak;
                    element.chars = 1;
                    addElement(story, std::move(element), token.begin, token.end);
                } else if (w == "sect") {
                    model::Element element = model::Element::sectionBreak(model::SectionBreakKind::NewPage);
                    element.paragraph = para;
                    addElement(story, std::move(element), token.begin, token.end);
                    if (story >= 0) lastSection_ = {story, doc_.stories[static_cast<std::size_t>(story)].elements.size() - 1};
                } else if (w == "sbknone" || w == "sbkcol" || w == "sbkpage" || w == "sbkeven" || w == "sbkodd") {
                    // Describes how the section now starting begins: the break before it.
                    if (lastSection_.first >= 0) {
                        auto& elements = doc_.stories[static_cast<std::size_t>(lastSection_.first)].elements;
                        if (lastSection_.second < elements.size()) {
                            auto& element = elements[lastSection_.second];
                            element.section = w == "sbknone"  ? model::SectionBreakKind::Continuous
                                              : w == "sbkcol" ? model::SectionBreakKind::NewColumn
                                              : w == "sbkeven" ? model::SectionBreakKind::EvenPage
                                              : w == "sbkodd"  ? model::SectionBreakKind::OddPage
                                                               : model::SectionBreakKind::NewPage;
                        }
                    }
                } else if (w == "cell" || w == "row" || w == "nestcell" || w == "nestrow") {
                    addElement(story, model::Element::paragraphMark(para), token.begin, token.end);
                } else if (w == "u" && token.hasParameter) {
                    addUnicode(story, state, p, token.begin, token.end);
                    break;
                } else if (w == "uc") {
                    state.uc = std::clamp(p, 0, 16);
                } else if (w == "f" && token.hasParameter) {
                    const auto found = fontCodePage_.find(p);
                    state.codePage = found != fontCodePage_.end() ? found->second : ansiCodePage_;
                } else if (w == "ansicpg" && p > 0) {
                    ansiCodePage_ = p;
                    if (defaultFont_ < 0 || !fontCodePage_.count(defaultFont_)) state.codePage = p;
                } else if (w == "deff") {
                    defaultFont_ = p;
                } else if (w == "plain") {
                    if (defaultFont_ >= 0 && fontCodePage_.count(defaultFont_)) state.codePage = fontCodePage_[defaultFont_];
                } else if (const char* character = specialCharacter(w)) {
                    addChar(story, character, 1, token.begin, token.end);
                }
                break;
            }
        }
    }
}

model::Document Reader::read() {
    std::size_t at = 0;
    while (at < in_.size() && (in_[at] == ' ' || in_[at] == '\t' || in_[at] == '\r' || in_[at] == '\n')) ++at;
    if (in_.compare(at, 5, "{\\rtf") != 0) throw model::FormatError("the file is not an RTF document");
    tok_ = Tokenizer(in_, at);
    doc_.format = "rtf";
    doc_.source = bytes_;
    next();  // the opening brace
    const Token version = next();
    if (!version.is("rtf")) throw model::FormatError("the file is not an RTF document");
    State state;
    parseText(state, 0, nullptr, 1);
    flush(0);
    auto& elements = doc_.main().elements;
    if (elements.empty() || (elements.back().kind != model::ElementKind::ParagraphMark &&
                             elements.back().kind != model::ElementKind::SectionBreak)) {
        // The last paragraph of a document needs no \par; its mark stands
        // before the closing brace.
        model::Element mark = model::Element::paragraphMark();
        const std::size_t end = tok_.position() > 0 ? tok_.position() - 1 : 0;
        mark.origin.format = "rtf";
        mark.origin.range = {static_cast<std::int64_t>(end), static_cast<std::int64_t>(end)};
        mark.origin.source = bytes_;
        elements.push_back(std::move(mark));
    }
    // A name that several shapes carry names none of them (LibreOffice
    // writes a group's name on each of its members): those shapes get names
    // of their own when the document is opened, as new shapes do.
    std::map<std::string, int> uses;
    for (const auto& shape : doc_.shapes) {
        if (!shape.name.empty()) ++uses[shape.name];
    }
    for (auto& shape : doc_.shapes) {
        if (!shape.name.empty() && uses[shape.name] > 1) shape.name.clear();
    }
    return std::move(doc_);
}

}  // namespace

bool looksLikeRtf(std::string_view bytes) {
    std::size_t at = 0;
    while (at < bytes.size() && at < 4096 &&
           (bytes[at] == ' ' || bytes[at] == '\t' || bytes[at] == '\r' || bytes[at] == '\n')) {
        ++at;
    }
    return bytes.compare(at, 5, "{\\rtf") == 0;
}

model::Document readRtf(std::shared_ptr<const std::string> bytes) {
    if (!bytes) throw model::FormatError("there is no document to read");
    Reader reader(std::move(bytes));
    return reader.read();
}

}  // namespace kelvaran::formats::rtf
