#pragma once

#include <atomic>
#include <utility>

namespace kelvaran::formats::model {

// A value that many holders share and none changes, counted where it is
// stored: a holder is one pointer, where a std::shared_ptr takes two.  A
// long story's millions of elements each hold two of these.  The last holder
// to let go frees the value.  Holders may be copied and dropped on several
// threads at once.
template <class T>
class Counted {
public:
    Counted() = default;
    template <class... Args>
    static Counted make(Args&&... args) {
        Counted made;
        made.block_ = new Block(T(std::forward<Args>(args)...));
        return made;
    }

    Counted(const Counted& other) noexcept : block_(other.block_) {
        if (block_) block_->holders.fetch_add(1, std::memory_order_relaxed);
    }
    Counted(Counted&& other) noexcept : block_(std::exchange(other.block_, nullptr)) {}
    Counted& operator=(const Counted& other) noexcept {
        Counted copy(other);
        std::swap(block_, copy.block_);
        return *this;
    }
    Counted& operator=(Counted&& other) noexcept {
        Counted taken(std::move(other));
        std::swap(block_, taken.block_);
        return *this;
    }
    ~Counted() {
        if (block_ && block_->holders.fetch_sub(1, std::memory_order_acq_rel) == 1) delete block_;
    }

    explicit operator bool() const { return block_ != nullptr; }
    const T& operator*() const { return block_->value; }
    const T* operator->() const { return &block_->value; }
    const T* get() const { return block_ ? &block_->value : nullptr; }
    // The value to change, for its only holder (nullptr when others hold it too).
    T* sole() { return block_ && block_->holders.load(std::memory_order_acquire) == 1 ? &block_->value : nullptr; }
    long holders() const { return block_ ? block_->holders.load(std::memory_order_relaxed) : 0; }

    // Whether the two hold one value.
    friend bool operator==(const Counted& a, const Counted& b) { return a.block_ == b.block_; }

private:
    struct Block {
        explicit Block(T made) : value(std::move(made)) {}
        T value;
        std::atomic<long> holders{1};
    };
    Block* block_ = nullptr;
};

}  // namespace kelvaran::formats::model
