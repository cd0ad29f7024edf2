#pragma once

// Where an object or an element came from in the file it was read from.  Each
// reader fills what its writer needs to patch that file; nothing outside the
// two is meant to look inside `detail`.

#include <any>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace kelvaran::formats::model {

struct ByteRange {
    std::int64_t begin = -1;  // first byte
    std::int64_t end = -1;    // one past the last byte

    bool valid() const { return begin >= 0 && end >= begin; }
    std::int64_t length() const { return valid() ? end - begin : 0; }
};

struct Origin {
    // The format whose reader filled this: "rtf" or "doc"; empty for objects
    // made in memory (a pasted picture, a new shape).
    std::string format;
    // The bytes that make up the object in `source` (for RTF the group from
    // "{" to its "}"; for a .doc the reader's main record).
    ByteRange range;
    // Further bytes that belong to the object and go with it when it is
    // replaced or deleted (an RTF fallback picture, a shape result group).
    std::vector<ByteRange> companions;
    // The input buffer the ranges point into.  An object copied unchanged into
    // another document keeps it, so that the other document's writer can emit
    // the original bytes and a measurement shows what the object really costs.
    // Writers compare it with Document::source (the same pointer: the object's
    // own bytes in this file) before they patch anything.
    std::shared_ptr<const std::string> source;
    // Format-private details (RTF: group nesting and keyword positions; .doc:
    // record locations, character positions, ObjectPool storage names).
    std::any detail;

    bool known() const { return !format.empty(); }
};

}  // namespace kelvaran::formats::model
