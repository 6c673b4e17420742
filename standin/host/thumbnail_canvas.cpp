#include "standin/host/thumbnail_canvas.h"

namespace standin {

namespace {

const FixedMetricFont kFixedFont;

std::string textOf(const char *text) { return text != nullptr ? std::string(text) : std::string(); }

ThumbnailCanvas *canvasOf(LWXPDrAreaID area) { return static_cast<ThumbnailCanvas *>(area); }

void cDrawRGBPixel(LWXPDrAreaID area, int r, int g, int b, int x, int y) {
  if (area != nullptr) canvasOf(area)->drawRGBPixel(r, g, b, x, y);
}
void cDrawRGBBox(LWXPDrAreaID area, int r, int g, int b, int x, int y, int w, int h) {
  if (area != nullptr) canvasOf(area)->drawRGBBox(r, g, b, x, y, w, h);
}
int cTextWidth(LWXPDrAreaID area, const char *text) {
  return area != nullptr ? canvasOf(area)->textWidth(text) : 0;
}
int cTextHeight(LWXPDrAreaID area, const char *text) {
  return area != nullptr ? canvasOf(area)->textHeight(text) : 0;
}
void cDrawText(LWXPDrAreaID area, const char *text, int colour, int x, int y) {
  if (area != nullptr) canvasOf(area)->drawText(text, colour, x, y);
}

LWXPDrawFuncs gDrawFuncs = {nullptr, &cDrawRGBPixel, nullptr,      nullptr,   &cDrawRGBBox,
                            nullptr, &cTextWidth,    &cTextHeight, &cDrawText};

}  // namespace

Rgb paletteColour(int index) {
  static constexpr Rgb kPalette[] = {{0, 0, 0},     {255, 255, 255}, {64, 64, 64},  {192, 192, 192},
                                     {200, 40, 40}, {40, 160, 40},   {40, 80, 200}, {230, 200, 40}};
  constexpr int kCount = static_cast<int>(sizeof kPalette / sizeof kPalette[0]);
  return index >= 0 && index < kCount ? kPalette[index] : kPalette[0];
}

int FixedMetricFont::textWidth(const std::string &text) const {
  int characters = 0;
  for (unsigned char c : text)
    if ((c & 0xC0) != 0x80) ++characters;  // count lead bytes only
  return characters * kAdvance;
}

int FixedMetricFont::textHeight(const std::string &) const { return kLineHeight; }

ThumbnailCanvas::ThumbnailCanvas(int width, int height, const CanvasFont *font)
    : image_(width, height), font_(font != nullptr ? font : &kFixedFont) {}

LWXPDrawFuncs *ThumbnailCanvas::drawFuncs() { return &gDrawFuncs; }

void ThumbnailCanvas::drawRGBPixel(int r, int g, int b, int x, int y) {
  CanvasCall call;
  call.op = CanvasOp::Pixel;
  call.r = r, call.g = g, call.b = b, call.x = x, call.y = y;
  calls_.push_back(std::move(call));
  image_.setPixel(x, y, rgbClamped(r, g, b));
}

void ThumbnailCanvas::drawRGBBox(int r, int g, int b, int x, int y, int w, int h) {
  CanvasCall call;
  call.op = CanvasOp::Box;
  call.r = r, call.g = g, call.b = b, call.x = x, call.y = y, call.w = w, call.h = h;
  calls_.push_back(std::move(call));
  image_.fillBox(x, y, w, h, rgbClamped(r, g, b));
}

int ThumbnailCanvas::textWidth(const char *text) {
  CanvasCall call;
  call.op = CanvasOp::TextWidth;
  call.text = textOf(text);
  call.result = font_->textWidth(call.text);
  calls_.push_back(call);
  return call.result;
}

int ThumbnailCanvas::textHeight(const char *text) {
  CanvasCall call;
  call.op = CanvasOp::TextHeight;
  call.text = textOf(text);
  call.result = font_->textHeight(call.text);
  calls_.push_back(call);
  return call.result;
}

void ThumbnailCanvas::drawText(const char *text, int colour, int x, int y) {
  CanvasCall call;
  call.op = CanvasOp::Text;
  call.text = textOf(text);
  call.colour = colour, call.x = x, call.y = y;
  font_->drawText(image_, call.text, paletteColour(colour), x, y);
  calls_.push_back(std::move(call));
}

}  // namespace standin
