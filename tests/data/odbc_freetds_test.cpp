// The exact connection string reaches the named server and port through FreeTDS
// registered as "sql server".
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <thread>

#include "data/cdb.h"
#include "data/conn_params.h"
#include "data/connection.h"
#include "data/db_error.h"
#include "support/odbc_env.h"

using namespace faq::data;

namespace {

// Accepts connections on a loopback port and closes them at once, counting them.
class Listener {
public:
    Listener() {
        mFd = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(mFd, reinterpret_cast<sockaddr*>(&a), sizeof a);
        socklen_t len = sizeof a;
        getsockname(mFd, reinterpret_cast<sockaddr*>(&a), &len);
        mPort = ntohs(a.sin_port);
        listen(mFd, 8);
        mThread = std::thread([this] {
            while (!mStop) {
                pollfd p{mFd, POLLIN, 0};
                if (poll(&p, 1, 50) > 0) {
                    int c = accept(mFd, nullptr, nullptr);
                    if (c >= 0) {
                        ++mAccepted;
                        close(c);
                    }
                }
            }
        });
    }
    ~Listener() {
        mStop = true;
        mThread.join();
        close(mFd);
    }
    int port() const { return mPort; }
    int accepted() const { return mAccepted; }

private:
    int mFd = -1;
    int mPort = 0;
    std::atomic<bool> mStop{false};
    std::atomic<int> mAccepted{0};
    std::thread mThread;
};

TEST(OdbcFreeTds, ExactStringReachesTheNamedServerAndPort) {
    faq::test::registerSqlServerDriver(FAQ_TDS_ODBC_DRIVER);
    Listener server;
    const ConnParams params{"127.0.0.1," + std::to_string(server.port()), "ufdata_001_", "sa", "tds-secret-9"};
    try {
        CDB db(params, odbcConnector());  // the program's own path: the string exactly as built
        FAIL() << "a server that closes every connection accepted a login";
    } catch (const DbError& e) {
        EXPECT_FALSE(e.records().empty());
        EXPECT_EQ(std::string(e.what()).find("tds-secret-9"), std::string::npos);
    }
    EXPECT_GE(server.accepted(), 1);
}

}  // namespace
