// Streams, file handles, text helpers and the millisecond timer.
#include "engine/files.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <limits>

namespace qx {

// ---- Owned file handles ---------------------------------------------------

TFile& TFile::operator=(TFile&& other) noexcept {
    if (this != &other) {
        Close();
        handle_ = other.Release();
    }
    return *this;
}

int TFile::Release() {
    const int handle = handle_;
    handle_ = -1;
    return handle;
}

bool TFile::Close() {
    if (handle_ < 0) return false;
    // Linux frees the handle even when close reports an error: never retried.
    const bool closed = ::close(handle_) == 0;
    handle_ = -1;
    return closed;
}

// ---- Streams --------------------------------------------------------------

TFileStream::TFileStream(const std::string& fileName) : file_(FileOpen(fileName, false)) {}

TFileStream::~TFileStream() = default;

// The system refuses a negative offset itself; checked here so both streams
// say the same in one place each.
void TFileStream::Seek(int64_t position) {
    if (position >= 0) FileSeek(file_.Handle(), position);
}
bool TFileStream::Valid() const { return file_.Valid(); }
size_t TFileStream::Read(void* buffer, size_t count) { return FileRead(file_.Handle(), buffer, count); }
int64_t TFileStream::Size() const { return FileSize(file_.Handle()); }
int64_t TFileStream::Position() const { return FilePos(file_.Handle()); }

TMemoryStream::TMemoryStream(const void* memory, size_t size)
    : memory_(static_cast<const uint8_t*>(memory)), size_(memory ? size : 0) {}

void TMemoryStream::Seek(int64_t position) {
    if (position >= 0) position_ = position;
}
bool TMemoryStream::Valid() const { return memory_ != nullptr; }

size_t TMemoryStream::Read(void* buffer, size_t count) {
    // A position at or past the end leaves nothing to read.
    if (!memory_ || !buffer || position_ >= static_cast<int64_t>(size_)) return 0;
    const size_t n = std::min(count, size_ - static_cast<size_t>(position_));
    std::memcpy(buffer, memory_ + position_, n);
    position_ += static_cast<int64_t>(n);
    return n;
}

int64_t TMemoryStream::Size() const { return static_cast<int64_t>(size_); }
int64_t TMemoryStream::Position() const { return position_; }

// ---- File handles ---------------------------------------------------------

int FileOpen(const std::string& name, bool write) {
    if (name.empty()) return kInvalidFile;
    const int flags = write ? (O_RDWR | O_CREAT) : O_RDONLY;
    TFile file(::open(name.c_str(), flags | O_CLOEXEC, 0644));
    if (!file.Valid()) return kInvalidFile;
    struct stat info {};
    if (::fstat(file.Handle(), &info) != 0 || S_ISDIR(info.st_mode)) return kInvalidFile;
    // Writers lock exclusively and readers share, so a file being written by
    // another process is neither readable nor writable here.
    if (::flock(file.Handle(), (write ? LOCK_EX : LOCK_SH) | LOCK_NB) != 0) return kInvalidFile;
    // Truncate only once the lock is ours: another writer's file stays intact.
    if (write && ::ftruncate(file.Handle(), 0) != 0) return kInvalidFile;
    return file.Release();
}

bool FileValid(int handle) { return handle >= 0; }

void FileClose(int& handle) {
    TFile(handle).Close();
    handle = kInvalidFile;
}

void FileFlush(int handle) {
    if (FileValid(handle)) ::fsync(handle);
}

size_t FileWrite(int handle, const void* buffer, size_t count) {
    if (!FileValid(handle) || !buffer) return 0;
    size_t done = 0;
    const auto* bytes = static_cast<const uint8_t*>(buffer);
    while (done < count) {
        const ssize_t n = ::write(handle, bytes + done, count - done);
        if (n <= 0) break;
        done += static_cast<size_t>(n);
    }
    return done;
}

size_t FileRead(int handle, void* buffer, size_t count) {
    if (!FileValid(handle) || !buffer) return 0;
    size_t done = 0;
    auto* bytes = static_cast<uint8_t*>(buffer);
    while (done < count) {
        const ssize_t n = ::read(handle, bytes + done, count - done);
        if (n <= 0) break;
        done += static_cast<size_t>(n);
    }
    return done;
}

void FileSeek(int handle, int64_t position) {
    if (FileValid(handle)) ::lseek(handle, static_cast<off_t>(position), SEEK_SET);
}

int64_t FileSize(int handle) {
    struct stat info {};
    if (!FileValid(handle) || ::fstat(handle, &info) != 0) return 0;
    return static_cast<int64_t>(info.st_size);
}

int64_t FilePos(int handle) {
    if (!FileValid(handle)) return 0;
    const off_t pos = ::lseek(handle, 0, SEEK_CUR);
    return pos < 0 ? 0 : static_cast<int64_t>(pos);
}

bool FileExists(const std::string& name) { return TFile(FileOpen(name, false)).Valid(); }

namespace {

// Sets the caller's reason (when asked for) and gives false, so each failure is one line.
bool SaveFailed(std::string* error, const std::string& what, int code) {
    if (error) *error = what + ": " + std::strerror(code);
    return false;
}

} // namespace

bool SaveFileAtomic(const std::string& name, const void* data, size_t size, std::string* error) {
    if (error) error->clear();
    const size_t slash = name.find_last_of('/');
    const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : name.substr(0, slash);
    const std::string base = slash == std::string::npos ? name : name.substr(slash + 1);
    if (base.empty()) return SaveFailed(error, "no file name in \"" + name + "\"", EINVAL);
    if (size > 0 && !data) return SaveFailed(error, "no data for " + name, EINVAL);

    // The temporary lives beside the target: rename is atomic only within one filesystem.
    std::string temp = (slash == std::string::npos ? std::string() : name.substr(0, slash + 1)) + "." + base +
                       ".tmpXXXXXX";
    TFile file(::mkostemp(temp.data(), O_CLOEXEC));
    if (!file.Valid()) return SaveFailed(error, "cannot create a temporary file in " + folder, errno);
    const int fd = file.Handle();

    auto discard = [&](const std::string& what, int code) {
        file.Close();
        ::unlink(temp.c_str());
        return SaveFailed(error, what, code);
    };

    // mkostemp makes the file private; the replacement keeps the old file's permissions.
    struct stat old {};
    const mode_t mode = ::stat(name.c_str(), &old) == 0 && S_ISREG(old.st_mode) ? (old.st_mode & 07777) : 0644;
    if (::fchmod(fd, mode) != 0) return discard("cannot set the permissions of " + temp, errno);

    const auto* bytes = static_cast<const uint8_t*>(data);
    size_t done = 0;
    while (done < size) {
        const ssize_t n = ::write(fd, bytes + done, size - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return discard("cannot write " + temp, n < 0 ? errno : EIO);
        done += static_cast<size_t>(n);
    }
    // The data must be on disk before the rename makes it the file: otherwise a
    // power cut could leave the new name pointing at empty blocks.
    if (::fsync(fd) != 0) return discard("cannot flush " + temp + " to disk", errno);
    if (!file.Close()) {
        const int code = errno;
        ::unlink(temp.c_str());
        return SaveFailed(error, "cannot close " + temp, code);
    }
    if (::rename(temp.c_str(), name.c_str()) != 0) {
        const int code = errno;
        ::unlink(temp.c_str());
        return SaveFailed(error, "cannot rename " + temp + " to " + name, code);
    }
    // Makes the rename itself durable. The new file is already whole and in place,
    // so a folder that cannot be synced (some filesystems refuse) is not a failed save.
    const TFile dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.Valid()) ::fsync(dir.Handle());
    return true;
}

// ---- Text -----------------------------------------------------------------

std::string IntToStr(int32_t n) { return std::to_string(n); }

int32_t StrToInt(const std::string& text) {
    size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    int base = 10;
    if (i < text.size() && text[i] == '$') {
        base = 16;
        ++i;
    } else if (i + 1 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
        base = 16;
        i += 2;
    }
    if (i >= text.size()) return 0;
    int64_t value = 0;
    for (; i < text.size(); ++i) {
        const char c = text[i];
        int digit;
        if (c >= '0' && c <= '9') digit = c - '0';
        else if (base == 16 && c >= 'a' && c <= 'f') digit = c - 'a' + 10;
        else if (base == 16 && c >= 'A' && c <= 'F') digit = c - 'A' + 10;
        else return 0;
        value = value * base + digit;
        // Anything beyond 32 bits is malformed, like any other bad text.
        if (value > (base == 16 ? int64_t{0xFFFFFFFF} : int64_t{std::numeric_limits<int32_t>::max()} + 1))
            return 0;
    }
    if (base == 16) value = static_cast<int32_t>(static_cast<uint32_t>(value));
    if (negative) value = -value;
    if (value < std::numeric_limits<int32_t>::min() || value > std::numeric_limits<int32_t>::max()) return 0;
    return static_cast<int32_t>(value);
}

std::string LowerCase(const std::string& text) {
    std::string out = text;
    for (char& c : out) {
        const auto b = static_cast<unsigned char>(c);
        if ((b >= 'A' && b <= 'Z') || (b >= 0xC0 && b <= 0xDF)) c = static_cast<char>(b + 32);
    }
    return out;
}

std::string ExtractFileExt(const std::string& name) {
    const size_t dot = name.find_last_of('.');
    return dot == std::string::npos ? std::string() : name.substr(dot + 1);
}

// ---- Time -----------------------------------------------------------------

int32_t TimeMs() {
    using namespace std::chrono;
    const auto ticks = steady_clock::now().time_since_epoch();
    const double ms = duration<double, std::milli>(ticks).count();
    return static_cast<int32_t>(static_cast<uint32_t>(static_cast<int64_t>(ms + 0.5)));
}

} // namespace qx
