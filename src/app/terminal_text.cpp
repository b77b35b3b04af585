#include "terminal_text.h"

#ifdef _WIN32
#include <windows.h>
// after windows.h
#include <shellapi.h>
#else
#include <iconv.h>
#include <langinfo.h>
#include <unistd.h>
#endif

#include <cerrno>
#include <clocale>
#include <cstring>
#include <iostream>
#include <iterator>
#include <list>
#include <streambuf>
#include <utility>

#include "data/utf.h"

namespace faq::app {

namespace {

std::string& encoding() {
    static std::string e;
    return e;
}

std::string convert(const std::string& in, const char* to, const char* from) {
#ifdef _WIN32
    (void)to, (void)from;
    return in;
#else
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1)) return in;
    std::string out(in.size() * 2 + 16, '\0');
    char* src = const_cast<char*>(in.data());
    size_t left = in.size();
    size_t used = 0;
    while (left > 0) {
        char* dst = out.data() + used;
        size_t room = out.size() - used;
        const size_t rc = iconv(cd, &src, &left, &dst, &room);
        used = static_cast<size_t>(dst - out.data());
        if (rc != static_cast<size_t>(-1)) break;
        if (errno == E2BIG) {
            out.resize(out.size() * 2);
        } else {  // a byte that does not convert, or a sequence cut short
            if (used == out.size()) out.resize(out.size() * 2);
            out[used++] = '?';
            ++src;
            --left;
        }
    }
    iconv_close(cd);
    out.resize(used);
    return out;
#endif
}

#ifdef _WIN32
// The console behind fd, when it is one.
HANDLE console(int fd) {
    HANDLE h = GetStdHandle(fd == 2 ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE);
    DWORD mode = 0;
    return h != INVALID_HANDLE_VALUE && GetConsoleMode(h, &mode) ? h : nullptr;
}

bool writeConsole(HANDLE h, const std::string& utf8) {
    const std::u16string text = data::toUtf16(utf8);
    DWORD written = 0;
    return WriteConsoleW(h, reinterpret_cast<const wchar_t*>(text.data()), static_cast<DWORD>(text.size()), &written,
                         nullptr) != 0;
}
#endif

// Collects UTF-8 and hands it on converted, a line (or a flush) at a time.
class TerminalBuffer : public std::streambuf {
public:
    TerminalBuffer(std::streambuf* dest, int fd) : mDest(dest), mFd(fd) {}

protected:
    int_type overflow(int_type c) override {
        if (c == traits_type::eof()) return traits_type::not_eof(c);
        mPending.push_back(static_cast<char>(c));
        if (c == '\n') pass();
        return c;
    }
    std::streamsize xsputn(const char* s, std::streamsize n) override {
        mPending.append(s, static_cast<size_t>(n));
        if (std::memchr(s, '\n', static_cast<size_t>(n))) pass();
        return n;
    }
    int sync() override {
        pass();
        return mDest->pubsync();
    }

private:
    void pass() {
        const size_t whole = mPending.size() - data::unfinishedUtf8Tail(mPending);
        const std::string text = mPending.substr(0, whole);
        mPending.erase(0, whole);
#ifdef _WIN32
        if (HANDLE h = console(mFd)) {
            mDest->pubsync();
            writeConsole(h, text);
            return;
        }
#endif
        const std::string out = toTerminal(text);
        mDest->sputn(out.data(), static_cast<std::streamsize>(out.size()));
    }
    std::streambuf* mDest;
    int mFd;
    std::string mPending;
};

}  // namespace

void captureTerminalEncoding() {
#ifndef _WIN32
    if (!std::setlocale(LC_CTYPE, "")) return;
    const char* codeset = nl_langinfo(CODESET);
    const std::string name = codeset ? codeset : "";
    // The C locale's ASCII is read as UTF-8, as the program has always done.
    if (name != "UTF-8" && name != "ANSI_X3.4-1968") encoding() = name;
    std::setlocale(LC_CTYPE, "C");
#endif
}

const std::string& terminalEncoding() {
    return encoding();
}

std::string fromTerminal(const std::string& text) {
    return encoding().empty() ? text : convert(text, "UTF-8", encoding().c_str());
}

