// The RTF writer: floating shapes and groups.  A shape read from the file
// keeps its own bytes; only the keywords of values that changed are written
// anew, and a picture that takes an old shape's place takes its bytes too.

#include "formats/rtf/RtfPicture.h"
#include "formats/rtf/RtfWriterImpl.h"

#include <algorithm>
#include <cmath>
#include <optional>
#include <set>

namespace kelvaran::formats::rtf::writing {

Space Writer::spaceOf(const model::FloatingShape& group) const {
    Space space;
    space.leftPt = group.leftPt;
    space.topPt = group.topPt;
    space.widthPt = group.widthPt;
    space.heightPt = group.heightPt;
    const auto* detail = group.origin.format == "rtf" ? std::any_cast<ShapeDetail>(&group.origin.detail) : nullptr;
    if (detail && detail->hasGroupSpace && detail->groupRight > detail->groupLeft &&
        detail->groupBottom > detail->groupTop) {
        space.left = detail->groupLeft;
        space.top = detail->groupTop;
        space.right = detail->groupRight;
        space.bottom = detail->groupBottom;
    } else {
        space.left = static_cast<double>(twips(group.leftPt));
        space.top = static_cast<double>(twips(group.topPt));
        space.right = static_cast<double>(twips(group.leftPt + group.widthPt));
        space.bottom = static_cast<double>(twips(group.topPt + group.heightPt));
    }
    return space;
}

std::string Writer::layoutWords(const model::FloatingShape& shape, const Space* space) const {
    if (space) return {};  // members are placed by their relLeft.. properties
    std::string out;
    out += "\\shpleft" + std::to_string(twips(shape.leftPt)) + "\\shptop" + std::to_string(twips(shape.topPt));
    out += "\\shpright" + std::to_string(twips(shape.leftPt + shape.widthPt));
    out += "\\shpbottom" + std::to_string(twips(shape.topPt + shape.heightPt));
    switch (shape.relative.horizontalPosition) {
        case 0: out += "\\shpbxmargin"; break;
        case 1: out += "\\shpbxpage"; break;
        case 2: out += "\\shpbxcolumn"; break;
        default: break;
    }
    out += "\\shpbxignore";
    switch (shape.relative.verticalPosition) {
        case 0: out += "\\shpbymargin"; break;
        case 1: out += "\\shpbypage"; break;
        case 2: out += "\\shpbypara"; break;
        default: break;
    }
    out += "\\shpbyignore";
    int wr = 3;
    switch (shape.wrap.type) {
        case 0: wr = 2; break;
        case 1: wr = 4; break;
        case 2: wr = 5; break;
        case 4: wr = 1; break;
        default: wr = 3; break;
    }
    out += "\\shpwr" + std::to_string(wr);
    if (wr == 2 || wr == 4 || wr == 5) out += "\\shpwrk" + std::to_string(std::clamp(shape.wrap.side, 0, 3));
    const bool behind = shape.behindText || shape.wrap.type == 5;
    out += "\\shpfblwtxt" + std::to_string(behind ? 1 : 0);
    out += "\\shpz" + std::to_string(std::max<std::int64_t>(0, shape.stackPosition));
    out += "\\shpfhdr" + std::to_string(shape.inHeader ? 1 : 0);
    return out;
}

std::string Writer::layoutProperties(const model::FloatingShape& shape, const Space* space) const {
    std::string out;
    auto emu = [](double points) { return std::to_string(std::llround(points * 12700)); };
    if (shape.rotation != 0) {
        // Written between -180 and 180 degrees, as LibreOffice writes it and
        // reads it back the right way round (it turns 330 the other way).
        double degrees = std::fmod(shape.rotation, 360.0);
        if (degrees > 180) degrees -= 360;
        if (degrees <= -180) degrees += 360;
        out += property("rotation", std::to_string(std::llround(degrees * 65536)));
    }
    if (shape.flipHorizontal) out += property("fFlipH", "1");
    if (shape.flipVertical) out += property("fFlipV", "1");
    if (space) {
        out += property("relLeft", std::to_string(std::llround(space->x(shape.leftPt))));
        out += property("relTop", std::to_string(std::llround(space->y(shape.topPt))));
        out += property("relRight", std::to_string(std::llround(space->x(shape.leftPt + shape.widthPt))));
        out += property("relBottom", std::to_string(std::llround(space->y(shape.topPt + shape.heightPt))));
    } else {
        out += property("posrelh", std::to_string(std::clamp(shape.relative.horizontalPosition, 0, 7)));
        out += property("posrelv", std::to_string(std::clamp(shape.relative.verticalPosition, 0, 7)));
        out += property("dxWrapDistLeft", emu(shape.wrap.distanceLeftPt));
        out += property("dxWrapDistRight", emu(shape.wrap.distanceRightPt));
        out += property("dyWrapDistTop", emu(shape.wrap.distanceTopPt));
        out += property("dyWrapDistBottom", emu(shape.wrap.distanceBottomPt));
        out += property("fBehindDocument", shape.behindText || shape.wrap.type == 5 ? "1" : "0");
        if (!shape.wrap.allowOverlap) out += property("fAllowOverlap", "0");
        if (shape.relative.horizontalSize != 0) out += property("sizerelh", std::to_string(shape.relative.horizontalSize));
        if (shape.relative.verticalSize != 0) out += property("sizerelv", std::to_string(shape.relative.verticalSize));
    }
    if (!shape.lockAspectRatio) out += property("fLockAspectRatio", "0");
    if (!shape.name.empty()) out += property("wzName", escapeText(shape.name));
    for (const auto& [name, value] : shape.formatting) {
        if (!isFormattingProperty(name) || name.find_first_of("{}\\") != std::string::npos) continue;
        if (value.find_first_of("{}\\") != std::string::npos) continue;
        out += property(name, value);
    }
    return out;
}

namespace {

long long emu(double points) { return std::llround(points * 12700); }

bool sameTurn(double a, double b) {
    const double d = std::fmod(std::fabs(a - b), 360.0);
    return std::min(d, 360.0 - d) < 1e-4;
}

// What a rewrite of a shape takes out and puts in.
struct Rewrite {
    std::set<std::string, std::less<>> words;       // layout words to take out, by name
    std::set<std::string, std::less<>> properties;  // {\sp} groups to take out, by name
    std::string freshWords;
    std::string freshProperties;

