#include "standin/host/panel_service.h"

#include <algorithm>

#include "standin/host/host_globals.h"

namespace standin {

namespace {

// Tables longer than this are cut off instead of being read without end.
constexpr std::size_t kMaxTableEntries = 4096;
constexpr std::size_t kMaxChoiceItems = 1024;

std::optional<std::string> copyText(const char *text) {
  if (text == nullptr) return std::nullopt;
  return std::string(text);
}

LWXPanelHint wordOf(const void *pointer) { return reinterpret_cast<LWXPanelHint>(pointer); }

// Copies a control table or data description (entries of id, text, text, ended by three zero words) and
// appends its raw words, closing entry included, to `words` unless that is null.
template <typename Entry>
std::vector<PanelEntry> copyTable(const Entry *table, std::vector<LWXPanelHint> *words) {
  std::vector<PanelEntry> entries;
  if (table == nullptr) return entries;
  std::size_t count = 0;
  while (count < kMaxTableEntries && (table[count].id != 0 || table[count].type != nullptr)) ++count;
  entries.reserve(count);
  for (std::size_t i = 0; i < kMaxTableEntries; ++i) {
    const Entry &e = table[i];
    const char *name = nullptr;
    if constexpr (requires { e.label; }) {
      name = e.label;
    } else {
      name = e.name;
    }
    if (words != nullptr)
      words->insert(words->end(), {static_cast<LWXPanelHint>(e.id), wordOf(name), wordOf(e.type)});
    if (e.id == 0 && name == nullptr && e.type == nullptr) break;
    entries.push_back({e.id, copyText(name), copyText(e.type)});
  }
  return entries;
}

std::uintptr_t idWord(LWXPanelHint word) { return static_cast<std::uintptr_t>(word); }

// Trampolines for the C table: the current host's panel service.
PanelService *current() {
  HostGlobals *host = HostGlobals::current();
  return host != nullptr ? &host->panels() : nullptr;
}
LWXPanelID cCreate(int type, const LWXPanelControl *controls) {
  PanelService *service = current();
  return service != nullptr ? service->create(type, controls) : nullptr;
}
void cDestroy(LWXPanelID id) {
  if (PanelService *service = current()) service->destroy(id);
}
void cDescribe(LWXPanelID id, const LWXPanelDataDesc *data, LWXPanelGetFunc get, LWXPanelSetFunc set) {
  if (PanelService *service = current()) service->describe(id, data, get, set);
}
void cHint(LWXPanelID id, uintptr_t controlId, const LWXPanelHint *hints) {
  if (PanelService *service = current()) service->hint(id, controlId, hints);
}
int cPost(LWXPanelID id) {
  PanelService *service = current();
  return service != nullptr ? service->post(id) : 0;
}

}  // namespace

const PanelEntry *PanelRecord::control(std::uintptr_t controlId) const {
  for (const PanelEntry &e : controls)
    if (e.id == controlId) return &e;
  return nullptr;
}

const PanelEntry *PanelRecord::dataEntry(std::uintptr_t controlId) const {
  for (const PanelEntry &e : data)
    if (e.id == controlId) return &e;
  return nullptr;
}

const ControlHints *PanelRecord::hintsFor(std::uintptr_t controlId) const {
  for (const auto &[named, h] : hints)
    if (named == controlId) return &h;
  return nullptr;
}

ControlHints &PanelRecord::hintsOf(std::uintptr_t controlId) {
  for (auto &[named, h] : hints)
    if (named == controlId) return h;
  if (hints.empty()) hints.reserve(controls.size() + 1);
  return hints.emplace_back(controlId, ControlHints{}).second;
}

std::optional<std::string> PanelRecord::title() const {
  const ControlHints *h = hintsFor(0);
  return h != nullptr ? h->title : std::nullopt;
}

PanelService::PanelService() : funcs_{} {
  funcs_.version = 1;
  funcs_.drawf = ThumbnailCanvas::drawFuncs();
  funcs_.create = &cCreate;
  funcs_.destroy = &cDestroy;
  funcs_.describe = &cDescribe;
  funcs_.hint = &cHint;
  funcs_.post = &cPost;
}

PanelService::~PanelService() = default;

PanelRecord *PanelService::find(LWXPanelID id) {
  if (id == nullptr) return nullptr;
  for (auto &p : panels_)
    if (p->id == id) return p.get();
  return nullptr;
}

const PanelRecord *PanelService::panel(LWXPanelID id) const {
  return const_cast<PanelService *>(this)->find(id);
}

std::vector<const PanelRecord *> PanelService::panels() const {
  std::vector<const PanelRecord *> out;
  for (const auto &p : panels_) out.push_back(p.get());
  return out;
}

const PanelRecord *PanelService::newestPanel() const {
  return panels_.empty() ? nullptr : panels_.back().get();
}

void PanelService::setThumbnailSize(int width, int height) {
  thumbnailWidth_ = std::max(width, 0);
  thumbnailHeight_ = std::max(height, 0);
}

LWXPanelID PanelService::create(int type, const LWXPanelControl *controls) {
  PanelCall call;
  call.kind = PanelCallKind::Create;
  call.type = type;
  std::vector<PanelEntry> entries = copyTable(controls, recording_ ? &call.words : nullptr);
  if (failCreates_ > 0) {
    --failCreates_;
    record(std::move(call));
    return nullptr;
  }
  // IDs count up and are never reused, so a destroyed panel's ID stays unknown.
  static std::uintptr_t nextId = 0x10000;
  auto record = std::make_unique<PanelRecord>();
  record->id = reinterpret_cast<LWXPanelID>(nextId);
  nextId += 0x10;
  record->type = type;
  record->controls = std::move(entries);
  const LWXPanelID id = record->id;
  call.panel = id;
  panels_.push_back(std::move(record));
  this->record(std::move(call));
  return id;
}

void PanelService::destroy(LWXPanelID id) {
  PanelCall call;
  call.kind = PanelCallKind::Destroy;
  call.panel = id;
  auto it = std::find_if(panels_.begin(), panels_.end(), [id](const auto &p) { return p->id == id; });
  call.known = it != panels_.end();
  if (call.known) panels_.erase(it);
  record(std::move(call));
}

void PanelService::describe(LWXPanelID id, const LWXPanelDataDesc *data, LWXPanelGetFunc get,
                            LWXPanelSetFunc set) {
  PanelCall call;
  call.kind = PanelCallKind::Describe;
  call.panel = id;
  call.get = get;
  call.set = set;
  std::vector<PanelEntry> entries = copyTable(data, recording_ ? &call.words : nullptr);
  PanelRecord *panel = find(id);
  call.known = panel != nullptr;
  if (panel != nullptr) {
    panel->described = true;
    ++panel->revision;
    panel->data = std::move(entries);
    panel->get = get;
    panel->set = set;
  }
  record(std::move(call));
}

void PanelService::hint(LWXPanelID id, std::uintptr_t controlId, const LWXPanelHint *hints) {
  const HintViews walk = viewHints(hints);
  PanelRecord *panel = find(id);
  if (panel != nullptr) applyHints(*panel, walk);
  if (!recording_) return;
  PanelCall call;
  call.kind = PanelCallKind::Hint;
  call.panel = id;
  call.controlId = controlId;
  call.known = panel != nullptr;
  if (hints != nullptr) call.words.assign(hints, hints + walk.wordsRead);
  record(std::move(call));
}

namespace {

std::vector<std::string> choiceItemsOf(const HintView &h) {
  std::vector<std::string> items;
  const auto *list = reinterpret_cast<const char *const *>(h.args[1]);
  for (std::size_t i = 0; list != nullptr && i < kMaxChoiceItems && list[i] != nullptr; ++i)
    items.emplace_back(list[i]);
  return items;
}

EnableLink enableLinkOf(const PanelRecord &panel, const HintView &h) {
  EnableLink link;
  link.controller = idWord(h.args[0]);
  link.message = copyText(reinterpret_cast<const char *>(h.args[1]));
  link.reserved = h.args[2];
  link.mapAddress = reinterpret_cast<const int *>(h.args[3]);
  link.hasMap = link.mapAddress != nullptr;
  const ControlHints *controller = panel.hintsFor(link.controller);
  if (link.hasMap && controller != nullptr && controller->choiceItems)
    link.map = std::vector<int>(link.mapAddress, link.mapAddress + controller->choiceItems->size());
  for (LWXPanelHint controlled : h.ids) link.controlled.push_back(idWord(controlled));
  return link;
}

// What one hint says about its control; false for a tag this host does not act on. Each tag acted on
// has at least the argument words read here (the walk read as many as its tag word counts).
bool applyControlHint(PanelRecord &panel, const HintView &h) {
  auto control = [&]() -> ControlHints & { return panel.hintsOf(idWord(h.args[0])); };
  switch (h.tag) {
    case LWXP_HINT_HIDDEN:
      control().hidden = true;
      return true;
    case LWXP_HINT_TITLE:
      control().title = copyText(reinterpret_cast<const char *>(h.args[1]));
      return true;
    case LWXP_HINT_MAX:
      control().max = static_cast<long long>(h.args[1]);
      return true;
    case LWXP_HINT_MIN:
      control().min = static_cast<long long>(h.args[1]);
      return true;
    case LWXP_HINT_STEP:
      control().step = static_cast<long long>(h.args[1]);
      return true;
    case LWXP_HINT_BUTTON_CLICK:
      control().buttonClick = reinterpret_cast<LWXPanelBtnClickFunc>(h.args[1]);
      return true;
    case LWXP_HINT_DRAW_FUNC:
      control().draw = reinterpret_cast<LWXPanelDrawFunc>(h.args[1]);
      return true;
    default:
      return false;
  }
}

}  // namespace

void PanelService::applyHints(PanelRecord &panel, const HintViews &walk) {
  ++panel.revision;
  // Choice items first, so that a value map in the same list can be copied with the right length.
  for (const HintView &h : walk.hints)
    if (h.tag == LWXP_HINT_CHOICE_ITEMS) panel.hintsOf(idWord(h.args[0])).choiceItems = choiceItemsOf(h);
  for (const HintView &h : walk.hints) {
    if (h.tag == LWXP_HINT_CHOICE_ITEMS) continue;
    if (h.tag == LWXP_HINT_ENABLE_LINK) {
      panel.links.push_back(enableLinkOf(panel, h));
    } else if (!applyControlHint(panel, h)) {
      panel.otherHints.push_back(h.copy());
    }
  }
}

std::optional<ThumbnailCanvas> PanelService::paintThumbnail(LWXPanelID id, std::uintptr_t controlId) {
  PanelRecord *panel = find(id);
  if (panel == nullptr) return std::nullopt;
  const ControlHints *h = panel->hintsFor(controlId);
  if (h == nullptr || h->draw == nullptr) return std::nullopt;
  ThumbnailCanvas canvas(thumbnailWidth_, thumbnailHeight_, font_);
  h->draw(id, controlId, canvas.area(), thumbnailWidth_, thumbnailHeight_);
  return canvas;
}

int PanelService::post(LWXPanelID id) {
  PanelCall call;
  call.kind = PanelCallKind::Post;
  call.panel = id;
  PanelRecord *panel = find(id);
  call.known = panel != nullptr;
  // Recorded before anything the panel's callbacks do while it is "shown".
  const std::size_t index = calls_.size();
  const bool recorded = recording_;
  record(std::move(call));
  if (panel == nullptr) return 0;
  ++panel->posts;
  if (thumbnailSink_) {
    std::vector<std::uintptr_t> thumbnails;
    for (const PanelEntry &c : panel->controls) {
      const ControlHints *h = panel->hintsFor(c.id);
      if (h != nullptr && h->draw != nullptr) thumbnails.push_back(c.id);
    }
    for (std::uintptr_t controlId : thumbnails) {
      std::optional<ThumbnailCanvas> canvas = paintThumbnail(id, controlId);
      // A draw callback could destroy its own panel; stop if it did.
      const PanelRecord *still = find(id);
      if (still == nullptr) break;
      if (canvas) thumbnailSink_(*still, controlId, *canvas);
    }
  }
  int result = 1;
  if (postHandler_ && (panel = find(id)) != nullptr) result = postHandler_(*panel);
  if (recorded && index < calls_.size()) calls_[index].result = result;
  return result;
}

}  // namespace standin
