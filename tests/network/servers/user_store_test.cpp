// The login store: libsodium hashes in a 0600 file, checked by the file authenticator, which
// notices a changed file and forgets passwords it had accepted.
#include "network/intake/user_store.h"
#include "server_test_support.h"

#include <gtest/gtest.h>

#include <ctime>

#include <chrono>
#include <fstream>
#include <sstream>
#include <sys/stat.h>

using namespace tarvex;
using namespace tarvex::testing;

namespace {

std::string contents(const std::string& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

TEST(UserStore, SavesHashesOnlyInAPrivateFile) {
    TempFolder folder;
    const std::string path = folder.file(SnppUsersFile);
    UserStore store;
    std::string error;
    ASSERT_TRUE(store.setPassword("alice", "correct horse", &error)) << error;
    ASSERT_TRUE(store.save(path, &error)) << error;
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    const std::string text = contents(path);
    EXPECT_EQ(text.find("correct horse"), std::string::npos);
    EXPECT_NE(text.find("alice $argon2id$"), std::string::npos) << text;

    UserStore again;
    ASSERT_TRUE(again.load(path, &error)) << error;
    EXPECT_EQ(again.names(), std::vector<std::string>{"alice"});
}

TEST(UserStore, RefusesBadNamesPasswordsAndFiles) {
    TempFolder folder;
    UserStore store;
    std::string error;
    for (const char* name : {"", "with space", "colon:name", "über"})
        EXPECT_FALSE(store.setPassword(name, "pw", &error)) << name;
    EXPECT_FALSE(store.setPassword("bob", "", &error));
    EXPECT_FALSE(store.setPassword("bob", std::string(MaxPasswordBytes + 1, 'p'), &error));
    const std::string path = folder.file(SnppUsersFile);
    std::ofstream(path) << "# comment\nalice $argon2id$v=19$x\nbob plaintext\n";
    EXPECT_FALSE(store.load(path, &error));
    EXPECT_NE(error.find("line 3"), std::string::npos) << error;
    EXPECT_TRUE(store.load(folder.file("missing.txt"), &error)); // no file: no logins
}

/// A user file holding alice with the password "one".
struct AliceFile {
    TempFolder folder;
    const std::string path = folder.file(SnppUsersFile);
    UserStore store;
    std::string error;
    AliceFile() {
        EXPECT_TRUE(store.setPassword("alice", "one", &error));
        EXPECT_TRUE(store.save(path, &error));
    }
};

TEST(UserFileAuthenticator, ChecksPasswordsAndFollowsTheFile) {
    AliceFile file;
    const std::string& path = file.path;
    UserStore& store = file.store;
    std::string& error = file.error;
    std::vector<std::string> log;
    UserFileAuthenticator auth(path, [&](const std::string& l) { log.push_back(l); });
    EXPECT_EQ(auth.verify("alice", "one"), AuthResult::Accepted);
    EXPECT_EQ(auth.verify("alice", "one"), AuthResult::Accepted); // remembered
    EXPECT_EQ(auth.verify("alice", "two"), AuthResult::WrongPassword);
    EXPECT_EQ(auth.verify("nobody", "one"), AuthResult::UnknownUser);

    // A new password replaces the remembered one at once.
    ASSERT_TRUE(store.setPassword("alice", "two", &error));
    ASSERT_TRUE(store.save(path, &error));
    EXPECT_EQ(auth.verify("alice", "one"), AuthResult::WrongPassword);
    EXPECT_EQ(auth.verify("alice", "two"), AuthResult::Accepted);

    // A damaged file keeps the logins read before, and says so.
    std::ofstream(path) << "alice not-a-hash\n";
    EXPECT_EQ(auth.verify("alice", "two"), AuthResult::Accepted);
    ASSERT_EQ(log.size(), 1u);
    EXPECT_NE(log[0].find("line 1"), std::string::npos) << log[0];
}

TEST(UserFileAuthenticator, AnOverlongPasswordCostsAFullCheck) {
    AliceFile file;
    UserFileAuthenticator auth(file.path, {});
    // The work is measured in this thread's processor time, which another busy process on the
    // machine does not stretch.
    const auto cpuNs = [] {
        timespec t{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
        return int64_t{t.tv_sec} * 1'000'000'000 + t.tv_nsec;
    };
    const auto timed = [&](const std::string& password) {
        const int64_t start = cpuNs();
        EXPECT_EQ(auth.verify("alice", password), AuthResult::WrongPassword);
        return cpuNs() - start;
    };
    const auto shortOne = timed("wrong");
    // A cheap refusal would let a client fail fast enough to fill the failure table.
    EXPECT_GT(timed(std::string(MaxPasswordBytes + 200, 'w')), shortOne / 4);
}

} // namespace