    void drop(std::initializer_list<const char*> names) {
        for (const char* name : names) words.insert(name);
    }
    void dropProperty(std::initializer_list<const char*> names) {
        for (const char* name : names) properties.insert(name);
    }
};

// The rectangle and the anchoring of a shape at the top level.
void topLevelRewrite(const model::FloatingShape& now, const ShapeValues& r, bool stackKept, Rewrite& out) {
    const bool left = twips(now.leftPt) != twips(r.leftPt);
    const bool top = twips(now.topPt) != twips(r.topPt);
    if (left || top || twips(now.leftPt + now.widthPt) != twips(r.leftPt + r.widthPt) ||
        twips(now.topPt + now.heightPt) != twips(r.topPt + r.heightPt)) {
        out.drop({"shpleft", "shptop", "shpright", "shpbottom"});
        out.freshWords += "\\shpleft" + std::to_string(twips(now.leftPt)) + "\\shptop" + std::to_string(twips(now.topPt)) +
                          "\\shpright" + std::to_string(twips(now.leftPt + now.widthPt)) + "\\shpbottom" +
                          std::to_string(twips(now.topPt + now.heightPt));
        // An alignment would put the shape elsewhere than where it now is.
        if (left) out.dropProperty({"posh"});
        if (top) out.dropProperty({"posv"});
    }
    if (now.relative.horizontalPosition != r.relative.horizontalPosition) {
        out.drop({"shpbxmargin", "shpbxpage", "shpbxcolumn", "shpbxignore"});
        out.dropProperty({"posrelh"});
        const int h = std::clamp(now.relative.horizontalPosition, 0, 7);
        if (h <= 2) out.freshWords += h == 0 ? "\\shpbxmargin" : h == 1 ? "\\shpbxpage" : "\\shpbxcolumn";
        out.freshWords += "\\shpbxignore";
        out.freshProperties += property("posrelh", std::to_string(h));
    }
    if (now.relative.verticalPosition != r.relative.verticalPosition) {
        out.drop({"shpbymargin", "shpbypage", "shpbypara", "shpbyignore"});
        out.dropProperty({"posrelv"});
        const int v = std::clamp(now.relative.verticalPosition, 0, 7);
        if (v <= 2) out.freshWords += v == 0 ? "\\shpbymargin" : v == 1 ? "\\shpbypage" : "\\shpbypara";
        out.freshWords += "\\shpbyignore";
        out.freshProperties += property("posrelv", std::to_string(v));
    }
    if (now.relative.horizontalSize != r.relative.horizontalSize ||
        now.relative.verticalSize != r.relative.verticalSize) {
        out.dropProperty({"sizerelh", "sizerelv"});
        if (now.relative.horizontalSize != 0) out.freshProperties += property("sizerelh", std::to_string(now.relative.horizontalSize));
        if (now.relative.verticalSize != 0) out.freshProperties += property("sizerelv", std::to_string(now.relative.verticalSize));
    }
    // In front of or behind the text matters where the text does not wrap;
    // with wrapping the input's own words stay, whatever they say.
    const bool layer = now.wrap.type == 3 || now.wrap.type == 5;
    if (now.wrap.type != r.wrap.type || now.wrap.side != r.wrap.side || (layer && now.behindText != r.behindText)) {
        out.drop({"shpwr", "shpwrk", "shpfblwtxt"});
        out.dropProperty({"fBehindDocument"});
        int wr = 3;
        switch (now.wrap.type) {
            case 0: wr = 2; break;
            case 1: wr = 4; break;
            case 2: wr = 5; break;
            case 4: wr = 1; break;
            default: wr = 3; break;
        }
        const bool behind = now.behindText || now.wrap.type == 5;
        out.freshWords += "\\shpwr" + std::to_string(wr);
        if (wr == 2 || wr == 4 || wr == 5) out.freshWords += "\\shpwrk" + std::to_string(std::clamp(now.wrap.side, 0, 3));
        out.freshWords += "\\shpfblwtxt" + std::to_string(behind ? 1 : 0);
        out.freshProperties += property("fBehindDocument", behind ? "1" : "0");
    }
    const auto& a = now.wrap;
    const auto& b = r.wrap;
    if (emu(a.distanceLeftPt) != emu(b.distanceLeftPt) || emu(a.distanceRightPt) != emu(b.distanceRightPt) ||
        emu(a.distanceTopPt) != emu(b.distanceTopPt) || emu(a.distanceBottomPt) != emu(b.distanceBottomPt)) {
        out.dropProperty({"dxWrapDistLeft", "dxWrapDistRight", "dyWrapDistTop", "dyWrapDistBottom"});
        out.freshProperties += property("dxWrapDistLeft", std::to_string(emu(a.distanceLeftPt))) +
                               property("dxWrapDistRight", std::to_string(emu(a.distanceRightPt))) +
                               property("dyWrapDistTop", std::to_string(emu(a.distanceTopPt))) +
                               property("dyWrapDistBottom", std::to_string(emu(a.distanceBottomPt)));
    }
    if (a.allowOverlap != b.allowOverlap) {
        out.dropProperty({"fAllowOverlap"});
        out.freshProperties += property("fAllowOverlap", a.allowOverlap ? "1" : "0");
    }
    if (!stackKept && now.stackPosition != r.stackPosition) {
        out.drop({"shpz"});
        out.freshWords += "\\shpz" + std::to_string(std::max<std::int64_t>(0, now.stackPosition));
    }
    if (now.inHeader != r.inHeader) {
        out.drop({"shpfhdr"});
        out.freshWords += "\\shpfhdr" + std::to_string(now.inHeader ? 1 : 0);
    }
}

// Rotation, flips, aspect lock, name and formatting, wherever the shape stands.
void ownRewrite(const model::FloatingShape& now, const ShapeValues& r, bool standIn, Rewrite& out) {
    if (!sameTurn(now.rotation, r.rotation)) {
        out.dropProperty({"rotation"});
        if (now.rotation != 0) {
            // Between -180 and 180 degrees, as LibreOffice reads it back the
            // right way round.
            double degrees = std::fmod(now.rotation, 360.0);
            if (degrees > 180) degrees -= 360;
            if (degrees <= -180) degrees += 360;
            out.freshProperties += property("rotation", std::to_string(std::llround(degrees * 65536)));
        }
    }
    // A new picture has a name of its own.  Names the office gave shapes
    // that had none are not written.
    if (!now.name.empty() && now.name != r.name && (standIn || !r.name.empty())) {
        out.dropProperty({"wzName"});
        out.freshProperties += property("wzName", escapeText(now.name));
    }
    // A picture in an old shape's place shows it as it was: its flips and
    // aspect lock are the old shape's.
    if (!standIn) {
        if (now.flipHorizontal != r.flipHorizontal) {
            out.dropProperty({"fFlipH"});
            out.freshProperties += property("fFlipH", now.flipHorizontal ? "1" : "0");
        }
        if (now.flipVertical != r.flipVertical) {
            out.dropProperty({"fFlipV"});
            out.freshProperties += property("fFlipV", now.flipVertical ? "1" : "0");
        }
        if (now.lockAspectRatio != r.lockAspectRatio) {
            out.dropProperty({"fLockAspectRatio"});
            out.freshProperties += property("fLockAspectRatio", now.lockAspectRatio ? "1" : "0");
        }
    }
    std::set<std::string> names;
    for (const auto& [name, value] : r.formatting) names.insert(name);
    for (const auto& [name, value] : now.formatting) names.insert(name);
    for (const auto& name : names) {
        const auto before = r.formatting.find(name);
        const auto after = now.formatting.find(name);
        if (before != r.formatting.end() && after != now.formatting.end() && before->second == after->second) continue;
        out.properties.insert(name);
        if (after == now.formatting.end() || !isFormattingProperty(name)) continue;
        if (name.find_first_of("{}\\") != std::string::npos || after->second.find_first_of("{}\\") != std::string::npos) {
            continue;
        }
        out.freshProperties += property(name, after->second);
    }
}

}  // namespace

std::vector<Edit> Writer::rewriteEdits(const model::FloatingShape& now, const model::FloatingShape& was,
                                       std::string_view bytes, const Space* space, bool standIn) {
    const auto* detail = std::any_cast<ShapeDetail>(&was.origin.detail);
    if (!detail || !detail->instance.valid()) {
        throw model::FormatError("a shape's new layout cannot be written: its place in the file is unknown");
    }
    const ShapeValues& r = detail->read;
    Rewrite out;
    if ((space != nullptr) != detail->member) {
        // Into a group or out of one: placed anew.
        for (const auto& word : detail->layoutWords) out.words.insert(word.name);
        for (const auto& entry : detail->properties) {
            if (isLayoutProperty(entry.name) || isFormattingProperty(entry.name)) out.properties.insert(entry.name);
        }
        out.freshWords = layoutWords(now, space);
        out.freshProperties = layoutProperties(now, space);
    } else {
        if (!space) {
            topLevelRewrite(now, r, stackKept_, out);
        } else {
            // A member keeps its place in the units of the group it was read in.
            const bool sameGroup = now.parent >= 0 && now.parent == r.parent;
            const bool samePlace = sameGroup && r.hasRel && std::llround(space->x(now.leftPt)) == std::llround(r.relLeft) &&
                                   std::llround(space->y(now.topPt)) == std::llround(r.relTop) &&
                                   std::llround(space->x(now.leftPt + now.widthPt)) == std::llround(r.relRight) &&
                                   std::llround(space->y(now.topPt + now.heightPt)) == std::llround(r.relBottom);
            if (!samePlace) {
                out.dropProperty({"relLeft", "relTop", "relRight", "relBottom"});
                out.freshProperties += property("relLeft", std::to_string(std::llround(space->x(now.leftPt)))) +
                                       property("relTop", std::to_string(std::llround(space->y(now.topPt)))) +
                                       property("relRight", std::to_string(std::llround(space->x(now.leftPt + now.widthPt)))) +
                                       property("relBottom", std::to_string(std::llround(space->y(now.topPt + now.heightPt))));
            }
        }
        ownRewrite(now, r, standIn, out);
    }
    std::vector<Edit> list;
    std::string picture;
    if (standIn) {
        // The new picture, and nothing of the old one's data: no other
        // picture, no link to it, no object behind it, no copy for old readers.
        picture = "{\\sp{\\sn pib}{\\sv " + pictGroup(now.picture, now.widthPt, now.heightPt) + "}}";
        out.dropProperty({"pibName", "pibFlags", "pictureId", "pictureActive", "fOleIcon"});
        if (detail->pictureProperty == "fillBlip") out.dropProperty({"fillBlip", "fillBlipName", "fillBlipFlags", "fillType"});
        if (r.shapeType != 75) {
            out.dropProperty({"shapeType"});
            out.freshProperties = property("shapeType", "75") + out.freshProperties;
        }
        const bool hasPib = std::any_of(detail->properties.begin(), detail->properties.end(),
                                        [](const auto& entry) { return entry.name == "pib"; });
        if (!hasPib) out.freshProperties += picture;
        if (detail->text.valid() && now.textStory <= 0) {
            add(list, bytes, static_cast<std::size_t>(detail->text.begin), static_cast<std::size_t>(detail->text.end), {});
        }
        for (const auto& result : detail->results) {
            add(list, bytes, static_cast<std::size_t>(result.begin), static_cast<std::size_t>(result.end), {});
        }
    }
    for (const auto& word : detail->layoutWords) {
        if (out.words.count(word.name)) {
            add(list, bytes, static_cast<std::size_t>(word.range.begin), static_cast<std::size_t>(word.range.end), {});
        }
    }
    bool pibWritten = false;
    for (const auto& entry : detail->properties) {
        const auto begin = static_cast<std::size_t>(entry.range.begin);
        const auto end = static_cast<std::size_t>(entry.range.end);
        if (standIn && entry.name == "pib") {
            add(list, bytes, begin, end, pibWritten ? std::string() : picture);
            pibWritten = true;
        } else if (out.properties.count(entry.name)) {
            add(list, bytes, begin, end, {});
        }
    }
    // New words after \shpinst, new properties before the first old one.
    const std::size_t properties =
        detail->properties.empty() ? detail->afterInstanceWord
                                   : static_cast<std::size_t>(detail->properties.front().range.begin);
    if (properties == detail->afterInstanceWord) out.freshWords += out.freshProperties, out.freshProperties.clear();
    if (!out.freshWords.empty()) add(list, bytes, detail->afterInstanceWord, detail->afterInstanceWord, out.freshWords);
    if (!out.freshProperties.empty()) add(list, bytes, properties, properties, out.freshProperties);
    return list;
}

std::vector<Edit> Writer::shapePatch(const model::FloatingShape& shape, std::string_view bytes, const Space* space) {
    return rewriteEdits(shape, shape, bytes, space, false);
}

std::string Writer::renderStandIn(int added, const Space* space) {
    const auto& now = doc_.shapes.at(static_cast<std::size_t>(added));
    const auto& was = doc_.shapes.at(static_cast<std::size_t>(standsFor_.at(static_cast<std::size_t>(added))));
    const auto* detail = std::any_cast<ShapeDetail>(&was.origin.detail);
    if (!detail || !detail->group.valid()) throw model::FormatError("a replaced shape's place in the file is unknown");
    const std::string_view bytes = *was.origin.source;
    return apply(bytes, static_cast<std::size_t>(detail->group.begin), static_cast<std::size_t>(detail->group.end),
                 rewriteEdits(now, was, bytes, space, true));
}

std::string Writer::renderShape(int index, const Space* space, int depth) {
    if (depth > 64) throw model::FormatError("the groups are nested too deeply to be written");
    if (standsFor_.at(static_cast<std::size_t>(index)) >= 0) return renderStandIn(index, space);
    const auto& shape = doc_.shapes.at(static_cast<std::size_t>(index));
    const bool madeInMemory = shape.type == model::shape_type::kGroup && shape.edit == model::EditState::Added &&
                              !fromRtf(shape.origin);
    if (!fromRtf(shape.origin) || madeInMemory || shape.edit == model::EditState::Replaced) {
        return newShape(index, space, depth);
    }
    const std::string_view bytes = *shape.origin.source;
    const auto begin = static_cast<std::size_t>(shape.origin.range.begin);
    const auto end = static_cast<std::size_t>(shape.origin.range.end);
    std::vector<Edit> list = shapePatch(shape, bytes, space);
    if (owned(shape.origin)) {
        // Changes inside it (pictures of its text, members) come along.
        for (const auto& edit : edits_) {
            if (edit.begin >= begin && edit.end <= end && !(edit.begin == begin && edit.end == end)) list.push_back(edit);
        }
    }
    return apply(bytes, begin, end, std::move(list));
}

void Writer::pairStandIns() {
    const std::size_t count = doc_.shapes.size();
    standsFor_.assign(count, -1);
    std::vector<bool> taken(count, false);
    auto replaceable = [&](std::size_t index) {
        const auto& old = doc_.shapes[index];
        return !taken[index] && old.edit == model::EditState::Deleted && owned(old.origin) &&
               std::any_cast<ShapeDetail>(&old.origin.detail) != nullptr &&
               (old.type == model::shape_type::kPicture || old.type == model::shape_type::kEmbeddedObject);
    };
    auto newPicture = [&](std::size_t index) {
        const auto& shape = doc_.shapes[index];
        return shape.edit == model::EditState::Added && shape.type == model::shape_type::kPicture &&
               !shape.picture.empty() && shape.children.empty() && !owned(shape.origin);
    };
    // A picture that names the shape it took the place of.
    for (std::size_t i = 0; i < count; ++i) {
        const int old = doc_.shapes[i].standsFor;
        if (!newPicture(i) || old < 0 || old >= static_cast<int>(count) || !replaceable(static_cast<std::size_t>(old))) {
            continue;
        }
        standsFor_[i] = old;
        taken[static_cast<std::size_t>(old)] = true;
    }
    // Else the one pasted at the old shape's paragraph on its rectangle, as
    // a floating conversion leaves it.
    auto paragraphOf = [&](const model::Anchor& anchor) -> std::size_t {
        const auto& story = doc_.stories[static_cast<std::size_t>(anchor.story)];
        return story.paragraphStart(static_cast<std::size_t>(std::max(0, anchor.element)));
    };
    for (std::size_t i = 0; i < count; ++i) {
        if (standsFor_[i] >= 0 || !newPicture(i)) continue;
        const auto& shape = doc_.shapes[i];
        if (shape.anchor.story < 0 || shape.anchor.story >= static_cast<int>(doc_.stories.size())) continue;
        for (std::size_t k = 0; k < count; ++k) {
            if (!replaceable(k)) continue;
            const auto& old = doc_.shapes[k];
            if (old.anchor.story != shape.anchor.story || paragraphOf(old.anchor) != paragraphOf(shape.anchor)) continue;
            const double tolerance = std::max(1.0, std::max(old.widthPt, old.heightPt) * 0.01);
            if (std::fabs(old.leftPt - shape.leftPt) > tolerance || std::fabs(old.topPt - shape.topPt) > tolerance ||
                std::fabs(old.widthPt - shape.widthPt) > tolerance ||
                std::fabs(old.heightPt - shape.heightPt) > tolerance) {
                continue;
            }
            standsFor_[i] = static_cast<int>(k);
            taken[k] = true;
            break;
        }
    }
}

bool Writer::stackingKept() const {
    // The live top-level shapes from back to front; each read from this file
    // (or standing in for one that was) must come after those read behind it.
    std::vector<int> order = doc_.topLevelShapes();
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
        return doc_.shapes[static_cast<std::size_t>(a)].stackPosition <
               doc_.shapes[static_cast<std::size_t>(b)].stackPosition;
    });
    std::optional<std::pair<std::int64_t, int>> last;
    for (int index : order) {
        const auto& shape = doc_.shapes[static_cast<std::size_t>(index)];
        int from = standsFor_[static_cast<std::size_t>(index)];
        if (from < 0 && shape.edit == model::EditState::Unchanged && owned(shape.origin)) from = index;
        if (from < 0) continue;
        const auto* detail = std::any_cast<ShapeDetail>(&doc_.shapes[static_cast<std::size_t>(from)].origin.detail);
        if (!detail || detail->member) continue;
        const std::pair<std::int64_t, int> key{detail->read.stackPosition, from};
        if (last && key < *last) return false;
        last = key;
    }
    return true;
}

