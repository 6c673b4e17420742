// A plain RGB picture, 3 bytes a pixel, rows top to bottom without padding. Drawing outside the picture is
// clipped, never an error.
#pragma once

#include <cstdint>
#include <vector>

namespace standin {

struct Rgb {
  std::uint8_t r = 0, g = 0, b = 0;
  friend bool operator==(const Rgb &, const Rgb &) = default;
};

// Clamps each channel to 0..255.
Rgb rgbClamped(int r, int g, int b);

class RgbImage {
 public:
  RgbImage() = default;
  // Negative sizes count as 0.
  RgbImage(int width, int height, Rgb fill = {});

  int width() const { return width_; }
  int height() const { return height_; }
  const std::vector<std::uint8_t> &bytes() const { return bytes_; }
  bool contains(int x, int y) const { return x >= 0 && y >= 0 && x < width_ && y < height_; }

  // Black outside the picture.
  Rgb pixel(int x, int y) const;
  void setPixel(int x, int y, Rgb colour);
  // Mixes `colour` over the pixel; coverage 0 leaves it, 255 replaces it.
  void blendPixel(int x, int y, Rgb colour, int coverage);
  // Fills the part of the box inside the picture; an empty or negative size fills nothing.
  void fillBox(int x, int y, int width, int height, Rgb colour);

 private:
  int width_ = 0, height_ = 0;
  std::vector<std::uint8_t> bytes_;
};

}  // namespace standin
