// The thumbnails' font, opened the first time a thumbnail measures or draws
// text. Most runs draw no text at all, and opening the font (FreeType's
// start, its modules, the font file) costs every run otherwise: about half a
// megabyte of memory and a millisecond.
#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "standin/host/thumbnail_canvas.h"
#include "standin/media/freetype_font.h"

namespace standin {

class FontOnDemand : public CanvasFont {
 public:
  // `path` and `pixelSize` as FreeTypeFont::load takes them. When the font
  // cannot be opened, text is measured as FixedMetricFont measures it and
  // not drawn, and `failed` (if given) is told why, once.
  explicit FontOnDemand(std::function<void(const std::string &why)> failed = {}, std::string path = "",
                        int pixelSize = FreeTypeFont::kDefaultPixelSize);

  int textWidth(const std::string &text) const override { return font().textWidth(text); }
  int textHeight(const std::string &text) const override { return font().textHeight(text); }
  void drawText(RgbImage &image, const std::string &text, Rgb colour, int x, int y) const override {
    font().drawText(image, text, colour, x, y);
  }

  // Whether the font was opened yet (for tests).
  bool opened() const { return loaded_ != nullptr; }

 private:
  const CanvasFont &font() const;

  std::function<void(const std::string &)> failed_;
  std::string path_;
  int pixelSize_;
  mutable std::once_flag once_;
  mutable std::unique_ptr<FreeTypeFont> loaded_;
  FixedMetricFont fallback_;
};

}  // namespace standin
