#include "monitor/offair_report.h"

#include "monitor/multimon_text.h"

#include <algorithm>

namespace tarvex {
namespace {

std::string pageHeader(uint32_t ric, int functionBits, int baud) {
    return "RIC " + std::to_string(ric) + " F" + std::to_string(functionBits) + " " +
           std::to_string(baud) + " bit/s";
}

std::string quotedOrTone(const PageRecord& page) {
    if (page.coding == Coding::Numeric && page.bytes.empty())
        return "tone only";
    return "\"" + printableText(page) + "\"";
}

std::string secondsAgo(int64_t thenMs, int64_t nowMs) {
    const int64_t s = std::max<int64_t>(0, nowMs - thenMs) / 1000;
    return std::to_string(s) + " s ago";
}

} // namespace

std::string pageLogMarker(Verdict verdict) {
    return std::string(" - ") + verdictText(verdict);
}

std::string printableText(const PageRecord& page) {
    return page.coding == Coding::Numeric ? decoderNumericText(page.bytes)
                                          : decoderAlphaText(page.bytes, {});
}

std::string verdictLine(const PageVerdict& v) {
    std::string out = "Off-air: " + pageHeader(v.page.ric, v.page.functionBits, v.baud) + " " +
                      quotedOrTone(v.page) + " " + verdictText(v.verdict);
    if (v.verdict == Verdict::Confirmed && v.releaseMs >= 0)
        // The decoder may finish before the engine has released (it waits for the output
        // to drain): that is a time before the release, not a negative one after it.
        out += v.sinceReleaseMs >= 0
                   ? " " + std::to_string(v.sinceReleaseMs) + " ms after release"
                   : " " + std::to_string(-v.sinceReleaseMs) + " ms before release";
    if (v.heardGarbled)
        out += " (address heard, text \"" + v.heardText + "\")";
    return out;
}

std::string elsewhereLine(const HeardElsewhere& h) {
    std::string out = "Off-air: heard from elsewhere: " + pageHeader(h.ric, h.functionBits, h.baud);
    if (h.toneOnly && !h.hasAlpha && !h.hasNumeric)
        return out + " tone only";
    return out + " \"" + h.text() + "\"";
}

std::string alarmLine(const AlarmEvent& alarm) {
    if (!alarm.raised)
        return "Off-air alarm cleared: RIC " + std::to_string(alarm.clearedBy.page.ric) +
               " confirmed";
    std::string out =
        "OFF-AIR ALARM: " + std::to_string(alarm.consecutive) + " pages in a row not heard";
    if (!alarm.missed.empty())
        out += " (last RIC " + std::to_string(alarm.missed.back().page.ric) + ")";
    return out;
}

const char* stateText(MonitorStatus::State state) {
    switch (state) {
    case MonitorStatus::State::Off:
        return "off";
    case MonitorStatus::State::Starting:
        return "starting";
    case MonitorStatus::State::Running:
        return "running";
    case MonitorStatus::State::Failed:
        return "failed";
    }
    return "off";
}

std::vector<std::string> statusLines(const MonitorStatus& s, int64_t nowMs) {
    std::vector<std::string> lines;
    std::string head = std::string("Off-air monitor: ") + stateText(s.state);
    if (s.state == MonitorStatus::State::Off)
        return {head};
    head += ", input " + s.input;
    lines.push_back(head);
    std::string decoders = "  decoders:";
    for (const auto& d : s.decoders)
        decoders += " [" + d + "]";
    if (s.decoders.empty())
        decoders += " none running";
    lines.push_back(decoders);
    lines.push_back(
        "  " + std::to_string(s.counts.confirmed) + " confirmed, " +
        std::to_string(s.counts.notHeard) + " not heard, " + std::to_string(s.counts.elsewhere) +
        " heard from elsewhere; last decode " +
        (s.lastDecodeMs < 0 ? std::string("never") : secondsAgo(s.lastDecodeMs, nowMs)) +
        "; restarts: decoder " + std::to_string(s.decoderRestarts) + ", input " +
        std::to_string(s.inputRestarts));
    if (s.state != MonitorStatus::State::Starting && s.lastAudioMs >= 0 &&
        nowMs - s.lastAudioMs > 5000)
        lines.push_back("  no audio from the input since " + secondsAgo(s.lastAudioMs, nowMs));
    if (!s.lastVerdict.empty())
        lines.push_back("  last: " + s.lastVerdict);
    if (s.alarmRaised)
        lines.push_back("  ALARM: " + std::to_string(s.consecutiveNotHeard) +
                        " pages in a row not heard");
    if (!s.problem.empty())
        lines.push_back(
            "  last problem" +
            (s.problemMs < 0 ? std::string() : " (" + secondsAgo(s.problemMs, nowMs) + ")") + ": " +
            s.problem);
    return lines;
}

std::vector<std::pair<std::string, std::string>> alarmEnvironment(const AlarmEvent& alarm) {
    std::vector<std::pair<std::string, std::string>> env{
        {"TARVEX_ALARM", alarm.raised ? "raised" : "cleared"},
        {"TARVEX_ALARM_SUMMARY", alarmLine(alarm)},
        {"TARVEX_ALARM_COUNT", std::to_string(alarm.consecutive)}};
    std::vector<const PageVerdict*> pages;
    if (alarm.raised) {
        const std::size_t first = alarm.missed.size() > MaxAlarmPagesInEnvironment
                                      ? alarm.missed.size() - MaxAlarmPagesInEnvironment
                                      : 0;
        for (std::size_t i = first; i < alarm.missed.size(); ++i)
            pages.push_back(&alarm.missed[i]);
    } else {
        pages.push_back(&alarm.clearedBy);
    }
    env.emplace_back("TARVEX_ALARM_PAGES", std::to_string(pages.size()));
    for (std::size_t i = 0; i < pages.size(); ++i) {
        const std::string n = std::to_string(i + 1);
        const PageVerdict& v = *pages[i];
        env.emplace_back("TARVEX_ALARM_RIC_" + n, std::to_string(v.page.ric));
        env.emplace_back("TARVEX_ALARM_FUNC_" + n, std::to_string(v.page.functionBits));
        env.emplace_back("TARVEX_ALARM_BAUD_" + n, std::to_string(v.baud));
        env.emplace_back("TARVEX_ALARM_TEXT_" + n, printableText(v.page));
    }
    return env;
}

} // namespace tarvex
