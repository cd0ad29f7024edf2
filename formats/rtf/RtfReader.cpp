// The RTF reader: one pass over the tokens with a recursive descent per
// destination, filling the document model and recording where every object
// and shape sits in the input so the writer can patch it.

#include "formats/rtf/RtfReaderImpl.h"

#include "formats/rtf/RtfFormat.h"
#include "formats/rtf/RtfSpelledRun.h"
#include "formats/rtf/RtfText.h"

#include <algorithm>
#include <cctype>
#include <new>

namespace kelvaran::formats::rtf {

namespace detail {

namespace {

// About how many elements the main story will hold: a mark for every
// paragraph, cell, row, page and section word, and a run of text before
// each.  The story's elements reserved up front are not moved into a buffer
// twice the size as they grow, which for a long text would be the largest
// part of what reading it takes.  Marks of other stories and skipped groups
// make it too large, never by more than the marks themselves cost.
std::size_t expectedMainElements(std::string_view in) {
    std::size_t marks = 0;
    for (std::size_t at = in.find('\\'); at != std::string_view::npos; at = in.find('\\', at)) {
        std::size_t end = ++at;
        while (end < in.size() && end - at <= 8 && std::isalpha(static_cast<unsigned char>(in[end]))) ++end;
        const std::string_view word = in.substr(at, end - at);
        if (word == "par" || word == "cell" || word == "row" || word == "page" || word == "sect") ++marks;
        // A control symbol ("\\", "\{") takes the character after the backslash.
        at = end == at ? at + 1 : end;
    }
    // Room left for the few elements an edit adds; a file of little else
    // than marks gets no more than a few bytes of elements a byte.
    return std::min(2 * marks + marks / 32 + 16, in.size() / 32 + 16);
}

}  // namespace

std::optional<model::StoryKind> headerFooterKind(std::string_view word) {
    static constexpr std::string_view kHeaders[] = {"header", "headerl", "headerr", "headerf"};
    static constexpr std::string_view kFooters[] = {"footer", "footerl", "footerr", "footerf"};
    for (const auto name : kHeaders) {
        if (name == word) return model::StoryKind::Header;
    }
    for (const auto name : kFooters) {
        if (name == word) return model::StoryKind::Footer;
    }
    return std::nullopt;
}

void Reader::unbalanced() const {
    if (cutBinary_) {
        throw model::FormatError("the \\bin data at byte " + std::to_string(cutBinary_->begin) + " claims " +
                                 std::to_string(cutBinary_->parameter) +
                                 " bytes, more than the file holds: the file is cut short and its braces are "
                                 "unbalanced");
    }
    if (openGroups_.empty()) throw model::FormatError("the file ends inside an open group: its braces are unbalanced");
    // The innermost open group, named by its first control word.
    const std::size_t at = openGroups_.back();
    std::size_t word = at + 1;
    if (in_.compare(word, 2, "\\*") == 0) word += 2;
    std::string name;
    if (word < in_.size() && in_[word] == '\\') {
        for (std::size_t i = word + 1;
             i < in_.size() && name.size() < Tokenizer::kMaxWordLength && std::isalpha(static_cast<unsigned char>(in_[i]));
             ++i) {
            name += in_[i];
        }
    }
    const std::size_t count = openGroups_.size();
    throw model::FormatError("the file ends while " + std::to_string(count) +
                             (count == 1 ? " group is" : " groups are") + " still open, the innermost " +
                             (name.empty() ? std::string() : "(\\" + name + ") ") + "at byte " +
                             std::to_string(at) + ": its braces are unbalanced");
}

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
    // A run grows a character at a time; what it keeps is cut to its size.
    run.offsets.finish();
    const std::string_view input(*bytes_);
    const std::size_t units = static_cast<std::size_t>(run.units);
    const bool plain = run.offsets.contiguous(run.begin) && run.end >= run.begin && run.end - run.begin == units &&
                       run.end <= input.size();
    model::Element element;
    if (plain && input.substr(run.begin, units) == run.utf8) {
        // The input's own bytes: the run points at them instead of keeping a copy.
        element = model::Element::textRun(model::RunText::inInput(input.substr(run.begin, units)), run.units);
        element.origin = elementOrigin(run.begin, run.end, plainRun_);
    } else if (const auto context = spelledAsRead(run)) {
        // Escapes and all, the input's bytes give the same text when read again.
        element = model::Element::textRun(
            model::RunText::spelledInInput(input.substr(run.begin, run.end - run.begin), spelledRunDecoder(), *context),
            run.units);
        element.origin = elementOrigin(run.begin, run.end, spelledDetail(*context));
    } else {
        element = model::Element::textRun(model::RunText(run.utf8), run.units);
        element.origin = elementOrigin(run.begin, run.end,
                                       plain ? plainRun_ : model::ElementDetail(std::any(TextDetail{std::move(run.offsets)})));
    }
    doc_.stories[static_cast<std::size_t>(story)].elements.push_back(std::move(element));
}

std::optional<std::uint32_t> Reader::spelledAsRead(const Run& run) const {
    const auto context = spelledRunContext(run.codePage, run.uc);
    if (!context || run.utf8.empty() || run.end <= run.begin || run.end > bytes_->size()) {
        return std::nullopt;
    }
    std::string utf8;
    RunOffsets offsets;
    if (!readSpelledRun(std::string_view(*bytes_).substr(run.begin, run.end - run.begin), *context, utf8, &offsets,
                        run.begin)) {
        return std::nullopt;
    }
    offsets.finish();
    if (utf8 != run.utf8 || offsets != run.offsets) return std::nullopt;
    return context;
}

model::ElementDetail Reader::spelledDetail(std::uint32_t context) {
    auto found = spelledDetails_.find(context);
    if (found == spelledDetails_.end()) {
        found = spelledDetails_.emplace(context, model::ElementDetail(std::any(SpelledTextDetail{context}))).first;
    }
    return found->second;
}

void Reader::addChar(int story, const State& state, std::string_view utf8, int units, std::size_t begin,
                     std::size_t end) {
    if (story < 0) return;
    Run& run = runs_[story];
    if (run.units == 0) startRun(run, state, begin);
    run.utf8.append(utf8);
    for (int i = 0; i < units; ++i) run.offsets.push(begin);
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
        addChar(story, state, utf8, 1, at, begin + i + 1);
    }
}

