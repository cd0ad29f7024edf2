#include "formats/doc/DocFormatDetail.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <set>

#include "formats/doc/Bytes.h"
#include "formats/doc/DocDocument.h"
#include "formats/doc/DocError.h"

// The model writer: the input file patched with the edits of its model.

namespace kelvaran::formats::doc::detail {

namespace {

bool near(double a, double b, double tolerance) { return std::fabs(a - b) <= tolerance; }

// One character of a story as the writer compares them.
struct Token {
    model::ElementKind kind = model::ElementKind::Text;
    int object = -1;
    char32_t unit = 0;  // Text: the UTF-16 unit, 0 when the run's text is not known
};

std::vector<Token> tokensOf(const model::Story& story)
{
    std::vector<Token> out;
    for (const model::Element& e : story.elements) {
        if (e.kind == model::ElementKind::Text) {
            // A run whose text is hidden or was split by count keeps no text.
            std::u16string units;
            {
                std::size_t i = 0;
                std::string scratch;
                const std::string_view s = e.text.view(scratch);
                while (i < s.size()) {
                    const auto lead = static_cast<unsigned char>(s[i]);
                    char32_t cp = lead;
                    std::size_t width = 1;
                    if (lead >= 0xF0 && i + 3 < s.size()) {
                        cp = ((lead & 0x07u) << 18) | ((s[i + 1] & 0x3Fu) << 12) | ((s[i + 2] & 0x3Fu) << 6) | (s[i + 3] & 0x3Fu);
                        width = 4;
                    } else if (lead >= 0xE0 && i + 2 < s.size()) {
                        cp = ((lead & 0x0Fu) << 12) | ((s[i + 1] & 0x3Fu) << 6) | (s[i + 2] & 0x3Fu);
                        width = 3;
                    } else if (lead >= 0xC0 && i + 1 < s.size()) {
                        cp = ((lead & 0x1Fu) << 6) | (s[i + 1] & 0x3Fu);
                        width = 2;
                    }
                    if (cp >= 0x10000) {
                        cp -= 0x10000;
                        units.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
                        units.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
                    } else {
                        units.push_back(static_cast<char16_t>(cp));
                    }
                    i += width;
                }
            }
            const bool known = static_cast<std::int64_t>(units.size()) == e.chars;
            for (std::int64_t i = 0; i < e.chars; ++i)
                out.push_back(Token{e.kind, -1, known ? char32_t(units[static_cast<std::size_t>(i)]) : char32_t(0)});
        } else {
            for (std::int64_t i = 0; i < std::max<std::int64_t>(1, e.chars); ++i)
                out.push_back(Token{e.kind, e.object, 0});
        }
    }
    return out;
}

bool sameBorders(const model::Borders& a, const model::Borders& b)
{
    for (std::size_t i = 0; i < 4; ++i) {
        const auto& x = a.sides[i];
        const auto& y = b.sides[i];
        if (x.visible != y.visible)
            return false;
        if (x.visible && (x.style != y.style || x.widthEighths != y.widthEighths ||
                          (x.colour != y.colour && x.colourIndex != y.colourIndex)))
            return false;
    }
    return true;
}

// In front of or behind the text is part of the wrap type (3 or 5): the
// behind-text flag of the file may be set on shapes with other wrapping, where
// it means nothing, and a copied wrap does not carry it.
bool sameLayout(const model::FloatingShape& a, const model::FloatingShape& b, double tolerance)
{
    return near(a.leftPt, b.leftPt, tolerance) && near(a.topPt, b.topPt, tolerance) &&
           near(a.widthPt, b.widthPt, tolerance) && near(a.heightPt, b.heightPt, tolerance) &&
           near(std::fmod(a.rotation - b.rotation + 720.0, 360.0), 0.0, 0.5) &&
           a.flipHorizontal == b.flipHorizontal && a.flipVertical == b.flipVertical && a.wrap.type == b.wrap.type &&
           a.wrap.side == b.wrap.side &&
           a.relative.horizontalPosition == b.relative.horizontalPosition &&
           a.relative.verticalPosition == b.relative.verticalPosition;
}

// Pictures and objects: shapes a picture can take the place of.
bool showsPicture(const model::FloatingShape& shape)
{
    return shape.type == model::shape_type::kPicture || shape.type == model::shape_type::kEmbeddedObject;
}

std::string describe(const model::FloatingShape& shape)
{
    return shape.name.empty() ? std::string("a floating shape") : "the shape \"" + shape.name + "\"";
}

// The picture an added object brings, for the writer: its own picture, or for
// an object of a .doc the bytes it has there.
struct Replacement {
    std::size_t target = 0;  // inventory index
    bool object = false;
    model::PictureData picture;
};

class Writer {
public:
    explicit Writer(const model::Document& document) : doc_(document) {}

