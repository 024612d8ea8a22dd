// remove() and rename() of the C library with a hook in front: a test can change the
// file system (make a folder read-only) at the exact moment the program is about to touch
// it. Linked into the test program itself, these definitions stand in for the library's
// for every caller in the process; the real functions are found with dlsym.
#include "fault_support.h"

#include <dlfcn.h>

namespace {

tarvex::faults::FileOpHook& hook() {
    static tarvex::faults::FileOpHook h;
    return h;
}

template <typename F> F realFunction(const char* name) {
    return reinterpret_cast<F>(::dlsym(RTLD_NEXT, name));
}

} // namespace

void tarvex::faults::setFileOpHook(FileOpHook h) {
    hook() = std::move(h);
}

extern "C" int remove(const char* path) noexcept {
    static const auto real = realFunction<int (*)(const char*)>("remove");
    if (hook())
        hook()("remove", path);
    return real(path);
}

extern "C" int rename(const char* from, const char* to) noexcept {
    static const auto real = realFunction<int (*)(const char*, const char*)>("rename");
    if (hook())
        hook()("rename", from);
    return real(from, to);
}
