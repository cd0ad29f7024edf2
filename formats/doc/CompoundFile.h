#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace kelvaran::formats::doc {

// One storage or stream of a compound file, held in memory.  Names are kept
// exactly as read (control characters such as "\001CompObj" included).
struct CompoundEntry {
    std::string name;
    bool isStorage = false;
    std::array<std::uint8_t, 16> classId{};
    std::string data;  // streams only
    std::vector<CompoundEntry> children;

    // Case-insensitive look-up among the direct children (the format compares names
    // that way; files with "DATA" for "Data" exist).
    const CompoundEntry* child(std::string_view childName) const;
    CompoundEntry* child(std::string_view childName);
    bool removeChild(std::string_view childName);
    CompoundEntry& addStream(std::string childName, std::string bytes);
};

// A whole compound file read through libgsf after CompoundValidator accepted it.
class CompoundFile {
public:
    static constexpr std::size_t kMaxInputSize = std::size_t(1) << 30;

    // Throws DocError (NotAWordDocument when the bytes are no compound file,
    // Damaged when the container is inconsistent).
    static CompoundFile fromBytes(std::string_view bytes);

    // Builds the container anew with libgsf (512-byte sectors); class ids and names
    // kept, streams written as they are in memory.  Throws DocError(CannotWrite).
    std::string toBytes() const&;
    // The same for a container that is not needed afterwards: each stream lets
    // go of its bytes once libgsf has them, so a large file is not held twice.
    std::string toBytes() &&;

    CompoundEntry root;
};

}  // namespace kelvaran::formats::doc