    std::string write()
    {
        std::shared_ptr<const DocDocument> parsed = parsedSource();
        original_ = build(parsed, doc_.source);
        DocDocument target = *parsed;
        target.setDropUnusedPictures(doc_.dropFallbackPictures);
        if (doc_.stories.size() < original_.stories.size() || doc_.shapes.size() < original_.shapes.size() ||
            doc_.inlines.size() < original_.inlines.size())
            refuse("the document's structure changed in a way a Word 97-2003 document cannot be saved with");
        std::set<int> matchedAdded;
        compareStories(matchedAdded);
        compareShapes();
        checkLeftovers(matchedAdded);
        try {
            for (const Replacement& r : inlines_) {
                auto [format, bytes] = toStored(r.picture);
                if (r.object)
                    target.convertObjectToPicture(r.target, format, std::move(bytes));
                else
                    target.replaceInlinePicture(r.target, format, std::move(bytes));
            }
            for (const Replacement& r : floating_) {
                auto [format, bytes] = toStored(r.picture);
                if (r.object)
                    target.convertFloatingObjectToPicture(r.target, format, std::move(bytes));
                else
                    target.replaceFloatingPicture(r.target, format, std::move(bytes));
            }
            return target.saveToBytes();
        } catch (const DocError& e) {
            throw model::FormatError(e.what());
        }
    }

private:
    static bool live(model::EditState state) { return state != model::EditState::Deleted; }

    // The document as the reader parsed it for this model, found through any
    // object still pointing into the source; parsed anew only when there is
    // none.  A large document is then held once, not twice, while it is saved.
    std::shared_ptr<const DocDocument> parsedSource() const
    {
        auto ofSource = [&](const DocOrigin* o, const std::shared_ptr<const std::string>& source)
            -> std::shared_ptr<const DocDocument> { return o && source == doc_.source ? o->document : nullptr; };
        for (const model::Story& story : doc_.stories)
            for (const model::Element& element : story.elements)
                if (auto parsed = ofSource(docOrigin(element.origin), element.origin.source()))
                    return parsed;
        for (const model::InlineObject& object : doc_.inlines)
            if (auto parsed = ofSource(docOrigin(object.origin), object.origin.source))
                return parsed;
        for (const model::FloatingShape& shape : doc_.shapes)
            if (auto parsed = ofSource(docOrigin(shape.origin), shape.origin.source))
                return parsed;
        if (*doc_.source == kSourceStandIn)
            refuse("nothing of the document's file is left in it to write from");
        return parse(*doc_.source);
    }

    const DocOrigin& ownOrigin(const model::Origin& origin) const
    {
        const DocOrigin* o = docOrigin(origin);
        if (!o)
            refuse("an object of the document lost its place in the file");
        return *o;
    }

