#pragma once

#include "office/OfficeError.h"
#include "platform/Failure.h"

#include <memory>
#include <string>

namespace kelvaran::engine {

// Dereferences an object the office layer handed out; a missing object is a
// failure of the call that should have produced it.
template <class T>
T& obj(const std::shared_ptr<T>& pointer) {
    if (!pointer) throw office::OfficeError("the office returned no object");
    return *pointer;
}

// The same check for an object that the caller keeps: returns the owning
// pointer, so the object lives as long as the caller holds it.
template <class T>
std::shared_ptr<T> need(std::shared_ptr<T> pointer) {
    if (!pointer) throw office::OfficeError("the office returned no object");
    return pointer;
}

// Runs one step and swallows its failure; true when it succeeded.
template <class Step>
bool attempt(Step&& step) {
    try {
        step();
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

// The words of a failure for the report.  A full temporary folder, where
// every object is measured, is named as such: every picture after it fails
// the same way.
inline std::string failureReason(const std::exception& failure) {
    const auto* known = dynamic_cast<const platform::Failure*>(&failure);
    if (known && known->storageFull()) {
        return std::string("the temporary folder is full (TMPDIR): ") + failure.what();
    }
    return failure.what();
}

// The same, keeping the failure's words in `failure` when it fails.
template <class Step>
bool attempt(Step&& step, std::string& failure) {
    try {
        step();
        return true;
    } catch (const std::exception& error) {
        failure = failureReason(error);
        return false;
    }
}

}  // namespace kelvaran::engine
