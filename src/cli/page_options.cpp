#include "cli/page_options.h"

#include "encoder/conversions.h"
#include "paging/entry_format.h"
#include "paging/message_list.h"

#include <cerrno>
#include <cstdio>
#include <memory>

namespace tarvex::cli {

std::vector<OptionRule> pageOptionRules() {
    return {{"--ric"},         {"--func"}, {"--numeric", false}, {"--message"},
            {"--message-hex"}, {"--sync"}, {"--idle"},           {"--entry"}};
}

std::vector<OptionRule> pageListOptionRules() {
    std::vector<OptionRule> rules = pageOptionRules();
    for (auto& rule : rules)
        if (rule.name == "--entry")
            rule.repeatable = true;
    rules.emplace_back("--entries");
    return rules;
}

std::vector<OptionRule> rateOptionRules() {
    return {{"--baud"}, {"--inverted", false}};
}

std::vector<OptionRule> joinOptionRules(std::initializer_list<std::vector<OptionRule>> lists) {
    std::vector<OptionRule> all;
    for (const auto& list : lists)
        all.insert(all.end(), list.begin(), list.end());
    return all;
}

namespace {

std::string decodeHexMessage(const std::string& hex) {
    if (hex.size() % 2 != 0)
        throw UsageError("--message-hex needs an even number of hexadecimal digits");
    std::string bytes;
    for (std::size_t i = 0; i < hex.size(); i += 2) {
        const auto v = hexToCodeword(std::string_view(hex).substr(i, 2));
        if (!v)
            throw UsageError("--message-hex: '" + hex.substr(i, 2) + "' is not a hexadecimal byte");
        bytes += static_cast<char>(*v);
    }
    return bytes;
}

void rejectFieldOptions(const Arguments& args, const std::string& option) {
    for (const char* other :
         {"--ric", "--func", "--numeric", "--message", "--message-hex", "--baud", "--inverted"})
        if (args.has(other))
            throw UsageError(option + " gives the whole page; it cannot be combined with " + other);
}

/// The page of one entry line; origin, when not empty, prefixes the error text.
PageParams parseEntry(const std::string& line, const std::string& origin) {
    const EntryParse parsed = parsePageEntry(line);
    if (!parsed.ok())
        throw UsageError((origin.empty() ? "" : origin + ": ") +
                         parsed.error.value_or(entry_messages::Format));
    PageParams page = toPageParams(parsed.entry);
    page.message = std::string(trimControl(page.message));
    return page;
}

PageParams readEntry(const Arguments& args, const std::string& line) {
    rejectFieldOptions(args, "--entry");
    return parseEntry(line, {});
}

/// The file's text, at most MaxEntriesFileBytes of it.
std::string readEntriesFile(const std::string& path) {
    errno = 0;
    const std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"),
                                                               std::fclose);
    if (!file)
        throw UsageError("--entries: " + file_io::reason(path, errno != 0 ? errno : EIO));
    std::string text(MaxEntriesFileBytes + 1, '\0');
    const std::size_t got = std::fread(text.data(), 1, text.size(), file.get());
    if (std::ferror(file.get()))
        throw UsageError("--entries: " + file_io::reason(path, errno != 0 ? errno : EIO));
    if (got > MaxEntriesFileBytes)
        throw UsageError("--entries: " + path + " is larger than " +
                         std::to_string(MaxEntriesFileBytes) + " bytes");
    text.resize(got);
    return text;
}

} // namespace

PageParams readPage(const Arguments& args) {
    if (auto line = args.value("--entry"))
        return readEntry(args, *line);
    PageParams page;
    page.ric = args.required("--ric");
    page.functionBits = args.intValue("--func", 3, 0, 3);
    page.coding = args.has("--numeric") ? Coding::Numeric : Coding::Alphanumeric;
    page.baud = args.choice("--baud", 1200, {512, 1200, 2400});
    page.inverted = args.has("--inverted");
    if (args.has("--message") && args.has("--message-hex"))
        throw UsageError("give either --message or --message-hex, not both");
    std::string message;
    if (auto text = args.value("--message"))
        message = *text;
    else if (auto hex = args.value("--message-hex"))
        message = decodeHexMessage(*hex);
    page.message = std::string(trimControl(message));
    return page;
}

std::vector<QueuedPage> readPages(const Arguments& args) {
    const std::vector<std::string> entries = args.values("--entry");
    const auto file = args.value("--entries");
    if (entries.empty() && !file)
        return {{readPage(args), {}}};
    rejectFieldOptions(args, entries.empty() ? "--entries" : "--entry");
    std::vector<QueuedPage> pages;
    const bool several = entries.size() > 1 || file;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const std::string origin = several ? "--entry " + std::to_string(i + 1) : "";
        pages.push_back({parseEntry(entries[i], origin), origin});
    }
    if (file) {
        const std::vector<std::string> lines = splitMessageList(readEntriesFile(*file));
        for (std::size_t n = 0; n < lines.size(); ++n) {
            if (trimControl(lines[n]).empty())
                continue;
            const std::string origin = *file + " line " + std::to_string(n + 1);
            pages.push_back({parseEntry(lines[n], origin), origin});
        }
        if (pages.size() == entries.size())
            throw UsageError("--entries: " + *file + " holds no entry lines");
    }
    return pages;
}

std::pair<std::string, std::string> syncIdleTexts(const Arguments& args, std::string_view sync,
                                                  std::string_view idle) {
    std::pair<std::string, std::string> texts{args.value("--sync").value_or(std::string(sync)),
                                              args.value("--idle").value_or(std::string(idle))};
    if (!hexToCodeword(texts.first))
        throw UsageError("--sync: '$" + texts.first + "' is not a valid integer value");
    if (!hexToCodeword(texts.second))
        throw UsageError("--idle: '$" + texts.second + "' is not a valid integer value");
    return texts;
}

void applySyncIdle(const Arguments& args, PageEncoder& encoder) {
    const auto [sync, idle] = syncIdleTexts(args, encoder.SyncText, encoder.IdleText);
    encoder.setSyncIdle(sync, idle);
}

} // namespace tarvex::cli
