// The PostgreSQL server that the test command starts, as environment variables:
// FAQ_PG_PORT (and FAQ_REQUIRE_PG=1 to fail instead of skipping when it is missing).
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

namespace faq::test {

struct PgServer {
    std::string port;
    std::string user = "faq";
    std::string password = "faq-test-pw";
    std::string database = "faqtest";
};

inline bool pgServer(PgServer* out) {
    const char* port = std::getenv("FAQ_PG_PORT");
    if (!port || !*port) return false;
    out->port = port;
    return true;
}

// The two tables the query window's lookups read, with a few rows, on the test server.
constexpr const char* kPgLookupTables =
    "drop table if exists department; create table department(cDepCode varchar(12), cDepName varchar(50));"
    "insert into department values ('01', '行政部'), ('03', '生产部');"
    "drop table if exists fa_Cards; create table fa_Cards(sAssetName varchar(60));"
    "insert into fa_Cards values ('电脑'), ('电脑桌'), ('车床')";

#define FAQ_REQUIRE_PG(server)                                                           \
    do {                                                                                 \
        if (!::faq::test::pgServer(&(server))) {                                         \
            if (std::getenv("FAQ_REQUIRE_PG")) FAIL() << "FAQ_PG_PORT is not set";       \
            GTEST_SKIP() << "no PostgreSQL server (run the tests through scripts/test)"; \
        }                                                                                \
    } while (0)

}  // namespace faq::test
