#include "session.h"

#include <ctime>

#include "data/sqlite_connection.h"
#include "failure_text.h"

namespace faq::app {

data::Connector connectorFor(const EngineChoice& choice) {
    if (choice.demo) return data::embeddedConnector({"", true, kDemoCards, kDemoSeed});
    if (!choice.sqliteFile.empty()) return data::embeddedConnector({choice.sqliteFile, true, 0, 0});
    return data::odbcConnector(choice.driver);
}

query::CivilDate systemToday() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
#ifdef _WIN32
    localtime_s(&local, &now);
#else
    localtime_r(&now, &local);
#endif
    return {local.tm_year + 1900, local.tm_mon + 1, local.tm_mday};
}

Session::Session(data::Connector connector, Clock today)
    : mToday(std::move(today)),
      mConnector(std::move(connector)),
      mBuilder(std::make_shared<query::listMng>(params, mConnector)),
      mWorker(std::make_unique<Worker>()) {}

Session::~Session() = default;

bool Session::run(std::function<void()> job) {
    mCancelRequested = false;
    mBuilder->clearCancel();
    return mWorker->post(std::move(job));
}

bool Session::cancel() {
    mCancelRequested = true;
    if (!mBuilder->connected()) return false;
    mBuilder->cancel();
    return true;
}

void Session::abandon() {
    ++mGeneration;
    // The old worker leaves its running job to finish alone; the job holds the old
    // builder, and with it the connection it is stuck in.
    mWorker = std::make_unique<Worker>();
    mBuilder = std::make_shared<query::listMng>(params, mConnector);
}

std::string Session::failureMessage(const data::DbError& e) const {
    const std::string detail = data::redact(e.what(), params.pwd);
    switch (e.failure()) {
        case data::Failure::Cancelled: return "查询已取消";
        case data::Failure::Locked: return "数据库被锁定，请稍后再试：" + detail;
        case data::Failure::Connect: {
            const std::string cause = explainConnectFailure(e);
            return "数据库连接失败：" + (cause.empty() ? detail : cause + "\n" + detail);
        }
        case data::Failure::Statement: break;
    }
    return "查询失败：" + detail;
}

}  // namespace faq::app
