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

#define FAQ_REQUIRE_PG(server)                                                           \
    do {                                                                                 \
        if (!::faq::test::pgServer(&(server))) {                                         \
            if (std::getenv("FAQ_REQUIRE_PG")) FAIL() << "FAQ_PG_PORT is not set";       \
            GTEST_SKIP() << "no PostgreSQL server (run the tests through scripts/test)"; \
        }                                                                                \
    } while (0)

}  // namespace faq::test
