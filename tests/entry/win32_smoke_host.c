/*
 * A minimal Windows host for the shipping DLL, run under Wine by the tests:
 * it loads elasticpull.p with LoadLibrary, reads `_mod_descrip` through
 * GetProcAddress, checks the descriptor and the server, activates the tool
 * with its own `global` and binding, and unloads it in the order a host does.
 * It knows nothing of the module but host/host_abi.h.
 *
 *   smoke_host [PATH-TO-elasticpull.p]
 *
 * Exit code 0 only when every step went as a host expects.
 */
#include <windows.h>

#include <stdint.h>
#include <stdio.h>
#include <string.h>

#include "host/host_abi.h"

static int failures = 0;

static void check(int ok, const char *what) {
  if (!ok) {
    printf("FAILED: %s\n", what);
    ++failures;
  }
}

/* A function pointer printed as the word that holds it. */
static uintptr_t wordOfFunction(void (*f)(void)) {
  uintptr_t word = 0;
  memcpy(&word, &f, sizeof word);
  return word;
}

/* ---- The host's services: present, and quiet ---------------------------- */

static void showInfo(const char *title, const char *text) { printf("info: %s: %s\n", title, text); }
static void showError(const char *title, const char *text) { printf("error: %s: %s\n", title, text); }
static void showWarning(const char *title, const char *text) { printf("warning: %s: %s\n", title, text); }
static LWMessageFuncs messageFuncs = {showInfo, showError, showWarning};

static LWMonitor *createMonitor(const char *title, const char *caption) {
  (void)title;
  (void)caption;
  return NULL; /* "no monitor" is a valid answer */
}
static void destroyMonitor(LWMonitor *monitor) { (void)monitor; }
static LWMonitorFuncs monitorFuncs = {createMonitor, destroyMonitor};

static LWXPanelID createPanel(int type, const LWXPanelControl *controls) {
  (void)type;
  (void)controls;
  return NULL;
}
static void destroyPanel(LWXPanelID panel) { (void)panel; }
static void describePanel(LWXPanelID panel, const LWXPanelDataDesc *data, LWXPanelGetFunc get,
                          LWXPanelSetFunc set) {
  (void)panel;
  (void)data;
  (void)get;
  (void)set;
}
static void hintPanel(LWXPanelID panel, uintptr_t id, const LWXPanelHint *hints) {
  (void)panel;
  (void)id;
  (void)hints;
}
static int postPanel(LWXPanelID panel) {
  (void)panel;
  return 0;
}
static LWXPDrawFuncs drawFuncs; /* all slots NULL: nothing is drawn here */
static LWXPanelFuncs panelFuncs = {1,         &drawFuncs, createPanel, destroyPanel, describePanel,
                                   hintPanel, {NULL},     postPanel};

static int lookups = 0;

static void *global(const char *name, int use) {
  ++lookups;
  printf("global(\"%s\", %d)\n", name, use);
  if (strcmp(name, LWMESSAGEFUNCS_GLOBAL) == 0) return &messageFuncs;
  if (strcmp(name, LWMONITORFUNCS_GLOBAL) == 0) return &monitorFuncs;
  if (strcmp(name, LWXPANELFUNCS_GLOBAL) == 0) return &panelFuncs;
  return NULL;
}

/* ---- Loading and driving the module ------------------------------------ */

static const ServerRecord *findServer(const ServerRecord *servers) {
  const ServerRecord *found = NULL;
  int index = 0;
  for (const ServerRecord *s = servers;; ++s, ++index) {
    if (s->className == NULL && s->name == NULL && s->activate == NULL && s->tagInfo == NULL) break;
    if (index >= 64) {
      check(0, "server list ends with four zero words");
      break;
    }
    printf("server %d: class \"%s\", name \"%s\"\n", index, s->className ? s->className : "(null)",
           s->name ? s->name : "(null)");
    if (s->className && strcmp(s->className, LW_MESHEDITTOOL_CLASS) == 0) found = s;
  }
  return found;
}

