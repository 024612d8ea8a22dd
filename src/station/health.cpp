#include "station/health.h"

#include "encoder/conversions.h"

#include <algorithm>
#include <cstdio>

namespace tarvex {

std::string jsonText(std::string_view text) {
    std::string out = "\"";
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (byte < 0x20 || byte == 0x7f) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", byte);
            out += escaped;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

namespace {

std::string jsonFlag(bool value) {
    return value ? "true" : "false";
}

} // namespace

std::string_view healthStateName(HealthState state) {
    switch (state) {
    case HealthState::Ok:
        return "OK";
    case HealthState::Warning:
        return "WARNING";
    case HealthState::Critical:
        return "CRITICAL";
    case HealthState::Unknown:
        break;
    }
    return "UNKNOWN";
}

void countOutcome(HealthCounters& c, const TxOutcome& out) {
    if (out.keyedAtMs != 0) {
        ++c.keyUps;
        if (out.releasedAtMs >= out.keyedAtMs)
            c.keyedMs += out.releasedAtMs - out.keyedAtMs;
    }
    if (out.kind != TxKind::Page)
        return;
    const uint64_t pages = std::max<std::size_t>(out.pages.size(), 1);
    const char* failure = !out.built               ? "refused"
                          : out.stopped            ? "stopped"
                          : !out.played            ? "not played"
                          : !out.portError.empty() ? "keying failed"
                                                   : nullptr;
    if (failure == nullptr) {
        c.pagesSent += pages;
        return;
    }
    c.pagesFailed += pages;
    c.failedBy[failure] += pages;
}

std::vector<HealthFault> healthFaults(const HealthFacts& f) {
    std::vector<HealthFault> out;
    const auto critical = [&out](std::string reason) {
        out.push_back({HealthState::Critical, std::move(reason)});
    };
    const auto warning = [&out](std::string reason) {
        out.push_back({HealthState::Warning, std::move(reason)});
    };
    if (!f.station.audioError.empty())
        critical("audio " + f.station.audio + " failing: " + f.station.audioError);
    if (!f.station.keyingError.empty())
        critical("keying " + f.station.keying + " failing: " + f.station.keyingError);
    for (const InputHealth& input : f.inputs)
        if (input.enabled && !input.listening)
            critical(input.name + " not listening: " + input.text);
    if (f.monitorAlarm)
        critical("off-air alarm: " + std::to_string(f.notHeard) + " pages not heard");
    if (f.directoryNeeded && !f.directoryProblem.empty())
        critical("no pager directory: " + f.directoryProblem);
    if (f.dapnetEnabled && !f.dapnetOnline)
        warning("DAPNET link " + f.dapnetState);
    if (!f.clockWarning.empty())
        warning(f.clockWarning);
    if (f.oldestWaitingSeconds > f.maxWaitSeconds)
        warning("oldest waiting page " + std::to_string(f.oldestWaitingSeconds) + " s old");
    for (HealthFault& fault : out)
        fault.reason = escapeControls(fault.reason);
    return out;
}

HealthState healthState(const std::vector<HealthFault>& faults) {
    HealthState worst = HealthState::Ok;
    for (const HealthFault& fault : faults)
        worst = std::max(worst, fault.level);
    return worst;
}

std::string healthSummary(const HealthFacts& facts, const std::vector<HealthFault>& faults) {
    std::string text(healthStateName(healthState(faults)));
    text += ": ";
    if (faults.empty())
        return text + std::string(stateName(facts.station.state)) + ", queue " +
               std::to_string(facts.station.queued + facts.waiting);
    for (std::size_t i = 0; i < faults.size(); ++i)
        text += (i == 0 ? "" : "; ") + faults[i].reason;
    return text;
}

std::string healthJson(const HealthFacts& f, const std::vector<HealthFault>& faults) {
    const StationStatus& s = f.station;
    std::string j = "{\"state\":" + jsonText(healthStateName(healthState(faults)));
    j += ",\"summary\":" + jsonText(healthSummary(f, faults));
    j += ",\"on_air\":" + jsonText(stateName(s.state));
    j += ",\"queue\":{\"length\":" + std::to_string(s.queued + f.waiting) +
         ",\"oldest_seconds\":" + std::to_string(f.oldestWaitingSeconds) + "}";
    j += ",\"keying\":{\"line\":" + jsonText(escapeControls(s.keying)) +
         ",\"ok\":" + jsonFlag(s.keyingError.empty()) +
         ",\"error\":" + jsonText(escapeControls(s.keyingError)) + "}";
    j += ",\"audio\":{\"output\":" + jsonText(escapeControls(s.audio)) +
         ",\"ok\":" + jsonFlag(s.audioError.empty()) +
         ",\"error\":" + jsonText(escapeControls(s.audioError)) + "}";
    j += ",\"inputs\":[";
    for (std::size_t i = 0; i < f.inputs.size(); ++i) {
        const InputHealth& in = f.inputs[i];
        j += std::string(i == 0 ? "" : ",") + "{\"name\":" + jsonText(in.name) +
             ",\"enabled\":" + jsonFlag(in.enabled) + ",\"listening\":" + jsonFlag(in.listening) +
             ",\"text\":" + jsonText(escapeControls(in.text)) + "}";
    }
    j += "],\"dapnet\":{\"enabled\":" + jsonFlag(f.dapnetEnabled) +
         ",\"online\":" + jsonFlag(f.dapnetOnline) + ",\"state\":" + jsonText(f.dapnetState) +
         ",\"clock\":" + jsonText(f.clockWarning) + "}";
    if (s.search)
        j += ",\"search\":{\"fast\":" + jsonFlag(s.search->fast) +
             ",\"next\":" + jsonText(s.search->nextText) +
             ",\"to\":" + std::to_string(s.search->to) +
             ",\"sent\":" + std::to_string(s.search->sent) + "}";
    j += ",\"monitor\":{\"running\":" + jsonFlag(f.monitorRunning) +
         ",\"alarm\":" + jsonFlag(f.monitorAlarm) +
         ",\"confirmed\":" + std::to_string(f.confirmed) +
         ",\"not_heard\":" + std::to_string(f.notHeard) + "}";
    j += ",\"counters\":{\"key_ups\":" + std::to_string(f.counters.keyUps) +
         ",\"keyed_seconds\":" + std::to_string(f.counters.keyedMs / 1000) +
         ",\"pages_sent\":" + std::to_string(f.counters.pagesSent) +
         ",\"pages_failed\":" + std::to_string(f.counters.pagesFailed);
    for (const auto& [name, counts] : {std::pair{"pages_failed_by", &f.counters.failedBy},
                                       std::pair{"pages_accepted", &f.acceptedBy}}) {
        j += std::string(",\"") + name + "\":{";
        bool first = true;
        for (const auto& [key, count] : *counts) {
            j += (first ? "" : ",") + jsonText(key) + ":" + std::to_string(count);
            first = false;
        }
        j += "}";
    }
    j += "}";
    j += ",\"faults\":[";
    for (std::size_t i = 0; i < faults.size(); ++i)
        j += std::string(i == 0 ? "" : ",") +
             "{\"level\":" + jsonText(healthStateName(faults[i].level)) +
             ",\"reason\":" + jsonText(faults[i].reason) + "}";
    j += "],\"version\":" + jsonText(f.version) + "}";
    return j;
}

namespace {

/// A label value as the text format needs it: backslash, quote and line feed escaped, other
/// control characters shown as \xHH first.
std::string labelValue(std::string_view text) {
    std::string out;
    for (const char c : escapeControls(text)) {
        if (c == '\\' || c == '"')
            out += '\\';
        out += c;
    }
    return out;
}

void metric(std::string& out, std::string_view name, std::string_view type, std::string_view help,
            const std::vector<std::pair<std::string, double>>& samples) {
    out += "# HELP tarvex_" + std::string(name) + " " + std::string(help) + "\n";
    out += "# TYPE tarvex_" + std::string(name) + " " + std::string(type) + "\n";
    for (const auto& [labels, value] : samples) {
        char number[32];
        std::snprintf(number, sizeof number, "%.17g", value);
        out += "tarvex_" + std::string(name) + labels + " " + number + "\n";
    }
}

double flag(bool value) {
    return value ? 1.0 : 0.0;
}

} // namespace

std::string healthMetrics(const HealthFacts& f, const std::vector<HealthFault>& faults) {
    const StationStatus& s = f.station;
    std::string out;
    metric(out, "health_state", "gauge",
           "Health as monitoring plugins exit: 0 OK, 1 WARNING, 2 CRITICAL.",
           {{"", static_cast<double>(healthState(faults))}});
    std::vector<std::pair<std::string, double>> faultSamples;
    for (const HealthFault& fault : faults)
        faultSamples.emplace_back("{level=\"" + std::string(healthStateName(fault.level)) +
                                      "\",reason=\"" + labelValue(fault.reason) + "\"}",
                                  1.0);
    metric(out, "fault", "gauge", "A fault the station has now, with its level and reason.",
           faultSamples);
    metric(out, "on_air", "gauge", "1 while the transmitter is keyed or about to be.",
           {{"", flag(s.state != OnAirState::Idle && s.state != OnAirState::Held)}});
    metric(out, "queue_pages", "gauge", "Pages waiting to be sent.",
           {{"", static_cast<double>(s.queued + f.waiting)}});
    metric(out, "queue_oldest_seconds", "gauge",
           "Age of the oldest page waiting in the page queue (0: none).",
           {{"", static_cast<double>(std::max<int64_t>(f.oldestWaitingSeconds, 0))}});
    metric(out, "keying_ok", "gauge", "1 when the keying line works.",
           {{"", flag(s.keyingError.empty())}});
    metric(out, "audio_ok", "gauge", "1 when the audio output works.",
           {{"", flag(s.audioError.empty())}});
    std::vector<std::pair<std::string, double>> inputs;
    for (const InputHealth& in : f.inputs)
        if (in.enabled)
            inputs.emplace_back("{input=\"" + labelValue(in.name) + "\"}", flag(in.listening));
    metric(out, "input_up", "gauge", "1 when an enabled network input listens.", inputs);
    if (f.dapnetEnabled)
        metric(out, "dapnet_online", "gauge", "1 while the DAPNET link is logged in.",
               {{"", flag(f.dapnetOnline)}});
    metric(out, "key_ups_total", "counter", "Times the transmitter was keyed since start.",
           {{"", static_cast<double>(f.counters.keyUps)}});
    metric(out, "keyed_seconds_total", "counter", "Seconds keyed since start.",
           {{"", static_cast<double>(f.counters.keyedMs) / 1000.0}});
    metric(out, "pages_sent_total", "counter", "Pages played whole and keyed since start.",
           {{"", static_cast<double>(f.counters.pagesSent)}});
    // Every reason and the usual sources always, so that their series exist from the start.
    const auto labelled = [](const char* label, std::map<std::string, uint64_t> counts,
                             std::initializer_list<const char*> always) {
        for (const char* key : always)
            counts.try_emplace(key, 0);
        std::vector<std::pair<std::string, double>> samples;
        for (const auto& [key, count] : counts)
            samples.emplace_back(std::string("{") + label + "=\"" + labelValue(key) + "\"}",
                                 static_cast<double>(count));
        return samples;
    };
    metric(out, "pages_failed_total", "counter",
           "Pages refused, not played, cut short or not keyed since start, by reason.",
           labelled("reason", f.counters.failedBy,
                    {"refused", "not played", "stopped", "keying failed"}));
    metric(out, "pages_accepted_total", "counter",
           "Pages the page queue took since start, by the input they came from.",
           labelled("source", f.acceptedBy, {"snpp", "wctp", "dapnet", "control"}));
    if (f.monitorRunning) {
        metric(out, "pages_confirmed_total", "counter", "Pages the off-air monitor heard.",
               {{"", static_cast<double>(f.confirmed)}});
        metric(out, "pages_not_heard_total", "counter", "Pages the off-air monitor missed.",
               {{"", static_cast<double>(f.notHeard)}});
        metric(out, "offair_alarm", "gauge", "1 while the off-air alarm is raised.",
               {{"", flag(f.monitorAlarm)}});
    }
    metric(out, "build_info", "gauge", "The running version.",
           {{"{version=\"" + labelValue(f.version) + "\"}", 1.0}});
    return out;
}

} // namespace tarvex
