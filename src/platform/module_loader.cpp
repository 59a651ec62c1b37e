#include "platform/module_loader.h"

#include <dlfcn.h>
#include <unistd.h>

#include <mutex>

namespace ktv {

namespace {
// Sanitizer builds keep every library mapped once loaded: a codec library that pulls in other libraries would
// otherwise leave the leak checker reports about memory of modules unloaded before the process ends.
#ifndef KTV_KEEP_MODULES_LOADED
#define KTV_KEEP_MODULES_LOADED 0
#endif
constexpr int kLoadFlags = RTLD_NOW | RTLD_LOCAL | (KTV_KEEP_MODULES_LOADED ? RTLD_NODELETE : 0);

std::mutex gFolderLock;
std::string gSearchFolder;  // guarded by gFolderLock; empty = normal search
}  // namespace

std::string GetProgramFolder() {
  std::string path(4096, '\0');
  ssize_t n = readlink("/proc/self/exe", path.data(), path.size() - 1);
  if (n <= 0) return "./";
  path.resize(static_cast<size_t>(n));
  size_t slash = path.rfind('/');
  path.resize(slash == std::string::npos ? 0 : slash + 1);
  if (path.empty() || path.back() != '/') path += '/';
  return path;
}

void SetModuleSearchFolder(const std::string& folder) {
  std::lock_guard<std::mutex> guard(gFolderLock);
  gSearchFolder = folder;
  if (!gSearchFolder.empty() && gSearchFolder.back() != '/') gSearchFolder += '/';
}

void* LoadModule(const std::string& fileName) {
  std::string folder;
  {
    std::lock_guard<std::mutex> guard(gFolderLock);
    folder = gSearchFolder;
  }
  if (!folder.empty()) return dlopen((folder + fileName).c_str(), kLoadFlags);
  if (void* module = dlopen((GetProgramFolder() + fileName).c_str(), kLoadFlags)) return module;
  return dlopen(fileName.c_str(), kLoadFlags);
}

bool ModulesStayLoaded() {
  return KTV_KEEP_MODULES_LOADED != 0;
}

void FreeModule(void* module) {
  if (module) dlclose(module);
}

void* GetModuleSymbol(void* module, const char* name) {
  return module ? dlsym(module, name) : nullptr;
}

}  // namespace ktv
