#pragma once
// The PAGE options shared by tarvex-cli's commands: a page given field by field
// (--ric, --func, --numeric, --message...) or as one entry-format line (--entry); the
// render commands also take several pages (--entry repeated, --entries FILE).
#include "cli/arguments.h"
#include "encoder/page_encoder.h"

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tarvex::cli {

/// Option rules of PAGE, to be joined with a command's own.
std::vector<OptionRule> pageOptionRules();
/// PAGE options of the commands that render several pages as one transmission: --entry may
/// be repeated and --entries FILE reads entry lines from a file.
std::vector<OptionRule> pageListOptionRules();
/// Option rules for --baud and --inverted.
std::vector<OptionRule> rateOptionRules();

/// Reads the page from the arguments: the defaults are the desktop program's start-up
/// selection (function bits 3, alphanumeric, 1200 bit/s, normal polarity). The message is
/// trimmed as SEND trims it. Throws UsageError with the exact text for a bad entry line.
PageParams readPage(const Arguments& args);

/// A page and where it came from on the command line, for messages about it.
struct QueuedPage {
    PageParams page;
    std::string origin; ///< "--entry 2", "FILE line 7"; empty for the only page given
};

/// Largest --entries file read.
inline constexpr std::size_t MaxEntriesFileBytes = 1 << 20;

/// The pages in command-line order: every --entry, then the lines of the --entries file
/// (blank lines skipped), or the one page of the field options. Throws UsageError for a bad
/// line (naming it when there are several) or an unreadable file.
std::vector<QueuedPage> readPages(const Arguments& args);

/// Applies --sync and --idle (hexadecimal) to the encoder; throws UsageError for bad text.
/// The sync and idle texts --sync and --idle give (`sync` and `idle` where they are not
/// given); a usage error when either is not hexadecimal.
std::pair<std::string, std::string> syncIdleTexts(const Arguments& args, std::string_view sync,
                                                  std::string_view idle);
void applySyncIdle(const Arguments& args, PageEncoder& encoder);

/// Joins lists of options.
std::vector<OptionRule> joinOptionRules(std::initializer_list<std::vector<OptionRule>> lists);

} // namespace tarvex::cli
