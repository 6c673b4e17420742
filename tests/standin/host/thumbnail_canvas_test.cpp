// The thumbnail drawing area behind the panel service's drawf table.
#include "standin/host/thumbnail_canvas.h"

#include <gtest/gtest.h>

namespace standin {
namespace {

TEST(ThumbnailCanvas, DrawTableRecordsAndPaintsThroughTheArea) {
  ThumbnailCanvas canvas(20, 10);
  LWXPDrawFuncs *f = ThumbnailCanvas::drawFuncs();
  ASSERT_NE(f->drawRGBPixel, nullptr);
  EXPECT_EQ(f->reserved0, nullptr);
  EXPECT_EQ(f->reserved5, nullptr);

  f->drawRGBBox(canvas.area(), 128, 128, 128, 0, 0, 20, 10);
  f->drawRGBPixel(canvas.area(), 10, 20, 30, 3, 4);
  f->drawRGBPixel(canvas.area(), 300, -5, 255, 5, 5);  // channels clamped
  f->drawRGBPixel(canvas.area(), 1, 2, 3, 25, 4);      // outside: recorded, not painted

  EXPECT_EQ(canvas.image().pixel(0, 0), (Rgb{128, 128, 128}));
  EXPECT_EQ(canvas.image().pixel(19, 9), (Rgb{128, 128, 128}));
  EXPECT_EQ(canvas.image().pixel(3, 4), (Rgb{10, 20, 30}));
  EXPECT_EQ(canvas.image().pixel(5, 5), (Rgb{255, 0, 255}));
  ASSERT_EQ(canvas.calls().size(), 4u);
  EXPECT_EQ(canvas.calls()[0].op, CanvasOp::Box);
  EXPECT_EQ(canvas.calls()[0].w, 20);
  EXPECT_EQ(canvas.calls()[3].x, 25);
  EXPECT_EQ(canvas.calls()[2].r, 300);  // recorded as the module passed it
}

TEST(ThumbnailCanvas, BoxesAreClippedAndEmptyBoxesPaintNothing) {
  ThumbnailCanvas canvas(4, 4);
  canvas.drawRGBBox(255, 255, 255, -2, -2, 4, 4);  // covers (0..1, 0..1)
  canvas.drawRGBBox(9, 9, 9, 1, 1, 0, 3);          // width 0
  canvas.drawRGBBox(9, 9, 9, 1, 1, -3, 3);         // negative width
  canvas.drawRGBBox(7, 7, 7, 3, 3, 2147483647, 2147483647);
  EXPECT_EQ(canvas.image().pixel(1, 1), (Rgb{255, 255, 255}));
  EXPECT_EQ(canvas.image().pixel(2, 2), (Rgb{0, 0, 0}));
  EXPECT_EQ(canvas.image().pixel(2, 1), (Rgb{0, 0, 0}));
  EXPECT_EQ(canvas.image().pixel(3, 3), (Rgb{7, 7, 7}));
}

TEST(ThumbnailCanvas, TextIsMeasuredByTheFontAndTheAnswersRecorded) {
  ThumbnailCanvas canvas(50, 20);
  LWXPDrawFuncs *f = ThumbnailCanvas::drawFuncs();
  EXPECT_EQ(f->textWidth(canvas.area(), "Elastic"), 7 * FixedMetricFont::kAdvance);
  EXPECT_EQ(f->textWidth(canvas.area(), "\xC3\xA9t\xC3\xA9"), 3 * FixedMetricFont::kAdvance);  // "été"
  EXPECT_EQ(f->textHeight(canvas.area(), "x"), FixedMetricFont::kLineHeight);
  EXPECT_EQ(f->textWidth(canvas.area(), nullptr), 0);
  f->drawText(canvas.area(), "hi", 0, -1, 27);
  ASSERT_EQ(canvas.calls().size(), 5u);
  EXPECT_EQ(canvas.calls()[0].result, 49);
  EXPECT_EQ(canvas.calls()[4].op, CanvasOp::Text);
  EXPECT_EQ(canvas.calls()[4].text, "hi");
  EXPECT_EQ(canvas.calls()[4].x, -1);
  EXPECT_EQ(canvas.calls()[4].y, 27);
}

TEST(ThumbnailCanvas, NullAreaIsIgnored) {
  LWXPDrawFuncs *f = ThumbnailCanvas::drawFuncs();
  f->drawRGBBox(nullptr, 1, 1, 1, 0, 0, 5, 5);
  f->drawRGBPixel(nullptr, 1, 1, 1, 0, 0);
  f->drawText(nullptr, "x", 0, 0, 0);
  EXPECT_EQ(f->textWidth(nullptr, "abc"), 0);
  EXPECT_EQ(f->textHeight(nullptr, "abc"), 0);
}

TEST(ThumbnailCanvas, PaletteIndexZeroIsBlackAndUnknownIndicesFallBackToBlack) {
  EXPECT_EQ(paletteColour(0), (Rgb{0, 0, 0}));
  EXPECT_EQ(paletteColour(1), (Rgb{255, 255, 255}));
  EXPECT_EQ(paletteColour(-1), (Rgb{0, 0, 0}));
  EXPECT_EQ(paletteColour(1000), (Rgb{0, 0, 0}));
}

}  // namespace
}  // namespace standin
