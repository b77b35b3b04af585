// Command-line options, on the argument bytes as given: file names that are not UTF-8 stay
// as they are (QCommandLineParser only takes decoded text). Names must be given whole
// (getopt_long would take "--dem" for "--demo"). Messages are Chinese.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace faq::app {

struct OptionDef {
    const char* name;  // long name, without "--"
    enum { Flag, Value, OptionalValue } kind = Flag;
    char shortName = 0;  // 0: none
};

struct ParsedOptions {
    std::map<std::string, std::string> values;  // long name -> last value ("" for flags)
    std::vector<std::string> positional;
    std::optional<std::string> error;  // the first mistake, Chinese

    bool has(const std::string& name) const { return values.count(name) > 0; }
    std::string value(const std::string& name, const std::string& fallback = {}) const {
        auto it = values.find(name);
        return it == values.end() ? fallback : it->second;
    }
};

// Parses args (the program name and any sub-command already removed). Every argument is
// read, also after a mistake, so that callers can look at what was given.
ParsedOptions parseOptions(const std::vector<std::string>& args, const std::vector<OptionDef>& known);

}  // namespace faq::app
