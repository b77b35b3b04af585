// Text to and from the terminal in the user's own encoding (GB18030, GBK …), while the
// program works in UTF-8 throughout. Where the locale's encoding is UTF-8, or on Windows
// (whose console is written in UTF-16 elsewhere), everything passes unchanged.
#pragma once

#include <memory>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

namespace faq::app {

// Reads the locale's encoding from the environment; call first thing in main, before
// anything changes LC_CTYPE.
void captureTerminalEncoding();
// The encoding captured, empty when it is UTF-8 (or not captured).
const std::string& terminalEncoding();

// A text typed at the terminal, as UTF-8; one written to it, in its encoding. Bytes that
// do not convert become "?", never dropped silently.
std::string fromTerminal(const std::string& text);
std::string toTerminal(const std::string& utf8);

// The arguments of a sub-command as UTF-8, except the values of fileOptions ("--output"),
// given apart or after "=", which stay the bytes they are: file names.
std::vector<std::string> argumentsFromTerminal(std::vector<std::string> args,
                                               std::initializer_list<std::string_view> fileOptions);

// A stream writing through to dest in the terminal's encoding (dest itself when that is
// UTF-8); lives as long as the program.
std::ostream& terminalStream(std::ostream& dest);

}  // namespace faq::app