void Reader::addUnicode(int story, State& state, std::int32_t parameter, std::size_t begin, std::size_t end) {
    state.skip = state.uc;
    if (story < 0) return;
    const auto unit = static_cast<char16_t>(parameter < 0 ? parameter + 65536 : parameter);
    Run& run = runs_[story];
    if (unit >= 0xD800 && unit <= 0xDBFF) {
        run.highSurrogate = unit;
        if (run.units == 0) startRun(run, state, begin);
        run.offsets.push(begin);
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
    addChar(story, state, utf8, 1, begin, end);
}

void Reader::addElement(int story, model::Element element, std::size_t begin, std::size_t end) {
    if (story < 0) return;
    flush(story);
    element.origin = elementOrigin(begin, end);
    doc_.stories[static_cast<std::size_t>(story)].elements.push_back(std::move(element));
}

void Reader::addInline(int story, model::InlineObject object) {
    flush(story);
    object.origin.format = "rtf";
    object.origin.source = bytes_;
    if (auto* detail = std::any_cast<InlineDetail>(&object.origin.detail)) detail->story = story;
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
            readShppictGroup(open, state, story, collect);
            return;
        }
        if (w == "nonshppict") {
            readNonShppictGroup(open, collect);
            return;
        }
        if (w == "pict" && !starred) {
            readPictGroup(open, first, state, story, collect);
            return;
        }
        if (w == "object" && !starred) {
            parseObject(open, first, state, story, collect, depth + 1);
            return;
        }
        if (const auto kind = headerFooterKind(w); kind && !starred && story == 0 && !collect) {
            readHeaderFooter(*kind, open.begin, state, depth);
            return;
        }
        if ((w == "shp" || w == "shpgrp") && !starred) {
            // Shapes of a header or footer stay as they are: their bytes are
            // kept, their drawing is not read.
            if (state.linkedPicture || headerOrFooter(story)) {
                skipGroup();
                return;
            }
            if (collect && collect->shape >= 0) {
                // An object's result shows one shape; more are damage, and
                // they go with the object's result whatever is done to it.
                skipGroup();
                warn("a second shape in an object's result was left as it is");
                return;
            }
            const model::Anchor anchor = story >= 0 ? anchorHere(story) : model::Anchor{0, 0};
            const int index = parseShape(open, w == "shpgrp", -1, anchor, collect != nullptr, depth + 1);
            if (collect) collect->shape = index;
            return;
        }
        if (w == "fldinst") {
            const std::string instruction = groupText(state.codePage);
            if (instruction.find("INCLUDEPICTURE") != std::string::npos) linkedFieldJustSeen_ = true;
            return;
        }
        if (w == "upr") {
            parseUpr(state, story, collect, depth);
            return;
        }
        if (starred || isSkippedDestination(w)) {
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

// A header or footer group whose "{" and first word were read: its text,
// pictures and objects form a story of their own.
void Reader::readHeaderFooter(model::StoryKind kind, std::size_t begin, const State& state, int depth) {
    model::Story story;
    story.kind = kind;
    doc_.stories.push_back(std::move(story));
    const int index = static_cast<int>(doc_.stories.size()) - 1;
    State inner = state;
    inner.paragraph = model::ParagraphProperties{};
    parseText(inner, index, nullptr, depth + 1);
    flush(index);
    auto& origin = doc_.stories[static_cast<std::size_t>(index)].origin;
    origin.format = "rtf";
    origin.source = bytes_;
    origin.range = {static_cast<std::int64_t>(begin), static_cast<std::int64_t>(lastEnd_)};
}

bool Reader::headerOrFooter(int story) const {
    if (story <= 0 || story >= static_cast<int>(doc_.stories.size())) return false;
    const auto kind = doc_.stories[static_cast<std::size_t>(story)].kind;
    return kind == model::StoryKind::Header || kind == model::StoryKind::Footer;
}

// The same text twice: plain, and in {\*\ud} for Unicode readers.
void Reader::parseUpr(State& state, int story, Collected* collect, int depth) {
    walkGroup(ignore, ignore, [&](const Token&) {
        Token inner = next();
        if (inner.isSymbol('*')) inner = next();
        if (inner.is("ud")) {
            parseText(state, story, collect, depth + 2);
        } else {
            skipRest(inner);
        }
    });
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
            case TokenKind::ControlSymbol:
                textSymbol(token, state, story);
                break;
            case TokenKind::ControlWord:
                textWord(token, state, story);
                break;
        }
    }
}

