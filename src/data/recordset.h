// A fully fetched, read-only result: fields in statement order, typed values, and one
// current record that moves both ways. Shared by reference count (RecordsetPtr).
//
// Storage is columnar and chunked: per cell one type byte and one 8-byte slot (integer,
// double bits, or the offset of a length-prefixed UTF-8 text in a pooled block), so a
// million rows cost a few allocations and no per-cell objects. Chunks and texts share
// blocks that grow to 2 MiB, which the kernel may back with huge pages: filling a million
// rows then faults in tens of pages instead of twenty thousand.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

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
        void operator()(char* p) const;
    };
    struct Block {
        std::unique_ptr<char, FreeBlock> data;
        size_t size = 0;
        size_t capacity = 0;
    };

    // Room for bytes at the end of the last block (a new, larger one when it has none);
    // slot, when given, receives the block index and offset.
    char* allocate(size_t bytes, uint64_t* slot = nullptr);
    // Reserves room for a text of up to maxBytes; returns where its length prefix goes.
    char* reserveText(size_t maxBytes, uint64_t* slot);
    uint64_t storeText(std::string_view s);
    uint64_t storeUtf16(const char16_t* s, size_t units);
    std::string_view loadText(uint64_t slot) const;
    void notify();

    std::vector<Field> mFields;
    std::vector<Column> mColumns;
    std::vector<Block> mBlocks;
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
// after the last field.
class RecordsetBuilder {
public:
    explicit RecordsetBuilder(std::vector<Field> fields);
    void putNull();
    void putInt(int64_t v);
    void putDouble(double v);
    void putText(std::string_view utf8, FieldType t = FieldType::Text);
    void putUtf16(const char16_t* s, size_t units, FieldType t = FieldType::Text);
    // The finished recordset, standing on its first record.
    RecordsetPtr finish();

private:
    void put(FieldType t, uint64_t slot);
    RecordsetPtr mRs;
    size_t mCol = 0;
};

}  // namespace faq::data
