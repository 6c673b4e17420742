// The host records must have the host's layout to the byte in every build: a
// module whose descriptor or callback table is a word off loads fine and then
// calls the wrong function. Each record is pinned twice: at compile time for
// the word size being built, and at run time, where a failure names the
// record and field, and where the C compiler's view of the header is compared
// with the C++ compiler's (the header is read by both).
#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <iterator>
#include <string>

#include "host/host_abi.h"
#include "tests/host/abi_layout_c.h"

namespace {

constexpr bool kWord32 = sizeof(void *) == 4;

static_assert(sizeof(void *) == 4 || sizeof(void *) == 8, "builds are 32-bit or 64-bit");
static_assert(sizeof(int) == 4 && sizeof(unsigned int) == 4, "int is 32 bits on every target");
static_assert(sizeof(uintptr_t) == sizeof(void *) && sizeof(intptr_t) == sizeof(void *),
              "a word is a pointer");

// The shipping target's sizes (32-bit Windows; the -m32 build has the same).
#if UINTPTR_MAX == 0xFFFFFFFFu
static_assert(sizeof(uintptr_t) == 4);
static_assert(sizeof(ModuleDescriptor) == 24);
static_assert(sizeof(ServerRecord) == 16);
static_assert(sizeof(ServerTagInfo) == 8);
static_assert(offsetof(ModuleDescriptor, startup) == 12);
static_assert(offsetof(ModuleDescriptor, serverDefs) == 20);
static_assert(offsetof(ServerRecord, tagInfo) == 12);
static_assert(offsetof(ServerTagInfo, tag) == 4);
#else
static_assert(sizeof(uintptr_t) == 8);
static_assert(sizeof(ModuleDescriptor) == 40);
static_assert(sizeof(ServerRecord) == 32);
static_assert(sizeof(ServerTagInfo) == 16);
static_assert(offsetof(ModuleDescriptor, startup) == 16);
static_assert(offsetof(ModuleDescriptor, serverDefs) == 32);
static_assert(offsetof(ServerRecord, tagInfo) == 24);
static_assert(offsetof(ServerTagInfo, tag) == 8);
#endif

struct Expected {
  const char *what;
  size_t actual;
  size_t on32;
  size_t on64;
};

// Sizes and the offsets of the fields that sit after padding or at the end of
// long callback tables, where a missing or swapped slot shows first.
const Expected kLayout[] = {
    {"sizeof(uintptr_t)", sizeof(uintptr_t), 4, 8},
    {"sizeof(ModuleDescriptor)", sizeof(ModuleDescriptor), 24, 40},
    {"ModuleDescriptor.sysMachine", offsetof(ModuleDescriptor, sysMachine), 8, 8},
    {"ModuleDescriptor.startup", offsetof(ModuleDescriptor, startup), 12, 16},
    {"ModuleDescriptor.shutdown", offsetof(ModuleDescriptor, shutdown), 16, 24},
    {"ModuleDescriptor.serverDefs", offsetof(ModuleDescriptor, serverDefs), 20, 32},
    {"sizeof(ServerRecord)", sizeof(ServerRecord), 16, 32},
    {"ServerRecord.activate", offsetof(ServerRecord, activate), 8, 16},
    {"ServerRecord.tagInfo", offsetof(ServerRecord, tagInfo), 12, 24},
    {"sizeof(ServerTagInfo)", sizeof(ServerTagInfo), 8, 16},
    {"ServerTagInfo.tag", offsetof(ServerTagInfo, tag), 4, 8},
    {"sizeof(LWToolEvent)", sizeof(LWToolEvent), 128, 128},
    {"LWToolEvent.portAxis", offsetof(LWToolEvent, portAxis), 120, 120},
    {"LWToolEvent.flags", offsetof(LWToolEvent, flags), 124, 124},
    {"sizeof(LWToolFuncs)", sizeof(LWToolFuncs), 13 * 4, 13 * 8},
    {"LWToolFuncs.adjust", offsetof(LWToolFuncs, adjust), 7 * 4, 7 * 8},
    {"LWToolFuncs.panel", offsetof(LWToolFuncs, panel), 12 * 4, 12 * 8},
    {"sizeof(LWMeshEditTool)", sizeof(LWMeshEditTool), 5 * 4, 5 * 8},
    {"LWMeshEditTool.end", offsetof(LWMeshEditTool, end), 4 * 4, 4 * 8},
    {"sizeof(EDPointInfo)", sizeof(EDPointInfo), 32, 40},
    {"EDPointInfo.position", offsetof(EDPointInfo, position), 8, 16},
    {"sizeof(MeshEditOp)", sizeof(MeshEditOp), 6 * 4, 6 * 8},
    {"MeshEditOp.pntMove", offsetof(MeshEditOp, pntMove), 5 * 4, 5 * 8},
    {"sizeof(LWWireDrawAccess)", sizeof(LWWireDrawAccess), 5 * 4, 5 * 8},
    {"LWWireDrawAccess.circle", offsetof(LWWireDrawAccess, circle), 4 * 4, 4 * 8},
    {"sizeof(LWMessageFuncs)", sizeof(LWMessageFuncs), 3 * 4, 3 * 8},
    {"sizeof(LWMonitor)", sizeof(LWMonitor), 4 * 4, 4 * 8},
    {"sizeof(LWMonitorFuncs)", sizeof(LWMonitorFuncs), 2 * 4, 2 * 8},
    {"sizeof(LWXPanelControl)", sizeof(LWXPanelControl), 3 * 4, 3 * 8},
    {"sizeof(LWXPanelDataDesc)", sizeof(LWXPanelDataDesc), 3 * 4, 3 * 8},
    {"sizeof(LWXPDrawFuncs)", sizeof(LWXPDrawFuncs), 9 * 4, 9 * 8},
    {"LWXPDrawFuncs.drawText", offsetof(LWXPDrawFuncs, drawText), 8 * 4, 8 * 8},
    // version is an int; on 64-bit the pointer after it starts at 8.
    {"LWXPanelFuncs.drawf", offsetof(LWXPanelFuncs, drawf), 4, 8},
    {"LWXPanelFuncs.hint", offsetof(LWXPanelFuncs, hint), 5 * 4, 5 * 8},
    {"LWXPanelFuncs.post", offsetof(LWXPanelFuncs, post), 12 * 4, 12 * 8},
    {"sizeof(LWXPanelFuncs)", sizeof(LWXPanelFuncs), 13 * 4, 13 * 8},
};

TEST(HostRecordLayout, MatchesTheHostForThisWordSize) {
  std::cout << "word size " << sizeof(void *) << " bytes; checking the " << (kWord32 ? "32-bit" : "64-bit") << " layout\n";
  for (const Expected &e : kLayout) {
    const size_t want = kWord32 ? e.on32 : e.on64;
    EXPECT_EQ(e.actual, want) << e.what;
  }
}

// The numbers the shipping target is known by, reported as well as checked.
TEST(HostRecordLayout, ShippingSizesOnThirtyTwoBitBuilds) {
  if constexpr (!kWord32) {
    GTEST_SKIP() << "64-bit build: descriptor " << sizeof(ModuleDescriptor) << ", server record "
                 << sizeof(ServerRecord) << ", tag entry " << sizeof(ServerTagInfo) << " bytes";
  } else {
    std::cout << "descriptor " << sizeof(ModuleDescriptor) << ", server record " << sizeof(ServerRecord)
              << ", tag entry " << sizeof(ServerTagInfo) << ", word " << sizeof(uintptr_t) << " bytes\n";
    EXPECT_EQ(sizeof(ModuleDescriptor), 24u);
    EXPECT_EQ(sizeof(ServerRecord), 16u);
    EXPECT_EQ(sizeof(ServerTagInfo), 8u);
    EXPECT_EQ(sizeof(uintptr_t), 4u);
  }
}

// A plain-C host reads the same header; its compiler must agree field by field.
TEST(HostRecordLayout, CAndCppCompilersAgree) {
  const EpAbiLayoutC c = epAbiLayoutC();
  const Expected kFromC[] = {
      {"sizeof(ModuleDescriptor)", c.moduleDescriptor, sizeof(ModuleDescriptor), 0},
      {"ModuleDescriptor.serverDefs", c.descriptorServerDefs, offsetof(ModuleDescriptor, serverDefs), 0},
      {"sizeof(ServerRecord)", c.serverRecord, sizeof(ServerRecord), 0},
      {"sizeof(ServerTagInfo)", c.serverTagInfo, sizeof(ServerTagInfo), 0},
      {"sizeof(LWToolEvent)", c.toolEvent, sizeof(LWToolEvent), 0},
      {"sizeof(LWToolFuncs)", c.toolFuncs, sizeof(LWToolFuncs), 0},
      {"sizeof(LWMeshEditTool)", c.meshEditTool, sizeof(LWMeshEditTool), 0},
      {"sizeof(EDPointInfo)", c.pointInfo, sizeof(EDPointInfo), 0},
      {"EDPointInfo.position", c.pointInfoPosition, offsetof(EDPointInfo, position), 0},
      {"sizeof(MeshEditOp)", c.meshEditOp, sizeof(MeshEditOp), 0},
      {"sizeof(LWXPanelFuncs)", c.panelFuncs, sizeof(LWXPanelFuncs), 0},
      {"LWXPanelFuncs.post", c.panelFuncsPost, offsetof(LWXPanelFuncs, post), 0},
  };
  for (const Expected &e : kFromC) EXPECT_EQ(e.actual, e.on32) << e.what << " (C vs C++)";
}

// Every hint tag's low byte must count the argument words its hints carry, or
// a host walking the list loses step at that hint. Both compilers must agree
// on the values a C host would send or read.
TEST(HostHintTags, CountTheirArgumentWordsAndMatchInC) {
  struct Tag {
    const char *name;
    long tag;
    unsigned long word;
    unsigned argc;
    bool idList;
  };
  const Tag kTags[] = {
      {"LWXP_HINT_HIDDEN", LWXP_HINT_HIDDEN, 0x3D000E01, 1, false},
      {"LWXP_HINT_TITLE", LWXP_HINT_TITLE, 0x3D000B03, 3, false},
      {"LWXP_HINT_ENABLE_LINK", LWXP_HINT_ENABLE_LINK, 0x3D01F984, 4, true},
      {"LWXP_HINT_CHOICE_ITEMS", LWXP_HINT_CHOICE_ITEMS, 0x3D014503, 3, false},
      {"LWXP_HINT_MAX", LWXP_HINT_MAX, 0x3D014102, 2, false},
      {"LWXP_HINT_MIN", LWXP_HINT_MIN, 0x3D014002, 2, false},
      {"LWXP_HINT_STEP", LWXP_HINT_STEP, 0x3D014202, 2, false},
      {"LWXP_HINT_BUTTON_LAYOUT", LWXP_HINT_BUTTON_LAYOUT, 0x3D021481, 1, true},
      {"LWXP_HINT_BUTTON_CLICK", LWXP_HINT_BUTTON_CLICK, 0x3D015F02, 2, false},
      {"LWXP_HINT_DRAW_FUNC", LWXP_HINT_DRAW_FUNC, 0x3D016502, 2, false},
      {"LWXP_HINT_PANEL_SETTING", LWXP_HINT_PANEL_SETTING, 0x3D02BD01, 1, false},
      {"LWXP_HINT_THUMBNAIL_SETTING", LWXP_HINT_THUMBNAIL_SETTING, 0x3D017403, 3, false},
  };
  size_t countC = 0;
  const long *tagsC = epHintTagsC(&countC);
  ASSERT_EQ(countC, std::size(kTags));
  for (size_t i = 0; i < std::size(kTags); ++i) {
    const Tag &t = kTags[i];
    EXPECT_EQ(static_cast<unsigned long>(t.tag), t.word) << t.name;
    EXPECT_EQ(LWXPH_ARGC(t.tag), t.argc) << t.name;
    EXPECT_EQ(LWXPH_HAS_IDLIST(t.tag), t.idList) << t.name;
    EXPECT_EQ(tagsC[i], t.tag) << t.name << " (C vs C++)";
  }
}

}  // namespace
