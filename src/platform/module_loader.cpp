#include "platform/module_loader.h"

#include <dlfcn.h>
#include <unistd.h>

#include <mutex>

namespace ktv {

namespace {
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
  if (!folder.empty()) return dlopen((folder + fileName).c_str(), RTLD_NOW | RTLD_LOCAL);
  if (void* module = dlopen((GetProgramFolder() + fileName).c_str(), RTLD_NOW | RTLD_LOCAL)) return module;
  return dlopen(fileName.c_str(), RTLD_NOW | RTLD_LOCAL);
}

void FreeModule(void* module) {
  if (module) dlclose(module);
}

void* GetModuleSymbol(void* module, const char* name) {
  return module ? dlsym(module, name) : nullptr;
}

}  // namespace ktv
