#pragma once
// Opening one of the program's own modules at run time (the on-air part of tarvex-cli, the
// Qt Multimedia backend): the first place of a list that holds the module and its entry
// point. Standard C++ and POSIX.
#include <string>
#include <vector>

namespace tarvex {

/// `file` in each of `relativeFolders`, taken from the running program's folder.
std::vector<std::string> besideProgram(const std::vector<const char*>& relativeFolders,
                                       const char* file);

/// The address of `entry` in the first of `paths` that exists and loads; nullptr when none
/// does, with "PATH: why" for each place in *tried. A module stays loaded until the process
/// ends: the objects it makes may outlive the call that made them.
void* loadModuleEntry(const std::vector<std::string>& paths, const char* entry,
                      std::vector<std::string>* tried);

} // namespace tarvex
