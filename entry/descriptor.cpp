// The module's one export: the descriptor the host reads after loading, with
// the single server it registers.
#include "entry/activation.h"
#include "host/host_abi.h"
#include "host/texts.h"

#if defined(_WIN32)
#define EP_EXPORT  // exported through cmake/elasticpull.def
#else
#define EP_EXPORT __attribute__((visibility("default")))
#endif

namespace {

// The host only hands it back to shutdown and to every activation.
constexpr uintptr_t kStartupResult = 4;

extern "C" void *startupElasticPull(void) { return reinterpret_cast<void *>(kStartupResult); }

extern "C" void shutdownElasticPull(void *) {}

// The server declares no tags, but the list itself must exist.
const ServerTagInfo kNoTags[] = {{nullptr, 0}};

const ServerRecord kServers[] = {
    {LW_MESHEDITTOOL_CLASS, ep::texts::kServerName, activateElasticPull, kNoTags},
    {nullptr, nullptr, nullptr, nullptr},
};

}  // namespace

extern "C" {
EP_EXPORT extern const ModuleDescriptor _mod_descrip;
const ModuleDescriptor _mod_descrip = {
    LW_MODULE_SYNC, LW_MODULE_VERSION, LW_MODULE_MACHINE, startupElasticPull, shutdownElasticPull, kServers,
};
}
