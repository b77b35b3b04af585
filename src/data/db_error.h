// The one error type of the data layer: every diagnostic record of a failed call.
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

class DbError : public std::runtime_error {
public:
    // context: what was being done; records: the driver's diagnostics, in order.
    DbError(std::string context, std::vector<DiagRecord> records);
    explicit DbError(std::string message);

    const std::string& context() const { return mContext; }
    const std::vector<DiagRecord>& records() const { return mRecords; }
    // The first record's SQLSTATE, or empty.
    std::string sqlState() const;

private:
    std::string mContext;
    std::vector<DiagRecord> mRecords;
};

// Removes a secret from a text: every "PWD=..." up to the next ';' and, for secrets
// of three characters or more, every literal occurrence of the secret.
std::string redact(std::string text, const std::string& secret);

}  // namespace faq::data
