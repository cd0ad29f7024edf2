#pragma once

// Edits tests make to a document model as the in-process office makes them.

#include "formats/model/Document.h"

#include <cstddef>
#include <vector>

namespace kelvaran::test {

// Takes a group apart as the office's Ungroup does: the members stand on
// their own at the group's anchor, the group is gone.
inline void ungroup(formats::model::Document& document, int group) {
    auto& entry = document.shapes[static_cast<std::size_t>(group)];
    const std::vector<int> members = entry.children;
    const auto anchor = entry.anchor;
    entry.children.clear();
    entry.edit = formats::model::EditState::Deleted;
    for (int member : members) {
        auto& shape = document.shapes[static_cast<std::size_t>(member)];
        shape.parent = -1;
        shape.anchor = anchor;
        shape.ungroupedFrom = group;
        shape.layoutChanged = true;
    }
}

}  // namespace kelvaran::test
