// A drawing area for a panel's thumbnail control: the host hands its address to the module's draw callback
// as the LWXPDrAreaID, and the panel service's drawing table (drawFuncs()) paints into its RGB picture.
// Every call is also recorded, in order, with its arguments and (for the measuring calls) its answer.
//
// Text goes through a CanvasFont. Without one the canvas uses FixedMetricFont, which measures text with a
// fixed cell and draws no glyphs (the portable build has no font library); on Linux the media library
// offers a FreeType font with real glyphs.
//
// drawText's (x, y) is the top-left corner of the text's line box, whose height is textHeight.
//
// Colour indices of drawText (this host's palette): 0 black, 1 white, 2 dark grey (64, 64, 64),
// 3 light grey (192, 192, 192), 4 red (200, 40, 40), 5 green (40, 160, 40), 6 blue (40, 80, 200),
// 7 yellow (230, 200, 40); any other index draws black.
#pragma once

#include <string>
#include <vector>

#include "host/host_abi.h"
#include "standin/host/rgb_image.h"

namespace standin {

Rgb paletteColour(int index);

class CanvasFont {
 public:
  virtual ~CanvasFont() = default;
  virtual int textWidth(const std::string &text) const = 0;
  virtual int textHeight(const std::string &text) const = 0;
  // Draws text with the top-left of its line box at (x, y), clipped to the picture.
  virtual void drawText(RgbImage &image, const std::string &text, Rgb colour, int x, int y) const = 0;
};

// Measures every character (UTF-8 sequence) as 7 pixels wide and every line as 14 high; draws nothing.
class FixedMetricFont : public CanvasFont {
 public:
  static constexpr int kAdvance = 7, kLineHeight = 14;
  int textWidth(const std::string &text) const override;
  int textHeight(const std::string &text) const override;
  void drawText(RgbImage &, const std::string &, Rgb, int, int) const override {}
};

enum class CanvasOp { Pixel, Box, TextWidth, TextHeight, Text };

struct CanvasCall {
  CanvasOp op = CanvasOp::Pixel;
  int r = 0, g = 0, b = 0;  // Pixel, Box
  int x = 0, y = 0;         // Pixel, Box, Text
  int w = 0, h = 0;         // Box
  int colour = 0;           // Text
  std::string text;         // TextWidth, TextHeight, Text
  int result = 0;           // TextWidth, TextHeight
};

class ThumbnailCanvas {
 public:
  // The picture starts black. `font` must outlive the canvas; null means FixedMetricFont.
  ThumbnailCanvas(int width, int height, const CanvasFont *font = nullptr);

  // The table a panel service offers as its drawf; each entry takes a ThumbnailCanvas* as the area and
  // ignores a null area (measuring answers 0).
  static LWXPDrawFuncs *drawFuncs();
  LWXPDrAreaID area() { return this; }

  int width() const { return image_.width(); }
  int height() const { return image_.height(); }
  const RgbImage &image() const { return image_; }
  const std::vector<CanvasCall> &calls() const { return calls_; }
  void clearCalls() { calls_.clear(); }

  // The operations behind drawFuncs(). Colour channels are clamped to 0..255; a null text counts as "".
  void drawRGBPixel(int r, int g, int b, int x, int y);
  void drawRGBBox(int r, int g, int b, int x, int y, int w, int h);
  int textWidth(const char *text);
  int textHeight(const char *text);
  void drawText(const char *text, int colour, int x, int y);

 private:
  RgbImage image_;
  const CanvasFont *font_;
  std::vector<CanvasCall> calls_;
};

}  // namespace standin
