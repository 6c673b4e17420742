// Draws the About panel's logo and writes it as a binary PPM (P6, 200 x 42, maxval 255): panels/logo.ppm
// is the committed result and the logo's source for the build. Run again only to change the design:
//
//   g++ -std=c++20 -O2 scripts/logo/make_logo.cpp $(pkg-config --cflags --libs freetype2 libpng) -o make_logo
//   ./make_logo panels/logo.ppm [preview.png]
//
// The optional preview is the logo enlarged four times, for looking at it. Everything is drawn at four
// times the size and averaged down, so edges come out smooth. The background is the About panel's grey
// (128, 128, 128), so the logo sits on the panel without a visible box.
#include <ft2build.h>
#include FT_FREETYPE_H
#include <png.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr int kWidth = 200, kHeight = 42, kScale = 4;
constexpr int kBigW = kWidth * kScale, kBigH = kHeight * kScale;

struct Rgb {
  double r, g, b;
};

constexpr Rgb kGrey{128, 128, 128};
constexpr Rgb kShadow{92, 92, 96};
constexpr Rgb kLine{240, 240, 236};
constexpr Rgb kAnchor{40, 52, 84};
constexpr Rgb kHandle{255, 150, 30};
constexpr Rgb kWordLight{250, 250, 246};

struct Canvas {
  std::vector<Rgb> px = std::vector<Rgb>(kBigW * kBigH, kGrey);
  void blend(int x, int y, const Rgb &c, double a) {
    if (x < 0 || y < 0 || x >= kBigW || y >= kBigH || a <= 0) return;
    a = std::min(a, 1.0);
    Rgb &p = px[y * kBigW + x];
    p = {p.r + (c.r - p.r) * a, p.g + (c.g - p.g) * a, p.b + (c.b - p.b) * a};
  }
};

double segmentDistance(double px, double py, double ax, double ay, double bx, double by) {
  double dx = bx - ax, dy = by - ay;
  double t = ((px - ax) * dx + (py - ay) * dy) / (dx * dx + dy * dy);
  t = std::clamp(t, 0.0, 1.0);
  return std::hypot(px - (ax + t * dx), py - (ay + t * dy));
}

// Shapes take logo pixel coordinates and are filled on the big canvas.
void stroke(Canvas &c, double ax, double ay, double bx, double by, double width, const Rgb &col) {
  for (int y = 0; y < kBigH; ++y)
    for (int x = 0; x < kBigW; ++x) {
      double d = segmentDistance((x + 0.5) / kScale, (y + 0.5) / kScale, ax, ay, bx, by);
      if (d <= width / 2) c.blend(x, y, col, 1.0);
    }
}

void disc(Canvas &c, double cx, double cy, double radius, const Rgb &col) {
  for (int y = 0; y < kBigH; ++y)
    for (int x = 0; x < kBigW; ++x)
      if (std::hypot((x + 0.5) / kScale - cx, (y + 0.5) / kScale - cy) <= radius) c.blend(x, y, col, 1.0);
}

void ring(Canvas &c, double cx, double cy, double radius, double width, const Rgb &col) {
  for (int y = 0; y < kBigH; ++y)
    for (int x = 0; x < kBigW; ++x) {
      double d = std::hypot((x + 0.5) / kScale - cx, (y + 0.5) / kScale - cy);
      if (std::abs(d - radius) <= width / 2) c.blend(x, y, col, 1.0);
    }
}

// Draws text with its baseline at (x, baseline) in logo pixels; returns the advance in logo pixels.
double text(Canvas &c, FT_Face face, const std::string &s, double x, double baseline, const Rgb &col,
            bool measureOnly = false) {
  double pen = x * kScale;
  FT_UInt previous = 0;
  for (char ch : s) {
    FT_UInt glyph = FT_Get_Char_Index(face, static_cast<unsigned char>(ch));
    if (previous && FT_HAS_KERNING(face)) {
      FT_Vector k;
      FT_Get_Kerning(face, previous, glyph, FT_KERNING_DEFAULT, &k);
      pen += k.x / 64.0;
    }
    if (FT_Load_Glyph(face, glyph, FT_LOAD_RENDER)) continue;
    FT_GlyphSlot g = face->glyph;
    if (!measureOnly) {
      int ox = static_cast<int>(std::lround(pen)) + g->bitmap_left;
      int oy = static_cast<int>(std::lround(baseline * kScale)) - g->bitmap_top;
      for (unsigned row = 0; row < g->bitmap.rows; ++row)
        for (unsigned col2 = 0; col2 < g->bitmap.width; ++col2)
          c.blend(ox + static_cast<int>(col2), oy + static_cast<int>(row), col,
                  g->bitmap.buffer[row * g->bitmap.pitch + col2] / 255.0);
    }
    pen += g->advance.x / 64.0;
    previous = glyph;
  }
  return pen / kScale - x;
}

