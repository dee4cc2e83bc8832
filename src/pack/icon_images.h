// The icon Explorer shows for the exe, made from the app's own image: every
// size Windows asks for, 256 pixels stored as PNG and the rest as 32-bit
// bitmaps with alpha, as RT_ICON resources and their RT_GROUP_ICON.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kiln {

inline constexpr int kIconSizes[] = {16, 20, 24, 32, 40, 48, 64, 256};

struct IconImage {
  int size = 0;       // width and height in pixels
  std::string bytes;  // as an RT_ICON resource holds it
};

// The sizes made from an image file's bytes (PNG, JPEG, GIF, BMP or ICO;
// an image that is not square is centred on a transparent square).
// Nothing, with why set, for bytes that hold no image of these.
std::optional<std::vector<IconImage>> MakeIconImages(std::string_view file, std::string& why);

// The RT_GROUP_ICON that lists the images, the first with resource id firstId.
std::string IconGroup(const std::vector<IconImage>& images, uint16_t firstId);

}  // namespace kiln
