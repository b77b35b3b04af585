// A user pressing cancel while a statement runs.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

#include "data/cdb.h"
#include "data/db_error.h"

namespace faq::test {

// Runs sql on db while another thread cancels it after `after`: the statement must fail
// as cancelled within two seconds of the press.
inline void expectCancelledSoonAfterThePress(data::CDB& db, const std::string& sql, std::chrono::milliseconds after) {
    using Clock = std::chrono::steady_clock;
    Clock::time_point pressed;
    std::thread user([&] {
        std::this_thread::sleep_for(after);
        pressed = Clock::now();
        db.cancel();
    });
    try {
        db.ExecSqlRs(sql);
        ADD_FAILURE() << "the statement ran to its end";
    } catch (const data::DbError& e) {
        EXPECT_EQ(e.failure(), data::Failure::Cancelled) << e.what();
    }
    const auto stopped = Clock::now();
    user.join();
    EXPECT_LT(stopped - pressed, std::chrono::seconds(2));
}

}  // namespace faq::test
