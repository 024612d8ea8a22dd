// Pager directory: the file's canonical form and its exact round trip, every kind of bad
// entry refused with its line and field (and nothing loaded), saving through a temporary
// file, and the page a pager gets.
#include "network/pager_directory.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

using namespace tarvex;
namespace fs = std::filesystem;

namespace {

Pager pager(std::string id, uint32_t ric) {
    Pager p;
    p.id = std::move(id);
    p.ric = ric;
    return p;
}

PagerDirectory sample() {
    PagerDirectory d;
    Pager night = pager("1001", 1234567);
    night.name = "Nachtdienst Köln";
    night.charset = Charset::German;
    Pager numeric = pager("ops.numeric", 8);
    numeric.coding = PagerCoding::Numeric;
    numeric.functionBits = 0;
    numeric.baud = 512;
    numeric.inverted = true;
    numeric.maxLength = 20;
    Pager tone = pager("bell", 2097151);
    tone.coding = PagerCoding::ToneOnly;
    tone.maxLength = 0;
    tone.baud = 2400;
    for (const Pager& p : {night, numeric, tone})
        EXPECT_TRUE(d.add(p, nullptr));
    return d;
}

std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

class PagerDirectoryOnDisk : public ::testing::Test {
protected:
    void SetUp() override {
        m_dir = fs::temp_directory_path() / ("pagers-" + std::to_string(::getpid()));
        fs::remove_all(m_dir);
        fs::create_directories(m_dir);
    }
    void TearDown() override { fs::remove_all(m_dir); }
    fs::path m_dir;
};

TEST(PagerDirectory, CanonicalTextRoundTripsExactly) {
    const PagerDirectory d = sample();
    const std::string text = d.text();
    EXPECT_NE(text.find("\n[1001]\nname = Nachtdienst Köln\nric = 1234567\nfunction = 3\n"
                        "coding = alphanumeric\nbaud = 1200\npolarity = normal\ncharset = de\n"
                        "max-length = 80\n"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("[bell]\nric = 2097151\nfunction = 3\ncoding = tone\n"), std::string::npos);
    PagerDirectory back;
    std::string error;
    ASSERT_TRUE(back.parse(text, &error)) << error;
    EXPECT_EQ(back.pagers(), d.pagers());
    EXPECT_EQ(back.text(), text);
}

TEST(PagerDirectory, HandWrittenFileReadsWithCommentsKept) {
    const std::string text = "\xEF\xBB\xBF# my pagers\r\n\r\n"
                             "[ 7 ]\r\n# the boss\r\nRIC=  77 \r\n  coding = Tone\r\n"
                             "[8]\nric = 0008\n# spare, keep\n";
    PagerDirectory d;
    std::string error;
    ASSERT_TRUE(d.parse(text, &error)) << error;
    ASSERT_EQ(d.pagers().size(), 2u);
    EXPECT_EQ(d.pagers()[0].id, "7");
    EXPECT_EQ(d.pagers()[0].coding, PagerCoding::ToneOnly);
    EXPECT_EQ(d.pagers()[0].maxLength, 0); // tone only without max-length
    EXPECT_EQ(d.pagers()[1].ric, 8u);
    EXPECT_EQ(d.pagers()[1].maxLength, 80);
    const std::string saved = d.text();
    EXPECT_EQ(saved.rfind("# my pagers\n\n[7]\n# the boss\nric = 77\n", 0), 0u) << saved;
    EXPECT_NE(saved.find("[8]\n# spare, keep\nric = 8\n"), std::string::npos);
    // a replaced pager keeps its comments, a removed one takes them along
    Pager boss = *d.find("7");
    boss.name = "Boss";
    ASSERT_TRUE(d.add(boss, nullptr));
    EXPECT_NE(d.text().find("[7]\n# the boss\nname = Boss\n"), std::string::npos);
    EXPECT_TRUE(d.remove("8"));
    EXPECT_EQ(d.text().find("spare"), std::string::npos);
}

TEST(PagerDirectory, BadEntriesAreRefusedWithLineAndField) {
    const std::pair<std::string, std::string> cases[] = {
        {"[1]\nric = 12x\n", "line 2: ric: '12x' is not a number"},
        {"[1]\nric = 2500000\n", "line 2: ric: 2500000 is above 2097151"},
        {"[1]\nric = -5\n", "line 2: ric: '-5' is not a number"},
        {"[1]\nric = 1\nfunction = 4\n", "line 3: function: must be 0 to 3, not '4'"},
        {"[1]\nric = 1\ncoding = binary\n",
         "line 3: coding: must be alphanumeric, numeric or tone, not 'binary'"},
        {"[1]\nric = 1\nbaud = 300\n", "line 3: baud: must be 512, 1200 or 2400, not '300'"},
        {"[1]\nric = 1\npolarity = up\n", "line 3: polarity: must be normal or inverted, not 'up'"},
        {"[1]\nric = 1\ncharset = ru\n",
         "line 3: charset: must be us, de, se, dk, fr or si, not 'ru'"},
        {"[1]\nmax-length = 0\nric = 1\n", "line 2: max-length: must be 1 to 256, not 0"},
        {"[1]\nric = 1\nmax-length = 257\n", "line 3: max-length: must be 1 to 256, not 257"},
        {"[1]\nric = 1\ncoding = tone\nmax-length = 5\n",
         "line 4: max-length: a tone-only pager takes no message, so it must be 0"},
        {"[1]\nric = 1\nname = a\tb\n", "line 3: name: holds a control character"},
        {"[1]\nric = 1\nname = " + std::string(65, 'x') + "\n",
         "line 3: name: longer than 64 characters"},
        {"[1]\nric = 1\ncolour = red\n", "line 3: colour: unknown key"},
        {"ric = 1\n[1]\n", "line 1: ric: comes before the first [ID] section"},
        {"[1]\nric = 1\nRic = 2\n", "line 3: ric: given twice in [1] (first on line 2)"},
        {"[1]\nric = 1\n\n[1]\nric = 2\n", "line 4: id: 1 is already defined on line 1"},
        {"[a b]\nric = 1\n", "line 1: id: 'a b' may hold only letters, digits, '-', '_' and '.'"},
        {"[" + std::string(33, '9') + "]\n", "line 1: id: longer than 32 characters"},
        {"[]\n", "line 1: id: empty"},
        {"[1\nric = 1\n", "line 1: id: a section line is [ID]"},
        {"[1]\nfunction = 0\n[2]\nric = 2\n", "line 1: ric: missing in [1]"},
        {"[1]\nric = 1\njust words\n", "line 3: expected [ID], key = value or a # comment"},
        {"[1]\nric = 1\n# caf\xE9\n", "line 3: not valid UTF-8"},
        {"[1]\nric = 1\n# a\rb\n", "line 3: holds a control character"},
        // an address codeword that equals the sync codeword reaches no pager
        {"[1]\nric = 2045056\nfunction = 2\n",
         "line 2: ric: 2045056 with function bits 2 gives the sync codeword as its address, "
         "which no pager can receive"},
    };
    for (const auto& [text, message] : cases) {
        PagerDirectory d = sample();
        std::string error;
        EXPECT_FALSE(d.parse(text, &error)) << text;
        EXPECT_EQ(error, message) << text;
        EXPECT_EQ(d.pagers(), sample().pagers()) << "changed by a refused text: " << text;
    }
}

TEST(PagerDirectory, ValidateNamesTheField) {
    const auto with = [](auto change) {
        Pager p = pager("1", 1);
        change(p);
        return validatePager(p).value_or("valid");
    };
    EXPECT_EQ(with([](Pager&) {}), "valid");
    EXPECT_EQ(with([](Pager& p) { p.id = "x/y"; }).substr(0, 4), "id: ");
    EXPECT_EQ(with([](Pager& p) { p.name = " padded"; }), "name: begins or ends with a blank");
    EXPECT_EQ(with([](Pager& p) { p.name = "\xC3"; }), "name: not valid UTF-8");
    EXPECT_EQ(with([](Pager& p) { p.name = std::string(64, 'x'); }), "valid");
    EXPECT_EQ(with([](Pager& p) { p.name = std::string(10, 'x') + "ääää"; }), "valid");
    EXPECT_EQ(with([](Pager& p) { p.ric = 2097152; }), "ric: 2097152 is above 2097151");
    EXPECT_EQ(with([](Pager& p) { p.functionBits = -1; }), "function: must be 0 to 3, not -1");
    EXPECT_EQ(with([](Pager& p) { p.baud = 9600; }), "baud: must be 512, 1200 or 2400, not 9600");
    EXPECT_EQ(with([](Pager& p) { p.maxLength = 256; }), "valid");
    EXPECT_EQ(with([](Pager& p) { p.ric = 2007664, p.functionBits = 0; }).substr(0, 40),
              "ric: 2007664 with function bits 0 gives ");
}

TEST(PagerDirectory, AddReplacesInPlaceAndRefusesBadEntries) {
    PagerDirectory d = sample();
    Pager changed = *d.find("1001");
    changed.ric = 42;
    ASSERT_TRUE(d.add(changed, nullptr));
    EXPECT_EQ(d.pagers().size(), 3u);
    EXPECT_EQ(d.pagers()[0].ric, 42u);
    EXPECT_EQ(d.findByRic(42), &d.pagers()[0]);
    EXPECT_EQ(d.find("1001 "), nullptr);
    std::string error;
    Pager bad = pager("9", 1);
    bad.baud = 300;
    EXPECT_FALSE(d.add(bad, &error));
    EXPECT_EQ(error, "baud: must be 512, 1200 or 2400, not 300");
    EXPECT_EQ(d.find("9"), nullptr);
    EXPECT_FALSE(d.remove("9"));
}

TEST(PagerDirectory, PageForEachCoding) {
    const PagerDirectory d = sample();
    const PageParams alpha = pageFor(*d.find("1001"), "Gr}~e");
    EXPECT_EQ(alpha.ric, "1234567");
    EXPECT_EQ(alpha.functionBits, 3);
    EXPECT_EQ(alpha.coding, Coding::Alphanumeric);
    EXPECT_EQ(alpha.message, "Gr}~e");
    const PageParams numeric = pageFor(*d.find("ops.numeric"), "123");
    EXPECT_EQ(numeric.coding, Coding::Numeric);
    EXPECT_EQ(numeric.baud, 512);
    EXPECT_TRUE(numeric.inverted);
    // Tone only: a numeric page without message, which the encoder sends as the address
    // codeword followed by idle codewords.
    const PageParams tone = pageFor(*d.find("bell"), "ignored");
    EXPECT_EQ(tone.coding, Coding::Numeric);
    EXPECT_EQ(tone.message, "");
    EXPECT_EQ(tone.baud, 2400);
    PageEncoder encoder;
    encoder.BuildTransmission(tone);
    const int address = PageEncoder::FirstBatchSlot + 1 + 2 * encoder.FrameNumber;
    EXPECT_EQ(encoder.CodewordBuffer[address], addressCodeword(2097151, 3));
    for (int slot = address + 1; slot <= encoder.LastSlot; ++slot)
        EXPECT_EQ(encoder.CodewordBuffer[slot], encoder.IdleCodeword) << slot;
    // the longest message the directory allows fits on every frame
    for (int frame = 0; frame < 8; ++frame)
        EXPECT_GE(encoder.maxMessageLength(frame, Coding::Alphanumeric), 256);
}

TEST_F(PagerDirectoryOnDisk, SaveAndLoadThroughTheFile) {
    const std::string path = (m_dir / PagerDirectoryFile).string();
    PagerDirectory missing;
    std::string error;
    ASSERT_TRUE(missing.load(path, &error)) << error; // no file: an empty directory
    EXPECT_TRUE(missing.pagers().empty());

    const PagerDirectory d = sample();
    ASSERT_TRUE(d.save(path, &error)) << error;
    EXPECT_EQ(readFile(path), d.text());
    PagerDirectory back;
    ASSERT_TRUE(back.load(path, &error)) << error;
    EXPECT_EQ(back.pagers(), d.pagers());

    // a person's narrower permissions survive the rewrite; no temporary file stays
    ::chmod(path.c_str(), 0600);
    ASSERT_TRUE(back.save(path, &error)) << error;
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    EXPECT_EQ(std::distance(fs::directory_iterator(m_dir), fs::directory_iterator()), 1);

    const std::string saved = d.text();
    const auto lines = std::count(saved.begin(), saved.end(), '\n');
    std::ofstream(path, std::ios::app) << "[x]\nric = nine\n";
    EXPECT_FALSE(back.load(path, &error));
    EXPECT_EQ(error,
              path + ": line " + std::to_string(lines + 2) + ": ric: 'nine' is not a number");
    EXPECT_EQ(back.pagers(), d.pagers());

    std::ofstream(path, std::ios::trunc) << std::string(1024 * 1024 + 1, '#');
    EXPECT_FALSE(back.load(path, &error));
    EXPECT_EQ(error, path + ": larger than 1 MiB");
}

TEST_F(PagerDirectoryOnDisk, AFileThatCannotBeWrittenIsReportedAndLeftAlone) {
    const PagerDirectory d = sample();
    std::string error;
    const fs::path notAFolder = m_dir / "plain";
    std::ofstream(notAFolder) << "x";
    const std::string inside = (notAFolder / "Pagers.txt").string();
    EXPECT_FALSE(d.save(inside, &error));
    EXPECT_EQ(error, inside + ": Not a directory");

    const fs::path folderInTheWay = m_dir / "Pagers.txt";
    fs::create_directory(folderInTheWay);
    std::ofstream(folderInTheWay / "keep") << "x";
    EXPECT_FALSE(d.save(folderInTheWay.string(), &error));
    EXPECT_EQ(error.rfind(folderInTheWay.string() + ": ", 0), 0u) << error;
    EXPECT_TRUE(fs::exists(folderInTheWay / "keep"));
    // only the folder in the way and the plain file: the temporary file is gone
    EXPECT_EQ(std::distance(fs::directory_iterator(m_dir), fs::directory_iterator()), 2);

    EXPECT_FALSE(PagerDirectory().load(folderInTheWay.string(), &error));
    EXPECT_EQ(error.rfind(folderInTheWay.string() + ": ", 0), 0u) << error;
}

} // namespace
