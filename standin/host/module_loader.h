// Loads a module and holds it for as long as the LoadedModule lives.
//
// Lifetime: open() loads the library, checks the descriptor and calls the
// module's startup once; the destructor calls shutdown with startup's result
// and then unloads. Every pointer handed out (descriptor, server records and
// their texts) points into the module's static data and is valid only while
// the LoadedModule that gave it lives. A ToolSession on one of its servers
// must end before the LoadedModule does.
#pragma once

#include <string>
#include <vector>

#include "host/host_abi.h"

namespace standin {

class LoadedModule {
 public:
  // Loads a module file (dlopen / LoadLibraryA, given the file's absolute
  // path, so a bare name means the file in the working folder). Throws
  // Failure for a missing file, a file the system will not load (naming a
  // Windows DLL on Linux, or a Linux module on Windows, as such), no
  // _mod_descrip, a wrong sync word or descriptor version.
  static LoadedModule open(const std::string &path);

  // Wraps a descriptor linked into this process (tests link the module's code
  // and pass &_mod_descrip). Same checks and startup/shutdown, no unloading.
  static LoadedModule linked(const ModuleDescriptor *descriptor, std::string label = "(linked)");

  LoadedModule(LoadedModule &&other) noexcept;
  LoadedModule &operator=(LoadedModule &&other) noexcept;
  LoadedModule(const LoadedModule &) = delete;
  LoadedModule &operator=(const LoadedModule &) = delete;
  ~LoadedModule();

  const ModuleDescriptor &descriptor() const { return *descriptor_; }
  void *startupResult() const { return startupResult_; }
  const std::string &path() const { return path_; }

  // The server list up to (not including) its terminating record.
  std::vector<const ServerRecord *> servers() const;

  // The first server of class `cls` (and name `name` when given), or nullptr.
  const ServerRecord *findServer(const char *cls, const char *name = nullptr) const;

  // As findServer, but throws Failure(NoServer) naming what was missing.
  const ServerRecord &requireServer(const char *cls = LW_MESHEDITTOOL_CLASS,
                                    const char *name = nullptr) const;

 private:
  LoadedModule(void *library, const ModuleDescriptor *descriptor, std::string path);
  void release() noexcept;

  void *library_ = nullptr;  // dlopen/LoadLibrary handle; null for linked descriptors
  const ModuleDescriptor *descriptor_ = nullptr;
  void *startupResult_ = nullptr;
  bool started_ = false;
  std::string path_;
};

}  // namespace standin
