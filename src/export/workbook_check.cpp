#include "workbook_check.h"

#include <zlib.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <vector>

#include "atomic_file.h"
#include "data/utf.h"
#include "file_system.h"

namespace faq::output {

namespace {

constexpr const char* kIncomplete = "工作簿写入不完整（磁盘空间不足或文件大小受到限制）";

struct FileCloser {
    void operator()(FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<FILE, FileCloser>;

uint16_t u16(const unsigned char* p) {
    return static_cast<uint16_t>(p[0] | p[1] << 8);
}
uint32_t u32(const unsigned char* p) {
    return u16(p) | static_cast<uint32_t>(u16(p + 2)) << 16;
}
uint64_t u64(const unsigned char* p) {
    return u32(p) | static_cast<uint64_t>(u32(p + 4)) << 32;
}

bool readAt(FILE* f, uint64_t offset, void* out, size_t n) {
    return platform::seek(f, offset) && std::fread(out, 1, n, f) == n;
}

// Entry name -> offset of its local header, from the central directory.
std::map<std::string, uint64_t> centralDirectory(FILE* f) {
    const uint64_t size = platform::sizeOf(f);
    if (size == 0) throw OutputError(kIncomplete);
    const uint64_t tailSize = std::min<uint64_t>(size, 65557);
    std::vector<unsigned char> tail(tailSize);
    if (!readAt(f, size - tailSize, tail.data(), tailSize)) throw OutputError(kIncomplete);
    long eocd = static_cast<long>(tailSize) - 22;
    while (eocd >= 0 && std::memcmp(&tail[static_cast<size_t>(eocd)], "PK\5\6", 4) != 0) --eocd;
    if (eocd < 0) throw OutputError(kIncomplete);
    const unsigned char* e = &tail[static_cast<size_t>(eocd)];
    uint64_t entries = u16(e + 10), cdSize = u32(e + 12), cdOffset = u32(e + 16);
    if (cdOffset == 0xFFFFFFFF || entries == 0xFFFF) {
        // Zip64: the locator stands right before the end record.
        if (eocd < 20 || std::memcmp(e - 20, "PK\6\7", 4) != 0) throw OutputError(kIncomplete);
        unsigned char z[56];
        if (!readAt(f, u64(e - 20 + 8), z, sizeof z) || std::memcmp(z, "PK\6\6", 4) != 0)
            throw OutputError(kIncomplete);
        entries = u64(z + 32), cdSize = u64(z + 40), cdOffset = u64(z + 48);
    }
    if (cdOffset + cdSize > size) throw OutputError(kIncomplete);
    std::vector<unsigned char> cd(cdSize);
    if (!readAt(f, cdOffset, cd.data(), cdSize)) throw OutputError(kIncomplete);
    std::map<std::string, uint64_t> out;
    size_t p = 0;
    for (uint64_t i = 0; i < entries; ++i) {
        if (p + 46 > cd.size() || std::memcmp(&cd[p], "PK\1\2", 4) != 0) throw OutputError(kIncomplete);
        const size_t nameLen = u16(&cd[p + 28]), extraLen = u16(&cd[p + 30]), commentLen = u16(&cd[p + 32]);
        if (p + 46 + nameLen + extraLen > cd.size()) throw OutputError(kIncomplete);
        uint64_t offset = u32(&cd[p + 42]);
        if (offset == 0xFFFFFFFF) {
            // Zip64 extended information: the 8-byte fields present, in order.
            const bool bigU = u32(&cd[p + 24]) == 0xFFFFFFFF, bigC = u32(&cd[p + 20]) == 0xFFFFFFFF;
            for (size_t x = p + 46 + nameLen; x + 4 <= p + 46 + nameLen + extraLen;) {
                const uint16_t id = u16(&cd[x]), len = u16(&cd[x + 2]);
                if (id == 1) offset = u64(&cd[x + 4 + (bigU ? 8 : 0) + (bigC ? 8 : 0)]);
                x += 4u + len;
            }
        }
        out[std::string(reinterpret_cast<const char*>(&cd[p + 46]), nameLen)] = offset;
        p += 46 + nameLen + extraLen + commentLen;
    }
    return out;
}

enum class Entry { Complete, Cut, BadText };

// Inflates the entry at the local header offset: complete when its data is well-formed
// UTF-8 without NUL (as XML must be) and ends with `ending`.
Entry checkEntry(FILE* f, uint64_t localHeader, const std::string& ending) {
    unsigned char h[30];
    if (!readAt(f, localHeader, h, sizeof h) || std::memcmp(h, "PK\3\4", 4) != 0 || u16(h + 8) != Z_DEFLATED)
        return Entry::Cut;
    if (!platform::seek(f, localHeader + 30 + u16(h + 26) + u16(h + 28))) return Entry::Cut;
    z_stream z{};
    if (inflateInit2(&z, -MAX_WBITS) != Z_OK) return Entry::Cut;
    // out starts with the bytes of a character the last piece cut (at most three).
    std::vector<unsigned char> in(1 << 20), out(1 << 18);
    size_t carry = 0;
    std::string last;  // the end of what was inflated, for the ending
    bool clean = true;
    int rc = Z_OK;
    while (rc == Z_OK) {
        if (z.avail_in == 0) {
            z.avail_in = static_cast<uInt>(std::fread(in.data(), 1, in.size(), f));
            z.next_in = in.data();
            if (z.avail_in == 0) break;
        }
        z.next_out = out.data() + carry;
        z.avail_out = static_cast<uInt>(out.size() - carry);
        rc = inflate(&z, Z_NO_FLUSH);
        const std::string_view have(reinterpret_cast<const char*>(out.data()), out.size() - z.avail_out);
        const size_t whole = have.size() - data::unfinishedUtf8Tail(have);
        clean = clean && data::isCleanUtf8(have.substr(0, whole));
        const std::string_view produced = have.substr(carry);
        if (produced.size() >= 64) {
            last.assign(produced.substr(produced.size() - 64));
        } else {
            last.append(produced);
            if (last.size() > 64) last.erase(0, last.size() - 64);
        }
        carry = have.size() - whole;
        std::memmove(out.data(), out.data() + whole, carry);
    }
    inflateEnd(&z);
    while (!last.empty() && (last.back() == '\n' || last.back() == '\r')) last.pop_back();
    if (rc != Z_STREAM_END || last.size() < ending.size() ||
        last.compare(last.size() - ending.size(), ending.size(), ending) != 0)
        return Entry::Cut;
    return clean && carry == 0 ? Entry::Complete : Entry::BadText;
}

}  // namespace

void verifyWorkbook(const std::string& path, int sheets) {
    File f(platform::openForReading(path));
    if (!f) throw OutputError(kIncomplete);
    const auto entries = centralDirectory(f.get());
    for (int s = 1; s <= sheets; ++s) {
        const auto it = entries.find("xl/worksheets/sheet" + std::to_string(s) + ".xml");
        const Entry e = it == entries.end() ? Entry::Cut : checkEntry(f.get(), it->second, "</worksheet>");
        if (e == Entry::BadText) throw OutputError("工作簿中的文本不是有效的 UTF-8，文件无法打开");
        if (e != Entry::Complete) throw OutputError(kIncomplete);
    }
}

}  // namespace faq::output
