#include "workbook_template.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string_view>
#include <vector>

#include "file_system.h"
#include "zip_directory.h"

namespace faq::output {

namespace {

constexpr const char* kIncomplete = "工作簿写入不完整（磁盘空间不足或文件大小受到限制）";
constexpr std::string_view kContentTypes = "[Content_Types].xml";
constexpr std::string_view kWorkbookType = "spreadsheetml.sheet.main+xml";
constexpr std::string_view kTemplateType = "spreadsheetml.template.main+xml";

struct FileCloser {
    void operator()(FILE* f) const { std::fclose(f); }
};

void put16(std::string& b, uint64_t v) {
    b += static_cast<char>(v & 0xFF), b += static_cast<char>(v >> 8 & 0xFF);
}
void put32(std::string& b, uint64_t v) {
    put16(b, v & 0xFFFF), put16(b, v >> 16 & 0xFFFF);
}
void put64(std::string& b, uint64_t v) {
    put32(b, v & 0xFFFFFFFF), put32(b, v >> 32);
}
void set32(unsigned char* p, uint64_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<unsigned char>(v >> (8 * i) & 0xFF);
}
void set64(unsigned char* p, uint64_t v) {
    set32(p, v & 0xFFFFFFFF), set32(p + 4, v >> 32);
}

// Raw deflate (as zip entries hold it) of text, or its inflation.
std::string deflateRaw(const std::string& text) {
    z_stream z{};
    if (deflateInit2(&z, Z_DEFAULT_COMPRESSION, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK)
        throw OutputError("无法压缩工作簿内容");
    std::string out(deflateBound(&z, text.size()), '\0');
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(text.data()));
    z.avail_in = static_cast<uInt>(text.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = static_cast<uInt>(out.size());
    const int rc = deflate(&z, Z_FINISH);
    out.resize(z.total_out);
    deflateEnd(&z);
    if (rc != Z_STREAM_END) throw OutputError("无法压缩工作簿内容");
    return out;
}
std::string inflateRaw(const std::vector<unsigned char>& data, size_t size) {
    std::string out(size, '\0');
    z_stream z{};
    if (inflateInit2(&z, -MAX_WBITS) != Z_OK) throw OutputError(kIncomplete);
    z.next_in = const_cast<Bytef*>(data.data());
    z.avail_in = static_cast<uInt>(data.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = static_cast<uInt>(out.size());
    const int rc = inflate(&z, Z_FINISH);
    inflateEnd(&z);
    if (rc != Z_STREAM_END || z.total_out != size) throw OutputError(kIncomplete);
    return out;
}

// Sets the local header offset of a directory record: in its own field, or in its Zip64
// extra field when the record keeps it there.
void setOffset(std::vector<unsigned char>& r, uint64_t offset) {
    if (zipU32(&r[42]) != 0xFFFFFFFF) {
        if (offset >= 0xFFFFFFFF) throw OutputError("工作簿太大，无法写成模板");
        set32(&r[42], offset);
        return;
    }
    const size_t nameLen = zipU16(&r[28]), extraLen = zipU16(&r[30]);
    const bool bigU = zipU32(&r[24]) == 0xFFFFFFFF, bigC = zipU32(&r[20]) == 0xFFFFFFFF;
    for (size_t x = 46 + nameLen; x + 4 <= 46 + nameLen + extraLen;) {
        const uint16_t id = zipU16(&r[x]), len = zipU16(&r[x + 2]);
        if (id == 1) return set64(&r[x + 4 + (bigU ? 8 : 0) + (bigC ? 8 : 0)], offset);
        x += 4u + len;
    }
    throw OutputError(kIncomplete);
}

}  // namespace

void copyAsTemplate(const std::string& from, AtomicFile& to) {
    std::unique_ptr<FILE, FileCloser> f(platform::openForReading(from));
    if (!f) throw OutputError(kIncomplete);
    ZipDirectory dir = readZipDirectory(f.get(), kIncomplete);
    std::vector<ZipEntry*> byOffset;
    for (ZipEntry& e : dir.entries) byOffset.push_back(&e);
    std::sort(byOffset.begin(), byOffset.end(),
              [](const ZipEntry* a, const ZipEntry* b) { return a->localHeader < b->localHeader; });
    uint64_t written = 0;
    auto write = [&](std::string_view bytes) {
        to.write(bytes);
        written += bytes.size();
    };
    bool changed = false;
    std::vector<char> chunk(1 << 20);
    for (size_t i = 0; i < byOffset.size(); ++i) {
        ZipEntry& e = *byOffset[i];
        const uint64_t end = i + 1 < byOffset.size() ? byOffset[i + 1]->localHeader : dir.offset;
        if (end < e.localHeader) throw OutputError(kIncomplete);
        const uint64_t at = written;
        if (e.name != kContentTypes) {
            // As it is: local header, data and any data descriptor.
            for (uint64_t pos = e.localHeader; pos < end;) {
                const size_t n = static_cast<size_t>(std::min<uint64_t>(chunk.size(), end - pos));
                if (!readZipAt(f.get(), pos, chunk.data(), n)) throw OutputError(kIncomplete);
                write({chunk.data(), n});
                pos += n;
            }
            setOffset(e.record, at);
            continue;
        }
        // The content types, with the workbook part's type that of a template.
        unsigned char h[30];
        std::vector<unsigned char>& r = e.record;
        if (!readZipAt(f.get(), e.localHeader, h, sizeof h) || std::memcmp(h, "PK\3\4", 4) != 0 ||
            zipU16(h + 8) != Z_DEFLATED || zipU32(&r[20]) == 0xFFFFFFFF || zipU32(&r[24]) == 0xFFFFFFFF)
            throw OutputError(kIncomplete);
        std::vector<unsigned char> packed(zipU32(&r[20]));
        if (!readZipAt(f.get(), e.localHeader + 30 + zipU16(h + 26) + zipU16(h + 28), packed.data(), packed.size()))
            throw OutputError(kIncomplete);
        std::string xml = inflateRaw(packed, zipU32(&r[24]));
        const size_t type = xml.find(kWorkbookType);
        if (type == std::string::npos || xml.find(kWorkbookType, type + 1) != std::string::npos)
            throw OutputError("工作簿的内容类型不是预期的样子，无法写成模板");
        xml.replace(type, kWorkbookType.size(), kTemplateType);
        const std::string data = deflateRaw(xml);
        const uLong crc =
            crc32(crc32(0, nullptr, 0), reinterpret_cast<const Bytef*>(xml.data()), static_cast<uInt>(xml.size()));
        // A header of its own: sizes in it, no data descriptor, no extra field.
        std::string header(reinterpret_cast<const char*>(h), 6);
        put16(header, zipU16(h + 6) & ~0x0008u);
        header.append(reinterpret_cast<const char*>(h + 8), 6);  // method, time, date
        put32(header, crc), put32(header, data.size()), put32(header, xml.size());
        put16(header, e.name.size()), put16(header, 0);
        header += e.name;
        write(header);
        write(data);
        // Its record likewise, without extra field or comment.
        std::vector<unsigned char> rec(r.begin(), r.begin() + 46);
        rec[8] = static_cast<unsigned char>(rec[8] & ~0x08);
        set32(&rec[16], crc), set32(&rec[20], data.size()), set32(&rec[24], xml.size());
        rec[30] = rec[31] = rec[32] = rec[33] = 0;
        rec.insert(rec.end(), e.name.begin(), e.name.end());
        r = std::move(rec);
        setOffset(r, at);
        changed = true;
    }
    if (!changed) throw OutputError("工作簿没有内容类型，无法写成模板");
    // The directory in its own order, then its end.
    const uint64_t cdOffset = written;
    for (const ZipEntry& e : dir.entries) write({reinterpret_cast<const char*>(e.record.data()), e.record.size()});
    const uint64_t cdSize = written - cdOffset, count = dir.entries.size();
    std::string end;
    const bool zip64 = cdOffset >= 0xFFFFFFFF || cdSize >= 0xFFFFFFFF || count >= 0xFFFF;
    if (zip64) {
        const uint64_t record = written;
        end += "PK\6\6", put64(end, 44), put16(end, 45), put16(end, 45), put32(end, 0), put32(end, 0);
        put64(end, count), put64(end, count), put64(end, cdSize), put64(end, cdOffset);
        end += "PK\6\7", put32(end, 0), put64(end, record), put32(end, 1);
    }
    end += "PK\5\6", put16(end, 0), put16(end, 0);
    put16(end, zip64 ? 0xFFFF : count), put16(end, zip64 ? 0xFFFF : count);
    put32(end, zip64 ? 0xFFFFFFFF : cdSize), put32(end, zip64 ? 0xFFFFFFFF : cdOffset), put16(end, 0);
    write(end);
}

}  // namespace faq::output
