// Fuzz target: arbitrary bytes posted as a WCTP body to the service over a small directory
// and a recording sink. The answer is always a well-formed wctp-Operation holding either a
// confirmation (success code 200 or a failure code of three digits) or a version response;
// a page is queued only when the answer is a success.
#include "fuzz_check.h"
#include "network/wctp/wctp_service.h"
#include "server_test_support.h"

#include <pugixml.hpp>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

using namespace tarvex;

namespace {

/// Everything an input touches, made anew for each so that nothing grows from one input to
/// the next (which would also make every input look like a leak).
struct World {
    World()
        : watch(testing::sampleDirectoryFile(), {}), intake(watch, sink, limits(), {}),
          service(intake, &auth, false) {
        auth.passwords["nurse"] = "s3cret";
    }
    static InboundLimits limits() {
        InboundLimits l;
        l.pagesPerMinute = 1'000'000;
        l.loginFailuresPerMinute = 1'000'000;
        return l;
    }
    testing::RecordingSink sink;
    testing::FakeAuthenticator auth;
    DirectoryWatch watch;
    PageIntake intake;
    WctpService service;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    World world;
    const std::string_view body(reinterpret_cast<const char*>(data), size);
    const std::size_t before = world.sink.count();
    const WctpAnswer answer = world.service.handle(body, "fuzz");
    pugi::xml_document doc;
    const auto parsed = doc.load_buffer(answer.xml.data(), answer.xml.size());
    FUZZ_CHECK(parsed, std::string(parsed.description()) + ": " + answer.xml);
    const auto operation = doc.child("wctp-Operation");
    FUZZ_CHECK(operation, answer.xml);
    const auto confirmation = operation.child("wctp-Confirmation");
    const auto success = confirmation.child("wctp-Success");
    const auto failure = confirmation.child("wctp-Failure");
    if (operation.child("wctp-VersionResponse")) {
        FUZZ_CHECK(answer.code == 200 && world.sink.count() == before, answer.xml);
        return 0;
    }
    FUZZ_CHECK(success || failure, answer.xml);
    const int code = success ? success.attribute("successCode").as_int()
                             : failure.attribute("errorCode").as_int();
    FUZZ_CHECK(code == answer.code && code >= 200 && code <= 999, answer.xml);
    FUZZ_CHECK(success ? (code == 200 && world.sink.count() > before)
                       : world.sink.count() == before,
               answer.xml);
    return 0;
}
