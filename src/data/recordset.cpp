#include "recordset.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/mman.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <atomic>
#include <bit>
#include <cmath>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <type_traits>
#include <vector>

#include "db_error.h"
#include "program_error.h"
#include "utf.h"

namespace faq::data {

namespace {
bool equalsIgnoreAsciiCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        auto x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]);
        if (x >= 'A' && x <= 'Z') x += 32;
        if (y >= 'A' && y <= 'Z') y += 32;
        if (x != y) return false;
    }
    return true;
}
}  // namespace

Recordset::Recordset(std::vector<Field> fields) : mFields(std::move(fields)), mColumns(mFields.size()) {}

Recordset::~Recordset() = default;

int Recordset::fieldIndex(std::string_view name) const {
    for (size_t i = 0; i < mFields.size(); ++i)
        if (equalsIgnoreAsciiCase(mFields[i].name, name)) return static_cast<int>(i);
    return -1;
}

namespace {
// Freed blocks of the usual large size, kept for the next result: a query run again fills
// about as much as the last one, and a kept block costs it no page faults (fresh memory
// cost a million-row fetch about 45 ms of kernel time, some 5 per cent). At most kKeptBlocks; on Linux
// the kernel may still take their pages back whenever it needs memory (MADV_FREE).
constexpr size_t kKeptBlocks = 64;

std::mutex& keptLock() {
    static std::mutex m;
    return m;
}
std::vector<char*>& keptBlocks() {
    static auto* v = new std::vector<char*>();  // outlives every static destructor
    return *v;
}

// Memory for a block, aligned to `align`; the kernel may back a large one with huge pages.
char* allocateBlock(size_t capacity, size_t align) {
    if (capacity == Recordset::kHugeBlockBytes) {
        std::lock_guard lock(keptLock());
        if (!keptBlocks().empty()) {
            char* p = keptBlocks().back();
            keptBlocks().pop_back();
            return p;
        }
    }
#ifdef _WIN32
    return static_cast<char*>(_aligned_malloc(capacity, align));
#else
    char* p = static_cast<char*>(align > alignof(std::max_align_t) ? std::aligned_alloc(align, capacity)
                                                                   : std::malloc(capacity));
#ifdef MADV_HUGEPAGE
    if (p && capacity >= Recordset::kHugeBlockBytes) madvise(p, capacity, MADV_HUGEPAGE);
#endif
    return p;
#endif
}

std::atomic<size_t> gLimitSet{0};

size_t physicalMemory() {
#ifdef _WIN32
    MEMORYSTATUSEX m{};
    m.dwLength = sizeof m;
    return GlobalMemoryStatusEx(&m) ? static_cast<size_t>(m.ullTotalPhys) : 0;
#else
    const long pages = sysconf(_SC_PHYS_PAGES), page = sysconf(_SC_PAGE_SIZE);
    return pages > 0 && page > 0 ? static_cast<size_t>(pages) * static_cast<size_t>(page) : 0;
#endif
}

}  // namespace

size_t resultMemoryLimit() {
    if (const size_t set = gLimitSet) return set;
    static const size_t byMachine = std::max(physicalMemory() / 4, size_t{256} << 20);
    return byMachine;
}

void setResultMemoryLimit(size_t bytes) {
    gLimitSet = bytes;
}

void Recordset::FreeBlock::operator()(char* p) const {
    if (capacity == kHugeBlockBytes) {
        std::lock_guard lock(keptLock());
        if (keptBlocks().size() < kKeptBlocks) {
#ifdef MADV_FREE
            madvise(p, capacity, MADV_FREE);
#endif
            keptBlocks().push_back(p);
            return;
        }
    }
#ifdef _WIN32
    _aligned_free(p);
#else
    std::free(p);
#endif
}

