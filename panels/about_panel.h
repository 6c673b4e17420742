// The About panel: a modal form with one thumbnail the tool paints itself.
#pragma once

#include <cstdint>

#include "host/host_abi.h"

namespace ep {

inline constexpr std::uintptr_t kControlLogo = 0x8102;
inline constexpr int kAboutHintWords = 14;

// Builds, posts and destroys the panel; returns 0 when it has closed (also
// when the host could not create it).
int showAboutPanel();

}  // namespace ep

extern "C" void drawAboutThumbnail(LWXPanelID panel, std::uintptr_t id, LWXPDrAreaID area, int width, int height);
