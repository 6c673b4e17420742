#include "standin/host/hint_list.h"

namespace standin {

HintWalk walkHints(const LWXPanelHint *list, std::size_t maxWords) {
  HintWalk walk;
  if (list == nullptr) {
    walk.complete = true;
    return walk;
  }
  std::size_t pos = 0;
  // Reads the next word, or reports that the word limit is reached.
  auto next = [&](LWXPanelHint &word) {
    if (pos >= maxWords) return false;
    word = list[pos++];
    walk.words.push_back(word);
    return true;
  };
  LWXPanelHint word = 0;
  while (next(word)) {
    if (word == 0) {
      walk.complete = true;
      return walk;
    }
    Hint hint;
    hint.tag = static_cast<std::uintptr_t>(word);
    const unsigned argc = LWXPH_ARGC(hint.tag);
    for (unsigned i = 0; i < argc; ++i) {
      if (!next(word)) return walk;
      hint.args.push_back(word);
    }
    if (LWXPH_HAS_IDLIST(hint.tag)) {
      hint.hasIdList = true;
      for (;;) {
        if (!next(word)) return walk;
        if (word == 0) break;
        hint.ids.push_back(static_cast<std::uintptr_t>(word));
      }
    }
    walk.hints.push_back(std::move(hint));
  }
  return walk;
}

}  // namespace standin
