#include "panels/about_panel.h"

#include "host/services.h"
#include "host/texts.h"
#include "panels/logo.h"

namespace ep {
namespace {

// The thumbnail's fixed geometry, in the drawing area's pixels.
constexpr int kThumbWidth = 307;
constexpr int kThumbHeight = 150;
constexpr int kBackgroundGrey = 128;
constexpr int kLogoX = 53;
constexpr int kLogoY = 54;
constexpr int kNameBaseline = 22;  // the first line's y is this minus its height
constexpr int kAuthorY = 27;
constexpr int kTextColour = 0;
// The word's bit pattern is what the host receives, whatever the word size.
constexpr LWXPanelHint kThumbnailSettingWord = static_cast<LWXPanelHint>(std::uintptr_t{0x80000004u});

}  // namespace

int showAboutPanel() {
  const LWXPanelControl controls[] = {
      {kControlLogo, "LOGO", "dThumbnail"},
      {0, nullptr, nullptr},
  };
  const LWXPanelDataDesc data[] = {
      {kControlLogo, "LOGO", "integer"},
      {0, nullptr, nullptr},
  };
  const LWXPanelHint hints[kAboutHintWords] = {
      LWXP_HINT_PANEL_SETTING, 4,
      LWXP_HINT_TITLE, 0, reinterpret_cast<LWXPanelHint>(texts::kAboutTitle), 0,
      LWXP_HINT_THUMBNAIL_SETTING, static_cast<LWXPanelHint>(kControlLogo), 0, kThumbnailSettingWord,
      LWXP_HINT_DRAW_FUNC, static_cast<LWXPanelHint>(kControlLogo),
          reinterpret_cast<LWXPanelHint>(&drawAboutThumbnail),
      0,
  };

  LWXPanelID panel = panelService->create(LWXP_FORM, controls);
  if (panel == nullptr) return 0;
  panelService->describe(panel, data, nullptr, nullptr);
  panelService->hint(panel, 0, hints);
  panelService->post(panel);
  panelService->destroy(panel);
  return 0;
}

}  // namespace ep

extern "C" void drawAboutThumbnail(LWXPanelID, std::uintptr_t, LWXPDrAreaID area, int, int) {
  using namespace ep;
  const LWXPDrawFuncs &draw = *panelService->drawf;
  draw.drawRGBBox(area, kBackgroundGrey, kBackgroundGrey, kBackgroundGrey, 0, 0, kThumbWidth, kThumbHeight);

  const unsigned char *pixel = logoPixels;
  for (int r = 0; r < kLogoHeight; ++r) {
    for (int c = 0; c < kLogoWidth; ++c, pixel += 3) {
      draw.drawRGBPixel(area, pixel[0], pixel[1], pixel[2], kLogoX + c, kLogoY + r);
    }
  }

  const int nameWidth = draw.textWidth(area, texts::kAboutNameLine);
  const int nameHeight = draw.textHeight(area, texts::kAboutNameLine);
  draw.drawText(area, texts::kAboutNameLine, kTextColour, (kThumbWidth - nameWidth) / 2, kNameBaseline - nameHeight);

  const int authorWidth = draw.textWidth(area, texts::kAboutAuthorLine);
  draw.drawText(area, texts::kAboutAuthorLine, kTextColour, (kThumbWidth - authorWidth) / 2, kAuthorY);
}
