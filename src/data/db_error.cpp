#include "db_error.h"

#include <algorithm>
#include <cctype>

namespace faq::data {

namespace {
// The context, then each distinct record once (drivers repeat themselves).
std::string compose(const std::string& context, const std::vector<DiagRecord>& records) {
    std::string text = context;
    for (size_t i = 0; i < records.size(); ++i) {
        const DiagRecord& r = records[i];
        const auto same = [&r](const DiagRecord& o) {
            return o.sqlState == r.sqlState && o.nativeError == r.nativeError && o.message == r.message;
        };
        if (std::any_of(records.begin(), records.begin() + static_cast<long>(i), same)) continue;
        if (!text.empty()) text += "\n";
        text += "[" + r.sqlState + "] (" + std::to_string(r.nativeError) + ") " + r.message;
    }
    return text;
}
}  // namespace

DbError::DbError(std::string context, std::vector<DiagRecord> records, Failure failure)
    : std::runtime_error(compose(context, records)),
      mContext(std::move(context)),
      mRecords(std::move(records)),
      mFailure(failure) {}

DbError::DbError(std::string message, Failure failure)
    : std::runtime_error(message), mContext(std::move(message)), mFailure(failure) {}

std::string DbError::sqlState() const {
    return mRecords.empty() ? std::string() : mRecords.front().sqlState;
}

DbError DbError::asConnectFailure() const {
    DbError e = *this;
    if (e.mFailure == Failure::Statement) e.mFailure = Failure::Connect;
    return e;
}

DbError DbError::redacted(const std::string& secret) const {
    auto records = mRecords;
    for (auto& r : records) r.message = redact(r.message, secret);
    DbError e(redact(mContext, secret), std::move(records), mFailure);
    e.mUnanswered = mUnanswered, e.mConnectionDead = mConnectionDead, e.mEncryptionStalled = mEncryptionStalled;
    return e;
}

std::string redact(std::string text, const std::string& secret) {
    static const std::string kKey = "pwd=";
    for (size_t i = 0; i + kKey.size() <= text.size(); ++i) {
        const bool match =
            std::equal(kKey.begin(), kKey.end(), text.begin() + static_cast<long>(i),
                       [](char key, char c) { return std::tolower(static_cast<unsigned char>(c)) == key; });
        if (!match) continue;
        const size_t start = i + kKey.size();
        size_t end = start;
        if (end < text.size() && text[end] == '{') {
            // A braced value ends at a '}' that is not doubled.
            for (++end; end < text.size(); ++end) {
                if (text[end] != '}') continue;
                if (end + 1 < text.size() && text[end + 1] == '}')
                    ++end;
                else
                    break;
            }
            end = std::min(end + 1, text.size());
        } else {
            end = std::min(text.find(';', start), text.size());
        }
        text.replace(start, end - start, "***");
        i = start + 2;
    }
    // A short secret is masked only where it stands alone, so that a password "x" leaves
    // "Timeout expired" readable; from four characters on a chance match is unlikely.
    constexpr size_t kAlwaysMasked = 4;
    auto alone = [&text](size_t at) {
        if (at >= text.size()) return true;
        const auto c = static_cast<unsigned char>(text[at]);
        return c < 0x80 && !std::isalnum(c) && c != '_';
    };
    if (!secret.empty()) {
        for (size_t pos = text.find(secret); pos != std::string::npos;) {
            const size_t end = pos + secret.size();
            if (secret.size() >= kAlwaysMasked || ((pos == 0 || alone(pos - 1)) && alone(end))) {
                text.replace(pos, secret.size(), "***");
                pos = text.find(secret, pos + 3);
            } else {
                pos = text.find(secret, pos + 1);
            }
        }
    }
    return text;
}

}  // namespace faq::data
