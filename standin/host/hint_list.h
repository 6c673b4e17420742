// Reading a panel hint list. A list is an array of words: each hint is a tag word followed by its argument
// words, and the list ends with a single 0 word. The low 7 bits of the tag's low byte count the fixed
// argument words; when bit 7 of that byte (0x80) is set, the fixed words are followed by a list of control
// IDs ended by a 0 word. So any list can be walked without knowing its tags.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "host/host_abi.h"

namespace standin {

// Tags this host acts on. Any other tag is walked over and kept in the panel's record.
namespace hint_tag {
inline constexpr std::uintptr_t kHidden = 0x3D000E01;       // control ID
inline constexpr std::uintptr_t kTitle = 0x3D000B03;        // control ID (0: the panel), text, 0
inline constexpr std::uintptr_t kEnableLink = 0x3D01F984;   // controller, message, 0, map; controlled IDs
inline constexpr std::uintptr_t kChoiceItems = 0x3D014503;  // control ID, null-ended text array, 0
inline constexpr std::uintptr_t kMax = 0x3D014102;          // control ID, bound
inline constexpr std::uintptr_t kMin = 0x3D014002;          // control ID, bound
inline constexpr std::uintptr_t kStep = 0x3D014202;         // control ID, step
inline constexpr std::uintptr_t kButtonClick = 0x3D015F02;  // control ID, LWXPanelBtnClickFunc
inline constexpr std::uintptr_t kDrawFunc = 0x3D016502;     // control ID, LWXPanelDrawFunc
}  // namespace hint_tag

struct Hint {
  std::uintptr_t tag = 0;
  std::vector<LWXPanelHint> args;   // the fixed argument words, as received
  std::vector<std::uintptr_t> ids;  // the trailing ID list (without its 0), if the tag has one
  bool hasIdList = false;
};

struct HintWalk {
  std::vector<Hint> hints;
  std::vector<LWXPanelHint> words;  // every word read, up to and including the list's closing 0
  bool complete = false;            // false: the list did not end within the word limit
};

// Longest list this host reads. A list without its closing 0 is cut off here instead of being read
// without end.
inline constexpr std::size_t kMaxHintWords = 1 << 16;

// Walks a hint list (NULL counts as an empty list). Reads only during the call.
HintWalk walkHints(const LWXPanelHint *list, std::size_t maxWords = kMaxHintWords);

}  // namespace standin
