// The command line of the windows and of sample-db. Arguments are parsed before any Qt
// application exists, so help and mistakes need no display.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "session.h"

namespace faq::app {

// The program's version, as the build gives it.
const char* version();

// Parses the options of the windows (args without the program name); Qt's own window
// options (-platform, -style …) are left for the application object. Returns an exit
// code when the process should end (help, version, mistakes) or nullopt to start. A
// refusal (exit code 2) is written to stderr and, when refusal is given, kept there too.
std::optional<int> parseGuiArguments(const std::vector<std::string>& args, EngineChoice* choice,
                                     SettingsPresets* presets = nullptr, std::string* refusal = nullptr);

// Whether a refusal of the command line must be shown in a window as well: nobody reads the
// program's stderr (a desktop entry or a Windows shortcut started it) and a display is there.
bool refusalNeedsAWindow();

// The refusal of a password given on a command line (--pwd, --password …), where every user
// of the machine can read it: the message, or nothing when none was given. The value is
// never repeated.
std::optional<std::string> passwordOnCommandLine(const std::vector<std::string>& args);

// faquery sample-db FILE [--cards N] [--seed S] (args after "sample-db").
int runSampleDb(const std::vector<std::string>& args);

// The sub-commands without windows, sample-db and report, run in the terminal: their exit
// code, or nothing when args name neither.
std::optional<int> runSubcommand(const std::vector<std::string>& args);

}  // namespace faq::app
