// The one error type of the data layer: every diagnostic record of a failed call, and
// what the failure was: a connection that could not be opened, a statement that failed,
// a statement the user cancelled, or a database locked by another program.
#pragma once

#include <stdexcept>
#include <string>
#include <vector>

namespace faq::data {

struct DiagRecord {
    std::string sqlState;  // five characters, e.g. "28000"
    long nativeError = 0;
    std::string message;  // UTF-8
};

enum class Failure { Statement, Connect, Cancelled, Locked };

// What the user is told when a result does not fit in memory.
constexpr const char* kOutOfMemory = "内存不足：结果太大，请缩小查询条件";
// What the user is told when a query, which asks for one result, is answered with more:
// the answer is not the one asked for, and none of it is taken.
constexpr const char* kSecondResult =
    "数据库对这条查询返回了不止一个结果集：这不是所查询的结果，没有采用（请让管理员检查数据库）";

class DbError : public std::runtime_error {
public:
    // context: what was being done; records: the driver's diagnostics, in order.
    DbError(std::string context, std::vector<DiagRecord> records, Failure failure = Failure::Statement);
    explicit DbError(std::string message, Failure failure = Failure::Statement);

    const std::string& context() const { return mContext; }
    const std::vector<DiagRecord>& records() const { return mRecords; }
    // The first record's SQLSTATE, or empty.
    std::string sqlState() const;
    Failure failure() const { return mFailure; }
    // The same error as a failure to connect (a cancel or a lock stays what it is).
    DbError asConnectFailure() const;
    // The statement failed before any of its answer arrived (nothing of it was read), and
    // whether the driver then found its connection dead. Kept by the copies above and below.
    bool unanswered() const { return mUnanswered; }
    bool connectionDead() const { return mConnectionDead; }
    DbError& markUnanswered(bool connectionDead) {
        mUnanswered = true;
        mConnectionDead = connectionDead;
        return *this;
    }
    // A login that timed out although the server answered a pre-login and asked for
    // encryption: the encrypted handshake stalled. Kept by the copies above and below.
    bool encryptionStalled() const { return mEncryptionStalled; }
    DbError& markEncryptionStalled() {
        mEncryptionStalled = true;
        return *this;
    }
    // The same error with secret taken out of every text.
    DbError redacted(const std::string& secret) const;

private:
    std::string mContext;
    std::vector<DiagRecord> mRecords;
    Failure mFailure;
    bool mUnanswered = false, mConnectionDead = false, mEncryptionStalled = false;
};

// Removes a secret from a text: the value of every "PWD=" (any case; up to the next ';',
// or the whole braced value) and every literal occurrence of the secret, one shorter than
// four characters only where it stands alone (between the text's ends, blanks, quotes and
// other ASCII punctuation), never inside a word.
std::string redact(std::string text, const std::string& secret);

}  // namespace faq::data