    void compareStories(std::set<int>& matchedAdded)
    {
        for (std::size_t s = 0; s < original_.stories.size(); ++s) {
            const model::Story& before = original_.stories[s];
            const model::Story& now = doc_.stories[s];
            // A text box whose shape is gone takes its story along.
            if (before.owner >= 0 && static_cast<std::size_t>(before.owner) < doc_.shapes.size() &&
                !live(doc_.shapes[static_cast<std::size_t>(before.owner)].edit))
                continue;
            const std::vector<Token> a = tokensOf(before);
            const std::vector<Token> b = tokensOf(now);
            const std::string where = s == 0 ? "the main text" : "the text of a text box";
            if (a.size() != b.size())
                refuse("the text of " + where + " changed; only pictures and objects can be replaced in a Word "
                       "97-2003 document");
            for (std::size_t i = 0; i < a.size(); ++i) {
                const Token& x = a[i];
                const Token& y = b[i];
                if (x.kind != y.kind || (x.unit && y.unit && x.unit != y.unit))
                    refuse("the text of " + where + " changed; only pictures and objects can be replaced in a Word "
                           "97-2003 document");
                if (x.kind != model::ElementKind::Inline)
                    continue;
                const auto& old = original_.inlines[static_cast<std::size_t>(x.object)];
                if (y.object < 0 || static_cast<std::size_t>(y.object) >= doc_.inlines.size())
                    refuse("an inline object of the document is missing");
                const auto& cur = doc_.inlines[static_cast<std::size_t>(y.object)];
                if (y.object == x.object) {
                    if (cur.edit == model::EditState::Replaced) {
                        replaceInline(old, cur);
                    } else if (cur.layoutChanged && !sameInlineLayout(old, cur)) {
                        refuse("the size or border of an inline picture changed, which cannot be saved in a Word "
                               "97-2003 document");
                    }
                    continue;
                }
                // Another object at this place: a replacement when the original
                // is gone and the newcomer is a picture.
                if (static_cast<std::size_t>(x.object) < doc_.inlines.size() &&
                    live(doc_.inlines[static_cast<std::size_t>(x.object)].edit))
                    refuse("an inline object moved in the text, which cannot be saved in a Word 97-2003 document");
                if (cur.edit != model::EditState::Added || cur.kind != model::InlineKind::Picture)
                    refuse("an inline object was put in the place of another, which cannot be saved in a Word 97-2003 "
                           "document");
                replaceInline(old, cur);
                matchedAdded.insert(y.object);
            }
        }
    }

    bool sameInlineLayout(const model::InlineObject& a, const model::InlineObject& b) const
    {
        return near(a.widthPt, b.widthPt, 0.05) && near(a.heightPt, b.heightPt, 0.05) &&
               sameBorders(a.borders, b.borders);
    }

    void replaceInline(const model::InlineObject& old, const model::InlineObject& cur)
    {
        const DocOrigin& o = ownOrigin(old.origin);
        if (cur.picture.empty())
            refuse("a replacing picture has no data");
        // The new picture keeps the old one's place, displayed size and border.
        if (!near(cur.widthPt, old.widthPt, std::max(1.0, old.widthPt * 0.01)) ||
            !near(cur.heightPt, old.heightPt, std::max(1.0, old.heightPt * 0.01)))
            refuse("a replacing picture has another size than the picture it replaces, which cannot be saved in a "
                   "Word 97-2003 document");
        if (!sameBorders(cur.borders, old.borders))
            refuse("a replacing picture has another border than the picture it replaces, which cannot be saved in "
                   "a Word 97-2003 document");
        Replacement r;
        r.object = o.kind == DocOrigin::Kind::Object;
        r.target = o.index;
        r.picture = cur.picture;
        if (cur.picture.crop.any())
            refuse("a replacing picture is cropped, which cannot be saved in a Word 97-2003 document");
        inlines_.push_back(std::move(r));
    }

