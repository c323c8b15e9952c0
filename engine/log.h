// The engine's text log: every module writes its start-up, shutdown and error
// lines here, each prefixed with its ten-character tag ("Engine  : ").
//
// Line format: "[" + milliseconds since the previous line, left-padded with '-'
// to seven characters + "] " + message + CR LF; with time stamps off only the
// message and CR LF. Lines go to the file and, when set, to a host procedure.
// Each line is one unbuffered write. A file that cannot be created leaves the
// log writing to the procedure alone, or nowhere; nothing else fails.
#pragma once

#include <cstdint>
#include <string>

namespace qx {

using TLogProc = void (*)(const char* line);

class TLog {
public:
    TLog() = default;
    ~TLog(); // writes the close line, then closes the file
    TLog(const TLog&) = delete;
    TLog& operator=(const TLog&) = delete;

    // Creates (or empties) the file and writes the start line. A null proc keeps
    // the previous one. True when the file could be created.
    bool Open(const std::string& fileName, TLogProc proc = nullptr);
    // Writes one line (the caller includes its module tag).
    void Print(const std::string& message);
    // Modal message box; type takes the MB_* flags below. Returns the button chosen.
    int32_t MsgBox(const std::string& caption, const std::string& text, int32_t type);
    void TimeStamp(bool on);   // prefix lines with the gap since the previous one
    void ResetTime();          // the next gap is measured from now
    void Flush(bool on);       // sync the file to disk after every line
    void Close();              // closes the file; the procedure stays set

    bool IsOpen() const;

    static constexpr int32_t MB_OK = 0x00;
    static constexpr int32_t MB_ICONERROR = 0x10;
    static constexpr int32_t MB_ICONWARNING = 0x30;
    static constexpr int32_t MB_ICONINFORMATION = 0x40;
    static constexpr int32_t IDOK = 1;

private:
    int file_ = -1;
    bool timeStampOn_ = true;
    bool flushOn_ = false;
    int32_t lastTime_ = 0;
    TLogProc proc_ = nullptr;
};

// Builds one line as the log writes it; gapMs is ignored without time stamps.
std::string FormatLogLine(const std::string& message, bool timeStamp, int32_t gapMs);

} // namespace qx
