#include "standin/media/png_file.h"

#include <png.h>

#include <cstring>
#include <vector>

namespace standin {

std::optional<std::string> encodePng(const RgbImage &image, std::string *error) {
  if (image.width() <= 0 || image.height() <= 0) {
    if (error != nullptr) *error = "an empty picture cannot be saved as PNG";
    return std::nullopt;
  }
  png_image png;
  std::memset(&png, 0, sizeof png);
  png.version = PNG_IMAGE_VERSION;
  png.width = static_cast<png_uint_32>(image.width());
  png.height = static_cast<png_uint_32>(image.height());
  png.format = PNG_FORMAT_RGB;
  // The first call measures, the second writes.
  png_alloc_size_t size = 0;
  std::string bytes;
  bool ok = png_image_write_to_memory(&png, nullptr, &size, 0, image.bytes().data(), 0, nullptr) != 0;
  if (ok) {
    bytes.resize(size);
    ok = png_image_write_to_memory(&png, bytes.data(), &size, 0, image.bytes().data(), 0, nullptr) != 0;
    bytes.resize(size);
  }
  if (!ok && error != nullptr) *error = std::string("cannot encode the picture as PNG: ") + png.message;
  png_image_free(&png);
  if (!ok) return std::nullopt;
  return bytes;
}

std::optional<RgbImage> loadPng(const std::string &path, std::string *error) {
  png_image png;
  std::memset(&png, 0, sizeof png);
  png.version = PNG_IMAGE_VERSION;
  if (png_image_begin_read_from_file(&png, path.c_str()) == 0) {
    if (error != nullptr) *error = "cannot read " + path + ": " + png.message;
    return std::nullopt;
  }
  png.format = PNG_FORMAT_RGB;
  std::vector<std::uint8_t> bytes(PNG_IMAGE_SIZE(png));
  if (png_image_finish_read(&png, nullptr, bytes.data(), 0, nullptr) == 0) {
    if (error != nullptr) *error = "cannot decode " + path + ": " + png.message;
    png_image_free(&png);
    return std::nullopt;
  }
  RgbImage image(static_cast<int>(png.width), static_cast<int>(png.height));
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x) {
      const std::size_t i = (static_cast<std::size_t>(y) * png.width + static_cast<std::size_t>(x)) * 3;
      image.setPixel(x, y, {bytes[i], bytes[i + 1], bytes[i + 2]});
    }
  return image;
}

}  // namespace standin
