#include "standin/host/module_loader.h"

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <utility>

#include "standin/host/failure.h"
#include "standin/host/number_text.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace standin {

namespace {

#ifdef _WIN32
std::string lastSystemError() {
  DWORD code = GetLastError();
  char *text = nullptr;
  DWORD length = FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
      code, 0, reinterpret_cast<char *>(&text), 0, nullptr);
  std::string message =
      length != 0 && text != nullptr ? std::string(text, length) : "error " + std::to_string(code);
  if (text != nullptr) LocalFree(text);
  while (!message.empty() && (message.back() == '\n' || message.back() == '\r' || message.back() == ' '))
    message.pop_back();
  return message;
}

void *loadLibrary(const std::string &path, std::string &error) {
  HMODULE module = LoadLibraryA(path.c_str());
  if (module == nullptr) error = lastSystemError();
  return reinterpret_cast<void *>(module);
}

const void *findSymbol(void *library, const char *name) {
  FARPROC proc = GetProcAddress(static_cast<HMODULE>(library), name);
  const void *address = nullptr;
  static_assert(sizeof proc == sizeof address);
  std::memcpy(&address, &proc, sizeof address);  // the export is data, not code
  return address;
}

void unloadLibrary(void *library) { FreeLibrary(static_cast<HMODULE>(library)); }
#else
void *loadLibrary(const std::string &path, std::string &error) {
  void *handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) {
    const char *text = dlerror();
    error = text != nullptr ? text : "unknown loader error";
  }
  return handle;
}

const void *findSymbol(void *library, const char *name) {
  dlerror();
  return dlsym(library, name);
}

void unloadLibrary(void *library) { dlclose(library); }
#endif

// Why a file the system refused is not a module for this host, when its
// first bytes say it is one built for the other system; empty otherwise.
std::string builtForAnotherSystem(const std::string &path) {
  char magic[4] = {};
  std::FILE *file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return {};
  const std::size_t got = std::fread(magic, 1, sizeof magic, file);
  std::fclose(file);
#ifdef _WIN32
  if (got == 4 && std::memcmp(magic,
                              "\x7f"
                              "ELF",
                              4) == 0)
    return path + " is a Linux shared module; this host runs on Windows and loads Windows DLLs";
#else
  if (got >= 2 && magic[0] == 'M' && magic[1] == 'Z')
    return path + " is a Windows DLL; this host runs on Linux and loads Linux shared modules";
#endif
  return {};
}

// The checks every module passes before its startup is called.
void checkDescriptor(const ModuleDescriptor *descriptor, const std::string &path) {
  if (descriptor->sysSync != LW_MODULE_SYNC)
    throw Failure(FailureKind::ModuleWrongSync, path + ": wrong sync word " + formatHex32(descriptor->sysSync) +
                                                  " in _mod_descrip (expected " +
                                                  formatHex32(LW_MODULE_SYNC) + ")");
  if (descriptor->sysVersion != LW_MODULE_VERSION)
    throw Failure(FailureKind::ModuleWrongVersion, path + ": module descriptor version " +
                                                     std::to_string(descriptor->sysVersion) + ", expected " +
                                                     std::to_string(LW_MODULE_VERSION));
}

}  // namespace

LoadedModule::LoadedModule(void *library, const ModuleDescriptor *descriptor, std::string path)
    : library_(library), descriptor_(descriptor), path_(std::move(path)) {
  // Owns the library from here, so a throwing check below still unloads it.
  try {
    checkDescriptor(descriptor_, path_);
  } catch (...) {
    descriptor_ = nullptr;
    release();
    throw;
  }
  if (descriptor_->startup != nullptr) startupResult_ = descriptor_->startup();
  started_ = true;
}

LoadedModule LoadedModule::open(const std::string &path) {
  std::error_code ignored;
  if (!std::filesystem::exists(std::filesystem::path(path), ignored))
    throw Failure(FailureKind::ModuleMissing, "no such file: " + path);
  // The system's loader looks a bare file name up in its own search path, not
  // in the working folder: it is given the file's absolute path.
  std::filesystem::path absolute = std::filesystem::absolute(std::filesystem::path(path), ignored);
  absolute.make_preferred();  // LoadLibrary wants backslashes
  std::string error;
  void *library = loadLibrary(absolute.empty() ? path : absolute.string(), error);
  if (library == nullptr) {
    const std::string foreign = builtForAnotherSystem(path);
    throw Failure(FailureKind::ModuleNotLoadable,
                    "not a loadable module: " + (foreign.empty() ? error : foreign));
  }
  const auto *descriptor = static_cast<const ModuleDescriptor *>(findSymbol(library, "_mod_descrip"));
  if (descriptor == nullptr) {
    unloadLibrary(library);
    throw Failure(FailureKind::ModuleNoDescriptor, path + ": not a module (it exports no _mod_descrip)");
  }
  return LoadedModule(library, descriptor, path);
}

LoadedModule LoadedModule::linked(const ModuleDescriptor *descriptor, std::string label) {
  if (descriptor == nullptr)
    throw Failure(FailureKind::ModuleNoDescriptor, label + ": not a module (no _mod_descrip)");
  return LoadedModule(nullptr, descriptor, std::move(label));
}

LoadedModule::LoadedModule(LoadedModule &&other) noexcept
    : library_(std::exchange(other.library_, nullptr)),
      descriptor_(std::exchange(other.descriptor_, nullptr)),
      startupResult_(std::exchange(other.startupResult_, nullptr)),
      started_(std::exchange(other.started_, false)),
      path_(std::move(other.path_)) {}

LoadedModule &LoadedModule::operator=(LoadedModule &&other) noexcept {
  if (this != &other) {
    release();
    library_ = std::exchange(other.library_, nullptr);
    descriptor_ = std::exchange(other.descriptor_, nullptr);
    startupResult_ = std::exchange(other.startupResult_, nullptr);
    started_ = std::exchange(other.started_, false);
    path_ = std::move(other.path_);
  }
  return *this;
}

LoadedModule::~LoadedModule() { release(); }

void LoadedModule::release() noexcept {
  if (started_ && descriptor_ != nullptr && descriptor_->shutdown != nullptr)
    descriptor_->shutdown(startupResult_);
  started_ = false;
  descriptor_ = nullptr;
  if (library_ != nullptr) unloadLibrary(library_);
  library_ = nullptr;
}

std::vector<const ServerRecord *> LoadedModule::servers() const {
  std::vector<const ServerRecord *> list;
  if (descriptor_ == nullptr) return list;
  for (const ServerRecord *server = descriptor_->serverDefs;
       server != nullptr && server->className != nullptr; ++server)
    list.push_back(server);
  return list;
}

const ServerRecord *LoadedModule::findServer(const char *cls, const char *name) const {
  for (const ServerRecord *server : servers()) {
    if (std::strcmp(server->className, cls) != 0) continue;
    if (name != nullptr && (server->name == nullptr || std::strcmp(server->name, name) != 0)) continue;
    return server;
  }
  return nullptr;
}

const ServerRecord &LoadedModule::requireServer(const char *cls, const char *name) const {
  const ServerRecord *server = findServer(cls, name);
  if (server == nullptr) {
    std::string what = std::string("no server of class \"") + cls + "\"";
    if (name != nullptr) what += std::string(" named \"") + name + "\"";
    throw Failure(FailureKind::ModuleNoServer, path_ + ": " + what);
  }
  return *server;
}

}  // namespace standin
