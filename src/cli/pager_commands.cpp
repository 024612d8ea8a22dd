// tarvex-cli pager add|list|show|remove: the station's pager directory ("Pagers.txt" in the
// station folder that tarvexd reads too). A directory file that cannot be read or holds a bad
// entry is reported and never written over.
#include "cli/arguments.h"
#include "cli/commands.h"
#include "network/pager_directory.h"
#include "paging/station_folder.h"

#include <algorithm>
#include <iomanip>
#include <iostream>
#include <stdexcept>

namespace tarvex::cli {
namespace {

/// Refuses any option: the command takes none.
void noOptions(const Args& args) {
    const Arguments none(args, {});
}

std::string directoryPath() {
    return stationFolder() + PagerDirectoryFile;
}

/// The directory as it stands; a file that cannot be read is an error (exit status 1).
PagerDirectory loadDirectory(const std::string& path) {
    PagerDirectory directory;
    std::string error;
    if (!directory.load(path, &error))
        throw std::runtime_error(error);
    return directory;
}

void saveDirectory(const PagerDirectory& directory, const std::string& path) {
    std::string error;
    if (!directory.save(path, &error))
        throw OutputError(error);
    handOverToService(path);
}

/// The ID word that comes first, then the options.
std::pair<std::string, Args> splitId(const std::string& command, const Args& args) {
    if (args.empty() || args[0].rfind("-", 0) == 0)
        throw UsageError("pager " + command + " needs the pager's ID first");
    return {args[0], Args(args.begin() + 1, args.end())};
}

std::string trimmed(const std::string& text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string::npos)
        return {};
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

Pager readPager(const std::string& id, const Arguments& options) {
    if (options.has("--numeric") && options.has("--tone"))
        throw UsageError("pager add: give either --numeric or --tone, not both");
    Pager pager;
    pager.id = id;
    if (options.has("--tone"))
        pager.maxLength = 0;
    const std::pair<const char*, const char*> fields[] = {
        {"--ric", "ric"},         {"--func", "function"},         {"--baud", "baud"},
        {"--charset", "charset"}, {"--max-length", "max-length"}, {"--name", "name"}};
    std::optional<std::string> problem;
    const auto set = [&](std::string_view key, const std::string& value) {
        if (!problem)
            problem = setPagerField(pager, key, value);
    };
    set("ric", options.required("--ric"));
    for (const auto& [option, key] : fields)
        if (auto value = options.value(option))
            set(key, key == std::string_view("name") ? trimmed(*value) : *value);
    if (options.has("--numeric") || options.has("--tone"))
        set("coding", options.has("--tone") ? "tone" : "numeric");
    if (options.has("--inverted"))
        set("polarity", "inverted");
    if (!problem)
        problem = validatePager(pager);
    if (problem)
        throw UsageError("pager add: " + *problem);
    return pager;
}

int addPager(const Args& args) {
    const auto [id, rest] = splitId("add", args);
    const Arguments options(rest, {{"--ric"},
                                   {"--func"},
                                   {"--numeric", false},
                                   {"--tone", false},
                                   {"--baud"},
                                   {"--inverted", false},
                                   {"--charset"},
                                   {"--max-length"},
                                   {"--name"}});
    const Pager pager = readPager(id, options);
    const std::string path = directoryPath();
    PagerDirectory directory = loadDirectory(path);
    const bool replacing = directory.find(pager.id) != nullptr;
    std::string error;
    if (!directory.add(pager, &error))
        throw UsageError("pager add: " + error);
    saveDirectory(directory, path);
    std::cout << (replacing ? "replaced " : "added ") << pager.id << " in " << path << "\n";
    return 0;
}

int listPagers(const Args& args) {
    noOptions(args);
    const std::string path = directoryPath();
    const PagerDirectory directory = loadDirectory(path);
    if (directory.pagers().empty()) {
        std::cerr << "no pagers in " << path << "\n";
        return 0;
    }
    std::size_t idWidth = 2;
    for (const Pager& p : directory.pagers())
        idWidth = std::max(idWidth, p.id.size());
    const auto row = [&](const std::string& id, const std::string& ric, const std::string& func,
                         std::string_view coding, const std::string& baud,
                         std::string_view polarity, std::string_view charset,
                         const std::string& max, const std::string& name) {
        std::cout << std::left << std::setw(static_cast<int>(idWidth)) << id << "  " << std::setw(7)
                  << ric << "  " << std::setw(4) << func << "  " << std::setw(12) << coding << "  "
                  << std::setw(4) << baud << "  " << std::setw(8) << polarity << "  "
                  << std::setw(7) << charset << "  " << std::setw(name.empty() ? 0 : 3) << max
                  << (name.empty() ? "" : "  " + name) << "\n";
    };
    row("ID", "RIC", "FUNC", "CODING", "BAUD", "POLARITY", "CHARSET", "MAX", "NAME");
    for (const Pager& p : directory.pagers())
        row(p.id, std::to_string(p.ric), std::to_string(p.functionBits), pagerCodingName(p.coding),
            std::to_string(p.baud), p.inverted ? "inverted" : "normal", charsetCode(p.charset),
            std::to_string(p.maxLength), p.name);
    return 0;
}

const Pager& findPager(const PagerDirectory& directory, const std::string& id,
                       const std::string& path) {
    const Pager* pager = directory.find(id);
    if (!pager)
        throw UsageError("no pager '" + id + "' in " + path);
    return *pager;
}

int showPager(const Args& args) {
    const auto [id, rest] = splitId("show", args);
    noOptions(rest);
    const std::string path = directoryPath();
    const PagerDirectory directory = loadDirectory(path);
    const Pager& p = findPager(directory, id, path);
    std::cout << "id = " << p.id << "\nname = " << p.name << "\nric = " << p.ric
              << "\nfunction = " << p.functionBits << "\ncoding = " << pagerCodingName(p.coding)
              << "\nbaud = " << p.baud << "\npolarity = " << (p.inverted ? "inverted" : "normal")
              << "\ncharset = " << charsetCode(p.charset) << " (" << charsetCaption(p.charset)
              << ")\nmax-length = " << p.maxLength << "\n";
    return 0;
}

int removePager(const Args& args) {
    const auto [id, rest] = splitId("remove", args);
    noOptions(rest);
    const std::string path = directoryPath();
    PagerDirectory directory = loadDirectory(path);
    findPager(directory, id, path);
    directory.remove(id);
    saveDirectory(directory, path);
    std::cout << "removed " << id << " from " << path << "\n";
    return 0;
}

} // namespace

int runPager(const Args& args) {
    const std::pair<const char*, int (*)(const Args&)> commands[] = {
        {"add", addPager}, {"list", listPagers}, {"show", showPager}, {"remove", removePager}};
    for (const auto& [name, run] : commands)
        if (!args.empty() && args[0] == name)
            return run(Args(args.begin() + 1, args.end()));
    throw UsageError("pager needs add, list, show or remove (see tarvex-cli --help)");
}

} // namespace tarvex::cli
