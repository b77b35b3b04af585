// Text to and from the terminal in the user's own encoding (GB18030, GBK …), while the
// program works in UTF-8 throughout. Where the locale's encoding is UTF-8 everything passes
// unchanged; on Windows a console is written in UTF-16 through the console API, whatever
// its code page (936 on Chinese systems), and the arguments come from the wide command line.
#pragma once

#include <memory>
#include <optional>
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
// do not convert become "?", never dropped silently; bytes of a text to the terminal that
// are not UTF-8 (a file name kept as typed) go as they are.
std::string fromTerminal(const std::string& text);
std::string toTerminal(const std::string& utf8);

// The arguments of a sub-command as UTF-8, except the values of fileOptions ("--output"),
// given apart or after "=", which stay the bytes they are: file names.
std::vector<std::string> argumentsFromTerminal(std::vector<std::string> args,
                                               std::initializer_list<std::string_view> fileOptions);

// The program's arguments (after its name) as UTF-8 where the platform has them wide.
std::vector<std::string> commandLineArguments(int argc, char** argv);

// A stream writing through to dest, standard output (fd 1) or error (fd 2), in the
// terminal's encoding (dest itself when nothing needs converting); lives as long as the
// program.
std::ostream& terminalStream(std::ostream& dest, int fd);
// Writes utf8 to standard output (fd 1) or error (fd 2) as the terminal reads it; false
// when the stream failed.
bool writeTerminal(int fd, const std::string& utf8);
// The same without stdio, for the thread that handles an interrupt while another may hold
// stdio's locks: the console API on a Windows console, write() elsewhere.
void writeTerminalNow(int fd, const std::string& utf8);
// A line typed at the terminal (without its end), as UTF-8; nothing at the end of input. A
// Windows console is read as wide text, whatever its code page.
std::optional<std::string> readTerminalLine();

}  // namespace faq::app
