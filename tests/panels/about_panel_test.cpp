// The About panel: its one-call life, its tables, and the painting of the
// thumbnail (background, logo pixels in storage order, centred text).
#include "panels/about_panel.h"

#include "panels/logo.h"
#include "panels/options_panel.h"
#include "standin/host/thumbnail_canvas.h"
#include "tests/engine/engine_fixture.h"

namespace ep::testing {
namespace {

using standin::CanvasCall;
using standin::CanvasOp;
using standin::PanelCallKind;

// A font whose measures a test chooses.
class SizedFont : public standin::CanvasFont {
 public:
  SizedFont(int width, int height) : width_(width), height_(height) {}
  int textWidth(const std::string &) const override { return width_; }
  int textHeight(const std::string &) const override { return height_; }
  void drawText(standin::RgbImage &, const std::string &, standin::Rgb, int, int) const override {}

 private:
  int width_, height_;
};

class AboutPanel : public EngineTest {
 protected:
  std::vector<CanvasCall> paint(const SizedFont &font) {
    standin::ThumbnailCanvas canvas(307, 150, &font);
    drawAboutThumbnail(nullptr, 0x8102, canvas.area(), 307, 150);
    return canvas.calls();
  }
};

TEST_F(AboutPanel, IsCreatedDescribedHintedPostedAndDestroyedInOneCall) {
  EXPECT_EQ(showAboutPanel(), 0);
  const auto &calls = panels_.calls();
  ASSERT_EQ(calls.size(), 5u);
  EXPECT_EQ(calls[0].kind, PanelCallKind::Create);
  EXPECT_EQ(calls[0].type, 2);
  ASSERT_EQ(calls[0].words.size(), 6u);
  EXPECT_EQ(calls[0].words[0], 0x8102);
  EXPECT_STREQ(reinterpret_cast<const char *>(calls[0].words[1]), "LOGO");
  EXPECT_STREQ(reinterpret_cast<const char *>(calls[0].words[2]), "dThumbnail");
  EXPECT_EQ(calls[1].kind, PanelCallKind::Describe);
  EXPECT_EQ(calls[1].get, nullptr);
  EXPECT_EQ(calls[1].set, nullptr);
  ASSERT_EQ(calls[1].words.size(), 6u);
  EXPECT_STREQ(reinterpret_cast<const char *>(calls[1].words[2]), "integer");
  EXPECT_EQ(calls[2].kind, PanelCallKind::Hint);
  const std::vector<LWXPanelHint> &h = calls[2].words;
  ASSERT_EQ(h.size(), 14u);
  const std::vector<LWXPanelHint> numbers = {0x3D02BD01, 4, 0x3D000B03, 0, 0, 0, 0x3D017403, 0x8102, 0,
                                             static_cast<LWXPanelHint>(std::uintptr_t{0x80000004u}),
                                             0x3D016502, 0x8102, 0, 0};
  for (std::size_t i : {0u, 1u, 2u, 3u, 5u, 6u, 7u, 8u, 9u, 10u, 11u, 13u}) EXPECT_EQ(h[i], numbers[i]) << i;
  EXPECT_STREQ(reinterpret_cast<const char *>(h[4]), "About Elastic_Pull");
  EXPECT_EQ(reinterpret_cast<const void *>(h[12]), reinterpret_cast<const void *>(&drawAboutThumbnail));
  EXPECT_EQ(calls[3].kind, PanelCallKind::Post);
  EXPECT_EQ(calls[4].kind, PanelCallKind::Destroy);
  EXPECT_TRUE(panels_.panels().empty());
}

TEST_F(AboutPanel, ARefusedCreateShowsNothing) {
  panels_.failNextCreates(1);
  EXPECT_EQ(showAboutPanel(), 0);
  EXPECT_EQ(panels_.calls().size(), 1u);
}

TEST_F(AboutPanel, TheAboutButtonOpensItFromTheOptionsPanel) {
  onAbout(nullptr, 0x8007);
  ASSERT_EQ(panels_.calls().size(), 5u);
  EXPECT_EQ(panels_.calls()[3].kind, PanelCallKind::Post);
}

TEST_F(AboutPanel, PaintsBackgroundLogoAndTwoCentredLines) {
  const SizedFont font(100, 12);
  const std::vector<CanvasCall> calls = paint(font);
  // One box, 8,400 pixels, two measures, text, one measure, text.
  ASSERT_EQ(calls.size(), 1u + 8400u + 3u + 2u);
  EXPECT_EQ(calls[0].op, CanvasOp::Box);
  EXPECT_EQ((std::array{calls[0].r, calls[0].g, calls[0].b}), (std::array{128, 128, 128}));
  EXPECT_EQ((std::array{calls[0].x, calls[0].y, calls[0].w, calls[0].h}), (std::array{0, 0, 307, 150}));

  for (std::size_t i = 0; i < 8400; ++i) {
    const CanvasCall &p = calls[1 + i];
    ASSERT_EQ(p.op, CanvasOp::Pixel);
    const int c = static_cast<int>(i % 200), r = static_cast<int>(i / 200);
    ASSERT_EQ(p.x, 53 + c);
    ASSERT_EQ(p.y, 54 + r);
    ASSERT_EQ(p.r, logoPixels[3 * i]);
    ASSERT_EQ(p.g, logoPixels[3 * i + 1]);
    ASSERT_EQ(p.b, logoPixels[3 * i + 2]);
  }
  EXPECT_EQ((std::array{calls[8400].x, calls[8400].y}), (std::array{252, 95}));
  EXPECT_EQ(calls[8400].b, logoPixels[25199]);

  const CanvasCall *text = &calls[8401];
  EXPECT_EQ(text[0].op, CanvasOp::TextWidth);
  EXPECT_EQ(text[1].op, CanvasOp::TextHeight);
  EXPECT_EQ(text[2].op, CanvasOp::Text);
  EXPECT_EQ(text[2].text, "Elastic_Pull 1.1");
  EXPECT_EQ(text[2].colour, 0);
  EXPECT_EQ(text[2].x, (307 - 100) / 2);
  EXPECT_EQ(text[2].y, 22 - 12);
  EXPECT_EQ(text[3].op, CanvasOp::TextWidth) << "the second line's height is not measured";
  EXPECT_EQ(text[4].op, CanvasOp::Text);
  EXPECT_FALSE(text[4].text.empty());
  EXPECT_EQ(text[4].x, 103);
  EXPECT_EQ(text[4].y, 27);
}

TEST_F(AboutPanel, WideTextIsCentredTowardZero) {
  const SizedFont font(310, 30);
  const std::vector<CanvasCall> calls = paint(font);
  EXPECT_EQ(calls[8403].x, -1);
  EXPECT_EQ(calls[8403].y, -8);
  EXPECT_EQ(calls[8405].x, -1);
}

TEST_F(AboutPanel, PaintingTwiceGivesTheSamePicture) {
  const SizedFont font(90, 10);
  standin::ThumbnailCanvas a(307, 150, &font), b(307, 150, &font);
  drawAboutThumbnail(nullptr, 0x8102, a.area(), 307, 150);
  drawAboutThumbnail(nullptr, 0x8102, a.area(), 307, 150);
  drawAboutThumbnail(nullptr, 0x8102, b.area(), 307, 150);
  EXPECT_EQ(a.image().bytes(), b.image().bytes());
  EXPECT_EQ(a.image().pixel(53, 54), (standin::Rgb{logoPixels[0], logoPixels[1], logoPixels[2]}));
}

}  // namespace
}  // namespace ep::testing
