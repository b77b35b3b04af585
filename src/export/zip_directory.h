// The central directory of a zip file as the program writes them (libxlsxwriter's, Zip64
// included): each entry's name, where its local header stands, and its directory record.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace faq::output {

struct ZipEntry {
    std::string name;
    uint64_t localHeader = 0;           // offset of the entry's local header
    std::vector<unsigned char> record;  // its central directory record, as written
};

struct ZipDirectory {
    std::vector<ZipEntry> entries;  // in the directory's order
    uint64_t offset = 0;            // where the directory begins (the end of the entries)
};

uint16_t zipU16(const unsigned char* p);
uint32_t zipU32(const unsigned char* p);
uint64_t zipU64(const unsigned char* p);

// Reads f's central directory; throws OutputError(incomplete) when f is no complete zip.
ZipDirectory readZipDirectory(FILE* f, const char* incomplete);

// Reads n bytes at offset; false when f has fewer.
bool readZipAt(FILE* f, uint64_t offset, void* out, size_t n);

}  // namespace faq::output
