// The tool options panel: mode, Factor, Offset, Symmetry, Invert Handle and
// About, with its values read and written in the tool's instance.
#pragma once

#include <cstdint>

#include "host/host_abi.h"

namespace ep {

enum OptionsControl : std::uintptr_t {
  kControlActive = 0x8001,  // hidden; carries `active` for the enable link
  kControlMode = 0x8002,
  kControlFactor = 0x8003,
  kControlOffset = 0x8004,
  kControlSymmetry = 0x8005,
  kControlInvertHandle = 0x8006,
  kControlAbout = 0x8007,
};

inline constexpr int kOptionsHintWords = 55;

// The options panel's hint list, with the mode choice items' address filled
// in; both arrays need live only during the host's hint call.
void fillOptionsHints(LWXPanelHint (&hints)[kOptionsHintWords], const char *(&modeItems)[3]);

}  // namespace ep

extern "C" {
// The callback table's panel slot: a new panel on every call, owned by the host.
void *toolPanel(void *instance);
void *optionsPanelGet(void *instance, std::uintptr_t id);
int optionsPanelSet(void *instance, std::uintptr_t id, void *value);
// Swaps the handle end of every pair of the newest live instance.
void onInvertHandle(LWXPanelID panel, int id);
void onAbout(LWXPanelID panel, int id);
}
