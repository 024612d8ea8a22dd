// The monitor's smaller parts: decoder command lines, settings and their stored text, the
// sample converter, and the alarm command's environment.
#include "monitor/decoder_command.h"
#include "monitor/monitor_settings.h"
#include "monitor/offair_report.h"
#include "monitor/sample_convert.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>

using namespace tarvex;

namespace {

bool has(const std::vector<std::string>& args, const std::string& a) {
    return std::find(args.begin(), args.end(), a) != args.end();
}

TEST(DecoderCommand, PolarityRatesRenderingsAndCharset) {
    struct Case {
        bool station, receiver, both;
        std::vector<bool> wantInvertFlag; // per process, alpha first
    };
    const Case cases[] = {
        {false, false, false, {true, true}},
        {true, false, false, {false, false}},
        {false, true, false, {false, false}},
        {true, true, false, {true, true}},
        {false, false, true, {true, false, true, false}},
    };
    for (const auto& c : cases) {
        DecoderConfig config;
        config.stationInverted = c.station;
        config.receiverInverts = c.receiver;
        config.bothPolarities = c.both;
        config.rates = {2400, 512};
        config.charset = "de";
        const auto commands = decoderCommands(config);
        ASSERT_EQ(commands.size(), c.wantInvertFlag.size());
        for (std::size_t i = 0; i < commands.size(); ++i) {
            const auto& args = commands[i].arguments;
            EXPECT_EQ(has(args, "-i"), c.wantInvertFlag[i]) << commandText(args);
            EXPECT_TRUE(has(args, "POCSAG512") && has(args, "POCSAG2400") &&
                        !has(args, "POCSAG1200"));
            EXPECT_EQ(args.back(), "-");
            const bool alpha = commands[i].rendering == DecodeKind::Alpha;
            EXPECT_EQ(has(args, alpha ? "alpha" : "numeric"), true);
            EXPECT_EQ(has(args, "DE"), alpha) << "-C only matters for letters";
        }
    }
    DecoderConfig none;
    none.rates = {1600};
    EXPECT_TRUE(decoderCommands(none).empty());
}

TEST(DecoderCommand, CharsetArgumentOnlyForSetsTheDecoderKnows) {
    const std::pair<const char*, const char*> cases[] = {{"de", "DE"}, {"SE", "SE"}, {"fr", "FR"},
                                                         {"si", "SI"}, {"us", ""},   {"dk", ""},
                                                         {"", ""},     {"xx", ""}};
    for (const auto& [code, arg] : cases)
        EXPECT_EQ(decoderCharsetArgument(code), arg) << code;
}

TEST(MonitorSettings, InputChoices) {
    std::string why;
    const auto cmd = parseMonitorInput("command:parec -d x.monitor --raw", &why);
    ASSERT_TRUE(cmd);
    EXPECT_EQ(cmd->kind, MonitorInputKind::Command);
    EXPECT_EQ(cmd->value, "parec -d x.monitor --raw");
    EXPECT_EQ(parseMonitorInput("qt:", &why)->kind, MonitorInputKind::QtDevice);
    EXPECT_EQ(parseMonitorInput("alsa:plughw:1,0", &why)->value, "plughw:1,0");
    for (const char* bad : {"command:", "command:   ", "alsa:", "pulse:x", "", "command:a\nb"}) {
        EXPECT_FALSE(parseMonitorInput(bad, &why)) << bad;
        EXPECT_FALSE(why.empty());
    }
}

TEST(MonitorSettings, StoredTextRoundTripAndRanges) {
    MonitorSettings s;
    s.enabled = true;
    s.input = "command:rtl_fm -f 439.9875M | sox -t raw - -t raw -";
    s.receiverInverts = true;
    s.marginMs = 2500;
    s.alarmCount = 5;
    s.alarmCommand = "mail -s alarm op@example.org";
    std::map<std::string, std::string, std::less<>> store;
    for (const auto& [name, value] : monitorSettingValues(s))
        store[std::string(name)] = value;
    auto lookup = [&](std::string_view name) -> std::optional<std::string> {
        const auto it = store.find(name);
        return it == store.end() ? std::nullopt : std::optional(it->second);
    };
    const auto back = readMonitorSettings(lookup);
    EXPECT_EQ(back.input, s.input);
    EXPECT_EQ(back.alarmCommand, s.alarmCommand);
    EXPECT_TRUE(back.enabled && back.receiverInverts);
    EXPECT_EQ(back.marginMs, 2500);
    EXPECT_EQ(back.alarmCount, 5);
    EXPECT_FALSE(validateMonitorSettings(back));

    store["MonitorMarginMs"] = "999999";
    store["MonitorAlarmCount"] = "x";
    const auto clamped = readMonitorSettings(lookup);
    EXPECT_EQ(clamped.marginMs, MaxMonitorMarginMs);
    EXPECT_EQ(clamped.alarmCount, 3);
    s.alarmCount = 0;
    EXPECT_TRUE(validateMonitorSettings(s));
    s.alarmCount = 3;
    s.input = "bogus";
    EXPECT_TRUE(validateMonitorSettings(s));
    s.enabled = false;
    EXPECT_FALSE(validateMonitorSettings(s));
    EXPECT_EQ(withMonitorCommand(s, "parec").input, "command:parec");
}

template <typename T> std::vector<uint8_t> bytesOf(const std::vector<T>& v) {
    std::vector<uint8_t> b(v.size() * sizeof(T));
    std::memcpy(b.data(), v.data(), b.size());
    return b;
}

TEST(SampleConverter, FormatsChannelsAndRates) {
    // A 1 kHz sine through each source format, stereo, at 48 kHz: one second in gives one
    // second at 22050 with the same tone and level.
    const int rate = 48000;
    std::vector<float> f;
    std::vector<int32_t> i32;
    std::vector<uint8_t> u8;
    for (int n = 0; n < rate; ++n) {
        const double v = 0.5 * std::sin(2 * M_PI * 1000.0 * n / rate);
        for (int ch = 0; ch < 2; ++ch) {
            f.push_back(static_cast<float>(v));
            i32.push_back(static_cast<int32_t>(v * 2147483647.0));
            u8.push_back(static_cast<uint8_t>(std::lround(128 + v * 127)));
        }
    }
    const std::pair<SampleFormat, std::vector<uint8_t>> inputs[] = {
        {SampleFormat::Float, bytesOf(f)},
        {SampleFormat::Int32, bytesOf(i32)},
        {SampleFormat::UInt8, u8}};
    for (const auto& [format, bytes] : inputs) {
        SampleConverter conv(CaptureFormat{format, rate, 2});
        std::vector<int16_t> out;
        // Odd chunk sizes: frames split across calls are kept.
        for (std::size_t pos = 0; pos < bytes.size(); pos += 1001)
            conv.convert(
                std::span(bytes).subspan(pos, std::min<std::size_t>(1001, bytes.size() - pos)),
                out);
        EXPECT_NEAR(static_cast<double>(out.size()), 22050, 2);
        double power = 0;
        int crossings = 0;
        for (std::size_t n = 1; n < out.size(); ++n) {
            power += double(out[n]) * out[n];
            crossings += (out[n - 1] < 0) != (out[n] < 0);
        }
        EXPECT_NEAR(std::sqrt(power / static_cast<double>(out.size())),
                    0.5 * 32767 / std::sqrt(2.0), 600);
        EXPECT_NEAR(crossings, 2000, 4);
    }
    // Up from 8000: length scales, a constant stays constant.
    SampleConverter up(CaptureFormat{SampleFormat::Int16, 8000, 1});
    std::vector<int16_t> in(8000, 1000), out;
    up.convert(bytesOf(in), out);
    EXPECT_NEAR(static_cast<double>(out.size()), 22050, 3);
    EXPECT_TRUE(std::all_of(out.begin() + 3, out.end(), [](int16_t s) { return s == 1000; }));
}

TEST(SampleConverter, DitherMovesSilenceByOneStep) {
    std::vector<int16_t> silence(10000, 0);
    uint32_t state = 7;
    addDither(silence, state);
    EXPECT_TRUE(
        std::all_of(silence.begin(), silence.end(), [](int16_t s) { return s >= -1 && s <= 1; }));
    EXPECT_GT(std::count(silence.begin(), silence.end(), 1), 2000);
    EXPECT_GT(std::count(silence.begin(), silence.end(), -1), 2000);
}

TEST(AlarmEnvironment, CarriesEachPagePrintableAndNothingElse) {
    AlarmEvent alarm;
    alarm.raised = true;
    alarm.consecutive = 3;
    for (uint32_t ric : {1u, 2u, 3u}) {
        PageVerdict v;
        v.page = PageRecord{ric, 3, Coding::Alphanumeric, std::string("$(reboot)\n\0x", 12), {}};
        v.baud = 1200;
        alarm.missed.push_back(v);
    }
    std::map<std::string, std::string> env;
    for (const auto& [k, v] : alarmEnvironment(alarm))
        env[k] = v;
    EXPECT_EQ(env["TARVEX_ALARM"], "raised");
    EXPECT_EQ(env["TARVEX_ALARM_COUNT"], "3");
    EXPECT_EQ(env["TARVEX_ALARM_PAGES"], "3");
    EXPECT_EQ(env["TARVEX_ALARM_RIC_3"], "3");
    EXPECT_EQ(env["TARVEX_ALARM_TEXT_1"], "$(reboot)<LF><NUL>x");
    for (const auto& [k, v] : env)
        EXPECT_EQ(v.find('\0'), std::string::npos) << k;
    EXPECT_NE(env["TARVEX_ALARM_SUMMARY"].find("3 pages in a row not heard"), std::string::npos);
}

TEST(OffAirReport, PageLogMarkers) {
    EXPECT_EQ(pageLogMarker(Verdict::Confirmed), " - confirmed");
    EXPECT_EQ(pageLogMarker(Verdict::NotHeard), " - not heard");
}

TEST(OffAirReport, DecodeBeforeTheReleaseIsNotANegativeTimeAfterIt) {
    PageVerdict v;
    v.verdict = Verdict::Confirmed;
    v.releaseMs = 10000;
    for (const auto& [since, words] :
         {std::pair<int64_t, const char*>{420, " 420 ms after release"},
          {-894, " 894 ms before release"}}) {
        v.sinceReleaseMs = since;
        EXPECT_NE(verdictLine(v).find(words), std::string::npos) << verdictLine(v);
    }
}

} // namespace
