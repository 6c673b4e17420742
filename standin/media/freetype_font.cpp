#include "standin/media/freetype_font.h"

#include <ft2build.h>
#include FT_FREETYPE_H

#include <cstdlib>
#include <filesystem>
#include <vector>

namespace standin {

namespace {

// Decodes UTF-8; a malformed byte stands for itself (as Latin-1) so that no text is dropped silently.
std::vector<char32_t> decodeUtf8(const std::string &text) {
  std::vector<char32_t> out;
  for (std::size_t i = 0; i < text.size();) {
    const auto c = static_cast<unsigned char>(text[i]);
    int extra = c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : c >= 0xC0 ? 1 : 0;
    char32_t code = extra == 0 ? c : c & (0x3F >> extra);
    bool ok = c < 0x80 || extra > 0;
    if (i + static_cast<std::size_t>(extra) >= text.size() + (extra > 0 ? 0 : 1)) ok = false;
    for (int k = 1; ok && k <= extra; ++k) {
      const auto next = static_cast<unsigned char>(text[i + static_cast<std::size_t>(k)]);
      if ((next & 0xC0) != 0x80) ok = false;
      code = (code << 6) | (next & 0x3F);
    }
    if (!ok) {
      out.push_back(c);
      ++i;
    } else {
      out.push_back(code);
      i += 1 + static_cast<std::size_t>(extra);
    }
  }
  return out;
}

int ceil26_6(long v) { return static_cast<int>((v + 63) / 64); }

// The pen's shift between two glyphs in 26.6 pixels; 0 for the first glyph or a font without kerning.
long kerning(FT_Face face, FT_UInt previous, FT_UInt glyph) {
  if (previous == 0 || !FT_HAS_KERNING(face)) return 0;
  FT_Vector k;
  return FT_Get_Kerning(face, previous, glyph, FT_KERNING_DEFAULT, &k) == 0 ? k.x : 0;
}

}  // namespace

struct FreeTypeFont::Face {
  FT_Library library = nullptr;
  FT_Face face = nullptr;
  int ascent = 0, descent = 0;
  ~Face() {
    if (face != nullptr) FT_Done_Face(face);
    if (library != nullptr) FT_Done_FreeType(library);
  }
};

std::string FreeTypeFont::findDefaultFont() {
  std::vector<std::string> candidates;
  if (const char *env = std::getenv("EP_FONT"); env != nullptr && *env != '\0') candidates.emplace_back(env);
#ifdef EP_CONFIGURED_FONT
  candidates.emplace_back(EP_CONFIGURED_FONT);
#endif
  for (const char *p :
       {"/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf", "/usr/share/fonts/dejavu/DejaVuSans.ttf",
        "/usr/share/fonts/TTF/DejaVuSans.ttf", "/usr/share/fonts/dejavu-sans-fonts/DejaVuSans.ttf",
        "/usr/local/share/fonts/DejaVuSans.ttf"})
    candidates.emplace_back(p);
  for (const std::string &c : candidates) {
    std::error_code ec;
    if (std::filesystem::is_regular_file(c, ec)) return c;
  }
  return "";
}

std::unique_ptr<FreeTypeFont> FreeTypeFont::load(const std::string &path, int pixelSize, std::string *error) {
  auto fail = [error](std::string why) -> std::unique_ptr<FreeTypeFont> {
    if (error != nullptr) *error = std::move(why);
    return nullptr;
  };
  const std::string file = path.empty() ? findDefaultFont() : path;
  if (file.empty()) return fail("no font found (install fonts-dejavu-core or set EP_FONT)");
  if (pixelSize <= 0) return fail("font size must be positive");
  auto face = std::make_unique<Face>();
  if (FT_Init_FreeType(&face->library) != 0) return fail("FreeType could not start");
  if (FT_New_Face(face->library, file.c_str(), 0, &face->face) != 0) return fail("cannot open font " + file);
  if (FT_Set_Pixel_Sizes(face->face, 0, static_cast<FT_UInt>(pixelSize)) != 0)
    return fail("font " + file + " has no size " + std::to_string(pixelSize));
  face->ascent = ceil26_6(face->face->size->metrics.ascender);
  face->descent = ceil26_6(-face->face->size->metrics.descender);
  return std::unique_ptr<FreeTypeFont>(new FreeTypeFont(std::move(face), file));
}

FreeTypeFont::FreeTypeFont(std::unique_ptr<Face> face, std::string path)
    : face_(std::move(face)), path_(std::move(path)) {}

FreeTypeFont::~FreeTypeFont() = default;

int FreeTypeFont::textWidth(const std::string &text) const {
  FT_Face f = face_->face;
  long pen = 0;
  FT_UInt previous = 0;
  for (char32_t code : decodeUtf8(text)) {
    const FT_UInt glyph = FT_Get_Char_Index(f, code);
    pen += kerning(f, previous, glyph);
    if (FT_Load_Glyph(f, glyph, FT_LOAD_DEFAULT) == 0) pen += f->glyph->advance.x;
    previous = glyph;
  }
  return ceil26_6(pen);
}

int FreeTypeFont::textHeight(const std::string &) const { return face_->ascent + face_->descent; }

void FreeTypeFont::drawText(RgbImage &image, const std::string &text, Rgb colour, int x, int y) const {
  FT_Face f = face_->face;
  long pen = static_cast<long>(x) * 64;
  const int baseline = y + face_->ascent;
  FT_UInt previous = 0;
  for (char32_t code : decodeUtf8(text)) {
    const FT_UInt glyph = FT_Get_Char_Index(f, code);
    pen += kerning(f, previous, glyph);
    previous = glyph;
    if (FT_Load_Glyph(f, glyph, FT_LOAD_RENDER) != 0) continue;
    const FT_GlyphSlot g = f->glyph;
    const FT_Bitmap &bm = g->bitmap;
    if (bm.pixel_mode == FT_PIXEL_MODE_GRAY) {
      const int left = static_cast<int>((pen + 32) / 64) + g->bitmap_left;
      const int top = baseline - g->bitmap_top;
      const int pitch = bm.pitch < 0 ? -bm.pitch : bm.pitch;
      for (unsigned row = 0; row < bm.rows; ++row)
        for (unsigned col = 0; col < bm.width; ++col)
          image.blendPixel(left + static_cast<int>(col), top + static_cast<int>(row), colour,
                           bm.buffer[row * static_cast<unsigned>(pitch) + col]);
    }
    pen += g->advance.x;
  }
}

}  // namespace standin
