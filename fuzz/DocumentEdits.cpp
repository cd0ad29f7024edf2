#include "fuzz/DocumentEdits.h"

#include "formats/model/NewPicture.h"
#include "imaging/Imaging.h"
#include "office/native/PictureRendering.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <set>

namespace kelvaran::fuzz {

namespace model = formats::model;

namespace {

// A 2 x 2 PNG, the new picture of every replacement.
const std::shared_ptr<const std::string>& smallPng() {
    static const auto bytes = [] {
        static constexpr char kHex[] =
            "89504e470d0a1a0a0000000d4948445200000002000000020802000000fdd49a73000000104944415478"
            "9c63f8cfc000440c100a001fee03fd8b5f14d40000000049454e44ae426082";
        std::string png;
        for (std::size_t i = 0; i + 1 < sizeof kHex; i += 2)
            png += static_cast<char>(std::stoi(std::string(kHex + i, 2), nullptr, 16));
        return model::shareBytes(std::move(png));
    }();
    return bytes;
}

model::PictureData newPicture(double widthPt, double heightPt) {
    model::NewPicture picture;
    picture.type = model::PictureFormat::Png;
    picture.bytes = smallPng();
    picture.pixelWidth = 2;
    picture.pixelHeight = 2;
    picture.widthPt = widthPt;
    picture.heightPt = heightPt;
    return picture.toPictureData();
}

bool sizeUsable(double widthPt, double heightPt) {
    return std::isfinite(widthPt) && std::isfinite(heightPt) && widthPt > 0 && heightPt > 0;
}

bool replaceable(const model::FloatingShape& shape) {
    return shape.edit != model::EditState::Deleted &&
           (shape.type == model::shape_type::kPicture || shape.type == model::shape_type::kEmbeddedObject) &&
           !shape.picture.empty() && sizeUsable(shape.widthPt, shape.heightPt);
}

// The office's inline replacement: the new picture pasted in front of the
// old object, which is then erased.
bool replaceInline(model::Document& document, int object) {
    const auto [story, element] = document.locateInline(object);
    if (story < 0) return false;
    const auto& old = document.inlines[static_cast<std::size_t>(object)];
    if (old.picture.empty() || !sizeUsable(old.widthPt, old.heightPt)) return false;
    model::InlineObject fresh;
    fresh.kind = model::InlineKind::Picture;
    fresh.widthPt = old.widthPt;
    fresh.heightPt = old.heightPt;
    fresh.borders = old.borders;
    fresh.lockAspectRatio = old.lockAspectRatio;
    fresh.picture = newPicture(old.widthPt, old.heightPt);
    const std::int64_t at =
        document.stories[static_cast<std::size_t>(story)].positionOf(static_cast<std::size_t>(element));
    document.insertInline(story, at, std::move(fresh));
    document.eraseRange(story, at + 1, at + 2);
    return true;
}

// The office's floating replacement: a new picture at the old shape's
// anchor with its layout, sunk to its place in the stack; the old one goes.
int replaceShape(model::Document& document, int shape) {
    model::FloatingShape fresh = document.shapes[static_cast<std::size_t>(shape)];
    fresh.type = model::shape_type::kPicture;
    fresh.origin = model::Origin{};
    fresh.name = "Picture 9999";
    fresh.progId.clear();
    fresh.children.clear();
    fresh.textStory = -1;
    fresh.parent = -1;
    fresh.standsFor = -1;
    fresh.ungroupedFrom = -1;
    fresh.picture = newPicture(fresh.widthPt, fresh.heightPt);
    const std::int64_t stack = fresh.stackPosition;
    const int added = document.addShape(std::move(fresh));
    document.shapes[static_cast<std::size_t>(added)].stackPosition = stack;
    document.deleteShape(shape);
    return added;
}

// The office's Ungroup: the members become top-level shapes at the group's
// anchor and place in the stack; the group goes.
std::vector<int> ungroup(model::Document& document, int group) {
    auto& entry = document.shapes[static_cast<std::size_t>(group)];
    const std::vector<int> members = entry.children;
    const model::Anchor anchor = entry.anchor;
    const std::int64_t stack = entry.stackPosition;
    const bool header = entry.inHeader;
    entry.children.clear();
    entry.edit = model::EditState::Deleted;
    std::vector<int> live;
    for (int member : members) {
        if (member < 0 || member >= static_cast<int>(document.shapes.size()) || member == group) continue;
        auto& shape = document.shapes[static_cast<std::size_t>(member)];
        if (shape.edit == model::EditState::Deleted) continue;
        shape.parent = -1;
        shape.anchor = anchor;
        shape.inHeader = header;
        shape.stackPosition = stack;
        shape.ungroupedFrom = group;
        shape.layoutChanged = true;
        live.push_back(member);
    }
    return live;
}

// The office's Group: a new group around the shapes, where the first was
// anchored and where the front-most stood in the stack.
int regroup(model::Document& document, const std::vector<int>& members) {
    if (members.size() < 2) return -1;
    double left = 1e300, top = 1e300, right = -1e300, bottom = -1e300;
    std::int64_t stack = std::numeric_limits<std::int64_t>::lowest();
    for (int member : members) {
        const auto& shape = document.shapes[static_cast<std::size_t>(member)];
        left = std::min(left, shape.leftPt);
        top = std::min(top, shape.topPt);
        right = std::max(right, shape.leftPt + shape.widthPt);
        bottom = std::max(bottom, shape.topPt + shape.heightPt);
        stack = std::max(stack, shape.stackPosition);
    }
    const auto& first = document.shapes[static_cast<std::size_t>(members.front())];
    model::FloatingShape group;
    group.type = model::shape_type::kGroup;
    group.name = "Group 9999";
    group.leftPt = left;
    group.topPt = top;
    group.widthPt = right - left;
    group.heightPt = bottom - top;
    group.anchor = first.anchor;
    group.inHeader = first.inHeader;
    group.relative = first.relative;
    group.wrap = first.wrap;
    group.children = members;
    const int index = document.addShape(std::move(group));
    document.shapes[static_cast<std::size_t>(index)].stackPosition = stack;
    for (int member : members) {
        auto& shape = document.shapes[static_cast<std::size_t>(member)];
        shape.parent = index;
        shape.layoutChanged = true;
    }
    return index;
}

// A top-level group taken apart, its pictures replaced and its groups taken
// apart in turn, then put together again as the walk does; `rebuilt` is the
// new group (-1 when fewer than two shapes were left).
int replaceInGroup(model::Document& document, int group, int depth, int& rebuilt) {
    int replaced = 0;
    std::vector<int> members = ungroup(document, group);
    for (int& member : members) {
        const auto& shape = document.shapes[static_cast<std::size_t>(member)];
        if (shape.type == model::shape_type::kGroup && depth < 8) {
            int inner = -1;
            replaced += replaceInGroup(document, member, depth + 1, inner);
            member = inner;
        } else if (replaceable(shape)) {
            member = replaceShape(document, member);
            ++replaced;
        }
    }
    members.erase(std::remove_if(members.begin(), members.end(),
                                 [&](int m) {
                                     return m < 0 || document.shapes[static_cast<std::size_t>(m)].edit ==
                                                         model::EditState::Deleted;
                                 }),
                  members.end());
    rebuilt = regroup(document, members);
    return replaced;
}

}  // namespace

int replaceEveryPicture(model::Document& document) {
    int replaced = 0;
    for (std::size_t s = 0; s < document.stories.size(); ++s) {
        if (!document.stories[s].editable) continue;
        for (int object : document.inlinesOf(static_cast<int>(s))) replaced += replaceInline(document, object) ? 1 : 0;
    }
    for (int shape : document.topLevelShapes()) {
        const auto& entry = document.shapes[static_cast<std::size_t>(shape)];
        if (entry.inHeader) continue;
        if (entry.type == model::shape_type::kGroup) {
            int rebuilt = -1;
            replaced += replaceInGroup(document, shape, 0, rebuilt);
        } else if (replaceable(entry)) {
            replaceShape(document, shape);
            ++replaced;
        }
    }
    return replaced;
}

int countPictures(const model::Document& document) {
    int count = 0;
    for (std::size_t s = 0; s < document.stories.size(); ++s) {
        if (document.stories[s].editable) count += static_cast<int>(document.inlinesOf(static_cast<int>(s)).size());
    }
    for (const auto& shape : document.shapes) {
        if (shape.edit != model::EditState::Deleted && !shape.inHeader &&
            (shape.type == model::shape_type::kPicture || shape.type == model::shape_type::kEmbeddedObject))
            ++count;
    }
    return count;
}

int drawEveryPicture(const model::Document& document) {
    std::set<const std::string*> seen;
    std::vector<const model::PictureData*> pictures;
    for (const auto& object : document.inlines) pictures.push_back(&object.picture);
    for (const auto& shape : document.shapes) pictures.push_back(&shape.picture);
    int drawn = 0;
    for (const model::PictureData* picture : pictures) {
        if (picture->empty() || !seen.insert(picture->bytes.get()).second || seen.size() > 16) continue;
        const std::string_view bytes(*picture->bytes);
        imaging::PictureType type = office::native::toImagingType(picture->type);
        if (type == imaging::PictureType::Unknown) type = imaging::sniff(bytes);
        try {
            imaging::pictureSize(bytes, type);
            const imaging::Image image = imaging::render(bytes, type, 23, 17);
            if (image.width != 23 || image.height != 17 || image.rgba.size() != 23u * 17u * 4u) std::abort();
            ++drawn;
        } catch (const imaging::ImagingError&) {
        }
    }
    return drawn;
}

}  // namespace kelvaran::fuzz
