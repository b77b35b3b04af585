// The same transaction checks for every engine behind CDB.
#pragma once

#include <gtest/gtest.h>

#include "data/cdb.h"
#include "data/program_error.h"

namespace faq::test {

// db must hold an empty table tx(a integer).
inline void expectRollbackDropsAndCommitKeeps(data::CDB& db) {
    db.beginTrans();
    db.ExecSql("insert into tx values (1)");
    db.rollbackTrans();
    EXPECT_EQ(db.ExecSqlRs("select count(*) from tx")->value(0, 0).i, 0);
    db.beginTrans();
    EXPECT_THROW(db.beginTrans(), data::ProgramError);  // no nesting
    db.ExecSql("insert into tx values (2)");
    db.commitTrans();
    EXPECT_EQ(db.ExecSqlRs("select count(*) from tx")->value(0, 0).i, 1);
    EXPECT_THROW(db.commitTrans(), data::ProgramError);  // no transaction is active
}

}  // namespace faq::test