    // A group taken apart and put together again from the same members,
    // some of them replaced by new pictures, is the file's group with those
    // pictures replaced.  Finds every such rebuilt group, from the top
    // groups down, and the picture standing in for each replaced member.
    void matchRebuiltGroups(std::set<int>& usedAdded)
    {
        for (std::size_t i = 0; i < original_.shapes.size(); ++i) {
            const auto& before = original_.shapes[i];
            if (before.parent >= 0 || before.type != model::shape_type::kGroup || live(doc_.shapes[i].edit))
                continue;
            for (std::size_t k = original_.shapes.size(); k < doc_.shapes.size(); ++k) {
                if (usedAdded.count(static_cast<int>(k)) || doc_.shapes[k].parent >= 0)
                    continue;
                std::map<int, int> groups, standIns;
                std::set<int> used = usedAdded;
                if (!matchGroup(static_cast<int>(i), static_cast<int>(k), used, groups, standIns))
                    continue;
                usedAdded = std::move(used);
                rebuilt_.insert(groups.begin(), groups.end());
                memberStandIn_.insert(standIns.begin(), standIns.end());
                break;
            }
        }
    }

    bool matchGroup(int original, int rebuilt, std::set<int>& used, std::map<int, int>& groups,
                    std::map<int, int>& standIns) const
    {
        const auto& group = doc_.shapes[static_cast<std::size_t>(rebuilt)];
        const auto& before = original_.shapes[static_cast<std::size_t>(original)];
        if (!live(group.edit) || group.type != model::shape_type::kGroup || group.edit != model::EditState::Added ||
            group.children.size() != before.children.size() || group.inHeader != before.inHeader)
            return false;
        used.insert(rebuilt);
        groups[original] = rebuilt;
        std::set<int> members(group.children.begin(), group.children.end());
        for (int child : before.children) {
            const auto& was = original_.shapes[static_cast<std::size_t>(child)];
            const auto& now = doc_.shapes[static_cast<std::size_t>(child)];
            if (live(now.edit)) {
                // The member itself came back into the group.
                if (!members.erase(child))
                    return false;
                continue;
            }
            bool found = false;
            if (was.type == model::shape_type::kGroup) {
                for (int candidate : members) {
                    if (candidate < static_cast<int>(original_.shapes.size()) || used.count(candidate))
                        continue;
                    if (matchGroup(child, candidate, used, groups, standIns)) {
                        members.erase(candidate);
                        found = true;
                        break;
                    }
                }
            } else if (!was.picture.empty() && showsPicture(was)) {
                const int standIn = memberStandIn(child, members, used);
                if (standIn >= 0) {
                    members.erase(standIn);
                    used.insert(standIn);
                    standIns[child] = standIn;
                    found = true;
                }
            }
            if (!found)
                return false;
        }
        return members.empty();
    }

    // The added picture among `members` that took the place of original
    // member `index`: the one that names it, else the one on its rectangle.
    int memberStandIn(int index, const std::set<int>& members, const std::set<int>& used) const
    {
        const auto& old = original_.shapes[static_cast<std::size_t>(index)];
        int best = -1;
        for (int k : members) {
            if (k < static_cast<int>(original_.shapes.size()) || used.count(k))
                continue;
            const auto& s = doc_.shapes[static_cast<std::size_t>(k)];
            if (s.edit != model::EditState::Added || s.picture.empty() || s.type != model::shape_type::kPicture ||
                !s.children.empty())
                continue;
            if (s.standsFor == index)
                return k;
            const double tolerance = std::max(1.0, std::max(old.widthPt, old.heightPt) * 0.01);
            if (best < 0 && sameLayout(old, s, tolerance))
                best = k;
        }
        return best;
    }

