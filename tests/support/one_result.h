// A query asks for one result: the checks every driver path shares.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "data/cdb.h"
#include "data/db_error.h"

namespace faq::test {

// first and second are SELECTs of one column named a; table is a table of at least one row.
// A second result fails the statement, whether it ends well or fails itself; after it the
// connection answers the next statement. A driver that refuses a batch (refusal: its words)
// fails it so itself.
inline void expectASecondResultFails(data::CDB& db, const std::string& first, const std::string& second,
                                     const std::string& failing, const std::string& refusal = data::kSecondResult) {
    for (const std::string& batch : {first + "; " + second, first + "; " + failing}) {
        try {
            auto rs = db.ExecSqlRs(batch);
            ADD_FAILURE() << batch << ": " << rs->recordCount() << " rows taken as the result";
        } catch (const data::DbError& e) {
            EXPECT_EQ(e.failure(), data::Failure::Statement) << e.what();
            // A second statement that fails says its own failure.
            if (batch.ends_with(second)) {
                EXPECT_NE(std::string(e.what()).find(refusal), std::string::npos) << batch << ": " << e.what();
            }
        }
        EXPECT_EQ(db.ExecSqlRs(first)->recordCount(), 1u) << "after " << batch;
    }
}

}  // namespace faq::test
