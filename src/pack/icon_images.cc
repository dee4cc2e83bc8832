#include "pack/icon_images.h"

#include <algorithm>
#include <memory>

#include <stb/stb_image.h>
#include <stb/stb_image_resize.h>
#include <stb/stb_image_write.h>

namespace kiln {
namespace {

constexpr int kMaxSide = 8192;
constexpr int kPngSize = 256;

struct Pixels {
  int width = 0, height = 0;
  std::vector<unsigned char> rgba;
};

uint32_t Get(std::string_view bytes, size_t at, unsigned count) {
  uint32_t value = 0;
  for (unsigned i = count; i > 0; --i) value = (value << 8) | static_cast<uint8_t>(bytes[at + i - 1]);
  return value;
}

void Append(std::string& bytes, uint32_t value, unsigned count) {
  for (unsigned i = 0; i < count; ++i) bytes += static_cast<char>((value >> (8 * i)) & 0xFF);
}

std::optional<Pixels> Decode(std::string_view bytes, std::string& why) {
  int width = 0, height = 0, channels = 0;
  const auto* data = reinterpret_cast<const stbi_uc*>(bytes.data());
  const int size = static_cast<int>(std::min<size_t>(bytes.size(), INT32_MAX));
  if (!stbi_info_from_memory(data, size, &width, &height, &channels)) {
    why = "is not an image kiln-pack reads (PNG, JPEG, GIF, BMP or ICO)";
    return std::nullopt;
  }
  if (width > kMaxSide || height > kMaxSide) {
    why = "is " + std::to_string(width) + " by " + std::to_string(height) +
          " pixels; an icon is made from at most " + std::to_string(kMaxSide) + " by " +
          std::to_string(kMaxSide);
    return std::nullopt;
  }
  const std::unique_ptr<stbi_uc, void (*)(void*)> decoded(
      stbi_load_from_memory(data, size, &width, &height, &channels, 4), stbi_image_free);
  if (!decoded) {
    why = std::string("is damaged or cut short, so it cannot be decoded (") +
          stbi_failure_reason() + ")";
    return std::nullopt;
  }
  Pixels pixels{width, height, {}};
  pixels.rgba.assign(decoded.get(), decoded.get() + size_t{4} * width * height);
  return pixels;
}

// The largest image of an ICO file: a PNG, or a 32-bit bitmap (bottom-up
// BGRA, twice as high as the image for the unused mask).
std::optional<Pixels> DecodeIco(std::string_view bytes, std::string& why) {
  why = "is an ICO file holding no PNG or 32-bit image";
  const size_t count = bytes.size() >= 6 ? Get(bytes, 4, 2) : 0;
  size_t best = 0;
  int bestSide = 0;
  for (size_t i = 0; i < count && 6 + 16 * (i + 1) <= bytes.size(); ++i) {
    const size_t entry = 6 + 16 * i;
    const int side = Get(bytes, entry, 1) ? static_cast<int>(Get(bytes, entry, 1)) : 256;
    const uint32_t size = Get(bytes, entry + 8, 4), offset = Get(bytes, entry + 12, 4);
    if (offset > bytes.size() || size > bytes.size() - offset || side <= bestSide) continue;
    best = entry;
    bestSide = side;
  }
  if (bestSide == 0) return std::nullopt;
  const std::string_view image = bytes.substr(Get(bytes, best + 12, 4), Get(bytes, best + 8, 4));
  if (image.substr(0, 4) == "\x89PNG") return Decode(image, why);
  if (image.size() < 40 || Get(image, 0, 4) != 40 || Get(image, 14, 2) != 32 ||
      Get(image, 16, 4) != 0) {
    return std::nullopt;
  }
  const int width = static_cast<int>(Get(image, 4, 4));
  const int height = static_cast<int>(Get(image, 8, 4)) / 2;
  if (width <= 0 || height <= 0 || width > 256 || height > 256 ||
      image.size() - 40 < size_t{4} * width * height) {
    return std::nullopt;
  }
  Pixels pixels{width, height, std::vector<unsigned char>(size_t{4} * width * height)};
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const size_t from = 40 + 4 * (size_t{static_cast<size_t>(height - 1 - y)} * width + x);
      unsigned char* to = &pixels.rgba[4 * (size_t{static_cast<size_t>(y)} * width + x)];
      to[0] = static_cast<unsigned char>(image[from + 2]);
      to[1] = static_cast<unsigned char>(image[from + 1]);
      to[2] = static_cast<unsigned char>(image[from]);
      to[3] = static_cast<unsigned char>(image[from + 3]);
    }
  }
  return pixels;
}

