#include "terminal_text.h"

#ifndef _WIN32
#include <iconv.h>
#include <langinfo.h>
#endif

#include <cerrno>
#include <clocale>
#include <cstring>
#include <list>
#include <streambuf>
#include <utility>

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

// Bytes at the end of s that begin a UTF-8 sequence s does not finish.
size_t unfinished(const std::string& s) {
    for (size_t k = 1; k <= 3 && k <= s.size(); ++k) {
        const auto b = static_cast<unsigned char>(s[s.size() - k]);
        if ((b & 0xC0) == 0x80) continue;
        const size_t len = (b & 0xE0) == 0xC0 ? 2 : (b & 0xF0) == 0xE0 ? 3 : (b & 0xF8) == 0xF0 ? 4 : 1;
        return len > k ? k : 0;
    }
    return 0;
}

// Collects UTF-8 and hands it on converted, a line (or a flush) at a time.
class TerminalBuffer : public std::streambuf {
public:
    explicit TerminalBuffer(std::streambuf* dest) : mDest(dest) {}

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
        const size_t whole = mPending.size() - unfinished(mPending);
        const std::string text = toTerminal(mPending.substr(0, whole));
        mPending.erase(0, whole);
        mDest->sputn(text.data(), static_cast<std::streamsize>(text.size()));
    }
    std::streambuf* mDest;
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
    return encoding().empty() ? utf8 : convert(utf8, encoding().c_str(), "UTF-8");
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

std::ostream& terminalStream(std::ostream& dest) {
    if (encoding().empty()) return dest;
    // One converting stream per destination, kept to the end of the program.
    static std::list<std::pair<TerminalBuffer, std::ostream>> streams;
    auto& s = streams.emplace_back(std::piecewise_construct, std::forward_as_tuple(dest.rdbuf()),
                                   std::forward_as_tuple(nullptr));
    s.second.rdbuf(&s.first);
    return s.second;
}

}  // namespace faq::app
