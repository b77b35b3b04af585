// A fully fetched, read-only result: fields in statement order, typed values, and one
// current record that moves both ways. Shared by reference count (RecordsetPtr).
//
// Storage is columnar and chunked: per cell one type byte and one 8-byte slot (integer,
// double bits, or the offset of a length-prefixed UTF-8 text in a pooled block), so a
// million rows cost a few allocations and no per-cell objects. Chunks and texts share
// blocks that grow to 2 MiB, which the kernel may back with huge pages: filling a million
// rows then faults in tens of pages instead of twenty thousand.
#pragma once

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "utf.h"
#include "value.h"

namespace faq::data {

struct Field {
    std::string name;
    FieldType type = FieldType::Text;  // the column's declared kind; cells may be null
};

class Recordset {
public:
    explicit Recordset(std::vector<Field> fields);
    Recordset(const Recordset&) = delete;
    Recordset& operator=(const Recordset&) = delete;
    ~Recordset();

    size_t fieldCount() const { return mFields.size(); }
    const Field& field(size_t col) const { return mFields.at(col); }
    // Index of the field named name, ignoring ASCII case; -1 when there is none.
    int fieldIndex(std::string_view name) const;
    size_t recordCount() const { return mRows; }

    Value value(size_t row, size_t col) const;

    // Current record: position() is -1 before the first record (BOF) and recordCount()
    // after the last (EOF). A new recordset stands on its first record, or at EOF and BOF
    // together when it is empty.
    long position() const { return mPos; }
    bool bof() const { return mPos < 0 || mRows == 0; }
    bool eof() const { return mPos >= static_cast<long>(mRows); }
    void moveFirst();
    void moveLast();
    void moveNext();             // throws at EOF
    void movePrevious();         // throws at BOF
    void move(long n);           // relative; clamps to BOF/EOF
    void setPosition(long pos);  // clamps to -1 .. recordCount()
    // Value of field col of the current record; throws at BOF or EOF.
    Value fieldValue(size_t col) const;
    Value fieldValue(std::string_view name) const;

    // Called with the new position whenever the current record changes.
    using Listener = std::function<void(long)>;
    int addListener(Listener l);
    void removeListener(int id);

    // Said under the result: what the engine left out and why (empty: nothing).
    std::string notice;

    // How ExecSqlRs opened it.
    int32_t cursorType = 0;
    int32_t lockType = 1;
    int32_t options = 1;

    // The largest block of storage: the size of a huge page.
    static constexpr size_t kHugeBlockBytes = size_t{2} << 20;

    // Heap bytes held, and the UTF-8 bytes of its texts among them.
    size_t memoryBytes() const;
    size_t textBytes() const { return mTextBytes; }

private:
    friend class RecordsetBuilder;
    static constexpr unsigned kChunkBits = 12;
    static constexpr size_t kChunkRows = size_t{1} << kChunkBits;
    struct Chunk {
        uint64_t slot[kChunkRows];
        FieldType tag[kChunkRows];
    };
    struct Column {
        std::vector<Chunk*> chunks;  // in the blocks
    };
    static constexpr size_t kFirstBlockBytes = size_t{64} << 10;
    struct FreeBlock {
        size_t capacity = 0;
        void operator()(char* p) const;
    };
    using Block = std::unique_ptr<char, FreeBlock>;

    // Room for bytes at the end of the last block (a new, larger one when it has none); the
    // room is taken by moving mFree past what was written.
    char* reserve(size_t bytes) {
        if (static_cast<size_t>(mLimit - mFree) < bytes) grow(bytes);
        return mFree;
    }
    void grow(size_t bytes);
    // Where p in the last block is: its block index and offset.
    uint64_t slotOf(const char* p) const {
        return (static_cast<uint64_t>(mBlocks.size() - 1) << 32) | static_cast<uint64_t>(p - mBlocks.back().get());
    }
    uint64_t storeText(std::string_view s);
    uint64_t storeUtf16(const char16_t* s, size_t units) {
        if (units >= 43) return storeLongUtf16(s, units);
        // At most 126 bytes: a one-byte length prefix (and the encoder's slack byte after).
        char* p = reserve(units * 3 + 2);
        char* end = encodeCleanUtf8(p + 1, s, units);
        const auto len = static_cast<size_t>(end - (p + 1));
        *p = static_cast<char>(len);
        mFree = end;
        mTextBytes += len;
        return slotOf(p);
    }
    uint64_t storeLongUtf16(const char16_t* s, size_t units);
    std::string_view loadText(uint64_t slot) const;
    void notify();

