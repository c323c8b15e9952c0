// The engine log: one unbuffered write per line.
#include "engine/log.h"

#include "engine/msgbox_internal.h"
#include "engine/sys_main.h"

namespace qx {

namespace {
const char* const kStartLine = "\"Quorvex 0.80\" log start";
const char* const kCloseLine = "\"Quorvex 0.80\" log close";
} // namespace

std::string FormatLogLine(const std::string& message, bool timeStamp, int32_t gapMs) {
    if (!timeStamp) return message + "\r\n";
    std::string gap = IntToStr(gapMs);
    if (gap.size() < 7) gap.insert(0, 7 - gap.size(), '-');
    return "[" + gap + "] " + message + "\r\n";
}

TLog::~TLog() {
    Print(kCloseLine);
    Close();
}

bool TLog::Open(const std::string& fileName, TLogProc proc) {
    Close();
    if (proc) proc_ = proc;
    file_ = TFile(FileOpen(fileName, true));
    lastTime_ = TimeMs();
    Print(kStartLine);
    return file_.Valid();
}

void TLog::Print(const std::string& message) {
    if (!file_.Valid() && !proc_) return;
    int32_t gap = 0;
    if (timeStampOn_) {
        const int32_t now = TimeMs();
        gap = static_cast<int32_t>(static_cast<uint32_t>(now) - static_cast<uint32_t>(lastTime_));
        lastTime_ = now;
    }
    const std::string line = FormatLogLine(message, timeStampOn_, gap);
    if (file_.Valid()) {
        FileWrite(file_.Handle(), line.data(), line.size());
        if (flushOn_) FileFlush(file_.Handle());
    }
    if (proc_) proc_(line.c_str());
}

int32_t TLog::MsgBox(const std::string& caption, const std::string& text, int32_t type) {
    return ShowMsgBox(caption, text, type);
}

void TLog::TimeStamp(bool on) { timeStampOn_ = on; }
void TLog::ResetTime() { lastTime_ = TimeMs(); }
void TLog::Flush(bool on) { flushOn_ = on; }
void TLog::Close() { file_.Close(); }
bool TLog::IsOpen() const { return file_.Valid(); }

} // namespace qx
