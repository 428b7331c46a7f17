#include "cli/arguments.h"

#include <charconv>

namespace cli {

Arguments::Arguments(const std::vector<std::string>& words, const std::set<std::string>& flags) {
    for (std::size_t i = 0; i < words.size(); ++i) {
        const std::string& w = words[i];
        if (w.size() < 2 || w[0] != '-' || w == "-") {
            positional_.push_back(w);
            continue;
        }
        std::string name = w.rfind("--", 0) == 0 ? w.substr(2) : w.substr(1);
        std::optional<std::string> value;
        if (const auto eq = name.find('='); eq != std::string::npos) {
            value = name.substr(eq + 1);
            name = name.substr(0, eq);
        }
        if (flags.count(name)) {
            if (value) {
                error_ = "option --" + name + " takes no value";
                return;
            }
            flags_given_.insert(name);
            continue;
        }
        if (!value) {
            if (i + 1 >= words.size()) {
                error_ = "option --" + name + " needs a value";
                return;
            }
            value = words[++i];
        }
        values_[name] = *value;
    }
}

bool Arguments::flag(const std::string& name) {
    used_.insert(name);
    return flags_given_.count(name) > 0;
}

std::optional<std::string> Arguments::text(const std::string& name) {
    used_.insert(name);
    const auto it = values_.find(name);
    if (it == values_.end()) return std::nullopt;
    return it->second;
}

std::optional<std::uint32_t> Arguments::number(const std::string& name) {
    const auto value = text(name);
    if (!value) return std::nullopt;
    std::uint32_t n = 0;
    const auto* end = value->data() + value->size();
    const auto [ptr, ec] = std::from_chars(value->data(), end, n);
    if (value->empty() || ec != std::errc() || ptr != end) {
        if (error_.empty())
            error_ = "--" + name + " needs a whole number from 0 to 4294967295, not \"" + *value + "\"";
        return std::nullopt;
    }
    return n;
}

bool Arguments::check_all_used() {
    if (!error_.empty()) return false;
    for (const auto& [name, value] : values_) {
        if (!used_.count(name)) {
            error_ = "unknown option --" + name;
            return false;
        }
    }
    for (const auto& name : flags_given_) {
        if (!used_.count(name)) {
            error_ = "unknown option --" + name;
            return false;
        }
    }
    return true;
}

}  // namespace cli
