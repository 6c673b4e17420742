// The module's face to a host: descriptor, server list, start-up, and the
// activation routine's lookups, results and bindings, seen through the
// stand-in host's globals.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "engine/allocation.h"
#include "engine/tool_state.h"
#include "host/host_abi.h"
#include "host/services.h"
#include "panels/options_panel.h"
#include "standin/host/edit_operation.h"
#include "standin/host/host_globals.h"
#include "standin/host/module_loader.h"
#include "tests/entry/host_binding.h"

extern "C" const ModuleDescriptor _mod_descrip;

namespace {

using standin::HostGlobals;

using ep::testing::Binding;
using ep::testing::hostMove;
using ep::testing::hostUp;

class Activation : public ::testing::Test {
 protected:
  void SetUp() override { globals_.messages().setEcho(nullptr); }
  int activate(int version, Binding &b) {
    return server_.activate(version, HostGlobals::global, &b.tool, module_.startupResult());
  }
  HostGlobals globals_;
  standin::LoadedModule module_ = standin::LoadedModule::linked(&_mod_descrip);
  const ServerRecord &server_ = module_.requireServer(LW_MESHEDITTOOL_CLASS, "Elastic_Pull");
};

TEST(Descriptor, HoldsTheSixWordsAndOneServerWithAnEmptyTagList) {
  EXPECT_EQ(_mod_descrip.sysSync, 0x04121994u);
  EXPECT_EQ(_mod_descrip.sysVersion, 3u);
  EXPECT_EQ(_mod_descrip.sysMachine, 0x300u);
  const ServerRecord *servers = _mod_descrip.serverDefs;
  ASSERT_NE(servers, nullptr);
  EXPECT_STREQ(servers[0].className, "MeshEditTool");
  EXPECT_STREQ(servers[0].name, "Elastic_Pull");
  EXPECT_NE(servers[0].activate, nullptr);
  ASSERT_NE(servers[0].tagInfo, nullptr);
  EXPECT_EQ(servers[0].tagInfo[0].string, nullptr);
  EXPECT_EQ(servers[0].tagInfo[0].tag, 0u);
  const ServerRecord zero{};
  EXPECT_EQ(std::memcmp(&servers[1], &zero, sizeof zero), 0) << "the list must end with four zero words";
}

TEST(Descriptor, StartupAnswersFourEveryTime) {
  for (int i = 0; i < 3; ++i) EXPECT_EQ(reinterpret_cast<uintptr_t>(_mod_descrip.startup()), 4u);
  _mod_descrip.shutdown(_mod_descrip.startup());
}

TEST_F(Activation, WrongInterfaceVersionLooksNothingUp) {
  for (int version : {3, 5, 0, -4}) {
    Binding b;
    EXPECT_EQ(activate(version, b), 1) << "version " << version;
    EXPECT_EQ(b.tool.instance, nullptr);
    EXPECT_EQ(b.funcs.done, nullptr);
  }
  EXPECT_TRUE(globals_.lookups().empty());
}

TEST_F(Activation, MissingServiceStopsTheLookupsThereAndKeepsEveryServicePointer) {
  struct Case {
    const char *missing;
    std::vector<std::string> expectedLookups;
  };
  const Case cases[] = {
      {"LWM: Dynamic Monitor", {"LWM: Dynamic Monitor"}},
      {"Info Messages 2", {"LWM: Dynamic Monitor", "Info Messages 2"}},
      {"LWXPanel", {"LWM: Dynamic Monitor", "Info Messages 2", "LWXPanel"}},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.missing);
    globals_.clearLookups();
    globals_.withhold(c.missing);
    Binding b;
    EXPECT_EQ(activate(4, b), 2);
    EXPECT_EQ(globals_.lookups(), c.expectedLookups);
    EXPECT_EQ(b.tool.instance, nullptr);
    EXPECT_EQ(b.funcs.done, nullptr);
    globals_.withhold(c.missing, false);
  }
}

// A failed activation must leave the services of the instances that live: the
// one made before it, and the one made after it, both keep working.
class ActivationAmongLiveInstances : public Activation {
 protected:
  void expectServices() {
    ASSERT_EQ(ep::monitorService, globals_.monitors().funcs());
    ASSERT_EQ(ep::messageService, globals_.messages().funcs());
    ASSERT_EQ(ep::panelService, globals_.panels().funcs());
  }
  // Builds (a warning box and a monitor), builds the options panel and shows
  // the About panel through the instance's callbacks.
  void expectWorks(Binding &b) {
    globals_.messages().clear();
    standin::Mesh mesh;
    mesh.addPoint({0, 0, 0}, true);
    standin::EditOperation op(mesh, {});
    EXPECT_STREQ(b.tool.build(b.tool.instance, op.op()), "Failed");
    EXPECT_EQ(globals_.messages().boxes().size(), 1u);
    mesh.addPoint({1, 0, 0}, true);
    standin::EditOperation second(mesh, {});
    b.funcs.event(b.tool.instance, LWT_EVENT_ACTIVATE);
    EXPECT_EQ(b.tool.build(b.tool.instance, second.op()), nullptr);
    EXPECT_NE(b.funcs.panel(b.tool.instance), nullptr);
    onAbout(nullptr, 0x8007);
  }
  void failOnce(const char *missing) {
    globals_.withhold(missing);
    Binding failed;
    EXPECT_EQ(activate(4, failed), 2);
    globals_.withhold(missing, false);
  }
};

