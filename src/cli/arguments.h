#pragma once
// Command-line parsing for tarvex-cli: each command declares the options it takes; anything
// else is a usage error that names the offending argument.
#include <map>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace tarvex::cli {

/// Invalid input on the command line; the text goes to stderr and the exit status is 2.
class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

/// A file could not be written; exit status 1.
class OutputError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

/// Whether an option may be given more than once (its values are kept in order).
enum class Repeat { Once, Many };

struct OptionRule {
    OptionRule(std::string optionName, bool withValue = true, std::string shortAlias = {},
               Repeat repeat = Repeat::Once)
        : name(std::move(optionName)), takesValue(withValue), alias(std::move(shortAlias)),
          repeatable(repeat == Repeat::Many) {}
    std::string name;  ///< "--ric"
    bool takesValue;   ///< false for a flag
    std::string alias; ///< "-o" for "--output"
    bool repeatable;   ///< a value option that may be given several times
};

class Arguments {
public:
    /// Parses args against the command's options; throws UsageError.
    Arguments(const std::vector<std::string>& args, const std::vector<OptionRule>& rules);

    bool has(const std::string& name) const;
    /// The option's value (the first one of a repeatable option).
    std::optional<std::string> value(const std::string& name) const;
    /// Every value of the option in command-line order; empty when absent.
    std::vector<std::string> values(const std::string& name) const;
    /// Integer option within [min, max]; the default when absent.
    int intValue(const std::string& name, int fallback, int min, int max) const;
    /// One of the allowed values; the default when absent.
    int choice(const std::string& name, int fallback, const std::vector<int>& allowed) const;
    std::string required(const std::string& name) const;

private:
    std::map<std::string, std::vector<std::string>> m_values;
    std::set<std::string> m_flags;
};

} // namespace tarvex::cli
