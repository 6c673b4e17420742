/*
 * The Modeler's plug-in interface, as far as a MeshEditTool module and a host
 * that loads one need it. Plain C: both the module and the stand-in host
 * include this header, and it includes nothing of theirs.
 *
 * Rules that the types cannot say:
 *  - C linkage, the platform's default C calling convention (cdecl on 32-bit
 *    Windows). Nothing but these records, pointers, int, unsigned int, double,
 *    float and words crosses the interface; no exception ever does.
 *  - int and unsigned int are 32 bits. A "word" is a pointer-sized integer
 *    (uintptr_t / intptr_t). Tables of IDs, tags and texts are arrays of words.
 *  - Records use the platform's natural alignment; on 32-bit Windows the module
 *    descriptor is 24 bytes and a server record 16 bytes.
 *  - Every call comes from the host's one user-interface thread, one at a time;
 *    neither side locks.
 *  - Lifetimes: a record or text passed as an argument is valid only during
 *    the call that receives it, unless its comment says otherwise. A callee
 *    that needs it later copies it.
 */
#ifndef ELASTICPULL_HOST_ABI_H
#define ELASTICPULL_HOST_ABI_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef double LWDVector[3];
typedef float LWFVector[3];

/* A point's identity in the host. Opaque: the tool stores and passes it back,
 * never dereferences it. */
typedef void *LWPntID;

/* ---- Globals and activation ------------------------------------------- */

/* Looks a host service up by name; `use` is 0 for every lookup the tool makes.
 * Returns the service record (owned by the host, valid while the module is
 * loaded) or NULL when the host has no such service. */
typedef void *(*LWGlobalFunc)(const char *name, int use);

/* Called each time the user picks the tool. `local` is the LWMeshEditTool the
 * host provides for this activation: the module fills its slots and those of
 * its `tool` table. `serverData` is the start-up result. Returns one of the
 * LW_ACTIVATE_* codes; on any other than LW_ACTIVATE_OK the host does not use
 * the binding. */
typedef int (*LWActivateFunc)(int version, LWGlobalFunc global, void *local, void *serverData);

enum {
  LW_ACTIVATE_OK = 0,
  LW_ACTIVATE_BAD_VERSION = 1, /* interface version not supported */
  LW_ACTIVATE_BAD_GLOBAL = 2,  /* a global service is missing */
  LW_ACTIVATE_BAD_LOCAL = 3    /* the server could not start (e.g. no memory) */
};

/* A tag list ends with { NULL, 0 }. */
typedef struct st_ServerTagInfo {
  const char *string;
  uintptr_t tag;
} ServerTagInfo;

/* A server list ends with a record of four zero words. All pointers refer to
 * the module's static data and stay valid while the module is loaded. */
typedef struct st_ServerRecord {
  const char *className;
  const char *name;
  LWActivateFunc activate;
  const ServerTagInfo *tagInfo;
} ServerRecord;

#define LW_MODULE_SYNC 0x04121994u
#define LW_MODULE_VERSION 3u
#define LW_MODULE_MACHINE 0x300u

/* The module's one export, `_mod_descrip`, is this record itself (data). The
 * host calls startup once after loading and shutdown with startup's result
 * before unloading; nothing of the module is called after shutdown. */
typedef struct st_ModuleDescriptor {
  uint32_t sysSync;
  uint32_t sysVersion;
  uint32_t sysMachine;
  void *(*startup)(void);
  void (*shutdown)(void *startupResult);
  const ServerRecord *serverDefs;
} ModuleDescriptor;

#define LW_MESHEDITTOOL_CLASS "MeshEditTool"
#define LW_MESHEDITTOOL_VERSION 4

/* ---- Tool events and callbacks ----------------------------------------- */

enum {
  LWT_EVENT_CTRL = 1,        /* bit 0 of LWToolEvent.flags: CTRL held */
  LWT_EVENT_RIGHT_BUTTON = 8 /* bit 3: the right mouse button */
};

/* Valid only during the callback that receives it. */
typedef struct st_LWToolEvent {
  LWDVector posSnap; /* mouse position snapped to the grid */
  LWDVector posRaw;  /* mouse position in model space */
  LWDVector deltaSnap;
  LWDVector deltaRaw;
  LWDVector axis;
  /* The view the mouse is in: 0, 1 or 2 an orthographic view looking along
   * x, y or z, whose coordinate of posRaw says nothing of where the user
   * pointed (the tool leaves it out when it measures distances to a press);
   * any other value (the host's -1, say) a perspective view, where all three
   * count. */
  int portAxis;
  int flags; /* LWT_EVENT_* bits; other bits mean nothing to the tool */
} LWToolEvent;