    void compareShapes()
    {
        std::set<int> usedAdded;
        matchRebuiltGroups(usedAdded);
        for (const auto& [original, rebuilt] : rebuilt_)
            standIn_[rebuilt] = original;
        for (std::size_t i = 0; i < original_.shapes.size(); ++i) {
            const model::FloatingShape& before = original_.shapes[i];
            const model::FloatingShape& now = doc_.shapes[i];
            if (rebuilt_.count(static_cast<int>(i)))
                continue;  // stays as the file has it; its members are compared one by one
            if (auto it = memberStandIn_.find(static_cast<int>(i)); it != memberStandIn_.end()) {
                floatingReplacement(i, doc_.shapes[static_cast<std::size_t>(it->second)]);
                standIn_[it->second] = static_cast<int>(i);
                continue;
            }
            if (now.edit == model::EditState::Replaced) {
                if (before.picture.empty())
                    refuse(describe(now) + " has no picture of its own to replace");
                floatingReplacement(i, now);
                continue;
            }
            if (live(now.edit)) {
                // A text box set back to its size after its pictures were
                // converted comes back rounded to whole points: the file keeps
                // the exact size it had.
                if (now.layoutChanged && !sameLayout(before, now, 0.51))
                    refuse("the position, size or wrapping of " + describe(now) +
                           " changed, which cannot be saved in a Word 97-2003 document");
                if ((now.parent >= 0) != (before.parent >= 0) || now.children.size() != before.children.size())
                    refuse("the groups of the document changed, which cannot be saved in a Word 97-2003 document");
                continue;
            }
            // Deleted: only a picture that another picture took the place of.
            if (before.parent >= 0)
                refuse("a shape was taken out of its group, which cannot be saved in a Word 97-2003 document");
            if (before.picture.empty() || !showsPicture(before))
                refuse(describe(before) + " was deleted, which cannot be saved in a Word 97-2003 document");
            const int added = findStandIn(static_cast<int>(i), usedAdded);
            if (added < 0)
                refuse(describe(before) + " was deleted without a picture in its place, which cannot be saved in a "
                       "Word 97-2003 document");
            usedAdded.insert(added);
            floatingReplacement(i, doc_.shapes[static_cast<std::size_t>(added)]);
            standIn_[added] = static_cast<int>(i);
        }
        checkStacking();
    }

    int paragraphOf(const model::Anchor& anchor) const
    {
        if (anchor.story < 0 || static_cast<std::size_t>(anchor.story) >= doc_.stories.size())
            return -1;
        const auto& story = doc_.stories[static_cast<std::size_t>(anchor.story)];
        return static_cast<int>(story.paragraphStart(static_cast<std::size_t>(std::max(0, anchor.element))));
    }

    // The added picture that took the place of deleted shape `index`: the one
    // that names it, else one anchored in the same paragraph with the same
    // rectangle.
    int findStandIn(int index, const std::set<int>& used) const
    {
        const auto& old = doc_.shapes[static_cast<std::size_t>(index)];
        for (std::size_t k = 0; k < doc_.shapes.size(); ++k) {
            const auto& s = doc_.shapes[k];
            if (s.standsFor == index && s.edit == model::EditState::Added && !used.count(static_cast<int>(k)))
                return static_cast<int>(k);
        }
        int best = -1;
        double bestDistance = 0;
        for (std::size_t k = original_.shapes.size(); k < doc_.shapes.size(); ++k) {
            const auto& s = doc_.shapes[k];
            if (s.edit != model::EditState::Added || s.parent >= 0 || used.count(static_cast<int>(k)) ||
                s.picture.empty() || s.type != model::shape_type::kPicture)
                continue;
            if (s.anchor.story != old.anchor.story || paragraphOf(s.anchor) != paragraphOf(old.anchor))
                continue;
            const double distance = std::fabs(s.leftPt - old.leftPt) + std::fabs(s.topPt - old.topPt);
            if (best < 0 || distance < bestDistance) {
                best = static_cast<int>(k);
                bestDistance = distance;
            }
        }
        return best;
    }

