// tarvex: the desktop program.
#include "app/program_entry.h"

int main(int argc, char** argv) {
    return tarvex::runProgram(argc, argv);
}
