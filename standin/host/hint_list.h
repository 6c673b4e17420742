// Reading a panel hint list. A list is an array of words: each hint is a tag word followed by its argument
// words, and the list ends with a single 0 word. The low 7 bits of the tag's low byte count the fixed
// argument words; when bit 7 of that byte (0x80) is set, the fixed words are followed by a list of control
// IDs ended by a 0 word. So any list can be walked without knowing its tags.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "host/host_abi.h"

namespace standin {

// The tags this host acts on are the LWXP_HINT_* of the interface header; any other tag is walked over and
// kept in the panel's record.
struct Hint {
  std::uintptr_t tag = 0;
  std::vector<LWXPanelHint> args;   // the fixed argument words, as received
  std::vector<std::uintptr_t> ids;  // the trailing ID list (without its 0), if the tag has one
  bool hasIdList = false;
};

// One hint where it lies in the caller's list: valid while the list is.
struct HintView {
  std::uintptr_t tag = 0;
  std::span<const LWXPanelHint> args;
  std::span<const LWXPanelHint> ids;  // without the closing 0
  bool hasIdList = false;

  Hint copy() const;
};

struct HintViews {
  std::vector<HintView> hints;
  std::size_t wordsRead = 0;  // up to and including the list's closing 0
  bool complete = false;      // false: the list did not end within the word limit
};

struct HintWalk {
  std::vector<Hint> hints;
  std::vector<LWXPanelHint> words;  // every word read, up to and including the list's closing 0
  bool complete = false;            // false: the list did not end within the word limit
};

// Longest list this host reads. A list without its closing 0 is cut off here instead of being read
// without end.
inline constexpr std::size_t kMaxHintWords = 1 << 16;

// Walks a hint list (NULL counts as an empty list) without copying it: a host reads the views during the
// call that gave it the list.
HintViews viewHints(const LWXPanelHint *list, std::size_t maxWords = kMaxHintWords);

// Walks a hint list and copies what it read. Reads only during the call.
HintWalk walkHints(const LWXPanelHint *list, std::size_t maxWords = kMaxHintWords);

}  // namespace standin