    void floatingReplacement(std::size_t index, const model::FloatingShape& now)
    {
        const model::FloatingShape& before = original_.shapes[index];
        const double tolerance = std::max(1.0, std::max(before.widthPt, before.heightPt) * 0.01);
        if (!sameLayout(before, now, tolerance))
            refuse("the picture replacing " + describe(before) +
                   " stands elsewhere or wraps otherwise, which cannot be saved in a Word 97-2003 document");
        if (now.textStory >= 0 || !now.children.empty())
            refuse("the picture replacing " + describe(before) + " is not a plain picture");
        if (now.picture.empty())
            refuse("the picture replacing " + describe(before) + " has no data");
        if (now.picture.crop.any())
            refuse("the picture replacing " + describe(before) + " is cropped, which cannot be saved in a Word "
                   "97-2003 document");
        Replacement r;
        r.target = ownOrigin(original_.shapes[index].origin).index;
        r.object = before.type == model::shape_type::kEmbeddedObject;
        r.picture = now.picture;
        floating_.push_back(std::move(r));
    }

    // The front-to-back order of the live shapes must be the order of the file,
    // with every replacement in its original's place.
    void checkStacking() const
    {
        for (int header = 0; header < 2; ++header) {
            std::vector<std::pair<std::int64_t, int>> before, now;
            for (std::size_t i = 0; i < original_.shapes.size(); ++i) {
                const auto& s = original_.shapes[i];
                if (s.parent < 0 && s.inHeader == (header != 0))
                    before.emplace_back(s.stackPosition, static_cast<int>(i));
            }
            for (std::size_t i = 0; i < doc_.shapes.size(); ++i) {
                const auto& s = doc_.shapes[i];
                if (!live(s.edit) || s.parent >= 0 || s.inHeader != (header != 0))
                    continue;
                int stands = static_cast<int>(i);
                if (auto it = standIn_.find(static_cast<int>(i)); it != standIn_.end())
                    stands = it->second;
                else if (i >= original_.shapes.size())
                    continue;  // reported by checkLeftovers
                now.emplace_back(s.stackPosition, stands);
            }
            std::stable_sort(before.begin(), before.end(),
                             [](const auto& a, const auto& b) { return a.first < b.first; });
            std::stable_sort(now.begin(), now.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
            std::vector<int> a, b;
            for (const auto& p : before)
                a.push_back(p.second);
            for (const auto& p : now)
                b.push_back(p.second);
            if (a != b)
                refuse("the stacking order of the floating shapes changed, which cannot be saved in a Word 97-2003 "
                       "document");
        }
    }

    void checkLeftovers(const std::set<int>& matched) const
    {
        for (std::size_t i = original_.inlines.size(); i < doc_.inlines.size(); ++i) {
            const auto& object = doc_.inlines[i];
            if (!live(object.edit) || matched.count(static_cast<int>(i)))
                continue;
            // Live added objects in the compared stories were matched above; one
            // left over stands in a story of its own.
            refuse("a picture was added to the document, which cannot be saved in a Word 97-2003 document");
        }
        for (std::size_t i = original_.shapes.size(); i < doc_.shapes.size(); ++i) {
            if (!live(doc_.shapes[i].edit) || standIn_.count(static_cast<int>(i)))
                continue;
            refuse("a floating shape was added to the document, which cannot be saved in a Word 97-2003 document");
        }
        for (std::size_t s = original_.stories.size(); s < doc_.stories.size(); ++s) {
            const int owner = doc_.stories[s].owner;
            if (owner >= 0 && static_cast<std::size_t>(owner) < doc_.shapes.size() &&
                !live(doc_.shapes[static_cast<std::size_t>(owner)].edit))
                continue;
            if (doc_.stories[s].length() > 0 && owner >= 0)
                refuse("a text box was added to the document, which cannot be saved in a Word 97-2003 document");
        }
    }

    const model::Document& doc_;
    model::Document original_;
    std::vector<Replacement> inlines_, floating_;
    std::map<int, int> standIn_;  // added shape -> the original it replaces
    std::map<int, int> rebuilt_;        // original group -> the group rebuilt from its members
    std::map<int, int> memberStandIn_;  // original member -> the picture in its place
};

}  // namespace

std::string writeEdited(const model::Document& document)
{
    return Writer(document).write();
}

}  // namespace kelvaran::formats::doc::detail
