#pragma once

#include "office/OfficeError.h"

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

// The same, keeping the failure's text in `failure` when it fails.
template <class Step>
bool attempt(Step&& step, std::string& failure) {
    try {
        step();
        return true;
    } catch (const std::exception& error) {
        failure = error.what();
        return false;
    }
}

}  // namespace kelvaran::engine
