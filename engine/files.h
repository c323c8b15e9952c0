// Files and streams, the base every engine module reads and writes through:
// owned file handles, byte streams over files and memory, thin file-handle
// functions and the atomic save; beside them, as every module needs them too, a
// few text helpers and the millisecond timer.
//
// Words: a "handle" is a POSIX file descriptor; kInvalidFile (-1) means none.
// Streams never throw: a failed read returns 0 and a stream whose source could
// not be opened reports Valid() == false, which callers check before reading.
// Files opened for writing hold an exclusive advisory lock for as long as they
// are open, so a second running copy cannot open (or read) the same file.
// Files the player keeps are replaced whole with SaveFileAtomic instead.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace qx {

// ---- Owned file handles ---------------------------------------------------

// One open file handle, closed when the object goes; it can be moved, never
// copied, so every handle has exactly one owner.
class TFile {
public:
    TFile() = default;
    explicit TFile(int handle) : handle_(handle < 0 ? -1 : handle) {} // takes over handle (-1: none)
    ~TFile() { Close(); }
    TFile(TFile&& other) noexcept : handle_(other.Release()) {}
    TFile& operator=(TFile&& other) noexcept;
    TFile(const TFile&) = delete;
    TFile& operator=(const TFile&) = delete;

    int Handle() const { return handle_; } // -1 when none
    bool Valid() const { return handle_ >= 0; }
    [[nodiscard]] int Release();                         // gives the handle up to the caller
    // Closes the handle; false when there was none or closing reported an
    // error (for a written file: its data may not all have reached the disk).
    bool Close();

private:
    int handle_ = -1;
};

// ---- Streams --------------------------------------------------------------

class TStream {
public:
    virtual ~TStream() = default;
    // Absolute byte position from the start; a negative one is refused and the
    // position stays where it was (files and memory alike).
    virtual void Seek(int64_t position) = 0;
    virtual bool Valid() const = 0;                      // the source is usable
    [[nodiscard]] virtual size_t Read(void* buffer, size_t count) = 0; // bytes actually read, 0 on a fault
    virtual int64_t Size() const = 0;                    // total bytes
    virtual int64_t Position() const = 0;                // current byte position
};

// Reads an existing file; not Valid() when it does not exist or cannot be opened.
class TFileStream final : public TStream {
public:
    explicit TFileStream(const std::string& fileName);
    ~TFileStream() override;
    TFileStream(const TFileStream&) = delete;
    TFileStream& operator=(const TFileStream&) = delete;

    void Seek(int64_t position) override;
    bool Valid() const override;
    size_t Read(void* buffer, size_t count) override;
    int64_t Size() const override;
    int64_t Position() const override;

private:
    TFile file_;
};

// Reads caller-owned memory (not copied). Reads past the end, or from a position
// seeked beyond it, return 0.
class TMemoryStream final : public TStream {
public:
    TMemoryStream(const void* memory, size_t size);

    void Seek(int64_t position) override;
    bool Valid() const override;
    size_t Read(void* buffer, size_t count) override;
    int64_t Size() const override;
    int64_t Position() const override;

private:
    const uint8_t* memory_;
    size_t size_;
    int64_t position_ = 0;
};

// ---- File handles ---------------------------------------------------------

constexpr int kInvalidFile = -1;

[[nodiscard]] int FileOpen(const std::string& name, bool write); // write: create or truncate, exclusive
bool FileValid(int handle);
void FileClose(int& handle);                       // closes a valid handle and sets it invalid
void FileFlush(int handle);                        // flush written data to disk
size_t FileWrite(int handle, const void* buffer, size_t count); // bytes written
[[nodiscard]] size_t FileRead(int handle, void* buffer, size_t count);        // bytes read
void FileSeek(int handle, int64_t position);
int64_t FileSize(int handle);
int64_t FilePos(int handle);
bool FileExists(const std::string& name);          // a read open would succeed now
// Replaces the file `name` with `size` bytes: written to a temporary file in the same folder,
// flushed to disk (fsync), renamed over the old file, folder synced. On any failure the temporary
// is removed, the old file is left whole, false is returned and `error` (when given) says why.
// A process killed mid-save leaves the old or the new file, never a mix; at worst a stray
// temporary named "." + the file's name + ".tmp" + six characters stays in the folder.
[[nodiscard]] bool SaveFileAtomic(const std::string& name, const void* data, size_t size,
                                  std::string* error = nullptr);

// ---- Text -----------------------------------------------------------------

std::string IntToStr(int32_t n);                   // plain decimal, "-" for negatives
int32_t StrToInt(const std::string& text);         // decimal, "$" or "0x" hex; malformed text gives 0
std::string LowerCase(const std::string& text);    // ASCII and 1251 capitals 0xC0..0xDF lowered
std::string ExtractFileExt(const std::string& name); // text after the last '.', "" without one

// ---- Time -----------------------------------------------------------------

int32_t TimeMs(); // high-resolution milliseconds, arbitrary origin

} // namespace qx