std::string Writer::newShape(int index, const Space* space, int depth) {
    const auto& shape = doc_.shapes.at(static_cast<std::size_t>(index));
    if (shape.type == model::shape_type::kGroup) {
        const Space inner = spaceOf(shape);
        std::string out = "{\\shpgrp{\\*\\shpinst" + layoutWords(shape, space);
        out += property("groupLeft", std::to_string(std::llround(inner.left)));
        out += property("groupTop", std::to_string(std::llround(inner.top)));
        out += property("groupRight", std::to_string(std::llround(inner.right)));
        out += property("groupBottom", std::to_string(std::llround(inner.bottom)));
        out += layoutProperties(shape, space);
        for (int member : shape.children) {
            if (member == index || member < 0 || member >= static_cast<int>(doc_.shapes.size())) continue;
            if (doc_.shapes[static_cast<std::size_t>(member)].edit == model::EditState::Deleted) continue;
            out += renderShape(member, &inner, depth + 1);
        }
        return out + "}}";
    }
    std::string out = "{\\shp{\\*\\shpinst" + layoutWords(shape, space);
    int shapeType = 1;
    switch (shape.type) {
        case model::shape_type::kPicture:
        case model::shape_type::kEmbeddedObject: shapeType = 75; break;
        case model::shape_type::kTextBox: shapeType = 202; break;
        case model::shape_type::kOval: shapeType = 3; break;
        default: shapeType = 1; break;
    }
    out += property("shapeType", std::to_string(shapeType));
    out += layoutProperties(shape, space);
    if (!shape.picture.empty()) {
        out += "{\\sp{\\sn pib}{\\sv " + pictGroup(shape.picture, shape.widthPt, shape.heightPt) + "}}";
    } else if (shapeType == 75) {
        throw model::FormatError("a picture shape without a picture cannot be written");
    }
    if (shape.textStory > 0 && shape.textStory < static_cast<int>(doc_.stories.size())) {
        out += "{\\shptxt " + storyText(shape.textStory, depth + 1) + "}";
    }
    return out + "}}";
}

