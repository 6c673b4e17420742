/*
 * The Modeler's plug-in interface, as far as a MeshEditTool module and a host
 * that loads one need it. Plain C: both the module and the stand-in host
 * include this header, and it includes nothing of theirs.
 *
 * Rules that the types cannot say:
 *  - C linkage, the platform's default C calling convention (cdecl on 32-bit
 *    Windows). Nothing but these records, pointers, int, unsigned int, double,
 *    float and words crosses the interface; no exception ever does.
 *  - A "word" is a pointer-sized integer (uintptr_t / intptr_t). Tables of
 *    IDs, tags and texts are arrays of words.
 *  - Records use the platform's natural alignment; on 32-bit Windows the module
 *    descriptor is 24 bytes and a server record 16 bytes.
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
 * host provides for this activation; `serverData` is the start-up result.
 * Results: see the LW_ACTIVATE_* codes. */
typedef int (*LWActivateFunc)(int version, LWGlobalFunc global, void *local, void *serverData);

enum {
  LW_ACTIVATE_OK = 0,
  LW_ACTIVATE_BAD_VERSION = 1,  /* interface version not supported */
  LW_ACTIVATE_BAD_GLOBAL = 2,   /* a global service is missing */
  LW_ACTIVATE_BAD_LOCAL = 3     /* the server could not start (e.g. no memory) */
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
 * before unloading. */
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
  LWT_EVENT_CTRL = 1,         /* bit 0 of LWToolEvent.flags: CTRL held */
  LWT_EVENT_RIGHT_BUTTON = 8  /* bit 3: the right mouse button */
};

/* Valid only during the callback that receives it. */
typedef struct st_LWToolEvent {
  LWDVector posSnap;   /* mouse position snapped to the grid */
  LWDVector posRaw;    /* mouse position in model space */
  LWDVector deltaSnap;
  LWDVector deltaRaw;
  LWDVector axis;
  int portAxis;
  int flags;           /* LWT_EVENT_* bits; other bits mean nothing to the tool */
} LWToolEvent;

/* test() codes */
enum { LWT_TEST_NOTHING = 0, LWT_TEST_UPDATE = 1, LWT_TEST_ACCEPT = 2, LWT_TEST_REJECT = 3, LWT_TEST_CLONE = 4 };
/* dirty() bits */
enum { LWT_DIRTY_WIREFRAME = 1, LWT_DIRTY_HELPTEXT = 2 };
/* event() codes */
enum { LWT_EVENT_DROP = 0, LWT_EVENT_RESET = 1, LWT_EVENT_ACTIVATE = 2 };

struct st_LWWireDrawAccess;
struct st_MeshEditOp;

/* The host's table; activation fills its slots. A NULL slot means "no such
 * callback". Every callback receives the binding's instance first. */
typedef struct st_LWToolFuncs {
  void (*done)(void *instance);
  void (*draw)(void *instance, struct st_LWWireDrawAccess *access);
  const char *(*help)(void *instance, LWToolEvent *event);  /* text owned by the module */
  int (*dirty)(void *instance);
  int (*count)(void *instance, LWToolEvent *event);
  int (*handle)(void *instance, LWToolEvent *event, int index, LWDVector pos);
  int (*start)(void *instance, LWToolEvent *event);
  int (*adjust)(void *instance, LWToolEvent *event, int index);
  int (*down)(void *instance, LWToolEvent *event);
  void (*move)(void *instance, LWToolEvent *event);
  void (*up)(void *instance, LWToolEvent *event);
  void (*event)(void *instance, int code);
  void *(*panel)(void *instance);  /* an LWXPanelID owned by the host, or NULL */
} LWToolFuncs;

/* Provided by the host for one activation. The instance belongs to the binding
 * until the host calls tool->done(instance). */
typedef struct st_LWMeshEditTool {
  void *instance;
  LWToolFuncs *tool;
  int (*test)(void *instance);
  const char *(*build)(void *instance, struct st_MeshEditOp *op);  /* NULL or an error text */
  void (*end)(void *instance, int keep);
} LWMeshEditTool;

/* ---- Mesh-edit operation ----------------------------------------------- */

enum { EDPF_SELECT = 1 };               /* EDPointInfo.flags bit 0 */
enum { OPLYR_PRIMARY = 0 };             /* layer argument */
enum { EDCOUNT_ALL = 0, EDCOUNT_SELECT = 1 };
enum { EDERR_NONE = 0, EDERR_USERABORT = 4 };  /* any other non-zero: a host failure */

typedef struct st_EDPointInfo {
  LWPntID pnt;
  int flags;
  LWDVector position;
} EDPointInfo;

typedef int (*EDPointScanFunc)(void *userData, const EDPointInfo *info);