static void activateAndClose(const ServerRecord *server, void *startResult) {
  LWToolFuncs funcs;
  LWMeshEditTool local;
  memset(&funcs, 0, sizeof funcs);
  memset(&local, 0, sizeof local);
  local.tool = &funcs;

  /* A version the module does not speak: refused before any lookup. */
  int result = server->activate(5, global, &local, startResult);
  printf("activate(5) = %d\n", result);
  check(result == LW_ACTIVATE_BAD_VERSION, "activation with version 5 answers 1");
  check(lookups == 0, "a refused version looks up no service");

  result = server->activate(LW_MESHEDITTOOL_VERSION, global, &local, startResult);
  printf("activate(%d) = %d\n", LW_MESHEDITTOOL_VERSION, result);
  check(result == LW_ACTIVATE_OK, "activation with version 4 answers 0");
  check(lookups == 3, "activation looks up three services");
  check(local.instance != NULL, "activation sets the instance");
  check(funcs.done != NULL, "activation binds done");
  check(local.build != NULL, "activation binds build");
  if (result == LW_ACTIVATE_OK && funcs.done != NULL) {
    funcs.done(local.instance);
    printf("done(instance) called\n");
  }
}

int main(int argc, char **argv) {
  const char *path = argc > 1 ? argv[1] : "elasticpull.p";
  HMODULE module = LoadLibraryA(path);
  if (module == NULL) {
    printf("FAILED: LoadLibrary(\"%s\"): error %lu\n", path, (unsigned long)GetLastError());
    return 1;
  }
  printf("loaded %s\n", path);

  /* GetProcAddress hands out data exports as a FARPROC too. */
  FARPROC symbol = GetProcAddress(module, "_mod_descrip");
  if (symbol == NULL) {
    printf("FAILED: GetProcAddress(\"_mod_descrip\"): error %lu\n", (unsigned long)GetLastError());
    FreeLibrary(module);
    return 1;
  }
  const ModuleDescriptor *descriptor = NULL;
  memcpy(&descriptor, &symbol, sizeof descriptor);

  printf("_mod_descrip (%u bytes):\n", (unsigned)sizeof *descriptor);
  printf("  sysSync    0x%08lx\n", (unsigned long)descriptor->sysSync);
  printf("  sysVersion %lu\n", (unsigned long)descriptor->sysVersion);
  printf("  sysMachine 0x%lx\n", (unsigned long)descriptor->sysMachine);
  printf("  startup    0x%08lx\n", (unsigned long)wordOfFunction((void (*)(void))descriptor->startup));
  printf("  shutdown   0x%08lx\n", (unsigned long)wordOfFunction((void (*)(void))descriptor->shutdown));
  printf("  serverDefs 0x%08lx\n", (unsigned long)(uintptr_t)descriptor->serverDefs);
  check(descriptor->sysSync == LW_MODULE_SYNC, "sync word is 0x04121994");
  check(descriptor->sysVersion == LW_MODULE_VERSION, "descriptor version is 3");
  check(descriptor->sysMachine == LW_MODULE_MACHINE, "machine word is 0x300");
  check(descriptor->startup != NULL && descriptor->shutdown != NULL && descriptor->serverDefs != NULL,
        "startup, shutdown and server list are set");

  if (failures == 0) {
    void *startResult = descriptor->startup();
    printf("startup() = %lu\n", (unsigned long)(uintptr_t)startResult);
    check(startResult == (void *)(uintptr_t)4, "startup returns 4");

    const ServerRecord *server = findServer(descriptor->serverDefs);
    check(server != NULL, "a server of class MeshEditTool is listed");
    if (server != NULL) {
      check(strcmp(server->name, "Elastic_Pull") == 0, "the server is named Elastic_Pull");
      check(server->tagInfo != NULL, "the server has a tag list");
      check(server->activate != NULL, "the server has an activation routine");
      if (server->activate != NULL) activateAndClose(server, startResult);
    }
    descriptor->shutdown(startResult);
    printf("shutdown() called\n");
  }

  check(FreeLibrary(module) != 0, "FreeLibrary succeeds");
  printf("smoke_host: %s (%d failure%s)\n", failures == 0 ? "ok" : "FAILED", failures, failures == 1 ? "" : "s");
  return failures == 0 ? 0 : 1;
}
