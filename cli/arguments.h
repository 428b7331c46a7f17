// The command line of vantor-cli: options of the form "--name value" (or "--name=value") and flags,
// read into a map for the command to take what it knows; whatever is left over is an error. Pure.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace cli {

class Arguments {
  public:
    // `flags`: the options that take no value. Fails (error()) on an option without its value.
    Arguments(const std::vector<std::string>& words, const std::set<std::string>& flags);

    const std::string& error() const { return error_; }
    const std::vector<std::string>& positional() const { return positional_; }

    bool flag(const std::string& name);
    std::optional<std::string> text(const std::string& name);
    // A decimal number 0..4294967295. Nothing when absent; sets error() when present but not a number.
    std::optional<std::uint32_t> number(const std::string& name);

    // Options given but never asked for: "unknown option --x" in error().
    bool check_all_used();

  private:
    std::map<std::string, std::string> values_;
    std::set<std::string> flags_given_;
    std::set<std::string> used_;
    std::vector<std::string> positional_;
    std::string error_;
};

}  // namespace cli
