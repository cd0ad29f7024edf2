#include "formats/model/RunText.h"

#include <array>
#include <atomic>
#include <cstring>
#include <limits>
#include <mutex>
#include <ostream>
#include <stdexcept>
#include <utility>

namespace kelvaran::formats::model {

namespace {

bool tooLong(std::string_view text) { return text.size() > std::numeric_limits<std::uint32_t>::max(); }

constexpr std::size_t kMaxDecoders = 63;

// Decoder 0 is none; the others are added once and never removed, so a
// number read from a run always finds its decoder.
std::array<std::atomic<RunText::Decoder>, kMaxDecoders + 1> decoders{};
std::mutex adding;

}  // namespace

RunText RunText::inInput(std::string_view input) {
    RunText text;
    if (input.empty() || tooLong(input)) return text;
    text.data_ = input.data();
    text.size_ = static_cast<std::uint32_t>(input.size());
    return text;
}

std::uint8_t RunText::addDecoder(Decoder decoder) {
    const std::lock_guard lock(adding);
    for (std::size_t i = 1; i <= kMaxDecoders; ++i) {
        const Decoder present = decoders[i].load();
        if (present == decoder) return static_cast<std::uint8_t>(i);
        if (!present) {
            decoders[i].store(decoder);
            return static_cast<std::uint8_t>(i);
        }
    }
    throw std::length_error("too many run text decoders");
}

RunText RunText::spelledInInput(std::string_view spelled, std::uint8_t decoder, std::uint32_t context) {
    RunText text;
    if (spelled.empty() || tooLong(spelled) || context > kMaxContext || decoder == 0 || decoder > kMaxDecoders ||
        !decoders[decoder].load()) {
        return text;
    }
    text.data_ = spelled.data();
    text.size_ = static_cast<std::uint32_t>(spelled.size());
    text.form_ = kSpelled;
    text.decoder_ = decoder;
    text.context_ = context;
    return text;
}

std::string_view RunText::view(std::string& scratch) const {
    if (form_ != kSpelled || size_ == 0) return {data_, size_};
    scratch.clear();
    decoders[decoder_].load()(std::string_view(data_, size_), context_, scratch);
    return scratch;
}

std::string RunText::str() const {
    std::string scratch;
    const std::string_view text = view(scratch);
    return text.data() == scratch.data() ? std::move(scratch) : std::string(text);
}

void RunText::detach() {
    if (inInputBuffer()) own(str());
}

void RunText::keepFirst(std::size_t bytes) {
    if (spelled()) detach();
    if (bytes < size_) size_ = static_cast<std::uint32_t>(bytes);
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
    form_ = kOwned;
}

void RunText::release() {
    if (form_ == kOwned) delete[] data_;
    data_ = nullptr;
    size_ = 0;
    form_ = kInInput;
    decoder_ = 0;
    context_ = 0;
}

RunText::RunText(const RunText& other) {
    if (other.form_ == kOwned) {
        own(std::string_view(other.data_, other.size_));
    } else {
        data_ = other.data_;
        size_ = other.size_;
        form_ = other.form_;
        decoder_ = other.decoder_;
        context_ = other.context_;
    }
}

RunText::RunText(RunText&& other) noexcept
    : data_(std::exchange(other.data_, nullptr)),
      size_(std::exchange(other.size_, 0)),
      form_(other.form_),
      decoder_(other.decoder_),
      context_(other.context_) {
    other.form_ = kInInput;
    other.decoder_ = 0;
    other.context_ = 0;
}

RunText& RunText::operator=(const RunText& other) {
    if (this != &other) *this = RunText(other);
    return *this;
}

RunText& RunText::operator=(RunText&& other) noexcept {
    if (this != &other) {
        release();
        data_ = std::exchange(other.data_, nullptr);
        size_ = std::exchange(other.size_, 0);
        form_ = other.form_;
        decoder_ = other.decoder_;
        context_ = other.context_;
        other.form_ = kInInput;
        other.decoder_ = 0;
        other.context_ = 0;
    }
    return *this;
}

bool operator==(const RunText& a, std::string_view b) {
    std::string scratch;
    return a.view(scratch) == b;
}

std::ostream& operator<<(std::ostream& out, const RunText& text) {
    std::string scratch;
    return out << text.view(scratch);
}

}  // namespace kelvaran::formats::model