// The image centred on a transparent square as wide as its longer side.
Pixels Square(const Pixels& image) {
  const int side = std::max(image.width, image.height);
  Pixels square{side, side, std::vector<unsigned char>(size_t{4} * side * side, 0)};
  const int left = (side - image.width) / 2, top = (side - image.height) / 2;
  for (int y = 0; y < image.height; ++y) {
    std::copy_n(&image.rgba[4 * size_t{static_cast<size_t>(y)} * image.width],
                4 * size_t{static_cast<size_t>(image.width)},
                &square.rgba[4 * (size_t{static_cast<size_t>(y + top)} * side + left)]);
  }
  return square;
}

void AppendTo(void* context, void* data, int size) {
  static_cast<std::string*>(context)->append(static_cast<const char*>(data), size);
}

// A BITMAPINFOHEADER, the pixels bottom-up as BGRA, then the AND mask,
// all clear: the alpha channel says what is transparent.
std::string Bitmap(const std::vector<unsigned char>& rgba, int side) {
  const size_t maskRow = (side + 31) / 32 * 4;
  std::string bytes;
  for (const uint32_t value : {uint32_t{40}, uint32_t(side), uint32_t(2 * side)}) Append(bytes, value, 4);
  Append(bytes, 1, 2);   // planes
  Append(bytes, 32, 2);  // bits per pixel
  Append(bytes, 0, 4);   // uncompressed
  Append(bytes, static_cast<uint32_t>(4 * side * side + maskRow * side), 4);
  bytes.append(16, '\0');
  for (int y = side - 1; y >= 0; --y) {
    for (int x = 0; x < side; ++x) {
      const unsigned char* p = &rgba[4 * (size_t{static_cast<size_t>(y)} * side + x)];
      bytes += {static_cast<char>(p[2]), static_cast<char>(p[1]), static_cast<char>(p[0]),
                static_cast<char>(p[3])};
    }
  }
  bytes.append(maskRow * side, '\0');
  return bytes;
}

}  // namespace

std::optional<std::vector<IconImage>> MakeIconImages(std::string_view file, std::string& why) {
  const std::optional<Pixels> decoded =
      file.substr(0, 4) == std::string_view("\0\0\1\0", 4) ? DecodeIco(file, why) : Decode(file, why);
  if (!decoded) return std::nullopt;
  const Pixels square = Square(*decoded);
  std::vector<IconImage> images;
  for (const int side : kIconSizes) {
    std::vector<unsigned char> rgba(size_t{4} * side * side);
    // sRGB-aware filtering with alpha weighting: edges of transparent art
    // keep their colour instead of darkening.
    if (!stbir_resize_uint8_srgb(square.rgba.data(), square.width, square.height, 0, rgba.data(),
                                 side, side, 0, 4, 3, 0)) {
      why = "cannot be resized";
      return std::nullopt;
    }
    IconImage image{side, {}};
    if (side == kPngSize) {
      if (!stbi_write_png_to_func(AppendTo, &image.bytes, side, side, 4, rgba.data(), 4 * side)) {
        why = "cannot be written as PNG";
        return std::nullopt;
      }
    } else {
      image.bytes = Bitmap(rgba, side);
    }
    images.push_back(std::move(image));
  }
  return images;
}

std::string IconGroup(const std::vector<IconImage>& images, uint16_t firstId) {
  std::string group;
  Append(group, 0, 2);
  Append(group, 1, 2);  // an icon, not a cursor
  Append(group, static_cast<uint32_t>(images.size()), 2);
  for (size_t i = 0; i < images.size(); ++i) {
    const int side = images[i].size >= 256 ? 0 : images[i].size;
    Append(group, side, 1);
    Append(group, side, 1);
    Append(group, 0, 2);  // no palette, reserved
    Append(group, 1, 2);  // planes
    Append(group, 32, 2);
    Append(group, static_cast<uint32_t>(images[i].bytes.size()), 4);
    Append(group, static_cast<uint32_t>(firstId + i), 2);
  }
  return group;
}

}  // namespace kiln
