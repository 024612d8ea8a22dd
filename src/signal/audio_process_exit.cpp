#include "signal/audio_process_exit.h"

#include <cstdio>
#include <iostream>
#include <unistd.h>

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define TARVEX_LEAK_CHECK 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__)
#define TARVEX_LEAK_CHECK 1
#endif
#ifdef TARVEX_LEAK_CHECK
#include <sanitizer/lsan_interface.h>
#endif

namespace tarvex {

void exitWithoutAudioTeardown(int status) {
    std::cout.flush();
    std::cerr.flush();
    std::fflush(nullptr);
#ifdef TARVEX_LEAK_CHECK
    __lsan_do_leak_check();
#endif
    ::_exit(status);
}

} // namespace tarvex