// A control symbol of the text: an escaped byte, or a character of its own.
void Reader::textSymbol(const Token& token, State& state, int story) {
    const char c = token.word[0];
    if (c == '\'') {
        if (state.skip > 0) {
            --state.skip;
            return;
        }
        if (pendingLead_ >= 0) {
            const char pair[2] = {static_cast<char>(pendingLead_), static_cast<char>(token.byte)};
            std::string utf8;
            appendCodePageChar(state.codePage, std::string_view(pair, 2), utf8);
            addChar(story, state, utf8, 1, pendingLeadAt_, token.end);
            pendingLead_ = -1;
        } else if (isLeadByteIn(state.codePage, token.byte)) {
            if (token.trail >= 0) {
                const char pair[2] = {static_cast<char>(token.byte), static_cast<char>(token.trail)};
                std::string utf8;
                appendCodePageChar(state.codePage, std::string_view(pair, 2), utf8);
                addChar(story, state, utf8, 1, token.begin, token.end);
            } else {
                pendingLead_ = token.byte;
                pendingLeadAt_ = token.begin;
            }
        } else {
            const char one = static_cast<char>(token.byte);
            std::string utf8;
            appendCodePageChar(state.codePage, std::string_view(&one, 1), utf8);
            addChar(story, state, utf8, 1, token.begin, token.end);
        }
        return;
    }
    if (state.skip > 0) {
        --state.skip;
        return;
    }
    switch (c) {
        case '\\':
        case '{':
        case '}': addChar(story, state, std::string_view(&c, 1), 1, token.begin, token.end); break;
        case '~': addChar(story, state, "\xC2\xA0", 1, token.begin, token.end); break;
        case '_': addChar(story, state, "\xE2\x80\x91", 1, token.begin, token.end); break;
        case '-': addChar(story, state, "\xC2\xAD", 1, token.begin, token.end); break;
        default: break;
    }
}

