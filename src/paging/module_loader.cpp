#include "paging/module_loader.h"

#include "paging/station_folder.h"

#include <dlfcn.h>

#include <filesystem>

namespace tarvex {

std::vector<std::string> besideProgram(const std::vector<const char*>& relativeFolders,
                                       const char* file) {
    std::vector<std::string> out;
    const std::filesystem::path folder = executableFolder();
    for (const char* relative : relativeFolders)
        out.push_back((folder / relative / file).string());
    return out;
}

void* loadModuleEntry(const std::vector<std::string>& paths, const char* entry,
                      std::vector<std::string>* tried) {
    for (const std::string& path : paths) {
        std::error_code ec;
        if (!std::filesystem::exists(path, ec)) {
            tried->push_back(path + ": not there");
            continue;
        }
        // RTLD_LOCAL: a module takes the program's own symbols and hands back only its entry.
        void* handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (handle == nullptr) {
            const char* why = ::dlerror();
            tried->push_back(path + ": " + (why != nullptr ? why : "cannot be loaded"));
            continue;
        }
        if (void* address = ::dlsym(handle, entry))
            return address;
        tried->push_back(path + ": no entry point");
    }
    return nullptr;
}

} // namespace tarvex
