// Reading and replacing the small files the player keeps (records, replays,
// settings), shared by their modules so all treat a bad file the same way, and
// the little-endian numbers the records and replays files hold.
//
// Reads are bounded by the caller's buffer, never by what the file claims, and
// tell a missing file (normal at a first start) from one that exists but cannot
// be read. Saves go through SaveFileAtomic and log one tagged line on failure.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

enum class TStoredRead { Missing, Read, Failed };

// Reads up to bytes.size() bytes from the start of path; `count` is how many
// arrived (the rest of `bytes` is untouched). On Failed, `reason` says why.
TStoredRead ReadStoredFile(const std::string& path, std::span<uint8_t> bytes, size_t& count, std::string& reason);
// Replaces path with bytes; on failure logs tag + the reason and gives false.
bool SaveStoredFile(const char* tag, const std::string& path, std::span<const uint8_t> bytes);
// Writes tag + message to the engine log when there is one (tests may run without).
void LogStored(const char* tag, const std::string& message);

// The files travel between machines, so their numbers are little-endian whatever the host.
void PutInt32(uint8_t* out, int32_t value); // writes out[0..3]
int32_t GetInt32(const uint8_t* in);        // reads in[0..3]