// A control word of the text: a break, a paragraph or frame property, a
// change of character set, or a character.
void Reader::textWord(const Token& token, State& state, int story) {
    const auto w = token.word;
    const std::int32_t p = token.parameter;
    auto& para = state.paragraph;
    auto frame = [&para]() -> model::FrameProperties& {
        if (!para.frame) para.frame = model::FrameProperties{};
        return *para.frame;
    };
    if (layoutWord(token, state, story)) return;
    if (w == "par") {
        addElement(story, model::Element::paragraphMark(sharedMark(markProperties(state))), token.begin, token.end);
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
        element.paragraph = sharedMark(markProperties(state));
        if (story == 0) doc_.sections.push_back(sectionPage_);
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
        model::ParagraphProperties props = markProperties(state);
        props.inTable = true;
        props.cellEnd = w == "cell" || w == "nestcell";
        props.rowEnd = w == "row" || w == "nestrow";
        addElement(story, model::Element::paragraphMark(sharedMark(props)), token.begin, token.end);
    } else if (w == "u" && token.hasParameter) {
        addUnicode(story, state, p, token.begin, token.end);
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
        addChar(story, state, character, 1, token.begin, token.end);
    }
}

bool Reader::layoutWord(const Token& token, State& state, int story) {
    const auto w = token.word;
    const std::int32_t p = token.parameter;
    auto& para = state.paragraph;
    auto twips = [&] { return twipsToPt(p); };
    // The document's page holds for every section that does not set its own.
    auto both = [&](double model::PageSetup::*field) {
        documentPage_.*field = twips();
        sectionPage_.*field = twips();
    };
    if (w == "fs" && token.hasParameter) {
        if (p > 0) state.fontSizePt = std::min(p, 3276) / 2.0;
    } else if (w == "plain") {
        state.fontSizePt = 12;
        return false;  // the character set follows it too
    } else if (w == "sb") {
        para.spaceBeforePt = std::max(0.0, twips());
    } else if (w == "sa") {
        para.spaceAfterPt = std::max(0.0, twips());
    } else if (w == "sl") {
        para.lineSpacingPt = p == 1000 ? 0 : twips();
        para.lineMultiple = 0;
    } else if (w == "slmult") {
        if (p == 1 && para.lineSpacingPt > 0) {
            para.lineMultiple = para.lineSpacingPt * 20 / 240.0;
            para.lineSpacingPt = 0;
        }
    } else if (w == "li") {
        para.indentLeftPt = twips();
    } else if (w == "ri") {
        para.indentRightPt = twips();
    } else if (w == "intbl") {
        para.inTable = true;
    } else if (w == "paperw" && p > 0) {
        both(&model::PageSetup::widthPt);
    } else if (w == "paperh" && p > 0) {
        both(&model::PageSetup::heightPt);
    } else if (w == "margl") {
        both(&model::PageSetup::marginLeftPt);
    } else if (w == "margr") {
        both(&model::PageSetup::marginRightPt);
    } else if (w == "margt") {
        both(&model::PageSetup::marginTopPt);
    } else if (w == "margb") {
        both(&model::PageSetup::marginBottomPt);
    } else if (w == "sectd") {
        sectionPage_ = documentPage_;
    } else if (w == "pgwsxn" && p > 0) {
        sectionPage_.widthPt = twips();
    } else if (w == "pghsxn" && p > 0) {
        sectionPage_.heightPt = twips();
    } else if (w == "marglsxn") {
        sectionPage_.marginLeftPt = twips();
    } else if (w == "margrsxn") {
        sectionPage_.marginRightPt = twips();
    } else if (w == "margtsxn") {
        sectionPage_.marginTopPt = twips();
    } else if (w == "margbsxn") {
        sectionPage_.marginBottomPt = twips();
    } else {
        return false;
    }
    (void)story;
    return true;
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
    doc_.defaultFontSizePt = state.fontSizePt;
    try {
        doc_.main().elements.reserve(expectedMainElements(in_));
    } catch (const std::bad_alloc&) {
        // The story then grows as it is read.
    }
    parseText(state, 0, nullptr, 1);
    flush(0);
    doc_.sections.push_back(sectionPage_);
    auto& elements = doc_.main().elements;
    if (elements.empty() || (elements.back().kind != model::ElementKind::ParagraphMark &&
                             elements.back().kind != model::ElementKind::SectionBreak)) {
        // The last paragraph of a document needs no \par; its mark stands
        // before the closing brace.
        model::Element mark = model::Element::paragraphMark();
        const std::size_t end = tok_.position() > 0 ? tok_.position() - 1 : 0;
        mark.origin = elementOrigin(end, end);
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
    recordReadValues();
    return std::move(doc_);
}

}  // namespace detail

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
    detail::Reader reader(std::move(bytes));
    return reader.read();
}

}  // namespace kelvaran::formats::rtf
