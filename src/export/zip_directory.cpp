#include "zip_directory.h"

#include <cstring>

#include "atomic_file.h"
#include "file_system.h"

namespace faq::output {

uint16_t zipU16(const unsigned char* p) {
    return static_cast<uint16_t>(p[0] | p[1] << 8);
}
uint32_t zipU32(const unsigned char* p) {
    return zipU16(p) | static_cast<uint32_t>(zipU16(p + 2)) << 16;
}
uint64_t zipU64(const unsigned char* p) {
    return zipU32(p) | static_cast<uint64_t>(zipU32(p + 4)) << 32;
}

bool readZipAt(FILE* f, uint64_t offset, void* out, size_t n) {
    return platform::seek(f, offset) && std::fread(out, 1, n, f) == n;
}

ZipDirectory readZipDirectory(FILE* f, const char* incomplete) {
    const uint64_t size = platform::sizeOf(f);
    if (size == 0) throw OutputError(incomplete);
    const uint64_t tailSize = std::min<uint64_t>(size, 65557);
    std::vector<unsigned char> tail(tailSize);
    if (!readZipAt(f, size - tailSize, tail.data(), tailSize)) throw OutputError(incomplete);
    long eocd = static_cast<long>(tailSize) - 22;
    while (eocd >= 0 && std::memcmp(&tail[static_cast<size_t>(eocd)], "PK\5\6", 4) != 0) --eocd;
    if (eocd < 0) throw OutputError(incomplete);
    const unsigned char* e = &tail[static_cast<size_t>(eocd)];
    uint64_t entries = zipU16(e + 10), cdSize = zipU32(e + 12), cdOffset = zipU32(e + 16);
    if (cdOffset == 0xFFFFFFFF || entries == 0xFFFF) {
        // Zip64: the locator stands right before the end record.
        if (eocd < 20 || std::memcmp(e - 20, "PK\6\7", 4) != 0) throw OutputError(incomplete);
        unsigned char z[56];
        if (!readZipAt(f, zipU64(e - 20 + 8), z, sizeof z) || std::memcmp(z, "PK\6\6", 4) != 0)
            throw OutputError(incomplete);
        entries = zipU64(z + 32), cdSize = zipU64(z + 40), cdOffset = zipU64(z + 48);
    }
    if (cdOffset + cdSize > size) throw OutputError(incomplete);
    std::vector<unsigned char> cd(cdSize);
    if (!readZipAt(f, cdOffset, cd.data(), cdSize)) throw OutputError(incomplete);
    ZipDirectory out;
    out.offset = cdOffset;
    size_t p = 0;
    for (uint64_t i = 0; i < entries; ++i) {
        if (p + 46 > cd.size() || std::memcmp(&cd[p], "PK\1\2", 4) != 0) throw OutputError(incomplete);
        const size_t nameLen = zipU16(&cd[p + 28]), extraLen = zipU16(&cd[p + 30]), commentLen = zipU16(&cd[p + 32]);
        const size_t end = p + 46 + nameLen + extraLen + commentLen;
        if (end > cd.size()) throw OutputError(incomplete);
        uint64_t offset = zipU32(&cd[p + 42]);
        if (offset == 0xFFFFFFFF) {
            // Zip64 extended information: the 8-byte fields present, in order.
            const bool bigU = zipU32(&cd[p + 24]) == 0xFFFFFFFF, bigC = zipU32(&cd[p + 20]) == 0xFFFFFFFF;
            for (size_t x = p + 46 + nameLen; x + 4 <= p + 46 + nameLen + extraLen;) {
                const uint16_t id = zipU16(&cd[x]), len = zipU16(&cd[x + 2]);
                if (id == 1) offset = zipU64(&cd[x + 4 + (bigU ? 8 : 0) + (bigC ? 8 : 0)]);
                x += 4u + len;
            }
        }
        out.entries.push_back(
            {std::string(reinterpret_cast<const char*>(&cd[p + 46]), nameLen), offset,
             std::vector<unsigned char>(cd.begin() + static_cast<long>(p), cd.begin() + static_cast<long>(end))});
        p = end;
    }
    return out;
}

}  // namespace faq::output
