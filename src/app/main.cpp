// tarvex: the desktop program.
#include "app/program_entry.h"
#include "signal/audio_process_exit.h"

#include <cstdio>
#include <cstring>

int main(int argc, char** argv) {
    // Answered before any window or display is needed.
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        std::printf("tarvex %s\n", TARVEX_PROJECT_VERSION);
        return 0;
    }
    // The window, the station and the application object are gone when runProgram returns.
    tarvex::exitWithoutAudioTeardown(tarvex::runProgram(argc, argv));
}
