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
#include <functional>
#include <string>
#include <vector>

#include "engine/files.h"

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
    // Modal message box without an owner window; type takes the MB_* flags
    // below (buttons | icon | default button). Returns the ID* of the button
    // chosen (Esc or closing the box gives the Cancel button's, or IDOK for
    // MB_OK), 0 when no box could be shown.
    int32_t MsgBox(const std::string& caption, const std::string& text, int32_t type);
    void TimeStamp(bool on);   // prefix lines with the gap since the previous one
    void ResetTime();          // the next gap is measured from now
    void Flush(bool on);       // sync the file to disk after every line
    void Close();              // closes the file; the procedure stays set
    // Keeps a place in the log for lines that are not known yet (a device
    // still being probed on another thread): lines printed meanwhile wait
    // behind it, in order, until Fill writes the place's own lines and then
    // them. Before a line waits, poll (when set) is called, which may Fill at
    // once if the lines are ready. One place at a time: false when one is
    // already kept (the caller then prints its lines as usual). Main thread
    // only, as every call here.
    bool Reserve(std::function<void()> poll = {});
    void Fill(const std::vector<std::string>& messages);

    bool IsOpen() const;

    // Button sets (low four bits of the type)
    static constexpr int32_t MB_OK = 0x00;
    static constexpr int32_t MB_OKCANCEL = 0x01;
    static constexpr int32_t MB_ABORTRETRYIGNORE = 0x02;
    static constexpr int32_t MB_YESNOCANCEL = 0x03;
    static constexpr int32_t MB_YESNO = 0x04;
    static constexpr int32_t MB_RETRYCANCEL = 0x05;
    static constexpr int32_t MB_CANCELTRYCONTINUE = 0x06;
    // Icons
    static constexpr int32_t MB_ICONERROR = 0x10;
    static constexpr int32_t MB_ICONQUESTION = 0x20;
    static constexpr int32_t MB_ICONWARNING = 0x30;
    static constexpr int32_t MB_ICONINFORMATION = 0x40;
    // The button Enter chooses (the first one without a flag)
    static constexpr int32_t MB_DEFBUTTON2 = 0x100;
    static constexpr int32_t MB_DEFBUTTON3 = 0x200;
    // Results: the button chosen; 0 when no box could be shown
    static constexpr int32_t IDOK = 1;
    static constexpr int32_t IDCANCEL = 2;
    static constexpr int32_t IDABORT = 3;
    static constexpr int32_t IDRETRY = 4;
    static constexpr int32_t IDIGNORE = 5;
    static constexpr int32_t IDYES = 6;
    static constexpr int32_t IDNO = 7;
    static constexpr int32_t IDTRYAGAIN = 10;
    static constexpr int32_t IDCONTINUE = 11;

private:
    struct THeldLine {
        std::string message;
        int32_t time;
    };
    void Write(const std::string& message, int32_t time);

    TFile file_;
    bool reserved_ = false;
    std::function<void()> poll_;
    std::vector<THeldLine> held_;
    bool timeStampOn_ = true;
    bool flushOn_ = false;
    int32_t lastTime_ = 0;
    TLogProc proc_ = nullptr;
};

// Builds one line as the log writes it; gapMs is ignored without time stamps.
std::string FormatLogLine(const std::string& message, bool timeStamp, int32_t gapMs);

} // namespace qx
