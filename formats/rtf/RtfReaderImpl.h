#pragma once

// The RTF reader's class, shared by the files that read each kind of group:
// RtfReader.cpp (text, the font table, the reader's pass over the file),
// RtfReader_pict.cpp, RtfReader_object.cpp and RtfReader_shape.cpp.  Nothing
// outside formats/rtf includes it.

#include "formats/model/Document.h"
#include "formats/model/FormatError.h"
#include "formats/rtf/RtfDetail.h"
#include "formats/rtf/RtfRunOffsets.h"
#include "formats/rtf/RtfTokenizer.h"

#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace kelvaran::formats::rtf::detail {

namespace model = formats::model;

// Deeper groups are left as they are (their bytes stay, their content is not
// read); no real document comes near this.
constexpr int kMaxDepth = 200;

inline double twipsToPt(double twips) { return twips / 20.0; }
inline double emuToPt(double emu) { return emu / 12700.0; }

inline long long toNumber(const std::string& text, long long fallback = 0) {
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
// picture's hex may hold (spaces and tabs in its text, line ends between it).
struct HexTable {
    std::array<std::int8_t, 256> value{};
    constexpr HexTable() {
        for (int c = 0; c < 256; ++c) value[static_cast<std::size_t>(c)] = -1;
        for (int c = '0'; c <= '9'; ++c) value[static_cast<std::size_t>(c)] = static_cast<std::int8_t>(c - '0');
        for (int c = 'a'; c <= 'f'; ++c) value[static_cast<std::size_t>(c)] = static_cast<std::int8_t>(c - 'a' + 10);
        for (int c = 'A'; c <= 'F'; ++c) value[static_cast<std::size_t>(c)] = static_cast<std::int8_t>(c - 'A' + 10);
        value[' '] = value['\t'] = value['\r'] = value['\n'] = -2;
    }
};
inline constexpr HexTable kHex;

inline int hexDigit(char c) {
    const int value = kHex.value[static_cast<unsigned char>(c)];
    return value < 0 ? -1 : value;
}

// The story kind of a header or footer destination word; none for any other.
std::optional<model::StoryKind> headerFooterKind(std::string_view word);

// Character state that groups keep for themselves.
struct State {
    int uc = 1;
    int codePage = 1252;
    int skip = 0;  // fallback units still to drop after \u
    model::ParagraphProperties paragraph;
    bool linkedPicture = false;  // inside an INCLUDEPICTURE field
    double fontSizePt = 12;      // \fs; 12 points unless the document says otherwise
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
    RunOffsets offsets;
    std::size_t begin = 0;
    std::size_t end = 0;
    char16_t highSurrogate = 0;
    // The state the run's first character was read in.
    int codePage = 0;
    int uc = 1;
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
    int instances = 0;     // {\*\shpinst} groups met; a shape has one
    bool damaged = false;  // holds groups RTF does not allow there
};

class Reader {
public:
    explicit Reader(std::shared_ptr<const std::string> bytes)
        : bytes_(std::move(bytes)),
          in_(*bytes_),
          tok_(in_),
          elementShared_(model::ElementOrigin::share("rtf", bytes_)) {}

    model::Document read();

private:
    Token next() {
        if (pushed_) {
            pushed_ = false;
            lastEnd_ = pushedToken_.end;
            return pushedToken_;
        }
        Token token = tok_.next();
        lastEnd_ = token.end;
        // The groups open at this point, for a precise reason when the file
        // ends inside one of them.
        if (token.kind == TokenKind::GroupStart) {
            openGroups_.push_back(token.begin);
        } else if (token.kind == TokenKind::GroupEnd) {
            if (!openGroups_.empty()) openGroups_.pop_back();
        } else if (token.truncated && !cutBinary_) {
            cutBinary_ = token;
        }
        return token;
    }
    void pushBack(const Token& token) {
        pushed_ = true;
        pushedToken_ = token;
    }
    // Throws the reason why the file ended inside an open group.
    [[noreturn]] void unbalanced() const;
    // Skips to the end of a group whose "{" was read; returns the byte after its "}".
    std::size_t skipGroup();
    // Skips the rest of a group whose "{" and first token were read.
    void skipRest(const Token& first) {
        if (first.kind == TokenKind::GroupEnd) return;
        if (first.kind == TokenKind::GroupStart) pushBack(first);
        skipGroup();
    }
    // Reads the tokens of a group whose "{" and first word were read, up to
    // its "}", and returns the byte after the "}".  Control words go to
    // `onWord`, text to `onText` and the "{" of a group inside to `onGroup`,
    // which reads that group to its end; control symbols are passed over.
    template <typename OnWord, typename OnText, typename OnGroup>
    std::size_t walkGroup(OnWord&& onWord, OnText&& onText, OnGroup&& onGroup) {
        for (;;) {
            const Token token = next();
            switch (token.kind) {
                case TokenKind::End: unbalanced();
                case TokenKind::GroupEnd: return token.end;
                case TokenKind::GroupStart: onGroup(token); break;
                case TokenKind::Text: onText(token); break;
                case TokenKind::ControlWord: onWord(token); break;
                case TokenKind::ControlSymbol: break;
            }
        }
    }
    static void ignore(const Token&) {}
    // The plain text of a group whose "{" and first token were read.
    std::string groupText(int codePage, std::size_t* end = nullptr);

    // Text (RtfReader.cpp).
    void parseText(State state, int story, Collected* collect, int depth);
    void textSymbol(const Token& token, State& state, int story);
    void textWord(const Token& token, State& state, int story);
    void parseFontTable();
    void parseGroupStart(const Token& open, State& state, int story, Collected* collect, int depth);
    void parseUpr(State& state, int story, Collected* collect, int depth);
    void readHeaderFooter(model::StoryKind kind, std::size_t begin, const State& state, int depth);
    bool headerOrFooter(int story) const;

    // Pictures (RtfReader_pict.cpp).
    PictInfo parsePict(const Token& open, const Token& word);
    std::optional<PictInfo> parseShpPict();
    void readPictGroup(const Token& open, const Token& word, const State& state, int story, Collected* collect);
    void readShppictGroup(const Token& open, const State& state, int story, Collected* collect);
    void readNonShppictGroup(const Token& open, Collected* collect);

    // Embedded objects (RtfReader_object.cpp).
    void parseObject(const Token& open, const Token& word, State& state, int story, Collected* collect, int depth);
    std::string objectDataClass();

    // Shapes (RtfReader_shape.cpp).
    int parseShape(const Token& open, bool group, int parent, model::Anchor anchor, bool inObject, int depth);
    void parseShapeInstance(const Token& open, const Token& word, int shape, model::Anchor anchor, bool inObject,
                            int depth);
    // Reads a {\sp} group; returns the property's name and sets `end`.
    std::string parseProperty(int shape, std::size_t& end);
    void finishShape(int shape, bool inObject);
    // Forgets what was read inside a damaged shape: it stays as its bytes are.
    void keepDamagedShape(int shape, std::size_t stories, std::size_t inlines, std::size_t fallbacks);
    // Notes the values every shape was read with, for the writer.
    void recordReadValues();
    void placeMembers(int group, int depth);
    void setAnchor(int shape, model::Anchor anchor, int depth) {
        if (depth > kMaxDepth) return;
        doc_.shapes[static_cast<std::size_t>(shape)].anchor = anchor;
        for (int member : doc_.shapes[static_cast<std::size_t>(shape)].children) setAnchor(member, anchor, depth + 1);
    }

    // Page setup, character sizes, spacing and tables, which only the page
    // estimate uses; true when the word was one of them.
    bool layoutWord(const Token& token, State& state, int story);
    // The properties a paragraph mark carries: the paragraph's, with the
    // character size in force at the mark.
    static model::ParagraphProperties markProperties(const State& state) {
        model::ParagraphProperties props = state.paragraph;
        props.fontSizePt = state.fontSizePt;
        return props;
    }

    // Story building.
    // The origin of an element at bytes [begin, end) of the input.
    model::ElementOrigin elementOrigin(std::size_t begin, std::size_t end, model::ElementDetail detail = {}) const {
        return model::ElementOrigin(elementShared_, {static_cast<std::int64_t>(begin), static_cast<std::int64_t>(end)},
                                    std::move(detail));
    }
    // A mark's properties, shared with the mark before when they are the same.
    model::SharedParagraph sharedMark(const model::ParagraphProperties& properties) {
        lastMark_ = model::SharedParagraph::like(properties, lastMark_);
        return lastMark_;
    }
    void flush(int story);
    // The packed state to read `run` again from its bytes, when that reading
    // gives exactly the text and offsets read.
    std::optional<std::uint32_t> spelledAsRead(const Run& run) const;
    model::ElementDetail spelledDetail(std::uint32_t context);
    void addChar(int story, const State& state, std::string_view utf8, int units, std::size_t begin, std::size_t end);
    static void startRun(Run& run, const State& state, std::size_t begin) {
        run.begin = begin;
        run.codePage = state.codePage;
        run.uc = state.uc;
    }
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
    std::size_t lastEnd_ = 0;              // the byte after the last token taken
    std::vector<std::size_t> openGroups_;  // where each open group begins
    std::optional<Token> cutBinary_;       // the first \bin run longer than the rest of the file
    model::Document doc_;
    std::map<int, Run> runs_;
    std::map<int, int> fontCodePage_;
    int defaultFont_ = -1;
    int ansiCodePage_ = 1252;
    std::vector<ShapeRaw> raw_;
    model::ElementOrigin::SharedPart elementShared_;
    // Every run of plain text carries this one detail.
    model::ElementDetail plainRun_{std::any(PlainTextDetail{})};
    // One detail for each state spelled runs start in.
    std::map<std::uint32_t, model::ElementDetail> spelledDetails_;
    model::SharedParagraph lastMark_;
    // The last \shppict object and where it ended, to pair a \nonshppict.
    int lastShppict_ = -1;
    std::size_t lastShppictEnd_ = 0;
    // Where the last {\*\shppict} group ended, wherever it stood (object
    // results included), to find the fallback picture after it.
    std::optional<std::size_t> lastShppictGroupEnd_;
    int warningsLeft_ = 20;
    // A lead byte written as \'hh whose trail byte is still to come.
    int pendingLead_ = -1;
    std::size_t pendingLeadAt_ = 0;
    // The last section break read: later \sbk.. words describe it.
    std::pair<int, std::size_t> lastSection_{-1, 0};
    // The document's page and the page of the section being read.
    model::PageSetup documentPage_;
    model::PageSetup sectionPage_;
    // Set by a group that changes its parent's state (the font table, a
    // field instruction naming a linked picture).
    bool fontTableJustRead_ = false;
    bool linkedFieldJustSeen_ = false;
    void warn(std::string text) {
        if (warningsLeft_-- > 0) doc_.warnings.push_back(std::move(text));
    }
};

}  // namespace kelvaran::formats::rtf::detail