/* test() codes: what the host does with the pending edit. */
enum {
  LWT_TEST_NOTHING = 0, /* nothing to do */
  LWT_TEST_UPDATE = 1,  /* call build with a new operation */
  LWT_TEST_ACCEPT = 2,  /* keep the edit's result and end the edit (this tool never answers it) */
  LWT_TEST_REJECT = 3,  /* drop the edit's result and end the edit */
  LWT_TEST_CLONE = 4    /* keep the result, end the edit and begin a new one from it */
};
/* dirty() bits: what the host redraws. */
enum {
  LWT_DIRTY_WIREFRAME = 1, /* the overlay: the host calls draw */
  LWT_DIRTY_HELPTEXT = 2   /* the help line: the host calls help */
};
/* event() codes. */
enum {
  LWT_EVENT_DROP = 0,    /* the user drops the tool's edit */
  LWT_EVENT_RESET = 1,   /* the user resets the tool's values */
  LWT_EVENT_ACTIVATE = 2 /* the user makes the tool's edit live again */
};

struct st_LWWireDrawAccess;
struct st_MeshEditOp;

/* The host's table; activation fills its slots. A NULL slot means "no such
 * callback". Every callback receives the binding's instance first.
 *
 * A mouse press goes to down; when down answers 0 the host picks a handle
 * (count, then handle for each index, else start) and calls adjust with that
 * index for the press and every drag step. After each step it asks test (and
 * builds on LWT_TEST_UPDATE), then dirty, and draws and asks help as told. */
typedef struct st_LWToolFuncs {
  /* The host's last call on the instance: the module frees it, and the host
   * uses neither the instance nor the binding's callbacks with it again. */
  void (*done)(void *instance);
  /* Draws the overlay through `access` (valid only during the call). */
  void (*draw)(void *instance, struct st_LWWireDrawAccess *access);
  /* The help line: a NUL-ended text owned by the module, which the host reads
   * and never frees or writes. */
  const char *(*help)(void *instance, LWToolEvent *event);
  /* LWT_DIRTY_* bits; 0 when nothing needs redrawing. Asking changes nothing. */
  int (*dirty)(void *instance);
  /* The number of handles the host offers now, indices 0 to count - 1;
   * 0: none. */
  int (*count)(void *instance, LWToolEvent *event);
  /* Writes handle `index`'s position into `pos` and returns its priority: the
   * higher takes precedence where handles compete. A result <= 0 means
   * "not a handle", and `pos` may be left unwritten. This tool answers
   * index + 1 for each point of its edit (0 <= index < the point count) and
   * 0, writing nothing, for every other index. */
  int (*handle)(void *instance, LWToolEvent *event, int index, LWDVector pos);
  /* The press found no handle: returns the index of the handle the drag
   * takes, which the host passes to adjust. This tool answers its handle end
   * nearest to the press (posRaw), measured in the view's plane (see
   * portAxis), so the drag stretches that pair and no pair's ends swap; with
   * no pairs yet it answers 1. */
  int (*start)(void *instance, LWToolEvent *event);
  /* Handle `index` is pressed or dragged to the event's position; returns the
   * handle's index. */
  int (*adjust)(void *instance, LWToolEvent *event, int index);
  /* A mouse press: 1 the tool takes the click (the host picks no handle), 0
   * the host goes on to pick a handle and adjust it. */
  int (*down)(void *instance, LWToolEvent *event);
  void (*move)(void *instance, LWToolEvent *event);
  void (*up)(void *instance, LWToolEvent *event);
  /* An LWT_EVENT_* code; a tool ignores codes it does not know. */
  void (*event)(void *instance, int code);
  /* The tool's options panel, built through the panel service: an LWXPanelID
   * that belongs to the host from then on (the module never destroys it), or
   * NULL for no panel. Each call builds a new one. */
  void *(*panel)(void *instance);
} LWToolFuncs;

/* Provided by the host for one activation. The instance belongs to the binding
 * until the host calls tool->done(instance). */
typedef struct st_LWMeshEditTool {
  void *instance;
  LWToolFuncs *tool; /* the host's table; the module writes its slots, never the pointer */
  /* An LWT_TEST_* code; asking changes nothing. */
  int (*test)(void *instance);
  /* Called after test answered LWT_TEST_UPDATE, with a new operation (see
   * MeshEditOp for how long it lives). Returns NULL, or an error text owned by
   * the module (valid while it is loaded) that says the build failed. */
  const char *(*build)(void *instance, struct st_MeshEditOp *op);
  /* The host ends the edit (after test answered LWT_TEST_REJECT, _ACCEPT or
   * _CLONE, or when it closes the edit itself): `keep` is 1 when it keeps the
   * edit's result, 0 when it drops it. */
  void (*end)(void *instance, int keep);
} LWMeshEditTool;

/* ---- Mesh-edit operation ----------------------------------------------- */

