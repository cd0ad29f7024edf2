// The lookups of a document by position and by object, answered from an
// index of its stories: where each element starts, where each inline object
// stands and the live inline objects of each story.  The index is worked out
// once for the stories as they stand and again after they change, so a walk
// that asks for every object of a document of many costs one pass, not one
// pass per object.

#include "formats/model/Document.h"

#include <algorithm>

namespace kelvaran::formats::model {

struct Document::Index {
    std::uint64_t revision = 0;
    std::size_t inlineTotal = 0;
    std::vector<std::size_t> elementCounts;
    // Per story: the position at which each element starts, and the length last.
    std::vector<std::vector<std::int64_t>> starts;
    // Per story: the live inline objects in text order.
    std::vector<std::vector<int>> live;
    // Per inline object: its story and element, or {-1, -1}.
    std::vector<std::pair<int, int>> placeOf;
};

const Document::Index& Document::index() const {
    if (index_ && index_->revision == revision_ && index_->inlineTotal == inlines.size() &&
        index_->elementCounts.size() == stories.size()) {
        bool same = true;
        for (std::size_t s = 0; s < stories.size() && same; ++s) {
            same = index_->elementCounts[s] == stories[s].elements.size();
        }
        if (same) return *index_;
    }
    auto index = std::make_shared<Index>();
    index->revision = revision_;
    index->inlineTotal = inlines.size();
    index->placeOf.assign(inlines.size(), {-1, -1});
    const std::size_t storyCount = stories.size();
    index->elementCounts.resize(storyCount);
    index->starts.resize(storyCount);
    index->live.resize(storyCount);
    for (std::size_t s = 0; s < storyCount; ++s) {
        const auto& elements = stories[s].elements;
        const std::size_t n = elements.size();
        index->elementCounts[s] = n;
        auto& starts = index->starts[s];
        starts.resize(n + 1);
        std::int64_t at = 0;
        for (std::size_t i = 0; i < n; ++i) {
            const auto& element = elements[i];
            starts[i] = at;
            if (element.kind == ElementKind::Inline && element.object >= 0 &&
                element.object < static_cast<int>(inlines.size())) {
                auto& place = index->placeOf[static_cast<std::size_t>(element.object)];
                if (place.first < 0) place = {static_cast<int>(s), static_cast<int>(i)};
                if (inlines[static_cast<std::size_t>(element.object)].edit != EditState::Deleted) {
                    index->live[s].push_back(element.object);
                }
            }
            at += element.chars;
        }
        starts[n] = at;
    }
    index_ = std::move(index);
    return *index_;
}

std::pair<int, int> Document::locateInline(int object) const {
    const auto& places = index().placeOf;
    if (object < 0 || object >= static_cast<int>(places.size())) return {-1, -1};
    return places[static_cast<std::size_t>(object)];
}

std::size_t Document::inlineCount(int story) const {
    if (story < 0 || story >= static_cast<int>(stories.size())) return 0;
    return index().live[static_cast<std::size_t>(story)].size();
}

int Document::inlineAt(int story, std::size_t rank) const {
    if (story < 0 || story >= static_cast<int>(stories.size())) return -1;
    const auto& live = index().live[static_cast<std::size_t>(story)];
    return rank < live.size() ? live[rank] : -1;
}

std::int64_t Document::positionOf(int story, std::size_t element) const {
    if (story < 0 || story >= static_cast<int>(stories.size())) return 0;
    const auto& starts = index().starts[static_cast<std::size_t>(story)];
    return starts[std::min(element, starts.size() - 1)];
}

std::size_t Document::elementAt(int story, std::int64_t position) const {
    if (story < 0 || story >= static_cast<int>(stories.size())) return 0;
    if (position < 0) return 0;
    const auto& starts = index().starts[static_cast<std::size_t>(story)];
    // The element holding the position is the last that starts at or before
    // it and is not empty.
    const std::size_t n = starts.size() - 1;
    if (position >= starts[n]) return n;
    const auto after = std::upper_bound(starts.begin(), starts.begin() + static_cast<std::ptrdiff_t>(n), position);
    return static_cast<std::size_t>(after - starts.begin()) - 1;
}

}  // namespace kelvaran::formats::model
