#include "cli/page_options.h"

#include "encoder/conversions.h"
#include "paging/entry_format.h"

namespace tarvex::cli {

std::vector<OptionSpec> pageOptionSpecs() {
    return {{"--ric"},         {"--func"}, {"--numeric", false}, {"--message"},
            {"--message-hex"}, {"--sync"}, {"--idle"},           {"--entry"}};
}

std::vector<OptionSpec> rateOptionSpecs() {
    return {{"--baud"}, {"--inverted", false}};
}

std::vector<OptionSpec> joinSpecs(std::initializer_list<std::vector<OptionSpec>> lists) {
    std::vector<OptionSpec> all;
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

PageParams readEntry(const Arguments& args, const std::string& line) {
    for (const char* other :
         {"--ric", "--func", "--numeric", "--message", "--message-hex", "--baud", "--inverted"})
        if (args.has(other))
            throw UsageError(std::string("--entry gives the whole page; it cannot be combined "
                                         "with ") +
                             other);
    const EntryParse parsed = parsePageEntry(line);
    if (!parsed.ok())
        throw UsageError(parsed.error.value_or(entry_messages::Format));
    PageParams page = toPageParams(parsed.entry);
    page.message = std::string(trimControl(page.message));
    return page;
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

void applySyncIdle(const Arguments& args, PageEncoder& encoder) {
    const std::string sync = args.value("--sync").value_or(encoder.SyncText);
    const std::string idle = args.value("--idle").value_or(encoder.IdleText);
    if (!hexToCodeword(sync))
        throw UsageError("--sync: '$" + sync + "' is not a valid integer value");
    if (!hexToCodeword(idle))
        throw UsageError("--idle: '$" + idle + "' is not a valid integer value");
    encoder.setSyncIdle(sync, idle);
}

} // namespace tarvex::cli