std::string toTerminal(const std::string& utf8) {
    if (encoding().empty()) return utf8;
    // File names stay the bytes they were typed as, in the terminal's own encoding, inside
    // messages that are UTF-8 otherwise: what is not UTF-8 goes to the terminal as it is.
    std::string out;
    size_t i = 0;
    while (i < utf8.size()) {
        size_t j = i, raw = i;
        for (size_t next = j; j < utf8.size(); j = next) {
            next = j;
            if (data::decodeUtf8(utf8, next) == U'\uFFFD' && next - j == 1) break;
        }
        out += convert(utf8.substr(i, j - i), encoding().c_str(), "UTF-8");
        for (raw = j; raw < utf8.size();) {
            size_t next = raw;
            if (!(data::decodeUtf8(utf8, next) == U'\uFFFD' && next - raw == 1)) break;
            raw = next;
        }
        out.append(utf8, j, raw - j);
        i = raw;
    }
    return out;
}

std::vector<std::string> argumentsFromTerminal(std::vector<std::string> args,
                                               std::initializer_list<std::string_view> fileOptions) {
    if (encoding().empty()) return args;
    bool fileNext = false;
    for (std::string& a : args) {
        bool file = std::exchange(fileNext, false);
        for (std::string_view option : fileOptions) {
            if (a == option) fileNext = true;
            if (a.size() > option.size() && a.compare(0, option.size(), option) == 0 && a[option.size()] == '=')
                file = true;
        }
        if (!file) a = fromTerminal(a);
    }
    return args;
}

std::vector<std::string> commandLineArguments(int argc, char** argv) {
#ifdef _WIN32
    int n = 0;
    if (LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &n)) {
        std::vector<std::string> out;
        for (int i = 1; i < n; ++i) out.push_back(data::toUtf8(reinterpret_cast<const char16_t*>(wide[i])));
        LocalFree(wide);
        return out;
    }
#endif
    return {argv + (argc > 0 ? 1 : 0), argv + argc};
}

bool writeTerminal(int fd, const std::string& utf8) {
    FILE* f = fd == 2 ? stderr : stdout;
#ifdef _WIN32
    if (HANDLE h = console(fd)) {
        std::fflush(f);
        return writeConsole(h, utf8);
    }
#else
    if (isatty(fd) && !encoding().empty()) return std::fputs(toTerminal(utf8).c_str(), f) >= 0 && std::fflush(f) == 0;
#endif
    return std::fputs(utf8.c_str(), f) >= 0 && std::fflush(f) == 0;
}

void writeTerminalNow(int fd, const std::string& utf8) {
#ifdef _WIN32
    if (HANDLE h = console(fd)) {
        writeConsole(h, utf8);
        return;
    }
    DWORD written = 0;
    WriteFile(GetStdHandle(fd == 2 ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE), utf8.data(),
              static_cast<DWORD>(utf8.size()), &written, nullptr);
#else
    const std::string bytes = isatty(fd) ? toTerminal(utf8) : utf8;
    for (size_t done = 0; done < bytes.size();) {
        const ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;
        done += static_cast<size_t>(n);
    }
#endif
}

std::optional<std::string> readTerminalLine() {
#ifdef _WIN32
    HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
    DWORD mode = 0;
    if (in != INVALID_HANDLE_VALUE && GetConsoleMode(in, &mode)) {
        // The console's own characters: its code page's bytes read as UTF-8 would turn a
        // Chinese password into U+FFFD.
        std::u16string line;
        for (;;) {
            wchar_t buffer[256];
            DWORD read = 0;
            if (!ReadConsoleW(in, buffer, static_cast<DWORD>(std::size(buffer)), &read, nullptr) || read == 0)
                return line.empty() ? std::nullopt : std::optional(data::toUtf8(line));
            line.append(reinterpret_cast<const char16_t*>(buffer), read);
            if (const size_t end = line.find(u'\n'); end != std::u16string::npos) {
                line.resize(end);
                break;
            }
        }
        if (!line.empty() && line.back() == u'\r') line.pop_back();
        return data::toUtf8(line);
    }
#endif
    std::string line;
    if (!std::getline(std::cin, line)) return std::nullopt;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return fromTerminal(line);
}

std::ostream& terminalStream(std::ostream& dest, int fd) {
#ifdef _WIN32
    const bool converts = console(fd) != nullptr;
#else
    const bool converts = !encoding().empty();
#endif
    if (!converts) return dest;
    // One converting stream per destination, kept to the end of the program.
    static std::list<std::pair<TerminalBuffer, std::ostream>> streams;
    auto& s = streams.emplace_back(std::piecewise_construct, std::forward_as_tuple(dest.rdbuf(), fd),
                                   std::forward_as_tuple(nullptr));
    s.second.rdbuf(&s.first);
    return s.second;
}

}  // namespace faq::app
