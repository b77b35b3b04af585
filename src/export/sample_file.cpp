#include "sample_file.h"

#include <sqlite3.h>

#include "atomic_file.h"
#include "data/db_error.h"
#include "data/sql_dialect.h"

namespace faq::output {

void writeSampleFile(const std::string& path, const data::SampleOptions& options) {
    AtomicFile file(path, {.mayReplace = false, .keepIntact = {}});
    sqlite3* db = nullptr;
    // The engine writes into the temporary file itself; without a journal it creates
    // nothing beside it (a half-written file is discarded anyway).
    int rc = sqlite3_open_v2(file.openablePath().c_str(), &db, SQLITE_OPEN_READWRITE, nullptr);
    try {
        if (rc == SQLITE_OK)
            rc = sqlite3_exec(db, "pragma journal_mode=off; pragma synchronous=off", nullptr, nullptr, nullptr);
        if (rc != SQLITE_OK)
            throw OutputError("无法写入文件 " + path + "：" + (db ? sqlite3_errmsg(db) : sqlite3_errstr(rc)));
        data::registerSqlDialect(db);
        data::generateSample(db, options);
        rc = sqlite3_close(db);
        db = nullptr;
        if (rc != SQLITE_OK) throw OutputError("写入文件 " + path + " 失败：" + sqlite3_errstr(rc));
    } catch (...) {
        if (db) sqlite3_close(db);
        throw;
    }
    file.commit();
}

}  // namespace faq::output
