#pragma once

// Where an object or an element came from in the file it was read from.  Each
// reader fills what its writer needs to patch that file; nothing outside the
// two is meant to look inside `detail`.

#include "formats/model/Counted.h"

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

// An element's format-private detail, held once however many elements
// carry it: most elements of a long text carry the same one or none, and a
// copy of an element adds a count, not a copy.  Never changed once made.
class ElementDetail {
public:
    ElementDetail() = default;
    ElementDetail(std::any value)  // NOLINT(google-explicit-constructor): a detail is what Origin::detail holds
        : value_(value.has_value() ? Counted<std::any>::make(std::move(value)) : Counted<std::any>{}) {}

    bool has_value() const { return static_cast<bool>(value_); }
    // The detail as a T, or nullptr when it is none or another type.
    template <class T>
    const T* as() const {
        return value_ ? std::any_cast<T>(value_.get()) : nullptr;
    }
    // The detail as Origin::detail holds it (empty when there is none).
    std::any any() const { return value_ ? *value_ : std::any{}; }
    // Whether the two hold one detail (for tests).
    bool sharesWith(const ElementDetail& other) const { return value_ && value_ == other.value_; }

private:
    Counted<std::any> value_;
};

// Where an element of a story came from.  A long text has millions of
// elements, and those one reader made all name the same format and input
// buffer: that part is held once, shared and never changed, while the range
// and the format-private detail are each element's own.  Copies are
// independent: changing one's range, detail or source leaves the other as it
// was.
class ElementOrigin {
public:
    // What the elements of one reading share.
    struct Shared {
        std::string format;
        std::shared_ptr<const std::string> source;
        std::vector<ByteRange> companions;
    };
    using SharedPart = Counted<Shared>;

    ElementOrigin() = default;
    // From a full origin (an inline object's, or one made by hand); its
    // format, source and companions get a shared part of their own.
    ElementOrigin(const Origin& origin);  // NOLINT(google-explicit-constructor): an origin is an origin
    // A reader makes one shared part with share() and gives it to every element.
    ElementOrigin(SharedPart shared, ByteRange where, ElementDetail what = {})
        : range(where), detail(std::move(what)), shared_(std::move(shared)) {}
    static SharedPart share(std::string format, std::shared_ptr<const std::string> source);

    ByteRange range;
    ElementDetail detail;

    bool known() const { return shared_ && !shared_->format.empty(); }
    const std::string& format() const;
    const std::shared_ptr<const std::string>& source() const;
    const std::vector<ByteRange>& companions() const;
    // Points this origin (only this one) at another input buffer.
    void setSource(std::shared_ptr<const std::string> source);
    // The same origin as a full one, for code written for objects.
    Origin full() const;

private:
    SharedPart shared_;
};

}  // namespace kelvaran::formats::model
