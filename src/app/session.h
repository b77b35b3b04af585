// One connection's worth of state: the four connection parameters, the engine they
// connect through, the query builder with its CDB, and today's date. main owns one and
// hands it to the windows or to report; going back to the settings means a new one.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "data/conn_params.h"
#include "data/connection.h"
#include "data/db_error.h"
#include "query/listmng.h"
#include "query/period.h"
#include "worker.h"

namespace faq::app {

// The in-memory sample of --demo: a mid-sized company's cards; generating it and the
// default query take about 0.1 s each.
constexpr int kDemoCards = 5000;
constexpr uint64_t kDemoSeed = 20261207;

// Where connections go: the embedded engine for --demo and --sqlite FILE, the ODBC driver
// "sql server" (or the one --driver names) otherwise.
struct EngineChoice {
    bool demo = false;
    std::string sqliteFile;                     // file name bytes as given; empty: not chosen
    std::string driver = data::kDefaultDriver;  // the ODBC driver the server is reached through
};

// What an administrator presets in a shortcut (--server, --database, --uid or --user): the
// settings dialog shows these instead of its defaults. Never a password.
struct SettingsPresets {
    std::optional<std::string> server, database, uid;
};
data::Connector connectorFor(const EngineChoice& choice);

using Clock = std::function<query::CivilDate()>;
// The system date.
query::CivilDate systemToday();

// The windows hold their session by shared_ptr: a job on its worker keeps it alive.
class Session : public std::enable_shared_from_this<Session> {
public:
    explicit Session(data::Connector connector = {}, Clock today = {});
    ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    // Empty until the settings dialog (or report) writes them; read when the CDB opens.
    data::ConnParams params;
    // The embedded database chosen instead of a server, if any (for what printed pages say).
    EngineChoice engine;

    query::listMng& builder() { return *mBuilder; }
    // The builder of the current connection, for a job to hold on to: an abandoned job
    // keeps the one it started with.
    std::shared_ptr<query::listMng> sharedBuilder() const { return mBuilder; }
    query::CivilDate today() const { return mToday ? mToday() : systemToday(); }

    // Runs job on the session's one worker thread; false while another job runs (one that
    // is only finishing is waited for). A cancel request from before is forgotten.
    bool run(std::function<void()> job);

    // Stops the statement running on another thread (any thread): it fails as cancelled,
    // and so does the next one should none be running yet. False when no connection is
    // open (a connect cannot be stopped, only abandoned).
    bool cancel();
    // Whether cancel() was called since the job began (for work that is no statement).
    const std::atomic<bool>& cancelRequested() const { return mCancelRequested; }

    // Gives up the running job, whose statement does not end even when cancelled (a server
    // that stopped answering): it goes on alone with its worker and its connection, its
    // outcome unheard; the session is idle at once and its next statement connects afresh.
    void abandon();
    // Counts the abandons: a job's outcome is heard only in the generation it started in.
    unsigned generation() const { return mGeneration; }

    // What the user is told of a failure, the password taken out.
    std::string failureMessage(const data::DbError& e) const;

private:
    Clock mToday;
    data::Connector mConnector;
    std::shared_ptr<query::listMng> mBuilder;
    std::atomic<bool> mCancelRequested{false};
    std::atomic<unsigned> mGeneration{0};
    std::unique_ptr<Worker> mWorker;  // last: gone first, while what its job uses still exists
};

}  // namespace faq::app
