// The host's "LWXPanel" service. Panels are kept as records the host copied out of the tables and hint lists
// it was given (which need live only during each call); the panel model (panel_model.h) turns a record into
// controls with values, enabled states and actions.
//
// Headless: `post` returns at once with 1 ("closed with OK"). Before returning it paints every thumbnail
// control that has a draw callback into a ThumbnailCanvas and hands it to the thumbnail sink, if one is
// set; a post handler, if set, is then called in place of the user and its answer returned.
//
// The service belongs to a HostGlobals (host_globals.h). Its C functions carry no user data, so they reach
// the service through the current host; calls arriving while no host lives are ignored (create answers
// NULL). One thread only.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "host/host_abi.h"
#include "standin/host/hint_list.h"
#include "standin/host/thumbnail_canvas.h"

namespace standin {

// One entry of a control table or a data description: texts copied, a null text kept as nullopt.
struct PanelEntry {
  std::uintptr_t id = 0;
  std::optional<std::string> name;  // label (controls) or name (data description)
  std::optional<std::string> type;
};

// An enable link: the controlled controls are enabled while the controller's value is non-zero, or, with a
// value map, while map[value] is non-zero. While disabled they show the message, if there is one.
struct EnableLink {
  std::uintptr_t controller = 0;
  std::optional<std::string> message;
  LWXPanelHint reserved = 0;  // the third argument word, kept as received
  bool hasMap = false;
  // The map's entries for the controller's choice items, copied during the hint call when the controller's
  // items were known then (from this list or an earlier one). Otherwise the map is read at `mapAddress`
  // when needed: the tool keeps its maps alive for the panel's life.
  std::optional<std::vector<int>> map;
  const int *mapAddress = nullptr;
  std::vector<std::uintptr_t> controlled;
};

// What hints said about one control.
struct ControlHints {
  bool hidden = false;
  std::optional<std::string> title;
  std::optional<std::vector<std::string>> choiceItems;
  std::optional<long long> max, min, step;
  LWXPanelBtnClickFunc buttonClick = nullptr;
  LWXPanelDrawFunc draw = nullptr;
};

struct PanelRecord {
  LWXPanelID id = nullptr;
  int type = 0;                      // 1 view, 2 form
  std::vector<PanelEntry> controls;  // in table order
  bool described = false;
  std::vector<PanelEntry> data;
  LWXPanelGetFunc get = nullptr;
  LWXPanelSetFunc set = nullptr;
  // By control ID, in the order first named; ID 0 is the panel itself (its title). A panel names a dozen
  // controls, so a list searched in order is quicker to fill and to read than a tree.
  std::vector<std::pair<std::uintptr_t, ControlHints>> hints;
  std::vector<EnableLink> links;  // in the order received
  std::vector<Hint> otherHints;   // tags this host does not act on, kept as received
  int posts = 0;
  // Counts the describe and hint calls that changed the record: what was looked up in it stays valid
  // while this does not change.
  unsigned revision = 0;

  const PanelEntry *control(std::uintptr_t controlId) const;
  const PanelEntry *dataEntry(std::uintptr_t controlId) const;
  const ControlHints *hintsFor(std::uintptr_t controlId) const;  // null when no hint named it
  ControlHints &hintsOf(std::uintptr_t controlId);               // added empty when none named it
  std::optional<std::string> title() const;
};

enum class PanelCallKind { Create, Destroy, Describe, Hint, Post };

// One call as the host received it. `words` holds the raw words: for create the control table and for
// describe the data description, three words an entry including the closing zero entry; for hint the list
// up to and including its closing 0.
struct PanelCall {
  PanelCallKind kind = PanelCallKind::Create;
  LWXPanelID panel = nullptr;    // for create: the panel returned (NULL if none)
  int type = 0;                  // create
  std::uintptr_t controlId = 0;  // hint
  std::vector<LWXPanelHint> words;
  LWXPanelGetFunc get = nullptr;  // describe
  LWXPanelSetFunc set = nullptr;  // describe
  int result = 0;                 // post
  bool known = true;              // false: the panel ID was not one of this service's live panels
};

class PanelService {
 public:
  using ThumbnailSink =
      std::function<void(const PanelRecord &, std::uintptr_t controlId, const ThumbnailCanvas &)>;
  using PostHandler = std::function<int(const PanelRecord &)>;

  PanelService();
  ~PanelService();
  PanelService(const PanelService &) = delete;
  PanelService &operator=(const PanelService &) = delete;

  // The record handed to the module as "LWXPanel"; valid while this service lives.
  LWXPanelFuncs *funcs() { return &funcs_; }

  const std::vector<PanelCall> &calls() const { return calls_; }
  void clearCalls() { calls_.clear(); }
  // Whether calls() records the calls that follow (on from the start). A session that picks a tool
  // thousands of times and never reads the log turns it off: each pick's panel makes a dozen calls.
  void recordCalls(bool on) { recording_ = on; }
  bool recordingCalls() const { return recording_; }

  // A live panel's record, or null (never created here, or destroyed).
  const PanelRecord *panel(LWXPanelID id) const;
  // Live panels in creation order.
  std::vector<const PanelRecord *> panels() const;
  const PanelRecord *newestPanel() const;

  // Refuse the next `count` creates (answer NULL), to test a module's handling of that.
  void failNextCreates(int count) { failCreates_ = count; }

  void setThumbnailSink(ThumbnailSink sink) { thumbnailSink_ = std::move(sink); }
  void setPostHandler(PostHandler handler) { postHandler_ = std::move(handler); }
  // The size of the drawing area given to thumbnail draw callbacks (default 307 x 150).
  void setThumbnailSize(int width, int height);
  // The font thumbnails measure and draw text with; must outlive the service. Null: FixedMetricFont.
  void setFont(const CanvasFont *font) { font_ = font; }

  // Paints one thumbnail control of a live panel now; nullopt if the panel or its draw callback is missing.
  std::optional<ThumbnailCanvas> paintThumbnail(LWXPanelID id, std::uintptr_t controlId);

  // The operations behind funcs().
  LWXPanelID create(int type, const LWXPanelControl *controls);
  void destroy(LWXPanelID id);
  void describe(LWXPanelID id, const LWXPanelDataDesc *data, LWXPanelGetFunc get, LWXPanelSetFunc set);
  void hint(LWXPanelID id, std::uintptr_t controlId, const LWXPanelHint *hints);
  int post(LWXPanelID id);

 private:
  PanelRecord *find(LWXPanelID id);
  void applyHints(PanelRecord &panel, const HintViews &walk);
  void record(PanelCall &&call) {
    if (recording_) calls_.push_back(std::move(call));
  }

  LWXPanelFuncs funcs_;
  std::vector<std::unique_ptr<PanelRecord>> panels_;
  std::vector<PanelCall> calls_;
  bool recording_ = true;
  int failCreates_ = 0;
  ThumbnailSink thumbnailSink_;
  PostHandler postHandler_;
  int thumbnailWidth_ = 307, thumbnailHeight_ = 150;
  const CanvasFont *font_ = nullptr;
};

}  // namespace standin
