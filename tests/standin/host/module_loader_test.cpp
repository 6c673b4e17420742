// The stand-in host's module loader: what it accepts, what it refuses and
// with which message, and the startup/shutdown pairing.
#include "standin/host/module_loader.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "standin/host/failure.h"

namespace {

using standin::Failure;
using standin::FailureKind;
using standin::LoadedModule;
using testing::HasSubstr;

struct RefusedModule {
  const char *label;
  std::string path;
  FailureKind kind;
  const char *messagePart;
};

class LoaderRefuses : public testing::TestWithParam<RefusedModule> {};

TEST_P(LoaderRefuses, WithItsKindAndAOneLineMessage) {
  const RefusedModule &c = GetParam();
  try {
    LoadedModule::open(c.path);
    FAIL() << c.label << ": loaded";
  } catch (const Failure &error) {
    EXPECT_EQ(error.kind(), c.kind) << error.what();
    EXPECT_THAT(error.what(), HasSubstr(c.messagePart));
    EXPECT_THAT(error.what(), testing::Not(HasSubstr("\n")));
  }
}

INSTANTIATE_TEST_SUITE_P(
    Fixtures, LoaderRefuses,
    testing::Values(
        RefusedModule{"missing", std::string(EP_FIXTURE_NOT_A_MODULE) + ".missing", FailureKind::ModuleMissing,
                      "no such file"},
        RefusedModule{"text file", EP_FIXTURE_NOT_A_MODULE, FailureKind::ModuleNotLoadable,
                      "not a loadable module: "},
        RefusedModule{"no descriptor", EP_FIXTURE_NO_DESCRIPTOR, FailureKind::ModuleNoDescriptor, "_mod_descrip"},
        RefusedModule{"bad sync", EP_FIXTURE_BAD_SYNC, FailureKind::ModuleWrongSync, "0x19940412"},
        RefusedModule{"bad version", EP_FIXTURE_BAD_VERSION, FailureKind::ModuleWrongVersion, "version 2"}),
    [](const testing::TestParamInfo<RefusedModule> &param) {
      std::string name = param.param.label;
      for (char &c : name)
        if (c == ' ') c = '_';
      return name;
    });

// The system's loader searches its own path for a bare file name; the host
// means the file in the working folder.
TEST(Loader, ABareFileNameIsTheFileInTheWorkingFolder) {
  const std::filesystem::path fixture(EP_FIXTURE_NO_DESCRIPTOR);
  const std::filesystem::path before = std::filesystem::current_path();
  std::filesystem::current_path(fixture.parent_path());
  try {
    LoadedModule::open(fixture.filename().string());
    ADD_FAILURE() << "loaded a module without a descriptor";
  } catch (const Failure &error) {
    EXPECT_EQ(error.kind(), FailureKind::ModuleNoDescriptor) << error.what();  // it was loaded
  }
  std::filesystem::current_path(before);
}

// A module built for the other system is called what it is, not described by
// the loader's complaint about its header.
TEST(Loader, AModuleForTheOtherSystemIsNamedAsSuch) {
  const std::filesystem::path folder = std::filesystem::path(EP_TEST_OUTPUT_DIR) / "loader_test";
  std::filesystem::create_directories(folder);
  const std::string file = (folder / "foreign.p").string();
#ifdef _WIN32
  std::string header =
      "\x7f"
      "ELF\x01\x01\x01";
  const char *says = "foreign.p is a Linux shared module; this host runs on Windows";
#else
  std::string header = "MZ\x90";
  const char *says = "foreign.p is a Windows DLL; this host runs on Linux";
#endif
  header.resize(512, '\0');
  std::ofstream(file, std::ios::binary) << header;
  try {
    LoadedModule::open(file);
    ADD_FAILURE() << "loaded";
  } catch (const Failure &error) {
    EXPECT_EQ(error.kind(), FailureKind::ModuleNotLoadable);
    EXPECT_THAT(error.what(), HasSubstr(says));
  }
}

TEST(Loader, FindsServersByClassAndNameAndNamesAMissingClass) {
  LoadedModule module = LoadedModule::open(EP_FIXTURE_TWO_SERVERS);
  ASSERT_EQ(module.servers().size(), 2u);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(module.startupResult()), 4u);
  const ServerRecord *filter = module.findServer("ImageFilter");
  ASSERT_NE(filter, nullptr);
  EXPECT_STREQ(filter->name, "Other_Two");
  EXPECT_EQ(module.findServer("CommandSequence", "Other_Two"), nullptr);
  EXPECT_EQ(module.findServer(LW_MESHEDITTOOL_CLASS), nullptr);
  try {
    module.requireServer();
    FAIL() << "found a MeshEditTool";
  } catch (const Failure &error) {
    EXPECT_EQ(error.kind(), FailureKind::ModuleNoServer);
    EXPECT_THAT(error.what(), HasSubstr("no server of class \"MeshEditTool\""));
  }
}

// A descriptor linked into the test, counting its startup and shutdown calls.
int startups = 0;
std::vector<void *> shutdowns;
void *countingStartup() {
  ++startups;
  return reinterpret_cast<void *>(uintptr_t{0x5a});
}
void countingShutdown(void *result) { shutdowns.push_back(result); }
const ServerRecord noServers[] = {{nullptr, nullptr, nullptr, nullptr}};

TEST(Loader, CallsStartupOnceAndShutdownWithItsResultOnceEvenAfterMoves) {
  startups = 0;
  shutdowns.clear();
  static const ModuleDescriptor descriptor = {LW_MODULE_SYNC,   LW_MODULE_VERSION, LW_MODULE_MACHINE,
                                              &countingStartup, &countingShutdown, noServers};
  {
    LoadedModule first = LoadedModule::linked(&descriptor);
    LoadedModule second = std::move(first);
    LoadedModule third = LoadedModule::linked(&descriptor);
    third = std::move(second);  // ends the module third held
    EXPECT_EQ(startups, 2);
    EXPECT_EQ(shutdowns.size(), 1u);
    EXPECT_TRUE(third.servers().empty());
  }
  EXPECT_EQ(startups, 2);
  ASSERT_EQ(shutdowns.size(), 2u);
  EXPECT_EQ(shutdowns[1], reinterpret_cast<void *>(uintptr_t{0x5a}));
}

TEST(Loader, ALinkedDescriptorWithAWrongSyncIsRefusedBeforeStartup) {
  startups = 0;
  static const ModuleDescriptor descriptor = {0x04121995u,      LW_MODULE_VERSION, LW_MODULE_MACHINE,
                                              &countingStartup, &countingShutdown, noServers};
  EXPECT_THROW(LoadedModule::linked(&descriptor), Failure);
  EXPECT_EQ(startups, 0);
}

}  // namespace
