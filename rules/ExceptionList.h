#pragma once

#include "engine/ExceptionRules.h"

#include <functional>
#include <string>
#include <unordered_map>
#include <vector>

namespace kelvaran::rules {

struct ExceptionEntry {
    std::string oleName;   // application key, lower case
    std::string oleValue;  // format name
};

// The per-application exception list, in the order the entries were added.
class ExceptionList : public engine::ExceptionRules {
public:
    void AddToExceptionList(const std::string& name, std::string& value) override;
    std::string ObjToImage(const std::string& name) override;

    // At most this many entries: positions are 16-bit signed counts.
    static constexpr std::size_t kMaxEntries = 32767;

    const std::vector<ExceptionEntry>& entries() const { return entries_; }
    std::size_t size() const { return entries_.size(); }
    // Changes the format of the entry at a position (the format dialog); a
    // position past the end changes nothing.
    void setValue(std::size_t position, const std::string& value);

    // Called after an entry was appended (the dialog keeps its lists in step;
    // frmObject sets both callbacks for itself).
    std::function<void(const ExceptionEntry&)> onAdded;
    // Called after an entry's value changed.
    std::function<void(std::size_t position)> onChanged;

private:
    std::vector<ExceptionEntry> entries_;
    std::unordered_map<std::string, std::size_t> positionOf_;  // oleName -> position
};

// Adds the thirteen built-in rows in order.
void AddDefaultExceptions(ExceptionList& list);

}  // namespace kelvaran::rules
