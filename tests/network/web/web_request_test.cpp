// The web API's JSON, query and cookie readers, and its sessions: what is refused, and that a
// session ends on time and the oldest one makes room.
#include "network/web/web_request.h"
#include "network/web/web_sessions.h"

#include <gtest/gtest.h>

using namespace tarvex;

TEST(WebJson, ReadsFlatObjects) {
    std::string error;
    const auto o = readJsonObject(
        R"( {"pager":"1001","message":"caf\u00e9 \ud83d\ude00 \"q\"\n","n":-1.5e3,"t":true,)"
        R"("z":null} )",
        &error);
    ASSERT_TRUE(o) << error;
    EXPECT_EQ(o->at("message").text, "caf\xC3\xA9 \xF0\x9F\x98\x80 \"q\"\n");
    EXPECT_EQ(o->at("n").type, JsonValue::Type::Number);
    EXPECT_EQ(o->at("n").text, "-1.5e3");
    EXPECT_EQ(o->at("t").text, "true");
    EXPECT_EQ(o->at("z").type, JsonValue::Type::Null);
    EXPECT_TRUE(readJsonObject("{}", &error));
}

TEST(WebJson, RefusesWhatIsNotOneFlatObject) {
    const char* refused[] = {
        "",
        "[]",
        R"({"a":{"b":1}})",        // nested object
        R"({"a":[1]})",            // array
        R"({"a":1,"a":2})",        // a name twice
        R"({"a":1} x)",            // text after it
        R"({"a":01})",             // leading zero
        R"({"a":"\ud800"})",       // a lone surrogate
        R"({"a":"\udc00\ud800"})", // surrogates the wrong way round
        "{\"a\":\"\x01\"}",        // a raw control character
        "{\"a\":\"\xC3\"}",        // cut UTF-8
        "{\"a\":\"\xC0\xAF\"}",    // overlong UTF-8
        R"({"a":"x)",              // unterminated
        R"({"a":1,"b":2,"c":3})",  // more members than allowed (2 here)
    };
    for (const char* body : refused) {
        std::string error;
        EXPECT_FALSE(readJsonObject(body, &error, 2)) << body;
        EXPECT_FALSE(error.empty()) << body;
    }
}

TEST(WebQuery, DecodesAndBounds) {
    const auto q = readQuery("q=caf%C3%A9+au+lait&page=2&q=again&=x&bad=%zz", 3);
    EXPECT_EQ(q.at("q"), "caf\xC3\xA9 au lait"); // the first of a repeated name counts
    EXPECT_EQ(q.at("page"), "2");
    EXPECT_EQ(q.at("bad"), "%zz");
    EXPECT_EQ(readQuery("a=1&b=2&c=3&d=4", 2).size(), 2u);
    EXPECT_EQ(cookieValue("a=1; tarvex_session=abc;b=2", "tarvex_session"), "abc");
    EXPECT_EQ(cookieValue("xtarvex_session=abc", "tarvex_session"), "");
}

TEST(WebSessions, EndOnTimeAndTheOldestMakesRoom) {
    WebSessions sessions(1000, 2);
    WebSession first;
    const std::string a = sessions.open("op", 0, &first);
    EXPECT_EQ(a.size(), 64u);
    EXPECT_EQ(first.csrf.size(), 64u);
    EXPECT_NE(a, first.csrf);
    ASSERT_TRUE(sessions.find(a, 999));
    EXPECT_EQ(sessions.find(a, 999)->login, "op");
    EXPECT_FALSE(sessions.find(a, 1000)) << "a session ends at its time";
    const std::string b = sessions.open("", 100, nullptr);
    const std::string c = sessions.open("", 200, nullptr);
    const std::string d = sessions.open("", 300, nullptr);
    EXPECT_FALSE(sessions.find(b, 300)) << "the oldest made room";
    EXPECT_TRUE(sessions.find(c, 300) && sessions.find(d, 300));
    sessions.close(c);
    EXPECT_FALSE(sessions.find(c, 300));
    EXPECT_FALSE(sameSecret("", ""));
    EXPECT_FALSE(sameSecret(first.csrf, first.csrf.substr(1)));
}
