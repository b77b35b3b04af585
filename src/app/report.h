// faquery report: the summary from the command line, through the same criteria,
// statement and recordset as the query window.
#pragma once

#include <QStringList>
#include <functional>
#include <optional>
#include <ostream>
#include <string>

namespace faq::app {

enum ReportExit { kReportOk = 0, kReportBadArguments = 2, kReportConnectFailed = 3, kReportQueryFailed = 4,
                  kReportOutputFailed = 5 };

struct ReportIo {
    std::ostream* out;
    std::ostream* err;
    // FAQUERY_PWD, or nullopt when it is not set.
    std::function<std::optional<std::string>()> passwordFromEnvironment;
    // Asks for the password without echo; nullopt when standard input is no terminal.
    std::function<std::optional<std::string>()> askPassword;
};

// The process's own standard streams, environment and terminal.
ReportIo standardReportIo();

// arguments: as QCoreApplication::arguments(), with "report" second.
int runReport(const QStringList& arguments, const ReportIo& io);

}  // namespace faq::app
