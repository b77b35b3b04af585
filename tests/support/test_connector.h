// A connector over the in-memory sample whose connections can be made to fail, and which
// records every statement sent.
#pragma once

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "data/connection.h"
#include "data/db_error.h"
#include "data/sqlite_connection.h"

namespace faq::test {

struct Switches {
    bool failConnect = false;
    bool failQueries = false;
    std::atomic<bool> slowQueries{false};  // a query waits until it is cancelled
    std::atomic<int> connectDelayMs{0};    // a connect answers after this, cancelled or not
    std::atomic<bool> deafQueries{false};  // a query waits until this is false, cancelled or not
    int connects = 0;
    std::vector<std::string> sent;
};

inline Switches& switches() {
    static Switches s;
    return s;
}
inline void resetSwitches() {
    Switches& s = switches();
    s.failConnect = s.failQueries = false;
    s.slowQueries = false;
    s.connectDelayMs = 0;
    s.deafQueries = false;
    s.connects = 0;
    s.sent.clear();
}

class FlakyConnection : public data::Connection {
public:
    explicit FlakyConnection(std::unique_ptr<data::Connection> inner) : mInner(std::move(inner)) {}
    void execute(const std::string& sql, int t) override { mInner->execute(sql, t); }
    data::RecordsetPtr query(const std::string& sql, int t) override {
        if (switches().failQueries)
            throw data::DbError("执行查询失败", {{"08S01", 10054, "[模拟] 与服务器的连接已断开"}});
        for (int waited = 0; switches().deafQueries && waited < 60000; waited += 5)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        for (int waited = 0; switches().slowQueries && waited < 60000; waited += 5) {
            if (mCancel)
                throw data::DbError("执行查询失败", {{"HY008", 0, "[模拟] 操作已取消"}}, data::Failure::Cancelled);
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        switches().sent.push_back(sql);
        return mInner->query(sql, t);
    }
    data::RecordsetPtr callProcedure(data::Command& c, bool w) override { return mInner->callProcedure(c, w); }
    void beginTransaction() override { mInner->beginTransaction(); }
    void commitTransaction() override { mInner->commitTransaction(); }
    void rollbackTransaction() override { mInner->rollbackTransaction(); }
    void close() override { mInner->close(); }
    void cancel() override {
        mCancel = true;
        mInner->cancel();
    }
    void clearCancel() override {
        mCancel = false;
        mInner->clearCancel();
    }

private:
    std::unique_ptr<data::Connection> mInner;
    std::atomic<bool> mCancel{false};
};

// The in-memory sample behind the switches, as a connector for sessions.
inline data::Connector flakySample(int cards = 200, uint64_t seed = 5) {
    return [cards, seed](const std::string& cs) -> std::unique_ptr<data::Connection> {
        ++switches().connects;
        std::this_thread::sleep_for(std::chrono::milliseconds(switches().connectDelayMs.load()));
        if (switches().failConnect)
            throw data::DbError("连接数据库失败", {{"08001", 17, "[模拟] 服务器不存在或拒绝访问 (" + cs + ")"}});
        return std::make_unique<FlakyConnection>(
            std::make_unique<data::SqliteConnection>(data::EmbeddedSource{"", true, cards, seed}));
    };
}

}  // namespace faq::test
