// Fuzz target: the message list file ("MessList.txt") as an editor or another program may
// leave it. The lines read hold no line end and spell the text out again, each followed by
// CR LF, CR or LF (only a last non-empty line may lack one); nothing is cut, so no line is
// longer than the text between its two line ends. Writing the lines and reading them back,
// in memory and (when the input asks) through a real file, gives the same lines; a write
// that cannot be made reports "<path>: <reason>" and leaves the earlier file as it was.
#include "fuzz_check.h"
#include "paging/message_list.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

using namespace tarvex;
using tarvex::fuzz::quoted;
using Lines = std::vector<std::string>;

namespace {

/// A split written apart from the program's: a line ends at the first CR or LF; a CR
/// directly followed by LF ends it as one.
Lines referenceSplit(std::string_view text) {
    Lines lines;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = text.find_first_of("\r\n", start);
        if (end == std::string_view::npos) {
            lines.emplace_back(text.substr(start));
            break;
        }
        lines.emplace_back(text.substr(start, end - start));
        start = end + (text.compare(end, 2, "\r\n") == 0 ? 2 : 1);
    }
    return lines;
}

/// The lines must give the text back with one of the three line ends after each.
void checkLinesSpellText(std::string_view text, const Lines& lines) {
    std::size_t pos = 0;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const std::string& line = lines[i];
        const auto where = [&] { return "line " + std::to_string(i) + " of " + quoted(text); };
        FUZZ_CHECK(line.find_first_of("\r\n") == std::string::npos, where());
        FUZZ_CHECK(line.size() <= text.size() - pos && text.substr(pos, line.size()) == line,
                   where());
        pos += line.size();
        if (pos == text.size()) {
            FUZZ_CHECK(i + 1 == lines.size() && !line.empty(), "unended line: " + where());
            break;
        }
        FUZZ_CHECK(text[pos] == '\r' || text[pos] == '\n', "line cut short: " + where());
        pos += text.compare(pos, 2, "\r\n") == 0 ? 2 : 1;
    }
    FUZZ_CHECK(pos == text.size(), "text left over in " + quoted(text));
}

/// A folder of its own for the file round trips, made at the first one and removed at exit:
/// in TMPDIR when set, else in memory (/dev/shm) when there is such a folder, since a disk
/// makes them slow.
struct ScratchFolder {
    std::string path;
    ScratchFolder() {
        const char* tmp = std::getenv("TMPDIR");
        const std::string parent = tmp != nullptr && *tmp != '\0'  ? tmp
                                   : access("/dev/shm", W_OK) == 0 ? "/dev/shm"
                                                                   : "/tmp";
        path = parent + "/tarvex-fuzz-messlist-XXXXXX";
        FUZZ_CHECK(mkdtemp(path.data()) != nullptr, path);
    }
    ~ScratchFolder() { rmdir(path.c_str()); }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;
};

const std::string& scratchFolder() {
    static const ScratchFolder folder;
    return folder.path;
}

/// Write and read back through the file; then a write that cannot be made (its temporary
/// file's name is taken by a folder) must say so and leave the file holding the lines.
void checkFileRoundTrip(const Lines& lines) {
    const std::string path = scratchFolder() + "/" + MessageListFileName;
    const auto written = writeMessageList(path, lines);
    FUZZ_CHECK(!written, written.value_or(""));
    const MessageListRead read = readMessageList(path);
    FUZZ_CHECK(read.exists && !read.error && read.lines == lines, "file round trip");

    const std::string blocker = path + ".new";
    FUZZ_CHECK(mkdir(blocker.c_str(), 0700) == 0, blocker);
    const auto refused = writeMessageList(path, Lines{"00A1200N0001234replaced"});
    rmdir(blocker.c_str());
    FUZZ_CHECK(refused && refused->rfind(path + ": ", 0) == 0 && refused->size() > path.size() + 2,
               "failed write reported as " + quoted(refused.value_or("success")));
    const MessageListRead after = readMessageList(path);
    FUZZ_CHECK(after.exists && !after.error && after.lines == lines, "failed write changed file");
    FUZZ_CHECK(unlink(path.c_str()) == 0, path);
    const MessageListRead gone = readMessageList(path);
    FUZZ_CHECK(!gone.exists && !gone.error && gone.lines.empty(), "missing file read as present");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    const bool throughFile = in.ConsumeIntegral<uint8_t>() < 4; // files are slow: 1 in 64
    const std::string text = in.ConsumeRemainingBytesAsString();

    const Lines lines = splitMessageList(text);
    FUZZ_CHECK(lines == referenceSplit(text), "split differs for " + quoted(text));
    checkLinesSpellText(text, lines);

    // Written back, every line ends in CR LF and reads back the same.
    const std::string written = messageListText(lines);
    std::size_t endings = 0;
    for (std::size_t at = written.find("\r\n"); at != std::string::npos;
         at = written.find("\r\n", at + 2))
        ++endings;
    FUZZ_CHECK(endings == lines.size() && (written.empty() || written.ends_with("\r\n")),
               quoted(written));
    FUZZ_CHECK(splitMessageList(written) == lines, "round trip of " + quoted(text));
    FUZZ_CHECK(messageListText(splitMessageList(written)) == written, "second write differs");

    if (throughFile)
        checkFileRoundTrip(lines);
    return 0;
}