int Writer::textBoxDepth(int story) const {
    int depth = 0;
    const int count = static_cast<int>(doc_.shapes.size());
    for (int guard = 0; guard < 64 && story > 0 && story < static_cast<int>(doc_.stories.size()); ++guard) {
        int owner = doc_.stories[static_cast<std::size_t>(story)].owner;
        if (owner < 0 || owner >= count) break;
        for (int up = 0; up < 64 && doc_.shapes[static_cast<std::size_t>(owner)].parent >= 0 &&
                         doc_.shapes[static_cast<std::size_t>(owner)].parent < count;
             ++up) {
            owner = doc_.shapes[static_cast<std::size_t>(owner)].parent;
        }
        ++depth;
        story = doc_.shapes[static_cast<std::size_t>(owner)].anchor.story;
    }
    return depth;
}

void Writer::shapeEdits() {
    const int count = static_cast<int>(doc_.shapes.size());
    auto liveShape = [&](int index) {
        return index >= 0 && index < count && doc_.shapes[static_cast<std::size_t>(index)].edit != model::EditState::Deleted;
    };
    // Deleted shapes lose their bytes; one that an added picture stands in
    // for gives them to that picture.
    std::vector<int> standIn(static_cast<std::size_t>(count), -1);
    for (int i = 0; i < count; ++i) {
        if (standsFor_[static_cast<std::size_t>(i)] >= 0) standIn[static_cast<std::size_t>(standsFor_[static_cast<std::size_t>(i)])] = i;
    }
    std::vector<bool> placed(static_cast<std::size_t>(count), false);
    for (int i = 0; i < count; ++i) {
        const auto& shape = doc_.shapes[static_cast<std::size_t>(i)];
        if (!owned(shape.origin)) continue;
        const auto* detail = std::any_cast<ShapeDetail>(&shape.origin.detail);
        const bool wasMember = detail && detail->member;
        if (shape.edit == model::EditState::Deleted) {
            const int by = standIn[static_cast<std::size_t>(i)];
            if (by >= 0) {
                // In the deleted one's place, inside its group when both
                // belong to it; elsewhere the picture is written where it
                // stands (members of a deleted group go with their group).
                const int parent = doc_.shapes[static_cast<std::size_t>(by)].parent;
                std::optional<Space> space;
                if (wasMember && parent >= 0 && parent == shape.parent && liveShape(parent)) {
                    space = spaceOf(doc_.shapes[static_cast<std::size_t>(parent)]);
                }
                if ((!wasMember && parent < 0) || space) {
                    remove(shape.origin, renderShape(by, space ? &*space : nullptr, 0));
                    placed[static_cast<std::size_t>(by)] = true;
                    continue;
                }
            }
            remove(shape.origin);
            continue;
        }
        if (shape.edit == model::EditState::Replaced) {
            std::optional<Space> space;
            if (shape.parent >= 0 && liveShape(shape.parent)) space = spaceOf(doc_.shapes[static_cast<std::size_t>(shape.parent)]);
            remove(shape.origin, newShape(i, space ? &*space : nullptr, 0));
            continue;
        }
        if (shape.edit != model::EditState::Unchanged) continue;
        const bool moved = shape.ungroupedFrom >= 0 || (wasMember && shape.parent < 0) ||
                           (shape.parent >= 0 && doc_.shapes[static_cast<std::size_t>(shape.parent)].edit ==
                                                     model::EditState::Added);
        if (moved) {
            remove(shape.origin);  // written again where it now belongs
            continue;
        }
        if (!shape.layoutChanged) continue;
        std::optional<Space> space;
        if (shape.parent >= 0 && liveShape(shape.parent)) space = spaceOf(doc_.shapes[static_cast<std::size_t>(shape.parent)]);
        for (auto& edit : shapePatch(shape, source_, space ? &*space : nullptr)) edits_.push_back(std::move(edit));
    }
    // Shapes to write at their anchors: added ones and former members.
    std::vector<std::pair<int, int>> pending;  // (how deep its anchor's text box lies, shape)
    for (int i = 0; i < count; ++i) {
        const auto& shape = doc_.shapes[static_cast<std::size_t>(i)];
        if (shape.edit == model::EditState::Deleted || shape.parent >= 0 || placed[static_cast<std::size_t>(i)]) continue;
        const auto* detail = owned(shape.origin) ? std::any_cast<ShapeDetail>(&shape.origin.detail) : nullptr;
        const bool formerMember =
            shape.edit == model::EditState::Unchanged && (shape.ungroupedFrom >= 0 || (detail && detail->member));
        if (shape.edit != model::EditState::Added && !formerMember) continue;
        pending.emplace_back(textBoxDepth(shape.anchor.story), i);
    }
    // A shape anchored in the text of another that is written again here
    // must be among the edits before that one is rendered: the deepest go
    // first.
    std::stable_sort(pending.begin(), pending.end(),
                     [](const auto& a, const auto& b) { return a.first > b.first; });
    for (const auto& [unused, i] : pending) {
        const auto& shape = doc_.shapes[static_cast<std::size_t>(i)];
        const int story = shape.anchor.story;
        if (story < 0 || story >= static_cast<int>(doc_.stories.size())) {
            throw model::FormatError("a shape's anchor is not in the document");
        }
        if (!storyWritten(story)) continue;
        const auto element = static_cast<std::size_t>(std::max(0, shape.anchor.element));
        auto at = beginAt(story, element);
        if (!at) at = endBefore(story, element);
        if (!at) throw model::FormatError("a shape has no place in the file");
        std::string bytes = renderShape(i, nullptr, 0);
        add(*at, *at, std::move(bytes));
    }
}

}  // namespace kelvaran::formats::rtf::writing
