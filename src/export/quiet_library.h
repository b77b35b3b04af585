// While a QuietLibrary lives, what libraries print to stderr in English of their own
// (libxlsxwriter's "[ERROR] …", fontconfig's "Fontconfig error: …", Qt's warnings) goes
// nowhere: the program says what failed in its own words. glibc's stderr is a variable the
// program may set; the null stream it points to meanwhile is never closed, so a thread that
// read the variable meanwhile writes to a valid stream. The program's own messages go
// through std::cerr, whose buffer keeps the stream it was made with.
#pragma once

#include <cstdio>
#include <utility>

namespace faq::output {

class QuietLibrary {
public:
    QuietLibrary() {
#ifdef __GLIBC__
        static FILE* const nowhere = std::fopen("/dev/null", "w");
        if (nowhere) mSaved = std::exchange(stderr, nowhere);
#endif
    }
    ~QuietLibrary() {
#ifdef __GLIBC__
        if (mSaved) stderr = mSaved;
#endif
    }
    QuietLibrary(const QuietLibrary&) = delete;
    QuietLibrary& operator=(const QuietLibrary&) = delete;

private:
    FILE* mSaved = nullptr;
};

}  // namespace faq::output
