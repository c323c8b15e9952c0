// Bounded reads and atomic saves of the player's files.
#include "menus/stored_file.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>

#include "engine/engine.h"

TStoredRead ReadStoredFile(const std::string& path, std::span<uint8_t> bytes, size_t& count, std::string& reason) {
    count = 0;
    errno = 0;
    qx::TFileStream stream(path);
    if (!stream.Valid()) {
        const int openError = errno;
        struct stat info {};
        if (::stat(path.c_str(), &info) != 0) {
            if (errno == ENOENT || errno == ENOTDIR) return TStoredRead::Missing;
            reason = std::strerror(errno);
        } else if (S_ISDIR(info.st_mode)) {
            reason = "it is a folder";
        } else if (openError == EWOULDBLOCK) {
            reason = "another program is writing it";
        } else {
            reason = openError ? std::strerror(openError) : "it cannot be opened";
        }
        return TStoredRead::Failed;
    }
    count = stream.Read(bytes.data(), bytes.size());
    return TStoredRead::Read;
}

bool SaveStoredFile(const char* tag, const std::string& path, std::span<const uint8_t> bytes) {
    std::string reason;
    if (qx::SaveFileAtomic(path, bytes.data(), bytes.size(), &reason)) return true;
    LogStored(tag, "Cannot save " + path + ": " + reason + "; the previous file is kept");
    return false;
}

void LogStored(const char* tag, const std::string& message) {
    if (qx::log) qx::log->Print(tag + message);
}

void PutInt32(uint8_t* out, int32_t value) {
    const auto bits = static_cast<uint32_t>(value);
    for (int i = 0; i < 4; ++i) out[i] = static_cast<uint8_t>(bits >> (8 * i));
}

int32_t GetInt32(const uint8_t* in) {
    uint32_t bits = 0;
    for (int i = 0; i < 4; ++i) bits |= uint32_t{in[i]} << (8 * i);
    return static_cast<int32_t>(bits);
}
