// The RTF reader: shapes and shape groups, {\shp} and {\shpgrp}.
#include "formats/rtf/RtfReaderImpl.h"

#include "formats/rtf/RtfText.h"

#include <algorithm>
#include <cmath>

namespace kelvaran::formats::rtf::detail {

std::string Reader::parseProperty(int shape, std::size_t& end) {
    std::string name;
    std::string value;
    std::optional<PictInfo> picture;
    end = walkGroup(ignore, ignore, [&](const Token&) {
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
                        skipRest(first);
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
            skipRest(word);
        }
    });
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
    const bool groupOwnsShapes = doc_.shapes[static_cast<std::size_t>(shape)].type == model::shape_type::kGroup;
    auto onWord = [&](const Token& token) {
        const auto w = token.word;
        if (w.substr(0, 3) != "shp") return;
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
            detail->layoutWords.push_back({std::string(w), range});
        }
    };
    auto onGroup = [&](const Token& token) {
        Token inner = next();
        if (inner.is("sp")) {
            std::size_t end = token.end;
            std::string name = parseProperty(shape, end);
            detail = std::any_cast<ShapeDetail>(&doc_.shapes[static_cast<std::size_t>(shape)].origin.detail);
            detail->properties.push_back(
                {std::move(name), {static_cast<std::int64_t>(token.begin), static_cast<std::int64_t>(end)}});
            return;
        }
        if (inner.isSymbol('*')) inner = next();
        if (inner.is("shptxt") && groupOwnsShapes) {
            // A group holds no text of its own.
            raw_[static_cast<std::size_t>(shape)].damaged = true;
            skipRest(inner);
        } else if (inner.is("shptxt")) {
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
            detail = std::any_cast<ShapeDetail>(&doc_.shapes[static_cast<std::size_t>(shape)].origin.detail);
            detail->text = {static_cast<std::int64_t>(token.begin), static_cast<std::int64_t>(lastEnd_)};
            flush(story);
            auto& elements = doc_.stories[static_cast<std::size_t>(story)].elements;
            if (elements.empty() || (elements.back().kind != model::ElementKind::ParagraphMark &&
                                     elements.back().kind != model::ElementKind::SectionBreak)) {
                // A story always ends a paragraph; this one's mark stands at its end.
                model::Element mark = model::Element::paragraphMark();
                const std::size_t at = tok_.position() > 0 ? tok_.position() - 1 : 0;
                mark.origin = elementOrigin(at, at);
                elements.push_back(std::move(mark));
            }
        } else if ((inner.is("shp") || inner.is("shpgrp")) && depth + 1 <= kMaxDepth && !groupOwnsShapes) {
            // Only a group has members; a shape inside any other shape is damage.
            raw_[static_cast<std::size_t>(shape)].damaged = true;
            skipRest(inner);
        } else if ((inner.is("shp") || inner.is("shpgrp")) && depth + 1 <= kMaxDepth) {
            parseShape(token, inner.is("shpgrp"), shape, anchor, inObject, depth + 1);
        } else {
            skipRest(inner);
        }
    };
    const std::size_t end = walkGroup(onWord, ignore, onGroup);
    detail = std::any_cast<ShapeDetail>(&doc_.shapes[static_cast<std::size_t>(shape)].origin.detail);
    detail->instance = {static_cast<std::int64_t>(open.begin), static_cast<std::int64_t>(end)};
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
    const std::size_t stories = doc_.stories.size();
    const std::size_t inlines = doc_.inlines.size();
    const std::size_t fallbacks = doc_.fallbackPictures.size();
    const std::size_t end = walkGroup(ignore, ignore, [&](const Token& token) {
        Token inner = next();
        if (inner.isSymbol('*')) inner = next();
        if (inner.is("shpinst") && raw_[static_cast<std::size_t>(index)].instances++ > 0) {
            // A second instance: which of the two holds is anyone's guess.
            raw_[static_cast<std::size_t>(index)].damaged = true;
            skipRest(inner);
        } else if (inner.is("shpinst")) {
            parseShapeInstance(token, inner, index, anchor, inObject, depth + 1);
        } else {
            skipRest(inner);
            if (inner.is("shprslt")) {
                // The copy for readers without shapes.
                std::any_cast<ShapeDetail>(&doc_.shapes[static_cast<std::size_t>(index)].origin.detail)
                    ->results.push_back({static_cast<std::int64_t>(token.begin), static_cast<std::int64_t>(lastEnd_)});
            }
        }
    });
    doc_.shapes[static_cast<std::size_t>(index)].origin.range = {static_cast<std::int64_t>(open.begin),
                                                                 static_cast<std::int64_t>(end)};
    std::any_cast<ShapeDetail>(&doc_.shapes[static_cast<std::size_t>(index)].origin.detail)->group =
        doc_.shapes[static_cast<std::size_t>(index)].origin.range;
    if (raw_[static_cast<std::size_t>(index)].damaged) keepDamagedShape(index, stories, inlines, fallbacks);
    finishShape(index, inObject);
    if (parent < 0 && doc_.shapes[static_cast<std::size_t>(index)].type == model::shape_type::kGroup) {
        placeMembers(index, 0);
    }
    return index;
}

