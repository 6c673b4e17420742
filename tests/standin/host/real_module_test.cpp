// The stand-in host with the real module file: load, activate, one build, close.
#include <gtest/gtest.h>

#include <vector>

#include "standin/host/host_globals.h"
#include "standin/host/mesh.h"
#include "standin/host/module_loader.h"
#include "standin/host/tool_session.h"

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
  mesh.addPoint({0, 0, 0}, true);
  mesh.addPoint({2, 0, 0}, true);
  const std::vector<standin::Position> before = mesh.positions();
  {
    standin::ToolSession session(server, module.startupResult(), globals, mesh);
    ASSERT_EQ(session.activate(), LW_ACTIVATE_OK);
    EXPECT_NE(session.binding().instance, nullptr);
    EXPECT_TRUE(session.moveUpUntouched());
    // A new instance asks for an update; with Factor 1 its build keeps the points.
    session.runCycle();
    ASSERT_EQ(session.edits().builds().size(), 1u);
    EXPECT_FALSE(session.edits().builds()[0].errorText);
    EXPECT_TRUE(session.edits().builds()[0].applied);
    EXPECT_EQ(session.edits().builds()[0].misuse, 0u);
    session.close();
    EXPECT_FALSE(session.live());
  }
  EXPECT_EQ(mesh.positions(), before);
  EXPECT_TRUE(globals.messages().boxes().empty());
}

}  // namespace
