#pragma once

// RTF has no GIF picture type.  A GIF the program made is stored as a PNG
// holding exactly the same pixels: same palette, same transparent index.

#include <optional>
#include <string>
#include <string_view>

namespace kelvaran::formats::rtf {

// The first image of a GIF as a palette PNG; nothing when the GIF cannot be
// read (damaged, more than 16384 pixels either way or 64 M pixels in all).
std::optional<std::string> gifToPng(std::string_view gif);

}  // namespace kelvaran::formats::rtf
