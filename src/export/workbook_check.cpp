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
#include "zip_directory.h"

namespace faq::output {

namespace {

constexpr const char* kIncomplete = "工作簿写入不完整（磁盘空间不足或文件大小受到限制）";

struct FileCloser {
    void operator()(FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<FILE, FileCloser>;

uint16_t u16(const unsigned char* p) {
    return zipU16(p);
}

bool readAt(FILE* f, uint64_t offset, void* out, size_t n) {
    return readZipAt(f, offset, out, n);
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
    std::map<std::string, uint64_t> entries;
    for (const ZipEntry& e : readZipDirectory(f.get(), kIncomplete).entries) entries[e.name] = e.localHeader;
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
