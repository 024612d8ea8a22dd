// Judges recorded receiver audio the way the off-air monitor does, without real time: for
// each job line on standard input
//   BAUD N|I RIC FUNC A|N HEX FILE
// (FILE: raw signed 16-bit mono at 22050 Hz holding one transmission, HEX the page's bytes,
// "-" for none) it runs the monitor's multimon-ng command lines, feeds each the file through
// a pipe in the monitor's blocks, reads their output with the monitor's parser, and prints
// the matcher's verdict, "confirmed" or "not-heard", one line per job. For the
// signal-to-noise measurement (bench/offair_snr.sh).
#include "monitor/decoder_command.h"
#include "monitor/multimon_line.h"
#include "monitor/offair_matcher.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <iterator>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

using namespace tarvex;

namespace {

struct Last : OffAirListener {
    Verdict verdict = Verdict::NotHeard;
    void pageDecided(const PageVerdict& v) override { verdict = v.verdict; }
};

std::string quoted(const std::string& s) {
    std::string out = "'";
    for (const char c : s)
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

std::string fromHex(const std::string& hex) {
    std::string out;
    if (hex != "-")
        for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
            out += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
    return out;
}

Verdict judge(const TransmissionRecord& record, const std::string& file) {
    DecoderConfig config;
    config.rates = {record.baud};
    config.stationInverted = record.inverted;
    Last last;
    OffAirMatcher matcher(last);
    matcher.expect(record);
    matcher.released(record.id, 1000);
    std::ifstream in(file, std::ios::binary);
    const std::vector<char> audio((std::istreambuf_iterator<char>(in)), {});
    const std::string output = file + ".decoded";
    for (const auto& command : decoderCommands(config)) {
        std::string line;
        for (const auto& a : command.arguments)
            line += quoted(a) + " ";
        FILE* pipe = popen((line + ">" + quoted(output) + " 2>/dev/null").c_str(), "w");
        if (!pipe)
            continue;
        // One write per block, with a pause so that the decoder reads each on its own.
        const std::size_t block = DecoderBlockSamples * 2;
        std::setvbuf(pipe, nullptr, _IOFBF, block);
        for (std::size_t pos = 0; pos < audio.size(); pos += block) {
            std::fwrite(audio.data() + pos, 1, std::min(block, audio.size() - pos), pipe);
            std::fflush(pipe);
            std::this_thread::sleep_for(std::chrono::microseconds(300));
        }
        pclose(pipe);
        std::ifstream decoded(output);
        for (std::string text; std::getline(decoded, text);)
            if (const auto decode = parseMultimonLine(text))
                matcher.decoded(*decode, 1000);
    }
    std::remove(output.c_str());
    matcher.poll(1000000);
    return last.verdict;
}

} // namespace

int main() {
    std::string line;
    uint64_t id = 0;
    while (std::getline(std::cin, line)) {
        std::istringstream in(line);
        TransmissionRecord r;
        PageRecord p;
        std::string pol, coding, hex, file;
        if (!(in >> r.baud >> pol >> p.ric >> p.functionBits >> coding >> hex >> file)) {
            std::cout << "bad-job" << std::endl;
            continue;
        }
        r.id = ++id;
        r.inverted = pol == "I";
        p.coding = coding == "N" ? Coding::Numeric : Coding::Alphanumeric;
        p.bytes = fromHex(hex);
        r.pages.push_back(p);
        std::cout << (judge(r, file) == Verdict::Confirmed ? "confirmed" : "not-heard")
                  << std::endl;
    }
    return 0;
}
