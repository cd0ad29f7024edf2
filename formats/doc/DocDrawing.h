#pragma once

// The shape records of the drawings, as the readers of inline pictures and
// of floating shapes both take them apart.

#include "formats/doc/OfficeArtRecord.h"
#include "formats/doc/ShapeProperties.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace kelvaran::formats::doc::detail {

struct ShapeNode {
    std::uint32_t spid = 0, flags = 0;
    std::size_t flagsOffset = 0;  // of `flags` in the parsed buffer
    std::uint16_t type = 0;
    ShapeProperties props;
    std::optional<std::array<std::int32_t, 4>> childAnchor;
    std::optional<std::uint32_t> clientTextbox;
    std::optional<std::array<std::int32_t, 4>> groupBounds;
    int parent = -1;
    bool isGroup = false;
};

// Reads one shape container.
void readShape(std::string_view t, const OfficeArtRecord& sp, ShapeNode& n);

// Reads the shapes of a group container and its nested groups into `out`,
// members after their group.
void walkGroup(std::string_view t, const OfficeArtRecord& group, int parent, std::vector<ShapeNode>& out);

}  // namespace kelvaran::formats::doc::detail