void Recordset::grow(size_t bytes) {
    // Doubling up to 2 MiB: a small result stays small.
    size_t capacity = mBlocks.empty()
                          ? kFirstBlockBytes
                          : std::min(static_cast<size_t>(mLimit - mBlocks.back().get()) * 2, kHugeBlockBytes);
    while (capacity < bytes) capacity *= 2;
    if (mHeld + capacity > resultMemoryLimit())
        throw DbError("结果太大：读到第 " + std::to_string(mRows + 1) + " 行时已占用 " + std::to_string(mHeld >> 20) +
                      " MB 内存（上限为本机内存的四分之一，" + std::to_string(resultMemoryLimit() >> 20) +
                      " MB），为免耗尽内存已停止读取；请缩小查询条件（期间、部门或资产名称）");
    Block block(allocateBlock(capacity, capacity >= kHugeBlockBytes ? kHugeBlockBytes : alignof(std::max_align_t)),
                FreeBlock{capacity});
    if (!block) throw std::bad_alloc();
    mFree = block.get();
    mLimit = mFree + capacity;
    mBlocks.push_back(std::move(block));
    mHeld += capacity;
}

namespace {
// A varint length prefix: seven bits a byte, at most five bytes for a text's length.
char* putVarint(char* p, uint64_t len) {
    while (len >= 0x80) {
        *p++ = static_cast<char>((len & 0x7F) | 0x80);
        len >>= 7;
    }
    *p++ = static_cast<char>(len);
    return p;
}
}  // namespace

uint64_t Recordset::storeText(std::string_view s) {
    char* p = reserve(s.size() + 5);
    char* end = copyCleanUtf8(putVarint(p, s.size()), s);
    if (!end) return storeText(cleanUtf8(s));  // nothing taken yet: stored as cleaned
    mFree = end;
    mTextBytes += s.size();
    return slotOf(p);
}

uint64_t Recordset::storeLongUtf16(const char16_t* s, size_t units) {
    // One pass: encoded after room for the longest length prefix it can need, the prefix
    // written before it, the bytes moved up only when the prefix came out shorter.
    const size_t most = units * 3;
    size_t room = 1;
    for (size_t v = most; v >= 0x80; v >>= 7) ++room;
    char* p = reserve(most + room + 1);
    const size_t len = static_cast<size_t>(encodeCleanUtf8(p + room, s, units) - (p + room));
    char* text = putVarint(p, len);
    if (text != p + room) std::memmove(text, p + room, len);
    mFree = text + len;
    mTextBytes += len;
    return slotOf(p);
}

std::string_view Recordset::loadText(uint64_t slot) const {
    const char* p = mBlocks[slot >> 32].get() + (slot & 0xFFFFFFFFu);
    uint64_t len = 0;
    unsigned shift = 0;
    uint8_t byte;
    do {
        byte = static_cast<uint8_t>(*p++);
        len |= static_cast<uint64_t>(byte & 0x7F) << shift;
        shift += 7;
    } while (byte & 0x80);
    return {p, static_cast<size_t>(len)};
}

Value Recordset::value(size_t row, size_t col) const {
    if (row >= mRows || col >= mFields.size()) throw ProgramError("记录或字段序号超出范围");
    const Chunk& c = *mColumns[col].chunks[row >> kChunkBits];
    const size_t k = row & (kChunkRows - 1);
    Value v;
    v.type = c.tag[k];
    switch (v.type) {
        case FieldType::Null: break;
        case FieldType::Integer: v.i = static_cast<int64_t>(c.slot[k]); break;
        case FieldType::Double: v.d = std::bit_cast<double>(c.slot[k]); break;
        default: v.text = loadText(c.slot[k]); break;
    }
    return v;
}

void Recordset::notify() {
    // Copy first: a listener may add or remove listeners.
    auto listeners = mListeners;
    for (auto& [id, l] : listeners) l(mPos);
}

void Recordset::setPosition(long pos) {
    pos = std::clamp(pos, -1L, static_cast<long>(mRows));
    if (mRows == 0) pos = 0;
    if (pos == mPos) return;
    mPos = pos;
    notify();
}

