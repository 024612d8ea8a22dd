// Fuzz target: arbitrary bytes as an SNPP client's stream, cut into lines the way the server
// cuts them (overlong lines reported as such), fed to a session over a small directory and a
// recording sink. Every line outside DATA text gets at least one reply, every reply line is
// "NNN text" in printable ASCII or UTF-8 without line breaks, and a page reaches the sink only
// with a SEND answered 250 that names it (and a 250 to SEND means every recipient's page).
#include "fuzz_check.h"
#include "network/snpp/snpp_session.h"
#include "server_test_support.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

using namespace tarvex;

namespace {

/// Everything an input touches, made anew for each so that nothing grows from one input to
/// the next (which would also make every input look like a leak).
struct World {
    World() : watch(testing::sampleDirectoryFile(), {}), intake(watch, sink, limits(), {}) {
        auth.passwords["alice"] = "secret";
    }
    static InboundLimits limits() {
        InboundLimits l;
        l.maxLineLength = 64;
        l.maxMessageLength = 100;
        l.maxRecipients = 3;
        l.pagesPerMinute = 1'000'000;
        return l;
    }
    testing::RecordingSink sink;
    testing::FakeAuthenticator auth;
    DirectoryWatch watch;
    PageIntake intake;
};

void checkReplyLine(const std::string& line) {
    FUZZ_CHECK(line.size() >= 4 && line[3] == ' ', fuzz::quoted(line));
    for (int i = 0; i < 3; ++i)
        FUZZ_CHECK(line[i] >= '0' && line[i] <= '9', fuzz::quoted(line));
    for (const char c : line)
        FUZZ_CHECK(c != '\r' && c != '\n' && c != '\0', fuzz::quoted(line));
}

void feed(World& w, SnppSession& session, std::string_view line, bool overlong) {
    const bool data = session.readingData();
    const std::size_t before = w.sink.count();
    SnppReply reply = overlong ? session.onOverlongLine() : session.onLine(line);
    if (reply.checkLogin)
        reply = session.finishLogin(session.takeLoginCheck()());
    for (const auto& l : reply.lines)
        checkReplyLine(l);
    if (!data && !session.finished())
        FUZZ_CHECK(!reply.lines.empty(), "no reply to " + fuzz::quoted(line));
    const std::size_t queued = w.sink.count() - before;
    if (queued > 0) {
        FUZZ_CHECK(reply.lines.size() >= 1 && reply.lines[0].starts_with("250 Message queued"),
                   "page queued without its 250: " + fuzz::quoted(line));
        const std::string& text = reply.lines[0];
        for (std::size_t i = before; i < w.sink.count(); ++i)
            FUZZ_CHECK(text.find(" as #" + std::to_string(i + 1)) != std::string::npos,
                       fuzz::quoted(text));
    } else if (!reply.lines.empty()) {
        FUZZ_CHECK(!reply.lines[0].starts_with("250 Message queued"), "250 without a page");
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    World world;
    const InboundLimits& limits = world.intake.limits();
    SnppSession session(world.intake, &world.auth, {size % 2 == 1, "fuzz", "Fuzz"});
    std::string_view rest(reinterpret_cast<const char*>(data), size);
    while (!rest.empty() && !session.finished()) {
        const std::size_t end = rest.find('\n');
        std::string_view line = rest.substr(0, end);
        rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
        if (line.ends_with('\r'))
            line.remove_suffix(1);
        feed(world, session, line, line.size() > limits.maxLineLength);
    }
    return 0;
}
