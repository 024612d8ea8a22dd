// WCTP requests through the service: what each kind of body is answered (always a
// well-formed wctp-Operation) and what is queued.
#include "network/wctp/wctp_request.h"
#include "network/wctp/wctp_service.h"
#include "server_test_support.h"

#include <gtest/gtest.h>
#include <pugixml.hpp>

using namespace tarvex;
using namespace tarvex::testing;

namespace {

const std::string Doctype =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<!DOCTYPE wctp-Operation SYSTEM \"http://dtd.wctp.org/wctpv1-0.dtd\">\n";

std::string submit(const std::string& recipients, const std::string& text,
                   const std::string& originator = "senderID=\"nurse\"") {
    return Doctype + "<wctp-Operation wctpVersion=\"wctp-dtd-v1r1\"><wctp-SubmitRequest>" +
           "<wctp-SubmitHeader><wctp-Originator " + originator + "/>" +
           "<wctp-MessageControl messageID=\"42\"/>" + recipients +
           "</wctp-SubmitHeader><wctp-Payload><wctp-Alphanumeric>" + text +
           "</wctp-Alphanumeric></wctp-Payload></wctp-SubmitRequest></wctp-Operation>";
}

std::string to(const std::string& id) {
    return "<wctp-Recipient recipientID=\"" + id + "\"/>";
}

struct Harness {
    Harness()
        : directoryPath(folder.file("Pagers.txt")),
          watch((writeDirectory(directoryPath, samplePagers()), directoryPath), {}),
          intake(watch, sink, {}, [this](const std::string& l) { log.push_back(l); }),
          service(intake, &auth, false) {
        auth.passwords["nurse"] = "s3cret";
    }
    TempFolder folder;
    std::string directoryPath;
    std::vector<std::string> log;
    RecordingSink sink;
    FakeAuthenticator auth;
    DirectoryWatch watch;
    PageIntake intake;
    WctpService service;
};

struct Case {
    const char* name;
    std::string body;
    int code;
    std::size_t pages;
};

const Case Cases[] = {
    {"submit with the standard DOCTYPE", submit(to("1004"), "Room 12"), 200, 1},
    {"two recipients", submit(to("1004") + to("1001"), "Room 12"), 200, 2},
    {"right securityCode", submit(to("1004"), "x", "senderID=\"nurse\" securityCode=\"s3cret\""),
     200, 1},
    {"CDATA text", submit(to("1004"), "<![CDATA[a < b]]>"), 200, 1},
    {"wrong securityCode", submit(to("1004"), "x", "senderID=\"nurse\" securityCode=\"no\""), 402,
     0},
    {"unknown sender with a code, answered as a wrong one",
     submit(to("1004"), "x", "senderID=\"x\" securityCode=\"no\""), 402, 0},
    {"unknown pager", submit(to("9999"), "x"), 403, 0},
    {"longer than the pager takes", submit(to("1001"), std::string(41, 'y')), 411, 0},
    {"longer than any message", submit(to("1004"), std::string(2000, 'y')), 411, 0},
    {"no recipient", submit("", "x"), 302, 0},
    {"too many recipients",
     submit(to("a") + to("b") + to("c") + to("d") + to("e") + to("f") + to("g") + to("h") +
                to("i") + to("j") + to("k") + to("l") + to("m") + to("n") + to("o") + to("p") +
                to("q"),
            "x"),
     400, 0},
    {"internal entity",
     "<?xml version=\"1.0\"?><!DOCTYPE wctp-Operation [<!ENTITY x \"boom\">]>"
     "<wctp-Operation/>",
     301, 0},
    {"broken XML", Doctype + "<wctp-Operation><wctp-SubmitRequest>", 301, 0},
    {"empty body", "", 301, 0},
    {"not WCTP", "<html><body/></html>", 302, 0},
    {"two roots", "<wctp-Operation/><wctp-Operation/>", 302, 0},
    {"other operation", Doctype + "<wctp-Operation><wctp-PollForMessages/></wctp-Operation>", 300,
     0},
    {"binary payload",
     Doctype +
         "<wctp-Operation><wctp-SubmitRequest><wctp-SubmitHeader>"
         "<wctp-Originator senderID=\"a\"/>" +
         to("1004") +
         "</wctp-SubmitHeader><wctp-Payload><wctp-TransparentData>AAAA</wctp-TransparentData>"
         "</wctp-Payload></wctp-SubmitRequest></wctp-Operation>",
     400, 0},
    {"control characters and bad UTF-8 echoed back", submit(to("\x01\xff"), "x"), 403, 0},
};

/// The code in the answer; fails the test when it is not a well-formed wctp-Operation.
int codeIn(const std::string& xml) {
    pugi::xml_document doc;
    const auto parsed = doc.load_string(xml.c_str());
    EXPECT_TRUE(parsed) << parsed.description() << "\n" << xml;
    const auto confirmation = doc.child("wctp-Operation").child("wctp-Confirmation");
    if (const auto success = confirmation.child("wctp-Success"))
        return success.attribute("successCode").as_int();
    return confirmation.child("wctp-Failure").attribute("errorCode").as_int();
}

class WctpRequests : public ::testing::TestWithParam<Case> {};

TEST_P(WctpRequests, AnswerAndQueuedPages) {
    Harness h;
    const auto& c = GetParam();
    const WctpAnswer answer = h.service.handle(c.body, "127.0.0.1");
    EXPECT_EQ(codeIn(answer.xml), c.code) << answer.xml;
    EXPECT_EQ(answer.code, c.code);
    EXPECT_EQ(h.sink.count(), c.pages);
}

INSTANTIATE_TEST_SUITE_P(Cases, WctpRequests, ::testing::ValuesIn(Cases), [](const auto& caseInfo) {
    std::string name;
    for (const char ch : std::string(caseInfo.param.name))
        name += std::isalnum(static_cast<unsigned char>(ch)) ? ch : '_';
    return name;
});

TEST(WctpService, QueuesTheTextForTheRecipientAndSaysWhatChanged) {
    Harness h;
    const WctpAnswer answer = h.service.handle(submit(to("1001"), "Café &amp; Grüße"), "::1");
    ASSERT_EQ(h.sink.count(), 1u);
    const QueuedPage page = h.sink.pages()[0];
    EXPECT_EQ(page.source, "wctp");
    // No securityCode: a name, not a login. The sender's messageID follows the page.
    EXPECT_EQ(page.origin, "::1 (claims nurse) messageID 42");
    EXPECT_EQ(page.page.message, "Cafe & Gr}~e");
    EXPECT_NE(answer.xml.find("1001 as #1"), std::string::npos) << answer.xml;
    EXPECT_NE(answer.xml.find("é→e"), std::string::npos) << answer.xml;
}

TEST(WctpService, LoginRequiredRefusesARequestWithoutSecurityCode) {
    Harness h;
    WctpService strict(h.intake, &h.auth, true);
    EXPECT_EQ(strict.handle(submit(to("1004"), "x"), "192.0.2.1").code, 402);
    EXPECT_EQ(strict
                  .handle(submit(to("1004"), "x", "senderID=\"nurse\" securityCode=\"s3cret\""),
                          "192.0.2.1")
                  .code,
              200);
    for (const auto& line : h.log)
        EXPECT_EQ(line.find("s3cret"), std::string::npos) << line;
}

TEST(WctpService, VersionQueryIsAnswered) {
    Harness h;
    const WctpAnswer answer =
        h.service.handle(Doctype + "<wctp-Operation wctpVersion=\"wctp-dtd-v1r1\">"
                                   "<wctp-VersionQuery inquirer=\"curl\"/></wctp-Operation>",
                         "127.0.0.1");
    pugi::xml_document doc;
    ASSERT_TRUE(doc.load_string(answer.xml.c_str()));
    EXPECT_STREQ(doc.child("wctp-Operation")
                     .child("wctp-VersionResponse")
                     .child("wctp-DTDSupport")
                     .attribute("verToken")
                     .value(),
                 "wctp-dtd-v1r1");
}

} // namespace
