#include "standin/host/hint_list.h"

namespace standin {

Hint HintView::copy() const {
  Hint hint;
  hint.tag = tag;
  hint.args.assign(args.begin(), args.end());
  for (LWXPanelHint id : ids) hint.ids.push_back(static_cast<std::uintptr_t>(id));
  hint.hasIdList = hasIdList;
  return hint;
}

HintViews viewHints(const LWXPanelHint *list, std::size_t maxWords) {
  HintViews walk;
  walk.hints.reserve(16);
  if (list == nullptr) {
    walk.complete = true;
    return walk;
  }
  std::size_t &pos = walk.wordsRead;
  while (pos < maxWords) {
    const LWXPanelHint word = list[pos++];
    if (word == 0) {
      walk.complete = true;
      return walk;
    }
    HintView hint;
    hint.tag = static_cast<std::uintptr_t>(word);
    const std::size_t argc = LWXPH_ARGC(hint.tag);
    if (maxWords - pos < argc) {
      pos = maxWords;
      return walk;
    }
    hint.args = {list + pos, argc};
    pos += argc;
    if (LWXPH_HAS_IDLIST(hint.tag)) {
      hint.hasIdList = true;
      const std::size_t first = pos;
      while (pos < maxWords && list[pos] != 0) ++pos;
      if (pos == maxWords) return walk;
      hint.ids = {list + first, pos - first};
      ++pos;  // the ID list's 0
    }
    walk.hints.push_back(hint);
  }
  return walk;
}

HintWalk walkHints(const LWXPanelHint *list, std::size_t maxWords) {
  const HintViews views = viewHints(list, maxWords);
  HintWalk walk;
  walk.complete = views.complete;
  if (list != nullptr) walk.words.assign(list, list + views.wordsRead);
  walk.hints.reserve(views.hints.size());
  for (const HintView &h : views.hints) walk.hints.push_back(h.copy());
  return walk;
}

}  // namespace standin
