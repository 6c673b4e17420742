// Text for panel thumbnails drawn with FreeType: real glyphs, anti-aliased into the RGB picture.
// Linux only (the standin_media library).
#pragma once

#include <memory>
#include <string>

#include "standin/host/thumbnail_canvas.h"

namespace standin {

class FreeTypeFont : public CanvasFont {
 public:
  static constexpr int kDefaultPixelSize = 12;

  // Opens a font file; an empty path means findDefaultFont(). Null (with `error` set, if given) when no font
  // could be opened.
  static std::unique_ptr<FreeTypeFont> load(const std::string &path = "", int pixelSize = kDefaultPixelSize,
                                            std::string *error = nullptr);

  // Where the default font (DejaVu Sans) is: $EP_FONT if set and present, then the path found when the
  // project was configured, then the usual places of the Debian and other distributions' packages. Empty if
  // none exists.
  static std::string findDefaultFont();

  ~FreeTypeFont() override;
  FreeTypeFont(const FreeTypeFont &) = delete;
  FreeTypeFont &operator=(const FreeTypeFont &) = delete;

  const std::string &path() const { return path_; }

  // The advance of the text's glyphs (with kerning), rounded up to whole pixels.
  int textWidth(const std::string &text) const override;
  // The font's line height at this size (ascent + descent), the same for every text.
  int textHeight(const std::string &text) const override;
  // Draws with the baseline at y + ascent; UTF-8 text.
  void drawText(RgbImage &image, const std::string &text, Rgb colour, int x, int y) const override;

 private:
  struct Face;
  FreeTypeFont(std::unique_ptr<Face> face, std::string path);
  std::unique_ptr<Face> face_;
  std::string path_;
};

}  // namespace standin
