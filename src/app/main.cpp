// tarvex: the desktop program.
#include "app/program_entry.h"
#include "signal/audio_process_exit.h"

int main(int argc, char** argv) {
    // The window, the station and the application object are gone when runProgram returns.
    tarvex::exitWithoutAudioTeardown(tarvex::runProgram(argc, argv));
}
