#include "workbook_check.h"

#include <expat.h>
#include <zlib.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <vector>

#include "atomic_file.h"
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

enum class Entry { Complete, Cut, NotXml };

struct ParserFree {
    void operator()(XML_Parser p) const { XML_ParserFree(p); }
};

// Inflates the entry at the local header offset and parses it as XML: complete when the
// data is all there and forms one well-formed document (expat refuses what XML 1.0 does,
// malformed UTF-8, control characters, U+FFFE and U+FFFF among it).
Entry checkEntry(FILE* f, uint64_t localHeader) {
    unsigned char h[30];
    if (!readAt(f, localHeader, h, sizeof h) || std::memcmp(h, "PK\3\4", 4) != 0 || u16(h + 8) != Z_DEFLATED)
        return Entry::Cut;
    if (!platform::seek(f, localHeader + 30 + u16(h + 26) + u16(h + 28))) return Entry::Cut;
    const std::unique_ptr<XML_ParserStruct, ParserFree> parser(XML_ParserCreate(nullptr));
    if (!parser) throw OutputError("内存不足，无法检查写出的工作簿");
    z_stream z{};
    if (inflateInit2(&z, -MAX_WBITS) != Z_OK) return Entry::Cut;
    std::vector<unsigned char> in(1 << 20), out(1 << 18);
    bool wellFormed = true;
    int rc = Z_OK;
    while (rc == Z_OK) {
        if (z.avail_in == 0) {
            z.avail_in = static_cast<uInt>(std::fread(in.data(), 1, in.size(), f));
            z.next_in = in.data();
            if (z.avail_in == 0) break;
        }
        z.next_out = out.data();
        z.avail_out = static_cast<uInt>(out.size());
        rc = inflate(&z, Z_NO_FLUSH);
        const int produced = static_cast<int>(out.size() - z.avail_out);
        if (wellFormed && produced > 0)
            wellFormed = XML_Parse(parser.get(), reinterpret_cast<const char*>(out.data()), produced, XML_FALSE) ==
                         XML_STATUS_OK;
    }
    inflateEnd(&z);
    if (rc != Z_STREAM_END) return Entry::Cut;
    if (wellFormed) wellFormed = XML_Parse(parser.get(), nullptr, 0, XML_TRUE) == XML_STATUS_OK;
    return wellFormed ? Entry::Complete : Entry::NotXml;
}

}  // namespace

void verifyWorkbook(const std::string& path, int sheets) {
    File f(platform::openForReading(path));
    if (!f) throw OutputError(kIncomplete);
    const auto entries = centralDirectory(f.get());
    for (int s = 1; s <= sheets; ++s)
        if (!entries.contains("xl/worksheets/sheet" + std::to_string(s) + ".xml")) throw OutputError(kIncomplete);
    for (const auto& [name, offset] : entries) {
        if (!name.ends_with(".xml") && !name.ends_with(".rels")) continue;
        const Entry e = checkEntry(f.get(), offset);
        if (e == Entry::NotXml) throw OutputError("工作簿的 " + name + " 不是格式正确的 XML，文件无法打开");
        if (e != Entry::Complete) throw OutputError(kIncomplete);
    }
}

}  // namespace faq::output