/* One edit, valid from the host's build call until done() or until build
 * returns, whichever comes first. */
typedef struct st_MeshEditOp {
  void *state;  /* first argument of every call */
  void (*done)(void *state, int error, int selm);
  int (*pointCount)(void *state, int layer, int mode);
  /* Calls scan once per point of the layers, in the host's order; stops at the
   * first non-zero answer, which becomes the result. */
  int (*pointScan)(void *state, EDPointScanFunc scan, void *userData, int layer);
  /* The record stays valid until the next call on the same operation; NULL for
   * an ID the host does not know. */
  EDPointInfo *(*pointInfo)(void *state, LWPntID point);
  /* Copies the three doubles; the array need live only for the call. */
  int (*pntMove)(void *state, LWPntID point, const LWDVector pos);
} MeshEditOp;

/* ---- Wire drawing ------------------------------------------------------ */

enum { LWWIRE_SOLID = 0, LWWIRE_DASH = 1 };          /* moveTo line styles */
enum { LWCSYS_WORLD = 0, LWCSYS_RELATIVE = 101 };    /* lineTo/circle coordinate modes */

/* Points are passed by address and valid only during the call. */
typedef struct st_LWWireDrawAccess {
  void *data;
  void (*moveTo)(void *data, const LWFVector pos, int lineStyle);
  void (*lineTo)(void *data, const LWFVector pos, int coordSys);
  void (*spline)(void *data, const LWFVector pos, int coordSys);
  void (*circle)(void *data, double radius, int coordSys);
} LWWireDrawAccess;

/* ---- Global services ---------------------------------------------------- */

#define LWMESSAGEFUNCS_GLOBAL "Info Messages 2"
#define LWMONITORFUNCS_GLOBAL "LWM: Dynamic Monitor"
#define LWXPANELFUNCS_GLOBAL "LWXPanel"

/* Texts are read during the call only. */
typedef struct st_LWMessageFuncs {
  void (*info)(const char *title, const char *text);
  void (*error)(const char *title, const char *text);
  void (*warning)(const char *title, const char *text);
} LWMessageFuncs;

typedef struct st_LWMonitor {
  void *data;
  void (*init)(void *data, unsigned int total);
  int (*step)(void *data, unsigned int increment);  /* non-zero: the user asks to abort */
  void (*done)(void *data);
} LWMonitor;

/* create returns NULL when there is no monitor; a monitor lives until destroy. */
typedef struct st_LWMonitorFuncs {
  LWMonitor *(*create)(const char *title, const char *caption);
  void (*destroy)(LWMonitor *monitor);
} LWMonitorFuncs;

/* ---- Panels ------------------------------------------------------------- */

typedef void *LWXPanelID;
typedef void *LWXPDrAreaID;
typedef intptr_t LWXPanelHint;  /* a hint list is an array of words */

enum { LWXP_VIEW = 1, LWXP_FORM = 2 };  /* create() types */
enum { LWXPSET_NONE = 0, LWXPSET_REDRAW = 2 };  /* set() results */

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
 * get returns the address of the value; set receives the address of the new
 * value: an int for "integer", a double for "percent" and "distance". */
typedef void *(*LWXPanelGetFunc)(void *instance, uintptr_t id);
typedef int (*LWXPanelSetFunc)(void *instance, uintptr_t id, void *value);
typedef void (*LWXPanelBtnClickFunc)(LWXPanelID panel, int id);
typedef void (*LWXPanelDrawFunc)(LWXPanelID panel, uintptr_t id, LWXPDrAreaID area, int width, int height);

typedef void (*LWXPReservedFunc)(void);

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
 * during the call: the host copies what it keeps. */
typedef struct st_LWXPanelFuncs {
  int version;
  LWXPDrawFuncs *drawf;
  LWXPanelID (*create)(int type, const LWXPanelControl *controls);
  void (*destroy)(LWXPanelID panel);
  void (*describe)(LWXPanelID panel, const LWXPanelDataDesc *data, LWXPanelGetFunc get, LWXPanelSetFunc set);
  void (*hint)(LWXPanelID panel, uintptr_t id, const LWXPanelHint *hints);
  LWXPReservedFunc reserved[6];
  int (*post)(LWXPanelID panel);  /* modal; returns when the user closes the panel */
} LWXPanelFuncs;

/* Hint words: the low 7 bits of a tag's low byte count its fixed argument
 * words; bit 7 (0x80) of that byte adds a 0-ended list of control IDs. */
#define LWXPH_ARGC(tag) ((unsigned)((uintptr_t)(tag) & 0x7Fu))
#define LWXPH_HAS_IDLIST(tag) (((uintptr_t)(tag) & 0x80u) != 0)

#ifdef __cplusplus
}
#endif

#endif
