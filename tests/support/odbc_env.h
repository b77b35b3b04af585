// Registers an ODBC driver under the name "sql server" in an odbcinst.ini of the test's
// own (found through ODBCSYSINI), so the machine's ODBC set-up is never touched.
#pragma once

#ifdef _WIN32
#include <process.h>
#include <windows.h>
#else
#include <unistd.h>
#endif

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "data/connection.h"
#include "data/odbc_connection.h"
#include "temp_cleanup.h"
#include "unix_path.h"

namespace faq::test {

// Whether a test can put its own driver under the name "sql server": with unixODBC, on
// Linux and under Wine (whose odbc32 reaches the host's driver manager); not with the
// driver manager of Windows itself, where the name is the system's SQL Server driver.
inline bool ownDriverRegistration() {
#ifdef _WIN32
    return GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
#else
    return true;
#endif
}

#define FAQ_REQUIRE_OWN_ODBC_DRIVER()                                                                   \
    do {                                                                                                \
        if (!::faq::test::ownDriverRegistration())                                                      \
            GTEST_SKIP() << "Windows' own driver manager: \"sql server\" is the system's driver here, " \
                            "not the test's (these tests run on Linux and under Wine)";                 \
    } while (0)

// On Windows (under Wine) the registration comes with the environment the test starts
// with; see tests/CMakeLists.txt.
// alsoAs: one more name for the same driver, as an administrator may register it (the
// driver manager reads the registrations once a process: give it at the first call).
inline std::string registerSqlServerDriver([[maybe_unused]] const std::string& driverLibrary,
                                           [[maybe_unused]] const std::string& alsoAs = {}) {
#ifdef _WIN32
    return {};
#else
    char tmpl[] = "/tmp/faq-odbc-XXXXXX";
    std::string dir = mkdtemp(tmpl);
    removeAtExit(dir);
    std::ofstream(dir + "/odbcinst.ini") << "[sql server]\nDescription=test registration\nDriver=" << driverLibrary
                                         << "\nUsageCount=1\n"
                                         << (alsoAs.empty() ? "" : "[" + alsoAs + "]\nDriver=" + driverLibrary + "\n");
    std::ofstream(dir + "/odbc.ini") << "";
    setenv("ODBCSYSINI", dir.c_str(), 1);
    setenv("ODBCINSTINI", "odbcinst.ini", 1);
    setenv("ODBCINI", (dir + "/odbc.ini").c_str(), 1);
    return dir;
#endif
}

// The SQLite and PostgreSQL drivers ignore a key preceded by a blank, so they get the
// program's connection string with the blank after each separating ';' taken out (not
// inside a braced value), plus extra keys.
inline data::Connector compactOdbcConnector(std::string extraKeys = {}) {
    return [extraKeys](const std::string& cs) -> std::unique_ptr<data::Connection> {
        std::string compact;
        bool braced = false;
        for (size_t i = 0; i < cs.size(); ++i) {
            compact += cs[i];
            if (braced && cs[i] == '}') {
                if (i + 1 < cs.size() && cs[i + 1] == '}')
                    compact += cs[++i];
                else
                    braced = false;
            } else if (!braced && cs[i] == '{') {
                braced = true;
            } else if (!braced && cs[i] == ';' && i + 1 < cs.size() && cs[i + 1] == ' ') {
                ++i;
            }
        }
        return std::make_unique<data::OdbcConnection>(compact + extraKeys);
    };
}

// The name under which the ODBC driver finds a file (under Wine the driver manager and
// its drivers are the host's).
inline std::string driverPath(const std::string& path) {
    return unixPath(path);
}

// A path in the process's own temporary folder, removed when the process ends.
inline std::string tempPath(const std::string& name) {
    static const std::string dir = [] {
        const auto d = std::filesystem::temp_directory_path() / ("faq-test-" + std::to_string(processId()));
        std::filesystem::create_directories(d);
        removeAtExit(d.string());
        return d.string();
    }();
    std::filesystem::create_directories(dir);
    return (std::filesystem::path(dir) / name).string();
}

}  // namespace faq::test
