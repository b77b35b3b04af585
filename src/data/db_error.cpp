#include "db_error.h"

#include <algorithm>
#include <cctype>

namespace faq::data {

namespace {
std::string compose(const std::string& context, const std::vector<DiagRecord>& records) {
    std::string text = context;
    for (const auto& r : records) {
        if (!text.empty()) text += "\n";
        text += "[" + r.sqlState + "] (" + std::to_string(r.nativeError) + ") " + r.message;
    }
    return text;
}
}  // namespace

DbError::DbError(std::string context, std::vector<DiagRecord> records)
    : std::runtime_error(compose(context, records)), mContext(std::move(context)), mRecords(std::move(records)) {}

DbError::DbError(std::string message) : std::runtime_error(message), mContext(std::move(message)) {}

std::string DbError::sqlState() const { return mRecords.empty() ? std::string() : mRecords.front().sqlState; }

std::string redact(std::string text, const std::string& secret) {
    static const std::string kKey = "pwd=";
    for (size_t i = 0; i + kKey.size() <= text.size(); ++i) {
        bool match = std::equal(kKey.begin(), kKey.end(), text.begin() + static_cast<long>(i),
                                [](char a, char b) { return std::tolower(static_cast<unsigned char>(a)) == b; });
        if (!match) continue;
        size_t start = i + kKey.size();
        size_t end = text.find(';', start);
        if (end == std::string::npos) end = text.size();
        text.replace(start, end - start, "***");
        i = start + 2;
    }
    if (secret.size() >= 3) {
        for (size_t pos = text.find(secret); pos != std::string::npos; pos = text.find(secret, pos + 3))
            text.replace(pos, secret.size(), "***");
    }
    return text;
}

}  // namespace faq::data
