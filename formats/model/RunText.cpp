#include "formats/model/RunText.h"

#include <cstring>
#include <limits>
#include <ostream>
#include <utility>

namespace kelvaran::formats::model {

namespace {

bool tooLong(std::string_view text) { return text.size() > std::numeric_limits<std::uint32_t>::max(); }

}  // namespace

RunText RunText::inInput(std::string_view input) {
    RunText text;
    if (input.empty() || tooLong(input)) return text;
    text.data_ = input.data();
    text.size_ = static_cast<std::uint32_t>(input.size());
    return text;
}

void RunText::own(std::string_view text) {
    // Copied before the old text goes, which `text` may be part of.
    char* copy = nullptr;
    if (!text.empty() && !tooLong(text)) {
        copy = new char[text.size()];
        std::memcpy(copy, text.data(), text.size());
    }
    release();
    if (!copy) return;
    data_ = copy;
    size_ = static_cast<std::uint32_t>(text.size());
    owned_ = true;
}

void RunText::release() {
    if (owned_) delete[] data_;
    data_ = nullptr;
    size_ = 0;
    owned_ = false;
}

RunText::RunText(const RunText& other) {
    if (other.owned_) {
        own(other.view());
    } else {
        data_ = other.data_;
        size_ = other.size_;
    }
}

RunText::RunText(RunText&& other) noexcept
    : data_(std::exchange(other.data_, nullptr)),
      size_(std::exchange(other.size_, 0)),
      owned_(std::exchange(other.owned_, false)) {}

RunText& RunText::operator=(const RunText& other) {
    if (this != &other) *this = RunText(other);
    return *this;
}

RunText& RunText::operator=(RunText&& other) noexcept {
    if (this != &other) {
        release();
        data_ = std::exchange(other.data_, nullptr);
        size_ = std::exchange(other.size_, 0);
        owned_ = std::exchange(other.owned_, false);
    }
    return *this;
}

std::ostream& operator<<(std::ostream& out, const RunText& text) { return out << text.view(); }

}  // namespace kelvaran::formats::model
