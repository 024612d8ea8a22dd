// Running outside tools (sox, multimon-ng, tarvex-cli) from tests.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <string>

namespace tarvex::testing {

/// Whether `name` is a command on the PATH.
inline bool haveTool(const char* name) {
    return std::system((std::string("command -v ") + name + " >/dev/null 2>&1").c_str()) == 0;
}

/// Runs `command` through the shell and returns what it wrote on standard output.
inline std::string run(const std::string& command) {
    std::string out;
    if (FILE* pipe = popen(command.c_str(), "r")) {
        char chunk[4096];
        std::size_t n;
        while ((n = std::fread(chunk, 1, sizeof chunk, pipe)) > 0)
            out.append(chunk, n);
        pclose(pipe);
    }
    return out;
}

} // namespace tarvex::testing