    std::vector<Field> mFields;
    std::vector<Column> mColumns;
    std::vector<Block> mBlocks;
    char* mFree = nullptr;   // the next free byte of the last block
    char* mLimit = nullptr;  // the end of the last block
    size_t mRows = 0;
    size_t mTextBytes = 0;
    size_t mHeld = 0;  // bytes of the blocks
    long mPos = 0;
    std::vector<std::pair<int, Listener>> mListeners;
    int mNextListener = 1;
};

using RecordsetPtr = std::shared_ptr<Recordset>;

// The most memory one result may take: a quarter of the machine's physical memory (at least
// 256 MiB), so that a result far larger than anyone can read stops with a message before
// the system runs out. A result that would grow past it fails with a DbError that asks for
// narrower criteria. setResultMemoryLimit changes it for the whole process (0: the default).
size_t resultMemoryLimit();
void setResultMemoryLimit(size_t bytes);

// Fills a recordset row by row: each put goes to the next field, and the row is complete
// after the last field. A text is checked as it is copied: malformed bytes read as U+FFFD
// and NUL as U+2400 (see cleanUtf8), so every stored text is clean.
//
// Rows may also come a block at a time, column by column (bound arrays): beginRows(n)
// makes room for n more rows, runs of cells (run(col, i, ...)) fill cell i (0 <= i < n) of
// column col, and endRows() adds them, every cell having been set. Not within a row of puts.
class RecordsetBuilder {
public:
    explicit RecordsetBuilder(std::vector<Field> fields);
    void putNull() { put(FieldType::Null, 0); }
    void putInt(int64_t v) { put(FieldType::Integer, static_cast<uint64_t>(v)); }
    void putDouble(double v) {
        if (!std::isfinite(v)) refuseNumber(v, mRs->mRows, mCol);
        put(FieldType::Double, std::bit_cast<uint64_t>(v));
    }
    void putText(std::string_view utf8, FieldType t = FieldType::Text) { put(t, mRs->storeText(utf8)); }
    void putUtf16(const char16_t* s, size_t units, FieldType t = FieldType::Text) { put(t, mRs->storeUtf16(s, units)); }

    void beginRows(size_t n);
    // Cells i, i+1, ... of column col, as far as one chunk of storage goes (at most
    // `most`): run.put*(k, ...) sets cell i + k, for k below run.n.
    class Run {
    public:
        size_t n;
        void putNull(size_t k) { set(k, FieldType::Null, 0); }
        void putInt(size_t k, int64_t v) { set(k, FieldType::Integer, static_cast<uint64_t>(v)); }
        void putDouble(size_t k, double v) {
            if (!std::isfinite(v)) refuseNumber(v, mRow + k, mCol);
            set(k, FieldType::Double, std::bit_cast<uint64_t>(v));
        }
        void putText(size_t k, std::string_view utf8, FieldType t) { set(k, t, mRs.storeText(utf8)); }
        void putUtf16(size_t k, const char16_t* s, size_t units, FieldType t) { set(k, t, mRs.storeUtf16(s, units)); }

    private:
        friend class RecordsetBuilder;
        Run(Recordset& rs, size_t col, size_t i, size_t most);
        void set(size_t k, FieldType t, uint64_t slot) {
            mSlot[k] = slot;
            mTag[k] = t;
        }
        Recordset& mRs;
        size_t mCol, mRow;
        uint64_t* mSlot;
        FieldType* mTag;
    };
    Run run(size_t col, size_t i, size_t most) { return Run(*mRs, col, i, most); }
    void endRows();

    // The finished recordset, standing on its first record.
    RecordsetPtr finish();

private:
    void put(FieldType t, uint64_t slot) {
        if (mCol == 0 && mNewChunks && !addChunks()) return;
        Recordset::Chunk& c = *mChunk[mCol];
        c.slot[mK] = slot;
        c.tag[mK] = t;
        if (++mCol == mChunk.size()) {
            mCol = 0;
            ++mRs->mRows;
            if (++mK == Recordset::kChunkRows) mK = 0, mNewChunks = true;
        }
    }
    [[noreturn]] static void refuseNumber(double v, size_t row, size_t col);
    // Chunks in every column for rows up to `rows`.
    void ensureChunks(size_t rows);
    // The chunks for the row being put; false when there are no columns.
    bool addChunks();
    RecordsetPtr mRs;
    std::vector<Recordset::Chunk*> mChunk;  // each column's chunk being filled
    size_t mCol = 0;
    size_t mK = 0;  // the row's place in the chunks
    bool mNewChunks = true;
    size_t mBlockRows = 0;
};

inline RecordsetBuilder::Run::Run(Recordset& rs, size_t col, size_t i, size_t most)
    : mRs(rs), mCol(col), mRow(rs.mRows + i) {
    const size_t k = mRow & (Recordset::kChunkRows - 1);
    Recordset::Chunk& c = *mRs.mColumns[col].chunks[mRow >> Recordset::kChunkBits];
    mSlot = c.slot + k;
    mTag = c.tag + k;
    n = std::min(most, Recordset::kChunkRows - k);
}

}  // namespace faq::data
