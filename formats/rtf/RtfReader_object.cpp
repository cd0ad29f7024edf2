// The RTF reader: embedded objects, {\object}.

#include "formats/rtf/RtfReaderImpl.h"

namespace kelvaran::formats::rtf::detail {

// The class name in the OLE 1 header of an {\*\objdata} group whose "{" and
// first word were read; empty when the header does not say.  Only the first
// bytes of the data are decoded.
std::string Reader::objectDataClass() {
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
        if (length > 1 && 12 + length <= head.size()) return head.substr(12, length - 1);
    }
    return {};
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
    auto onWord = [&](const Token& token) {
        if (token.word == "objlink" || token.word == "objautlink") object.kind = model::InlineKind::LinkedObject;
        else if (token.word == "objw") detail.objectWidth = token.parameter, detail.objectSizeWords.push_back(
            {static_cast<std::int64_t>(token.begin), static_cast<std::int64_t>(token.end)});
        else if (token.word == "objh") detail.objectHeight = token.parameter, detail.objectSizeWords.push_back(
            {static_cast<std::int64_t>(token.begin), static_cast<std::int64_t>(token.end)});
        else if (token.word == "objscalex") scaleX = token.parameter, detail.objectSizeWords.push_back(
            {static_cast<std::int64_t>(token.begin), static_cast<std::int64_t>(token.end)});
        else if (token.word == "objscaley") scaleY = token.parameter, detail.objectSizeWords.push_back(
            {static_cast<std::int64_t>(token.begin), static_cast<std::int64_t>(token.end)});
    };
    auto onGroup = [&](const Token&) {
        Token inner = next();
        if (inner.isSymbol('*')) inner = next();
        if (inner.is("objclass")) {
            objectClass = groupText(state.codePage);
        } else if (inner.is("objdata")) {
            // The OLE 1 header names the class too.
            if (std::string named = objectDataClass(); !named.empty()) ole1Class = std::move(named);
        } else if (inner.is("result")) {
            State inside = state;
            parseText(inside, -1, &result, depth + 1);
        } else {
            skipRest(inner);
        }
    };
    const std::size_t end = walkGroup(onWord, ignore, onGroup);
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

}  // namespace kelvaran::formats::rtf::detail
