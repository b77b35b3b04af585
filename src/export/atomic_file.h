// The one way the program writes a file: into an exclusive temporary file beside the
// target, flushed to disk, then renamed over the target. Nothing is ever written through
// an existing name, so the target is either the old file or the complete new one.
#pragma once

#include <ostream>
#include <stdexcept>
#include <streambuf>
#include <string>
#include <string_view>
#include <vector>

namespace faq::output {

// A file that could not be written; the message is Chinese and names the file.
class OutputError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The target exists and may not be replaced (it may have appeared while writing).
class TargetExists : public OutputError {
public:
    explicit TargetExists(const std::string& target) : OutputError("文件已存在，不会覆盖：" + target) {}
};

// Writing stopped because the user cancelled it; nothing was written.
class OutputCancelled : public OutputError {
public:
    OutputCancelled() : OutputError("输出已取消") {}
};

struct TargetRules {
    // false: an existing target is refused, and the rename never replaces one.
    bool mayReplace = true;
    // Files that are never replaced, whatever name reaches them (device and inode).
    std::vector<std::string> keepIntact;
};

class AtomicFile {
public:
    // Follows symbolic links to the file they name (the links stay), refuses what must
    // not be replaced and creates the temporary file. Throws OutputError.
    explicit AtomicFile(const std::string& target, const TargetRules& rules = {});
    // Removes the temporary file unless committed.
    ~AtomicFile();
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    // The file that receives the content: the target with its links followed.
    const std::string& target() const { return mTarget; }
    const std::string& tempPath() const { return mTemp; }
    // A name under which a library can open the temporary file itself, not whatever
    // stands under its name in the folder by then, with the narrow C API (see narrowPath).
    std::string openablePath() const;

    void write(std::string_view bytes);
    // Flushes to disk and renames over the target. Throws OutputError.
    void commit();

private:
    void discard() noexcept;

    std::string mTarget;
    std::string mTemp;
    int mFd = -1;
    bool mReplacing = false;
    unsigned mKeepMode = 0;  // permission bits of the file replaced
    bool mMayReplace = true;
    bool mCommitted = false;
};

// An output stream into an AtomicFile, written in pieces of 64 KiB, so that a long text
// never stands whole in memory first. A failed write throws its OutputError out of the
// stream operation (flush() passes the last piece on; the caller still commits the file).
class AtomicFileStream : public std::ostream {
public:
    explicit AtomicFileStream(AtomicFile& file);

private:
    class Buffer : public std::streambuf {
    public:
        explicit Buffer(AtomicFile& file);

    protected:
        int_type overflow(int_type c) override;
        int sync() override;

    private:
        AtomicFile& mFile;
        char mBytes[64 << 10];
    };
    Buffer mBuffer;
};

// Removes every temporary file this process still has open, just before the process
// ends: no file is created or committed after it. For the thread that handles interrupts
// and the immediate end of the program (it takes a lock: never from a signal handler).
void removePendingTempsBeforeExit() noexcept;

}  // namespace faq::output