void Reader::keepDamagedShape(int index, std::size_t stories, std::size_t inlines, std::size_t fallbacks) {
    // Members, text and pictures read before the damage showed go again:
    // replacing or moving any of them would write over bytes the rest of
    // the shape shares, or leave them behind twice.  The shape is written
    // back as it was read and nothing in it is replaced.
    const auto first = static_cast<std::size_t>(index) + 1;
    doc_.shapes.erase(doc_.shapes.begin() + static_cast<std::ptrdiff_t>(first), doc_.shapes.end());
    raw_.erase(raw_.begin() + static_cast<std::ptrdiff_t>(first), raw_.end());
    for (std::size_t story = stories; story < doc_.stories.size(); ++story) runs_.erase(static_cast<int>(story));
    doc_.stories.erase(doc_.stories.begin() + static_cast<std::ptrdiff_t>(stories), doc_.stories.end());
    doc_.inlines.erase(doc_.inlines.begin() + static_cast<std::ptrdiff_t>(inlines), doc_.inlines.end());
    doc_.fallbackPictures.erase(doc_.fallbackPictures.begin() + static_cast<std::ptrdiff_t>(fallbacks),
                                doc_.fallbackPictures.end());
    if (lastShppict_ >= static_cast<int>(inlines)) lastShppict_ = -1;
    auto& shape = doc_.shapes[static_cast<std::size_t>(index)];
    shape.children.clear();
    shape.textStory = -1;
    shape.type = model::shape_type::kOther;
    auto& raw = raw_[static_cast<std::size_t>(index)];
    raw.pib.reset();
    raw.fillBlip.reset();
    auto* detail = std::any_cast<ShapeDetail>(&shape.origin.detail);
    detail->text = {};
    warn("a shape holding groups that RTF does not allow there was left as it is");
}

void Reader::finishShape(int index, bool inObject) {
    auto& shape = doc_.shapes[static_cast<std::size_t>(index)];
    auto& raw = raw_[static_cast<std::size_t>(index)];
    const auto& p = raw.properties;
    auto number = [&p](const char* name, long long fallback) {
        const auto found = p.find(name);
        return found == p.end() ? fallback : toNumber(found->second, fallback);
    };
    if (raw.damaged) {
        // Left as it is (see keepDamagedShape).
    } else if (shape.type != model::shape_type::kGroup) {
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
        detail->pictureProperty = picture == &raw.pib ? "pib" : "fillBlip";
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

void Reader::recordReadValues() {
    for (std::size_t i = 0; i < doc_.shapes.size(); ++i) {
        const auto& shape = doc_.shapes[i];
        auto* detail = std::any_cast<ShapeDetail>(&doc_.shapes[i].origin.detail);
        if (!detail) continue;
        const auto& raw = raw_[i];
        ShapeValues& v = detail->read;
        v.leftPt = shape.leftPt;
        v.topPt = shape.topPt;
        v.widthPt = shape.widthPt;
        v.heightPt = shape.heightPt;
        v.hasRel = raw.hasRel;
        v.relLeft = raw.relLeft;
        v.relTop = raw.relTop;
        v.relRight = raw.relRight;
        v.relBottom = raw.relBottom;
        v.rotation = shape.rotation;
        v.flipHorizontal = shape.flipHorizontal;
        v.flipVertical = shape.flipVertical;
        v.stackPosition = shape.stackPosition;
        v.behindText = shape.behindText;
        v.wrap = shape.wrap;
        v.relative = shape.relative;
        v.lockAspectRatio = shape.lockAspectRatio;
        v.name = shape.name;
        v.formatting = shape.formatting;
        v.inHeader = shape.inHeader;
        v.parent = shape.parent;
        if (const auto found = raw.properties.find("shapeType"); found != raw.properties.end()) {
            v.shapeType = static_cast<int>(toNumber(found->second, -1));
        }
    }
}

}  // namespace kelvaran::formats::rtf::detail
