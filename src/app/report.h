// faquery report: the summary from the command line, through the same criteria,
// statement and recordset as the query window.
#pragma once

#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace faq::app {

class InterruptGuard;

enum ReportExit {
    kReportOk = 0,
    kReportBadArguments = 2,
    kReportConnectFailed = 3,
    kReportQueryFailed = 4,
    kReportOutputFailed = 5,
    kReportCancelled = 130,  // 128 + SIGINT, as a shell reports Ctrl-C
};

struct ReportIo {
    std::ostream* out;
    std::ostream* err;
    // FAQUERY_PWD, or nullopt when it is not set.
    std::function<std::optional<std::string>()> passwordFromEnvironment;
    // Asks for the password without echo (the guard restores the echo on an interrupt);
    // nullopt when standard input is no terminal.
    std::function<std::optional<std::string>(InterruptGuard&)> askPassword;
    // Whether out is a terminal: control characters never reach it raw.
    bool outIsTerminal = false;
};

// The process's own standard streams, environment and terminal.
ReportIo standardReportIo();

// args: the arguments after "report".
int runReport(const std::vector<std::string>& args, const ReportIo& io);

}  // namespace faq::app
