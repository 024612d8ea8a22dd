#include "cli/arguments.h"

#include "encoder/conversions.h"

namespace tarvex::cli {

Arguments::Arguments(const std::vector<std::string>& args, const std::vector<OptionRule>& rules) {
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        const OptionRule* option = nullptr;
        std::string inlineValue;
        bool hasInline = false;
        for (const auto& s : rules) {
            if (arg == s.name || (!s.alias.empty() && arg == s.alias)) {
                option = &s;
                break;
            }
            if (s.takesValue && arg.rfind(s.name + "=", 0) == 0) {
                option = &s;
                inlineValue = arg.substr(s.name.size() + 1);
                hasInline = true;
                break;
            }
        }
        if (!option)
            throw UsageError("unknown argument '" + arg + "' (see tarvex-cli --help)");
        if (!option->repeatable && (m_values.count(option->name) || m_flags.count(option->name)))
            throw UsageError(option->name + " given more than once");
        if (!option->takesValue) {
            m_flags.insert(option->name);
            continue;
        }
        if (!hasInline && i + 1 >= args.size())
            throw UsageError(option->name + " needs a value");
        m_values[option->name].push_back(hasInline ? inlineValue : args[++i]);
    }
}

bool Arguments::has(const std::string& name) const {
    return m_flags.count(name) != 0 || m_values.count(name) != 0;
}

std::optional<std::string> Arguments::value(const std::string& name) const {
    auto it = m_values.find(name);
    if (it == m_values.end())
        return std::nullopt;
    return it->second.front();
}

std::vector<std::string> Arguments::values(const std::string& name) const {
    auto it = m_values.find(name);
    return it == m_values.end() ? std::vector<std::string>{} : it->second;
}

int Arguments::intValue(const std::string& name, int fallback, int min, int max) const {
    const auto text = value(name);
    if (!text)
        return fallback;
    const auto v = tryStrToInt(*text);
    if (!v || *v < min || *v > max)
        throw UsageError(name + " must be a whole number from " + std::to_string(min) + " to " +
                         std::to_string(max) + ", not '" + *text + "'");
    return *v;
}

int Arguments::choice(const std::string& name, int fallback,
                      const std::vector<int>& allowed) const {
    const auto text = value(name);
    if (!text)
        return fallback;
    const auto v = tryStrToInt(*text);
    for (int a : allowed)
        if (v && *v == a)
            return a;
    std::string list;
    for (int a : allowed)
        list += (list.empty() ? "" : ", ") + std::to_string(a);
    throw UsageError(name + " must be one of " + list + ", not '" + *text + "'");
}

std::string Arguments::required(const std::string& name) const {
    if (auto v = value(name))
        return *v;
    throw UsageError(name + " is required");
}

} // namespace tarvex::cli