enum { EDPF_SELECT = 1 };   /* EDPointInfo.flags bit 0 */
enum { OPLYR_PRIMARY = 0 }; /* layer argument */
enum { EDCOUNT_ALL = 0, EDCOUNT_SELECT = 1 };
enum { EDERR_NONE = 0, EDERR_USERABORT = 4 }; /* any other non-zero: a host failure */

typedef struct st_EDPointInfo {
  LWPntID pnt;
  int flags;
  LWDVector position;
} EDPointInfo;

/* Returns 0 to go on; any other value ends the scan (EDERR_USERABORT when the
 * user aborted). */
typedef int (*EDPointScanFunc)(void *userData, const EDPointInfo *info);

/* One edit, owned by the host and valid during the build call that receives
 * it, until done() or until build returns, whichever comes first. */
typedef struct st_MeshEditOp {
  void *state; /* first argument of every call */
  /* Ends the operation: `error` EDERR_NONE keeps the edit, any other code
   * drops it; `selm` 0 leaves the selection as it is. */
  void (*done)(void *state, int error, int selm);
  /* The number of points in `layer` (OPLYR_*): all of them, or the selected
   * ones only (`mode`, EDCOUNT_*). */
  int (*pointCount)(void *state, int layer, int mode);
  /* Calls scan once per point of the layers, in the host's order; stops at the
   * first non-zero answer, which becomes the result (0 when all went on). */
  int (*pointScan)(void *state, EDPointScanFunc scan, void *userData, int layer);
  /* The record belongs to the host and stays valid until the next call on the
   * same operation; NULL for an ID the host does not know. */
  EDPointInfo *(*pointInfo)(void *state, LWPntID point);
  /* Moves the point; copies the three doubles, so the array need live only for
   * the call. Returns EDERR_NONE or the host's error code. */
  int (*pntMove)(void *state, LWPntID point, const LWDVector pos);
} MeshEditOp;

/* ---- Wire drawing ------------------------------------------------------ */

enum { LWWIRE_SOLID = 0, LWWIRE_DASH = 1 };       /* moveTo line styles */
enum { LWCSYS_WORLD = 0, LWCSYS_RELATIVE = 101 }; /* lineTo/circle coordinate modes */

/* Valid only during the draw callback; points are passed by address and valid
 * only during the call. lineTo draws from the pen and moves it; circle is
 * centred on the pen. */
typedef struct st_LWWireDrawAccess {
  void *data; /* first argument of every call */
  void (*moveTo)(void *data, const LWFVector pos, int lineStyle);
  void (*lineTo)(void *data, const LWFVector pos, int coordSys);
  void (*spline)(void *data, const LWFVector pos, int coordSys);
  void (*circle)(void *data, double radius, int coordSys);
} LWWireDrawAccess;

/* ---- Global services ---------------------------------------------------- */

#define LWMESSAGEFUNCS_GLOBAL "Info Messages 2"
#define LWMONITORFUNCS_GLOBAL "LWM: Dynamic Monitor"
#define LWXPANELFUNCS_GLOBAL "LWXPanel"

/* Each shows a box with a title and a text, read during the call only. */
typedef struct st_LWMessageFuncs {
  void (*info)(const char *title, const char *text);
  void (*error)(const char *title, const char *text);
  void (*warning)(const char *title, const char *text);
} LWMessageFuncs;

/* A progress display: init once with the total, step as work gets done, done
 * when it has ended. */
typedef struct st_LWMonitor {
  void *data; /* first argument of every call */
  void (*init)(void *data, unsigned int total);
  int (*step)(void *data, unsigned int increment); /* non-zero: the user asks to abort */
  void (*done)(void *data);
} LWMonitor;

/* create returns NULL when there is no monitor, which is no failure: the work
 * then runs without progress and cannot be aborted. A monitor belongs to the
 * host and lives until destroy, which its creator calls after done. */
typedef struct st_LWMonitorFuncs {
  LWMonitor *(*create)(const char *title, const char *caption);
  void (*destroy)(LWMonitor *monitor);
} LWMonitorFuncs;

/* ---- Panels ------------------------------------------------------------- */

typedef void *LWXPanelID;
typedef void *LWXPDrAreaID;
typedef intptr_t LWXPanelHint; /* a hint list is an array of words */

enum { LWXP_VIEW = 1, LWXP_FORM = 2 };         /* create() types */
enum { LWXPSET_NONE = 0, LWXPSET_REDRAW = 2 }; /* set() results: nothing changed / redraw the panel */

/* Both tables end with an entry of three zero words. */
typedef struct st_LWXPanelControl {
  uintptr_t id;
  const char *label;
  const char *type;
} LWXPanelControl;

typedef struct st_LWXPanelDataDesc {
  uintptr_t id;
  const char *name;
  const char *type;
} LWXPanelDataDesc;

