#include "rules/ExceptionList.h"

#include "platform/Conversions.h"

namespace kelvaran::rules {

void ExceptionList::AddToExceptionList(const std::string& name, std::string& value) {
    std::string key = platform::asciiLower(name);
    if (key.empty()) return;
    if (positionOf_.count(key)) return;
    // Positions are 16-bit signed counts; a list that full takes no more.
    if (entries_.size() >= kMaxEntries) return;
    if (value == "True" || value == "False") value = engine::kFormatMetafile;
    positionOf_.emplace(key, entries_.size());
    entries_.push_back(ExceptionEntry{std::move(key), value});
    if (onAdded) onAdded(entries_.back());
}

std::string ExceptionList::ObjToImage(const std::string& name) {
    if (name.empty()) return engine::kFormatMetafile;
    std::string key = platform::asciiLower(name);
    auto it = positionOf_.find(key);
    return it == positionOf_.end() ? engine::kFormatMetafile : entries_[it->second].oleValue;
}

void ExceptionList::setValue(std::size_t position, const std::string& value) {
    if (position >= entries_.size()) return;
    entries_[position].oleValue = value;
    if (onChanged) onChanged(position);
}

void AddDefaultExceptions(ExceptionList& list) {
    static const char* const kRows[][2] = {
        {"excel", "ﾒﾀﾋﾟｸﾁｬ"},    {"word", "ﾒﾀﾋﾟｸﾁｬ"},    {"powerpoint", "ﾒﾀﾋﾟｸﾁｬ"},
        {"photoshop", "ﾒﾀﾋﾟｸﾁｬ"}, {"msphotoed", "ﾒﾀﾋﾟｸﾁｬ"}, {"flash", "ﾒﾀﾋﾟｸﾁｬ"},
        {"paint", "ﾒﾀﾋﾟｸﾁｬ"},    {"wordpad", "ﾒﾀﾋﾟｸﾁｬ"}, {"msgraph", "ﾒﾀﾋﾟｸﾁｬ"},
        {"equation", "ﾒﾀﾋﾟｸﾁｬ"}, {"mplayer", "変換しない"}, {"avifile", "変換しない"},
        {"midfile", "変換しない"},
    };
    for (const auto& row : kRows) {
        std::string value = row[1];
        list.AddToExceptionList(row[0], value);
    }
}

}  // namespace kelvaran::rules
