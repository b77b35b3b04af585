// A sample accounting database with the fixed-asset tables the program reads, filled with
// plausible Chinese content by a deterministic generator.
#pragma once

#include <cstdint>
#include <string>

struct sqlite3;

namespace faq::data {

struct SampleOptions {
    int cards = 300;  // card numbers; some have several versions
    uint64_t seed = 20261207;
};

// Creates the tables in db (which must have the SQL dialect registered) and fills them.
void generateSample(sqlite3* db, const SampleOptions& options);

}  // namespace faq::data
