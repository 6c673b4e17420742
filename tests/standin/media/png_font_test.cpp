// Linux-only pictures: PNG files through libpng, thumbnail text through FreeType, and the About panel
// painted by the module and saved as PNG.
#include <gtest/gtest.h>
#include <png.h>

#include <cstdio>
#include <string>
#include <vector>

#include "engine/tool_state.h"
#include "host/services.h"
#include "panels/about_panel.h"
#include "standin/host/host_globals.h"
#include "standin/host/panel_service.h"
#include "standin/media/font_on_demand.h"
#include "standin/media/freetype_font.h"
#include "standin/media/png_file.h"
#include "standin/session/atomic_file.h"

namespace standin {
namespace {

std::string outputPath(const std::string &name) { return std::string(EP_TEST_OUTPUT_DIR) + "/" + name; }

// A PNG file as the program writes one: encoded in memory, then written whole.
bool savePng(const std::string &path, const RgbImage &image, std::string *error) {
  const std::optional<std::string> bytes = encodePng(image, error);
  if (!bytes) return false;
  try {
    writeFileAtomically(path, *bytes);
  } catch (const Failure &failure) {
    *error = failure.what();
    return false;
  }
  return true;
}

TEST(PngFile, WritesAnRgbPngThatLibpngReadsBack) {
  RgbImage image(5, 3, {128, 128, 128});
  image.setPixel(0, 0, {255, 0, 0});
  image.setPixel(4, 2, {1, 2, 3});
  const std::string path = outputPath("media_roundtrip.png");
  std::string error;
  ASSERT_TRUE(savePng(path, image, &error)) << error;

  // Read the header with libpng's low-level reader: an 8-bit RGB picture of 5 x 3.
  FILE *f = std::fopen(path.c_str(), "rb");
  ASSERT_NE(f, nullptr);
  unsigned char signature[8] = {};
  ASSERT_EQ(std::fread(signature, 1, 8, f), 8u);
  EXPECT_EQ(png_sig_cmp(signature, 0, 8), 0);
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  ASSERT_EQ(setjmp(png_jmpbuf(png)), 0);
  png_init_io(png, f);
  png_set_sig_bytes(png, 8);
  png_read_info(png, info);
  EXPECT_EQ(png_get_image_width(png, info), 5u);
  EXPECT_EQ(png_get_image_height(png, info), 3u);
  EXPECT_EQ(png_get_bit_depth(png, info), 8);
  EXPECT_EQ(png_get_color_type(png, info), PNG_COLOR_TYPE_RGB);
  png_destroy_read_struct(&png, &info, nullptr);
  std::fclose(f);

  const std::optional<RgbImage> back = loadPng(path, &error);
  ASSERT_TRUE(back.has_value()) << error;
  EXPECT_EQ(back->bytes(), image.bytes());
}

TEST(PngFile, FailuresAreReportedNotHidden) {
  std::string error;
  EXPECT_FALSE(savePng(outputPath("empty.png"), RgbImage(0, 4), &error));
  EXPECT_FALSE(error.empty());
  error.clear();
  EXPECT_FALSE(savePng("/nonexistent-dir/x.png", RgbImage(2, 2), &error));
  EXPECT_FALSE(error.empty());
  EXPECT_FALSE(loadPng("/nonexistent-dir/x.png", &error).has_value());
  const std::string notPng = outputPath("not_a_png.png");
  FILE *f = std::fopen(notPng.c_str(), "wb");
  ASSERT_NE(f, nullptr);
  std::fputs("hello", f);
  std::fclose(f);
  EXPECT_FALSE(loadPng(notPng, &error).has_value());
}

TEST(FreeTypeFont, MeasuresAndDrawsRealGlyphs) {
  std::string error;
  std::unique_ptr<FreeTypeFont> font = FreeTypeFont::load("", FreeTypeFont::kDefaultPixelSize, &error);
  ASSERT_NE(font, nullptr) << error;
  EXPECT_NE(font->path().find("DejaVuSans"), std::string::npos);
  const int h = font->textHeight("x");
  EXPECT_GE(h, 12);
  EXPECT_LE(h, 18);
  EXPECT_EQ(font->textHeight("Elastic_Pull 1.1"), h);
  EXPECT_GT(font->textWidth("WWWW"), font->textWidth("iiii"));  // proportional, not fixed cells
  EXPECT_EQ(font->textWidth(""), 0);

  RgbImage image(60, 20, {255, 255, 255});
  font->drawText(image, "Ab", paletteColour(0), 2, 2);
  int dark = 0, partial = 0;
  for (int y = 0; y < 20; ++y)
    for (int x = 0; x < 60; ++x) {
      const Rgb p = image.pixel(x, y);
      if (p.r < 60) ++dark;
      if (p.r > 60 && p.r < 200) ++partial;  // anti-aliased edges
      if (x >= 2 + font->textWidth("Ab") + 1) {
        EXPECT_EQ(p.r, 255) << x << "," << y;
      }
    }
  EXPECT_GT(dark, 20);
  EXPECT_GT(partial, 5);
}

TEST(FreeTypeFont, MissingFontFileIsAnError) {
  std::string error;
  EXPECT_EQ(FreeTypeFont::load("/nonexistent/font.ttf", 12, &error), nullptr);
  EXPECT_NE(error.find("/nonexistent/font.ttf"), std::string::npos);
}

// The program's font is opened only when a thumbnail first has text: then it
// measures as the font itself; a font that cannot be opened is told once and
// text is measured in fixed cells (and not drawn) instead.
TEST(FontOnDemand, OpensAtFirstTextAndFallsBackToFixedCells) {
  std::vector<std::string> told;
  const FontOnDemand font([&](const std::string &why) { told.push_back(why); });
  EXPECT_FALSE(font.opened());
  const std::unique_ptr<FreeTypeFont> direct = FreeTypeFont::load();
  ASSERT_NE(direct, nullptr);
  EXPECT_EQ(font.textWidth("Elastic_Pull"), direct->textWidth("Elastic_Pull"));
  EXPECT_TRUE(font.opened());
  EXPECT_EQ(font.textHeight("x"), direct->textHeight("x"));
  EXPECT_TRUE(told.empty());

  const FontOnDemand missing([&](const std::string &why) { told.push_back(why); }, "/nonexistent/font.ttf");
  EXPECT_EQ(missing.textWidth("abc"), 3 * FixedMetricFont::kAdvance);
  EXPECT_EQ(missing.textHeight("abc"), FixedMetricFont::kLineHeight);
  RgbImage image(20, 20, {255, 255, 255});
  missing.drawText(image, "abc", paletteColour(0), 0, 0);
  EXPECT_EQ(image.pixel(3, 5), (Rgb{255, 255, 255}));
  ASSERT_EQ(told.size(), 1u);
  EXPECT_NE(told[0].find("/nonexistent/font.ttf"), std::string::npos);
}

// The module's About panel, painted through the service with real text and saved for people to look at.
TEST(AboutPicture, IsPaintedWithLogoAndTextAndSavedAsPng) {
  std::unique_ptr<FreeTypeFont> font = FreeTypeFont::load();
  ASSERT_NE(font, nullptr);
  standin::HostGlobals host;
  PanelService &service = host.panels();
  service.setFont(font.get());
  std::optional<RgbImage> picture;
  service.setThumbnailSink(
      [&](const PanelRecord &, std::uintptr_t, const ThumbnailCanvas &canvas) { picture = canvas.image(); });
  LWXPanelFuncs *saved = ep::panelService;
  ep::panelService = service.funcs();
  EXPECT_EQ(ep::showAboutPanel(), 0);
  ep::panelService = saved;

  ASSERT_TRUE(picture.has_value());
  EXPECT_EQ(picture->pixel(0, 0), (Rgb{128, 128, 128}));
  EXPECT_EQ(picture->pixel(306, 149), (Rgb{128, 128, 128}));
  // Text is black on grey: some dark pixels above the logo (lines at y < 54), none below the logo.
  int darkAbove = 0, changedBelow = 0;
  for (int y = 0; y < 150; ++y)
    for (int x = 0; x < 307; ++x) {
      const Rgb p = picture->pixel(x, y);
      if (y < 50 && p.r < 40 && p.g < 40 && p.b < 40) ++darkAbove;
      if (y > 96 && !(p == Rgb{128, 128, 128})) ++changedBelow;
    }
  EXPECT_GT(darkAbove, 50);
  EXPECT_EQ(changedBelow, 0);
  std::string error;
  ASSERT_TRUE(savePng(outputPath("about_panel.png"), *picture, &error)) << error;
  EXPECT_TRUE(loadPng(outputPath("about_panel.png")).has_value());
}

}  // namespace
}  // namespace standin