/* get/set receive the tool instance whose panel callback built the panel.
 * get returns the address of the value, valid while the instance lives, or
 * NULL for an unknown ID; set receives the address of the new value, valid
 * during the call: an int for "integer", a double for "percent" and
 * "distance". set returns an LWXPSET_* code. */
typedef void *(*LWXPanelGetFunc)(void *instance, uintptr_t id);
typedef int (*LWXPanelSetFunc)(void *instance, uintptr_t id, void *value);
/* Button callbacks receive the panel and the button's control ID. */
typedef void (*LWXPanelBtnClickFunc)(LWXPanelID panel, int id);
/* Paints a thumbnail control through the drawf operations; `area` is valid
 * during the call only, and width and height are its size in pixels. */
typedef void (*LWXPanelDrawFunc)(LWXPanelID panel, uintptr_t id, LWXPDrAreaID area, int width, int height);

typedef void (*LWXPReservedFunc)(void);

/* Drawing into an area a LWXPanelDrawFunc receives; owned by the host, valid
 * while the service is. Colours are 0 to 255 a channel; x and y in pixels of
 * the area. */
typedef struct st_LWXPDrawFuncs {
  LWXPReservedFunc reserved0;
  void (*drawRGBPixel)(LWXPDrAreaID area, int r, int g, int b, int x, int y);
  LWXPReservedFunc reserved2;
  LWXPReservedFunc reserved3;
  void (*drawRGBBox)(LWXPDrAreaID area, int r, int g, int b, int x, int y, int w, int h);
  LWXPReservedFunc reserved5;
  int (*textWidth)(LWXPDrAreaID area, const char *text);
  int (*textHeight)(LWXPDrAreaID area, const char *text);
  void (*drawText)(LWXPDrAreaID area, const char *text, int colour, int x, int y);
} LWXPDrawFuncs;

/* Tables and hint lists passed to create/describe/hint need stay valid only
 * during the call: the host copies what it keeps, the items of a choice list
 * included. The texts, value maps and callbacks a list points to stay valid
 * while the panel lives. A panel lives from create until destroy: whoever
 * created it destroys it, unless it hands the panel to the host (the tool's
 * panel callback). */
typedef struct st_LWXPanelFuncs {
  int version;
  LWXPDrawFuncs *drawf;
  LWXPanelID (*create)(int type, const LWXPanelControl *controls); /* NULL: no panel */
  void (*destroy)(LWXPanelID panel);
  void (*describe)(LWXPanelID panel, const LWXPanelDataDesc *data, LWXPanelGetFunc get, LWXPanelSetFunc set);
  void (*hint)(LWXPanelID panel, uintptr_t id, const LWXPanelHint *hints);
  LWXPReservedFunc reserved[6];
  int (*post)(LWXPanelID panel); /* modal; returns when the user closes the panel */
} LWXPanelFuncs;

/* Hint lists: each hint is a tag word followed by its argument words, and the
 * list ends with a single 0 word. The low 7 bits of a tag's low byte count its
 * fixed argument words; bit 7 (0x80) of that byte adds a 0-ended list of
 * control IDs after them, so a host can walk any list without knowing every
 * tag. An ID argument of 0 stands for the panel itself. */
/* clang-format off */
#define LWXPH_ARGC(tag) ((unsigned)((uintptr_t)(tag) & 0x7Fu))
#define LWXPH_HAS_IDLIST(tag) (((uintptr_t)(tag) & 0x80u) != 0)
/* clang-format on */

/* The hint tags the tool sends, with their argument words. */
enum {
  LWXP_HINT_HIDDEN = 0x3D000E01,           /* control ID: not shown */
  LWXP_HINT_TITLE = 0x3D000B03,            /* control ID, text, 0 */
  LWXP_HINT_ENABLE_LINK = 0x3D01F984,      /* controller ID, text or NULL, 0, map or NULL; then IDs */
  LWXP_HINT_CHOICE_ITEMS = 0x3D014503,     /* control ID, NULL-ended array of item texts, 0 */
  LWXP_HINT_MAX = 0x3D014102,              /* control ID, upper bound */
  LWXP_HINT_MIN = 0x3D014002,              /* control ID, lower bound */
  LWXP_HINT_STEP = 0x3D014202,             /* control ID, step */
  LWXP_HINT_BUTTON_LAYOUT = 0x3D021481,    /* control ID; then an ID list */
  LWXP_HINT_BUTTON_CLICK = 0x3D015F02,     /* control ID, LWXPanelBtnClickFunc */
  LWXP_HINT_DRAW_FUNC = 0x3D016502,        /* control ID, LWXPanelDrawFunc */
  LWXP_HINT_PANEL_SETTING = 0x3D02BD01,    /* a panel-wide setting word */
  LWXP_HINT_THUMBNAIL_SETTING = 0x3D017403 /* control ID, two setting words */
};

#ifdef __cplusplus
}
#endif

#endif
