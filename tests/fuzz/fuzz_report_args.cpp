// faquery report's argument handling: any arguments end with one of its exit codes, and
// the password never shows. Databases are kept out: no connection ever succeeds here.
#include <QCoreApplication>
#include <cstdlib>
#include <sstream>

#include "app/mdl_main.h"
#include "app/report.h"
#include "fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static int argc = 1;
    static char name[] = "fuzz";
    static char* argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);
    static const bool env = [] {
        setenv("ODBCSYSINI", "/nonexistent-faq-odbc", 1);  // no driver "sql server": connecting fails at once
        return true;
    }();
    (void)env;
    std::vector<std::string> args;
    for (const auto& f : faq::fuzz::fields(data, size, 12)) {
        const std::string a(f.data(), f.size());
        // No sample database and no files: those would make each run slow or write.
        // The password comes from the environment only: an argument holding it may be echoed.
        if (a.starts_with("--demo") || a.starts_with("--sqlite") || a.starts_with("--output") ||
            a.starts_with("--he") || a.find("Fz-Secret-77") != std::string::npos)
            continue;
        args.push_back(a);
    }
    std::ostringstream out, err;
    faq::app::ReportIo io{&out, &err, [] { return std::optional<std::string>("Fz-Secret-77"); },
                          [](faq::app::InterruptGuard&) { return std::nullopt; }};
    const int code = faq::app::runReport(args, io);
    if (code != 0 && code != 2 && code != 3 && code != 4 && code != 5 && code != 130) std::abort();
    if (out.str().find("Fz-Secret-77") != std::string::npos || err.str().find("Fz-Secret-77") != std::string::npos)
        std::abort();
    return 0;
}
