// The engine log: one unbuffered write per line.
#include "engine/log.h"

#include <algorithm>
#include <utility>

#include "engine/files.h"
#include "engine/msgbox_internal.h"

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
    if (reserved_) Fill({});
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
    if (reserved_ && poll_) {
        const auto poll = poll_; // Fill clears poll_ while it runs
        poll();
    }
    if (reserved_) {
        held_.push_back({message, TimeMs()});
        return;
    }
    Write(message, TimeMs());
}

bool TLog::Reserve(std::function<void()> poll) {
    if (reserved_) return false;
    reserved_ = true;
    poll_ = std::move(poll);
    return true;
}

void TLog::Fill(const std::vector<std::string>& messages) {
    if (!reserved_) return;
    reserved_ = false;
    poll_ = nullptr;
    const int32_t now = TimeMs();
    for (const auto& message : messages) Write(message, now);
    for (const auto& line : held_) Write(line.message, line.time);
    held_.clear();
    held_.shrink_to_fit();
}

void TLog::Write(const std::string& message, int32_t time) {
    if (!file_.Valid() && !proc_) return;
    int32_t gap = 0;
    if (timeStampOn_) {
        // A line kept behind a reserved place may be older than the place's
        // own lines: its gap is 0 rather than negative.
        gap = std::max(static_cast<int32_t>(static_cast<uint32_t>(time) - static_cast<uint32_t>(lastTime_)), 0);
        lastTime_ = std::max(time, lastTime_);
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
void TLog::Close() {
    // Lines kept behind a place never filled still belong in this file.
    if (reserved_) Fill({});
    file_.Close();
}
bool TLog::IsOpen() const { return file_.Valid(); }

} // namespace qx