std::vector<unsigned char> downsample(const Canvas &c) {
  std::vector<unsigned char> out;
  out.reserve(kWidth * kHeight * 3);
  for (int y = 0; y < kHeight; ++y)
    for (int x = 0; x < kWidth; ++x) {
      Rgb sum{0, 0, 0};
      for (int sy = 0; sy < kScale; ++sy)
        for (int sx = 0; sx < kScale; ++sx) {
          const Rgb &p = c.px[(y * kScale + sy) * kBigW + x * kScale + sx];
          sum = {sum.r + p.r, sum.g + p.g, sum.b + p.b};
        }
      double n = kScale * kScale;
      for (double v : {sum.r / n, sum.g / n, sum.b / n})
        out.push_back(static_cast<unsigned char>(std::clamp(std::lround(v), 0L, 255L)));
    }
  return out;
}

bool writePreview(const char *path, const std::vector<unsigned char> &rgb) {
  constexpr int kZoom = 4;
  FILE *f = std::fopen(path, "wb");
  if (!f) return false;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    std::fclose(f);
    return false;
  }
  png_init_io(png, f);
  png_set_IHDR(png, info, kWidth * kZoom, kHeight * kZoom, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  std::vector<unsigned char> row(kWidth * kZoom * 3);
  for (int y = 0; y < kHeight * kZoom; ++y) {
    for (int x = 0; x < kWidth * kZoom; ++x)
      for (int k = 0; k < 3; ++k) row[x * 3 + k] = rgb[((y / kZoom) * kWidth + x / kZoom) * 3 + k];
    png_write_row(png, row.data());
  }
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return std::fclose(f) == 0;
}

}  // namespace

int main(int argc, char **argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s OUT.ppm [PREVIEW.png]\n", argv[0]);
    return 2;
  }
  const char *fontPath = "/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf";
  FT_Library ft;
  FT_Face face;
  if (FT_Init_FreeType(&ft) || FT_New_Face(ft, fontPath, 0, &face)) {
    std::fprintf(stderr, "cannot load %s\n", fontPath);
    return 1;
  }

  Canvas c;
  // The mark: a stretch line from the anchor (lower left) to the handle (upper right), a short mark through
  // each end along the line, and a ring around the handle end, as the tool draws its overlay.
  const double ax = 11, ay = 31, hx = 36, hy = 12;
  const double len = std::hypot(hx - ax, hy - ay);
  const double ux = (hx - ax) / len, uy = (hy - ay) / len;
  stroke(c, ax + 1.2, ay + 1.2, hx + 1.2, hy + 1.2, 3.2, kShadow);
  stroke(c, ax, ay, hx, hy, 2.6, kLine);
  // The end marks run along the line past each end; drawn dashed as the host shows them.
  for (double sgn : {-1.0, 1.0}) {
    const double ex = sgn < 0 ? ax : hx, ey = sgn < 0 ? ay : hy;
    for (double t = 4.0; t < 9.0; t += 3.0)
      stroke(c, ex + sgn * t * ux, ey + sgn * t * uy, ex + sgn * (t + 1.6) * ux, ey + sgn * (t + 1.6) * uy,
             1.6, kLine);
  }
  ring(c, hx, hy, 6.5, 1.8, kHandle);
  disc(c, ax + 0.8, ay + 0.8, 4.2, kShadow);
  disc(c, ax, ay, 4.0, kAnchor);
  disc(c, ax, ay, 1.6, kLine);
  disc(c, hx, hy, 3.4, kHandle);

  // The word mark: "Elastic" light, "_Pull" in the handle's orange, with a soft shadow.
  FT_Set_Pixel_Sizes(face, 0, 22 * kScale);
  const double baseline = 29, x0 = 52;
  double wElastic = text(c, face, "Elastic", x0, baseline, kShadow, true);
  text(c, face, "Elastic", x0 + 1, baseline + 1, kShadow);
  text(c, face, "_Pull", x0 + wElastic + 1, baseline + 1, kShadow);
  text(c, face, "Elastic", x0, baseline, kWordLight);
  double wPull = text(c, face, "_Pull", x0 + wElastic, baseline, kHandle);
  std::fprintf(stderr, "word mark from x %.1f to %.1f\n", x0, x0 + wElastic + wPull);

  std::vector<unsigned char> rgb = downsample(c);
  FILE *out = std::fopen(argv[1], "wb");
  if (!out) return 1;
  std::fprintf(out, "P6\n%d %d\n255\n", kWidth, kHeight);
  std::fwrite(rgb.data(), 1, rgb.size(), out);
  if (std::fclose(out) != 0) return 1;
  if (argc > 2 && !writePreview(argv[2], rgb)) return 1;
  FT_Done_Face(face);
  FT_Done_FreeType(ft);
  return 0;
}
