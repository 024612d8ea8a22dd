#pragma once
// The PAGE options shared by tarvex-cli's commands: a page given field by field
// (--ric, --func, --numeric, --message...) or as one entry-format line (--entry).
#include "cli/arguments.h"
#include "encoder/page_encoder.h"

#include <string>
#include <vector>

namespace tarvex::cli {

/// Option specs of PAGE, to be joined with a command's own.
std::vector<OptionSpec> pageOptionSpecs();
/// Option specs for --baud and --inverted.
std::vector<OptionSpec> rateOptionSpecs();

/// Reads the page from the arguments: the defaults are the desktop program's start-up
/// selection (function bits 3, alphanumeric, 1200 bit/s, normal polarity). The message is
/// trimmed as SEND trims it. Throws UsageError with the exact text for a bad entry line.
PageParams readPage(const Arguments& args);

/// Applies --sync and --idle (hexadecimal) to the encoder; throws UsageError for bad text.
void applySyncIdle(const Arguments& args, PageEncoder& encoder);

/// Joins lists of options.
std::vector<OptionSpec> joinSpecs(std::initializer_list<std::vector<OptionSpec>> lists);

} // namespace tarvex::cli
