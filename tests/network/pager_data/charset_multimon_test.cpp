// National character sets checked by an independent decoder: the text is mapped to the
// pager's set, rendered by tarvex-cli, resampled with sox and decoded by multimon-ng with the
// same set (-C); what it prints must be exactly what the pager should show. multimon-ng 1.2.0
// knows DE, SE, FR and SI (and lacks § at 0x40 in DE and Đ đ in SI, so those stay out).
#include "network/charset.h"

#include "shell_tools.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

using namespace tarvex;
namespace fs = std::filesystem;
using tarvex::testing::haveTool;
using tarvex::testing::run;

namespace {

std::string hex(std::string_view bytes) {
    std::string out;
    char two[3];
    for (const char c : bytes) {
        std::snprintf(two, sizeof two, "%02X",
                      static_cast<unsigned>(static_cast<unsigned char>(c)));
        out += two;
    }
    return out;
}

/// The alphanumeric text multimon-ng decodes from the page, up to the end-of-text fill.
std::string decode(std::string_view bytes, Charset set, const fs::path& dir) {
    const fs::path wav = dir / "page.wav", raw = dir / "page.raw";
    std::string cmd = std::string(TARVEX_CLI) + " wav --ric 1234567 --func 3 --message-hex " +
                      hex(bytes) + " -o '" + wav.string() + "' >/dev/null && sox -q -V1 -v 0.8 '" +
                      wav.string() + "' -t raw -r 22050 -e signed-integer -b 16 -c 1 '" +
                      raw.string() + "' && head -c 442 /dev/zero >> '" + raw.string() +
                      "' && multimon-ng -q -t raw -a POCSAG1200 -i -f alpha";
    if (!multimonCharset(set).empty())
        cmd += " -C " + std::string(multimonCharset(set));
    const std::string out = run(cmd + " '" + raw.string() + "' 2>/dev/null");
    const std::string label = "Alpha:   ";
    const auto start = out.find(label);
    if (start == std::string::npos)
        return "(nothing decoded: " + out + ")";
    const auto text = out.substr(start + label.size());
    return text.substr(0, std::min(text.find("<EOT>"), text.find('\n')));
}

TEST(CharsetOnAir, MultimonNgShowsWhatThePagerShould) {
    if (!haveTool("sox") || !haveTool("multimon-ng"))
        GTEST_SKIP() << "sox or multimon-ng not installed";
    const fs::path dir = fs::temp_directory_path() / ("tarvex-charset-" + std::to_string(getpid()));
    fs::create_directories(dir);
    struct Case {
        Charset set;
        std::string text;
        std::string shown;
    };
    const Case cases[] = {
        {Charset::German, "Grüße aus Köln", "Grüße aus Köln"},
        {Charset::German, "ÄRGER über Öl, Übel: äöü ß", "ÄRGER über Öl, Übel: äöü ß"},
        {Charset::German, "Café [1] – „ok“ @home", "Cafe (1) - \"ok\" (at)home"},
        {Charset::Swedish, "Åsa Ärlig Östen: åäö ~@", "Åsa Ärlig Östen: åäö ~@"},
        {Charset::Swedish, "Ærø Søren", "Ärö Sören"},
        {Charset::French, "Élève à 20°C: ça où § µ £ ¨ è", "Elève à 20°C: ça où § µ £ ¨ è"},
        {Charset::Slovenian, "Čas šola žaba Ćup ćup Žaba Šola č",
         "Čas šola žaba Ćup ćup Žaba Šola č"},
        {Charset::UsAscii, "Grüße [x] {y} ~ @ | \\", "Grusse [x] {y} ~ @ | \\"},
    };
    for (const Case& c : cases) {
        const PagerText mapped = toPagerText(c.text, c.set);
        EXPECT_EQ(fromPagerText(mapped.bytes, c.set), c.shown) << c.text;
        EXPECT_EQ(decode(mapped.bytes, c.set, dir), c.shown)
            << charsetCode(c.set) << ": " << c.text;
    }
    fs::remove_all(dir);
}

} // namespace
