// A small SQL Server stand-in for the tests: speaks TDS 7.2–7.4 on a loopback port, well
// enough for FreeTDS's ODBC driver, and answers SQL batches from an SQLite file through the
// program's own dialect. Section numbers in tds_server.cpp are those of [MS-TDS].
//
// It implements PRELOGIN without encryption, LOGIN7 with one accepted login, LOGINACK with
// ENVCHANGE (database, language, packet size, collation), the login failure SQL Server
// sends (18456), SQL batches answered with COLMETADATA/ROW/DONE, ERROR tokens with the
// texts of a Chinese server, ATTENTION, and faults on demand. It leaves out TLS, RPC
// requests, cursors, MARS, transactions and every type the program never reads.
#pragma once

#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace faq::test {

class TdsServer {
public:
    struct Options {
        std::string file;  // the SQLite file served
        std::string login = "sa";
        std::string password = "tds-secret-9";
        std::string database = "UFDATA_001_2026";
        bool nvarcharTexts = false;  // declared varchar columns go out as nvarchar (UCS-2)
        // A result column's declared type by its name, as SQL Server would derive it:
        // "int", "bigint", "float", "money", "decimal(p,s)", "datetime", "varchar(n)",
        // "nvarchar(n)", "nvarchar(max)", "text". Other columns take the declared type of
        // the SQLite column, else one read off their values.
        std::map<std::string, std::string, std::less<>> columnTypes;
        bool cacheResults = false;       // a batch seen before is answered with the same bytes
        int port = 0;                    // the loopback port; 0: one the system chooses
        bool requireEncryption = false;  // PRELOGIN asks for TLS, which this server cannot speak
        bool stallTls = false;           // with it: the client's TLS handshake gets no answer at all
    };
    // Faults, changeable while the server runs.
    struct Faults {
        std::atomic<int> answerDelayMs{0};    // before the answer to each batch
        std::atomic<int> rowDelayMs{0};       // between rows
        std::atomic<long> dropAfterRows{-1};  // the connection closes after this many rows
        // The statement fails after this many rows (the row count itself: after the last
        // row), as SQL Server's does for an overflow in sum() (8115) or a deadlock (1205):
        // the rows sent, then an ERROR token (none when errorToken is false) and a DONE with
        // the error bit.
        std::atomic<long> errorAfterRows{-1};
        std::atomic<int> errorNumber{8115};
        std::atomic<bool> errorToken{true};
        std::atomic<bool> ignoreAttention{false};  // waits out answerDelayMs whatever the client sends
    };

    explicit TdsServer(Options options);
    ~TdsServer();
    TdsServer(const TdsServer&) = delete;
    TdsServer& operator=(const TdsServer&) = delete;

    int port() const { return mPort; }
    // "127.0.0.1,<port>", the program's server box for this server.
    std::string address() const;
    Faults& faults() { return mFaults; }
    int attentions() const { return mAttentions; }
    int logins() const { return mLogins; }
    int batches() const { return mBatches; }  // SQL batches received

    struct Encoded;  // a result as tokens, with the offset of each row

private:
    void acceptLoop();
    void serve(int fd);

    Options mOptions;
    Faults mFaults;
    int mListen = -1;
    int mPort = 0;
    std::atomic<bool> mStop{false};
    std::atomic<int> mAttentions{0}, mLogins{0}, mBatches{0};
    std::mutex mMutex;  // guards the lists below
    std::vector<int> mClients;
    std::vector<std::thread> mThreads;
    std::map<std::string, std::shared_ptr<const Encoded>> mCache;
    std::thread mAcceptor;
};

}  // namespace faq::test