void Recordset::moveFirst() {
    setPosition(0);
}
void Recordset::moveLast() {
    setPosition(mRows ? static_cast<long>(mRows) - 1 : 0);
}
void Recordset::moveNext() {
    if (eof()) throw ProgramError("记录集已在末尾，无法后移");
    setPosition(mPos + 1);
}
void Recordset::movePrevious() {
    if (bof()) throw ProgramError("记录集已在开头，无法前移");
    setPosition(mPos - 1);
}
void Recordset::move(long n) {
    setPosition(mPos + n);
}

Value Recordset::fieldValue(size_t col) const {
    if (bof() || eof()) throw ProgramError("当前没有记录（记录集在开头或末尾）");
    return value(static_cast<size_t>(mPos), col);
}

Value Recordset::fieldValue(std::string_view name) const {
    int col = fieldIndex(name);
    if (col < 0) throw ProgramError("记录集中没有字段：" + std::string(name));
    return fieldValue(static_cast<size_t>(col));
}

int Recordset::addListener(Listener l) {
    mListeners.emplace_back(mNextListener, std::move(l));
    return mNextListener++;
}

void Recordset::removeListener(int id) {
    std::erase_if(mListeners, [id](const auto& p) { return p.first == id; });
}

size_t Recordset::memoryBytes() const {
    size_t bytes = 0;
    for (const auto& c : mColumns) bytes += c.chunks.capacity() * sizeof(void*);
    bytes += mHeld + mBlocks.capacity() * sizeof(Block);
    return bytes;
}

RecordsetBuilder::RecordsetBuilder(std::vector<Field> fields)
    : mRs(std::make_shared<Recordset>(std::move(fields))), mChunk(mRs->fieldCount(), nullptr) {}

void RecordsetBuilder::ensureChunks(size_t rows) {
    Recordset& rs = *mRs;
    // Chunks are plain arrays filled before they are read: no construction needed.
    static_assert(std::is_trivial_v<Recordset::Chunk> && alignof(Recordset::Chunk) <= 8);
    for (size_t have = rs.mColumns[0].chunks.size(); have << Recordset::kChunkBits < rows; ++have) {
        for (auto& column : rs.mColumns) {
            char* p = rs.reserve(sizeof(Recordset::Chunk) + 8);
            p += (8 - reinterpret_cast<uintptr_t>(p) % 8) % 8;
            rs.mFree = p + sizeof(Recordset::Chunk);
            column.chunks.push_back(reinterpret_cast<Recordset::Chunk*>(p));
        }
    }
}

bool RecordsetBuilder::addChunks() {
    if (mChunk.empty()) return false;
    const size_t row = mRs->mRows;
    ensureChunks(row + 1);
    for (size_t c = 0; c < mChunk.size(); ++c) mChunk[c] = mRs->mColumns[c].chunks[row >> Recordset::kChunkBits];
    mK = row & (Recordset::kChunkRows - 1);
    mNewChunks = false;
    return true;
}

void RecordsetBuilder::beginRows(size_t n) {
    if (mCol != 0) throw ProgramError("记录集的行尚未填完");
    if (!mChunk.empty()) ensureChunks(mRs->mRows + n);
    mBlockRows = n;
}

void RecordsetBuilder::endRows() {
    if (mChunk.empty()) return;
    mRs->mRows += mBlockRows;
    mBlockRows = 0;
    mNewChunks = true;  // the row puts pick up where the block ended
}

void RecordsetBuilder::refuseNumber(double v, size_t row, size_t col) {
    // An overflowing sum reads as infinity: no figure to show, write or add up.
    throw DbError("结果第 " + std::to_string(row + 1) + " 行第 " + std::to_string(col + 1) + " 列的数值超出范围（" +
                  (std::isnan(v) ? "不是数字" : "溢出") + "），无法显示");
}

RecordsetPtr RecordsetBuilder::finish() {
    mRs->mPos = 0;
    return std::move(mRs);
}

}  // namespace faq::data
