// Fuzz target: any text as the pager directory file. Reading never fails in any other way
// than a "line N: field: reason" (or size) refusal that leaves the directory as it was; a
// text that reads holds only valid pagers, and writing it and reading it back gives the same
// pagers and the same text.
#include "fuzz_check.h"
#include "network/pager_directory.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

using namespace tarvex;
using tarvex::fuzz::quoted;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    PagerDirectory directory;
    Pager before;
    before.id = "before";
    directory.add(before, nullptr);
    std::string error;
    if (!directory.parse(text, &error)) {
        FUZZ_CHECK(error.rfind("line ", 0) == 0 || error == "larger than 1 MiB",
                   "reason " + quoted(error) + " for " + quoted(text));
        FUZZ_CHECK(directory.pagers().size() == 1 && directory.pagers()[0] == before,
                   "a refused text changed the directory: " + quoted(text));
        return 0;
    }
    for (const Pager& p : directory.pagers())
        FUZZ_CHECK(!validatePager(p), "invalid pager " + quoted(p.id) + " from " + quoted(text));
    const std::string written = directory.text();
    PagerDirectory back;
    FUZZ_CHECK(back.parse(written, &error),
               "written text refused: " + error + " " + quoted(written));
    FUZZ_CHECK(back.pagers() == directory.pagers(), "pagers differ after " + quoted(written));
    FUZZ_CHECK(back.text() == written, "text differs after " + quoted(written));
    return 0;
}
