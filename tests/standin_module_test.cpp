// The stand-in host with the real module file: load, activate, close.
#include <gtest/gtest.h>

#include "standin/host_globals.h"
#include "standin/mesh.h"
#include "standin/module_loader.h"
#include "standin/tool_session.h"

namespace {

TEST(RealModule, LoadsActivatesAndClosesThroughTheStandInHost) {
  standin::LoadedModule module = standin::LoadedModule::open(EP_MODULE_PATH);
  EXPECT_EQ(module.descriptor().sysMachine, LW_MODULE_MACHINE);
  EXPECT_EQ(module.startupResult(), reinterpret_cast<void *>(uintptr_t{4}));
  ASSERT_EQ(module.servers().size(), 1u);
  const ServerRecord &server = module.requireServer(LW_MESHEDITTOOL_CLASS, "Elastic_Pull");

  standin::HostGlobals globals;
  globals.messages().setEcho(nullptr);
  standin::Mesh mesh;
  {
    standin::ToolSession session(server, module.startupResult(), globals, mesh);
    ASSERT_EQ(session.activate(), LW_ACTIVATE_OK);
    EXPECT_NE(session.binding().instance, nullptr);
    EXPECT_TRUE(session.moveUpUntouched());
    session.close();
    EXPECT_FALSE(session.live());
  }
  EXPECT_TRUE(globals.messages().boxes().empty());
}

}  // namespace
