// Splits a fuzzer's input into fields at NUL bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace faq::fuzz {

inline std::vector<std::string> fields(const uint8_t* data, size_t size, size_t count) {
    std::vector<std::string> out(1);
    for (size_t i = 0; i < size; ++i) {
        if (data[i] == 0 && out.size() < count)
            out.emplace_back();
        else
            out.back().push_back(static_cast<char>(data[i]));
    }
    out.resize(count);
    return out;
}

}  // namespace faq::fuzz