TEST_F(ActivationAmongLiveInstances, ALiveInstanceKeepsWorkingAfterAFailedActivation) {
  for (const char *missing : {"LWM: Dynamic Monitor", "Info Messages 2", "LWXPanel"}) {
    SCOPED_TRACE(missing);
    Binding live;
    ASSERT_EQ(activate(4, live), 0);
    failOnce(missing);
    expectServices();
    if (HasFatalFailure()) return;  // going on would call through a null service
    expectWorks(live);
  }
}

TEST_F(ActivationAmongLiveInstances, AFailedActivationBeforeAnyOtherStoresNothing) {
  for (const char *missing : {"LWM: Dynamic Monitor", "Info Messages 2", "LWXPanel"}) {
    SCOPED_TRACE(missing);
    // As the module stands right after loading: no service yet.
    ep::monitorService = nullptr;
    ep::messageService = nullptr;
    ep::panelService = nullptr;
    failOnce(missing);
    EXPECT_EQ(ep::monitorService, nullptr);
    EXPECT_EQ(ep::messageService, nullptr);
    EXPECT_EQ(ep::panelService, nullptr);
    Binding next;
    ASSERT_EQ(activate(4, next), 0);
    expectServices();
    if (HasFatalFailure()) return;
    expectWorks(next);
  }
}

TEST_F(Activation, SuccessFillsEverySlotButMoveAndUp) {
  Binding b;
  ASSERT_EQ(activate(4, b), 0);
  EXPECT_EQ(globals_.lookups(),
            (std::vector<std::string>{"LWM: Dynamic Monitor", "Info Messages 2", "LWXPanel"}));
  EXPECT_NE(b.tool.instance, nullptr);
  EXPECT_NE(b.tool.test, nullptr);
  EXPECT_NE(b.tool.build, nullptr);
  EXPECT_NE(b.tool.end, nullptr);
  const LWToolFuncs &f = b.funcs;
  for (const void *slot : {reinterpret_cast<const void *>(f.done), reinterpret_cast<const void *>(f.draw),
                           reinterpret_cast<const void *>(f.help), reinterpret_cast<const void *>(f.dirty),
                           reinterpret_cast<const void *>(f.count), reinterpret_cast<const void *>(f.handle),
                           reinterpret_cast<const void *>(f.start), reinterpret_cast<const void *>(f.adjust),
                           reinterpret_cast<const void *>(f.down), reinterpret_cast<const void *>(f.event),
                           reinterpret_cast<const void *>(f.panel)}) {
    EXPECT_NE(slot, nullptr);
  }
  EXPECT_EQ(f.move, hostMove);
  EXPECT_EQ(f.up, hostUp);
  EXPECT_EQ(ep::monitorService, globals_.monitors().funcs());
  EXPECT_EQ(ep::messageService, globals_.messages().funcs());
  EXPECT_EQ(ep::panelService, globals_.panels().funcs());
}

TEST_F(Activation, EachActivationGetsItsOwnInstanceFromTheTemplate) {
  Binding first, second;
  ASSERT_EQ(activate(4, first), 0);
  ASSERT_EQ(activate(4, second), 0);
  ASSERT_NE(first.tool.instance, second.tool.instance);
  EXPECT_EQ(ep::currentTool, second.tool.instance);
  for (void *instance : {first.tool.instance, second.tool.instance}) {
    const auto &s = *static_cast<ep::StretchToolState *>(instance);
    EXPECT_EQ(s.mode, 0);
    EXPECT_EQ(s.factor, 1.0);
    EXPECT_EQ(s.offset, 0.0);
    EXPECT_EQ(s.symmetry, 0);
    EXPECT_EQ(s.pointCount, 0);
    EXPECT_EQ(s.activeHandle, ep::kNoHandle);
    EXPECT_EQ(s.scanCount, 0);
    EXPECT_EQ(s.testResult, LWT_TEST_UPDATE);
    EXPECT_EQ(s.active, 1);
    EXPECT_EQ(s.drawState, ep::kDrawNothing);
    EXPECT_EQ(s.updateAll, ep::kUpdateResetOrDrag);
    EXPECT_EQ(s.allHandles, 0);
    EXPECT_EQ(s.positions, nullptr);
    EXPECT_EQ(s.pointIds, nullptr);
    EXPECT_EQ(s.inverted, nullptr);
    EXPECT_EQ(s.handleVectors, nullptr);
  }
}

TEST_F(Activation, NoMemoryForTheInstanceLeavesTheBindingUntouched) {
  Binding ok;
  ASSERT_EQ(activate(4, ok), 0);
  void *const newest = ep::currentTool;

  Binding b;
  b.tool.test = reinterpret_cast<int (*)(void *)>(0x1);  // whatever the host put there stays
  ep::testing::failAllocationNumber(1);
  EXPECT_EQ(activate(4, b), 3);
  ep::testing::failAllocationNumber(0);
  EXPECT_EQ(b.tool.instance, nullptr);
  EXPECT_EQ(reinterpret_cast<void *>(b.tool.test), reinterpret_cast<void *>(0x1));
  EXPECT_EQ(b.tool.build, nullptr);
  EXPECT_EQ(b.funcs.done, nullptr);
  EXPECT_EQ(b.funcs.move, hostMove);
  EXPECT_EQ(ep::currentTool, newest) << "a failed creation must not change the newest instance";
  b.tool.test = nullptr;
}

}  // namespace
