// Run-time loading of shared libraries (the codec libraries are never linked at build time).
#pragma once

#include <string>

namespace ktv {

// Folder of the running executable, always ending in "/".
std::string GetProgramFolder();

// Tests point the loader at a folder of their choice; an empty folder name restores the normal search
// (program folder first, then the system search). While a folder is set, only that folder is searched.
void SetModuleSearchFolder(const std::string& folder);

// Loads a library by file name ("libogg.so.0"); null when it cannot be loaded.
void* LoadModule(const std::string& fileName);
void FreeModule(void* module);
// True in builds that never unmap a library (sanitizer builds), so FreeModule only drops the handle.
bool ModulesStayLoaded();
// Address of an exported entry point, or null.
void* GetModuleSymbol(void* module, const char* name);

}  // namespace ktv
