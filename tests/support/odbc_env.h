// Registers an ODBC driver under the name "sql server" in an odbcinst.ini of the test's
// own (found through ODBCSYSINI), so the machine's ODBC set-up is never touched.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "data/connection.h"
#include "data/odbc_connection.h"

namespace faq::test {

inline std::string registerSqlServerDriver(const std::string& driverLibrary) {
    char tmpl[] = "/tmp/faq-odbc-XXXXXX";
    std::string dir = mkdtemp(tmpl);
    std::ofstream(dir + "/odbcinst.ini") << "[sql server]\nDescription=test registration\nDriver=" << driverLibrary
                                         << "\nUsageCount=1\n";
    std::ofstream(dir + "/odbc.ini") << "";
    setenv("ODBCSYSINI", dir.c_str(), 1);
    setenv("ODBCINSTINI", "odbcinst.ini", 1);
    setenv("ODBCINI", (dir + "/odbc.ini").c_str(), 1);
    return dir;
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

inline std::string tempPath(const std::string& name) {
    auto dir = std::filesystem::temp_directory_path() / ("faq-test-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    return (dir / name).string();
}

}  // namespace faq::test
