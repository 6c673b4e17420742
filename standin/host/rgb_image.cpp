#include "standin/host/rgb_image.h"

#include <algorithm>
#include <cstddef>

namespace standin {

namespace {
std::uint8_t clampChannel(int v) { return static_cast<std::uint8_t>(std::clamp(v, 0, 255)); }
}  // namespace

Rgb rgbClamped(int r, int g, int b) { return {clampChannel(r), clampChannel(g), clampChannel(b)}; }

RgbImage::RgbImage(int width, int height, Rgb fill)
    : width_(std::max(width, 0)), height_(std::max(height, 0)) {
  bytes_.resize(static_cast<std::size_t>(width_) * static_cast<std::size_t>(height_) * 3);
  for (std::size_t i = 0; i < bytes_.size(); i += 3) {
    bytes_[i] = fill.r;
    bytes_[i + 1] = fill.g;
    bytes_[i + 2] = fill.b;
  }
}

Rgb RgbImage::pixel(int x, int y) const {
  if (!contains(x, y)) return {};
  const std::size_t i =
      (static_cast<std::size_t>(y) * static_cast<std::size_t>(width_) + static_cast<std::size_t>(x)) * 3;
  return {bytes_[i], bytes_[i + 1], bytes_[i + 2]};
}

void RgbImage::setPixel(int x, int y, Rgb colour) {
  if (!contains(x, y)) return;
  const std::size_t i =
      (static_cast<std::size_t>(y) * static_cast<std::size_t>(width_) + static_cast<std::size_t>(x)) * 3;
  bytes_[i] = colour.r;
  bytes_[i + 1] = colour.g;
  bytes_[i + 2] = colour.b;
}

void RgbImage::blendPixel(int x, int y, Rgb colour, int coverage) {
  if (!contains(x, y) || coverage <= 0) return;
  if (coverage >= 255) {
    setPixel(x, y, colour);
    return;
  }
  const Rgb old = pixel(x, y);
  auto mix = [coverage](std::uint8_t from, std::uint8_t to) {
    return static_cast<std::uint8_t>((from * (255 - coverage) + to * coverage + 127) / 255);
  };
  setPixel(x, y, {mix(old.r, colour.r), mix(old.g, colour.g), mix(old.b, colour.b)});
}

void RgbImage::fillBox(int x, int y, int width, int height, Rgb colour) {
  if (width <= 0 || height <= 0) return;
  // Clip in 64 bits so that huge boxes cannot overflow.
  const long long x0 = std::max<long long>(x, 0), y0 = std::max<long long>(y, 0);
  const long long x1 = std::min<long long>(static_cast<long long>(x) + width, width_);
  const long long y1 = std::min<long long>(static_cast<long long>(y) + height, height_);
  for (long long py = y0; py < y1; ++py)
    for (long long px = x0; px < x1; ++px) setPixel(static_cast<int>(px), static_cast<int>(py), colour);
}

}  // namespace standin
