// The log's line format, its behaviour around opening and closing, and its
// message box, answered on the X server as a person would.
#include <gtest/gtest.h>

#include <X11/Xlib.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <vector>

#include "engine/engine.h"
#include "engine/msgbox_internal.h"
#include "tests/support/display.h"
#include "tests/test_support.h"

namespace {

std::string procLines;
void CollectLine(const char* line) { procLines += line; }

TEST(LogFormat, PadsTheGapWithDashesToSevenCharacters) {
    EXPECT_EQ(qx::FormatLogLine("Engine  : x", true, 15), "[-----15] Engine  : x\r\n");
    EXPECT_EQ(qx::FormatLogLine("m", true, 0), "[------0] m\r\n");
    EXPECT_EQ(qx::FormatLogLine("m", true, 1234567), "[1234567] m\r\n");   // seven digits: no dashes
    EXPECT_EQ(qx::FormatLogLine("m", true, 12345678), "[12345678] m\r\n"); // eight digits: not cut
    EXPECT_EQ(qx::FormatLogLine("m", false, 99), "m\r\n");
}

TEST(Log, WritesStartLineFirstAndCloseLineLast) {
    const std::string path = MakeTempDir() + "/log.txt";
    {
        qx::TLog log;
        log.TimeStamp(false);
        ASSERT_TRUE(log.Open(path));
        log.Print("Engine  : hello");
    }
    EXPECT_EQ(ReadFile(path), "\"Quorvex 0.80\" log start\r\nEngine  : hello\r\n\"Quorvex 0.80\" log close\r\n");
}

// A reserved place: lines printed meanwhile come after the place's own lines,
// a poll that finds them ready fills it at once, a second place is refused,
// and closing with the place still open loses nothing.
TEST(Log, AReservedPlaceKeepsItsLinesAheadOfLaterOnes) {
    const std::string path = MakeTempDir() + "/log.txt";
    {
        qx::TLog log;
        log.TimeStamp(false);
        ASSERT_TRUE(log.Open(path));
        log.Print("A");
        ASSERT_TRUE(log.Reserve());
        EXPECT_FALSE(log.Reserve());
        log.Print("C");
        log.Print("D");
        EXPECT_EQ(ReadFile(path), "\"Quorvex 0.80\" log start\r\nA\r\n");
        log.Fill({"B1", "B2"});
        log.Print("E");

        bool ready = false;
        ASSERT_TRUE(log.Reserve([&] {
            if (ready) log.Fill({"F"});
        }));
        log.Print("G"); // not ready: held
        ready = true;
        log.Print("H"); // the poll fills the place first
        log.Print("I");

        ASSERT_TRUE(log.Reserve());
        log.Print("J"); // never filled: written when the log closes
    }
    EXPECT_EQ(ReadFile(path), "\"Quorvex 0.80\" log start\r\nA\r\nB1\r\nB2\r\nC\r\nD\r\nE\r\nF\r\nG\r\nH\r\nI\r\n"
                              "J\r\n\"Quorvex 0.80\" log close\r\n");
}

TEST(Log, PrintBeforeOpenWritesNothingAndDoesNotFail) {
    qx::TLog log;
    log.Print("nobody hears this");
    EXPECT_FALSE(log.IsOpen());
}

TEST(Log, SecondOpenStartsANewFileAndKeepsTheProcedure) {
    const std::string dir = MakeTempDir();
    procLines.clear();
    qx::TLog log;
    log.TimeStamp(false);
    ASSERT_TRUE(log.Open(dir + "/first.txt", CollectLine));
    log.Print("one");
    ASSERT_TRUE(log.Open(dir + "/second.txt")); // no procedure: the old one stays
    log.Print("two");
    log.Close();
    EXPECT_EQ(ReadFile(dir + "/first.txt"), "\"Quorvex 0.80\" log start\r\none\r\n");
    EXPECT_EQ(ReadFile(dir + "/second.txt"), "\"Quorvex 0.80\" log start\r\ntwo\r\n");
    EXPECT_EQ(procLines, "\"Quorvex 0.80\" log start\r\none\r\n\"Quorvex 0.80\" log start\r\ntwo\r\n");
}

TEST(Log, AFileThatCannotBeCreatedLeavesOnlyTheProcedure) {
    const std::string dir = MakeTempDir();
    procLines.clear();
    qx::TLog log;
    EXPECT_FALSE(log.Open(dir + "/missing-folder/log.txt", CollectLine));
    log.TimeStamp(false);
    log.Print("still logged");
    EXPECT_NE(procLines.find("still logged\r\n"), std::string::npos);
}

TEST(Log, ASecondWriterOfTheSameFileIsRefused) {
    // Like a second running copy of the game: the first keeps its log intact.
    const std::string path = MakeTempDir() + "/log.txt";
    qx::TLog first;
    first.TimeStamp(false);
    ASSERT_TRUE(first.Open(path));
    first.Print("first copy");
    qx::TLog second;
    EXPECT_FALSE(second.Open(path));
    EXPECT_NE(ReadFile(path).find("first copy"), std::string::npos);
    EXPECT_FALSE(qx::FileExists(path)); // held for writing: not readable by others
}

using TLog = qx::TLog;

std::vector<int32_t> ButtonIds(const qx::TMsgBoxLayout& layout) {
    std::vector<int32_t> ids;
    for (int32_t i = 0; i < layout.count; ++i) ids.push_back(layout.buttons[i].id);
    return ids;
}

TEST(MsgBoxLayout, EachButtonSetWithItsDefaultAndItsWayOut) {
    using Ids = std::vector<int32_t>;
    const auto ok = qx::MsgBoxLayout(TLog::MB_OK | TLog::MB_ICONERROR);
    EXPECT_EQ(ButtonIds(ok), Ids{TLog::IDOK});
    EXPECT_EQ(ok.escapeId, TLog::IDOK);
    const auto okCancel = qx::MsgBoxLayout(TLog::MB_OKCANCEL);
    EXPECT_EQ(ButtonIds(okCancel), (Ids{TLog::IDOK, TLog::IDCANCEL}));
    EXPECT_EQ(okCancel.escapeId, TLog::IDCANCEL);
    const auto abortRetry = qx::MsgBoxLayout(TLog::MB_ABORTRETRYIGNORE | TLog::MB_DEFBUTTON3);
    EXPECT_EQ(ButtonIds(abortRetry), (Ids{TLog::IDABORT, TLog::IDRETRY, TLog::IDIGNORE}));
    EXPECT_EQ(abortRetry.defaultIndex, 2);
    EXPECT_EQ(abortRetry.escapeId, 0); // no Cancel: Esc does not answer
    EXPECT_EQ(ButtonIds(qx::MsgBoxLayout(TLog::MB_YESNOCANCEL)), (Ids{TLog::IDYES, TLog::IDNO, TLog::IDCANCEL}));
    const auto yesNo = qx::MsgBoxLayout(TLog::MB_YESNO | TLog::MB_ICONQUESTION | TLog::MB_DEFBUTTON2);
    EXPECT_EQ(ButtonIds(yesNo), (Ids{TLog::IDYES, TLog::IDNO}));
    EXPECT_EQ(yesNo.defaultIndex, 1);
    EXPECT_EQ(yesNo.escapeId, 0);
    EXPECT_EQ(ButtonIds(qx::MsgBoxLayout(TLog::MB_RETRYCANCEL)), (Ids{TLog::IDRETRY, TLog::IDCANCEL}));
    EXPECT_EQ(ButtonIds(qx::MsgBoxLayout(TLog::MB_CANCELTRYCONTINUE)),
              (Ids{TLog::IDCANCEL, TLog::IDTRYAGAIN, TLog::IDCONTINUE}));
    EXPECT_EQ(qx::MsgBoxLayout(TLog::MB_OK | TLog::MB_DEFBUTTON2).defaultIndex, 0); // no second button
    EXPECT_EQ(qx::MsgBoxLayout(7).count, 0);
}

TEST(MsgBox, AnUnknownButtonSetShowsNothingAndGivesZero) {
    EXPECT_EQ(qx::log->MsgBox("Nivora test", "never shown", 0x0F), 0);
    EXPECT_NE(TestLogText().find("Window  : Can't show message box: unknown buttons 15\r\n"), std::string::npos);
}

// The title a window shows, "" when it has none.
std::string Title(Display* display, Window window) {
    const Atom name = XInternAtom(display, "_NET_WM_NAME", False);
    Atom type = None;
    int format = 0;
    unsigned long count = 0, remaining = 0;
    unsigned char* data = nullptr;
    std::string title;
    if (XGetWindowProperty(display, window, name, 0, 256, False, AnyPropertyType, &type, &format, &count,
                           &remaining, &data) == Success && data) {
        title.assign(reinterpret_cast<char*>(data), count);
        XFree(data);
    }
    return title;
}

// Answers the message box with the given caption as a person would, from a
// process of its own (the box itself forks, which a second thread here could
// deadlock): waits for the box to be mapped, then sends it one key through
// xdotool. The answerer is stopped when it outlives the box.
class TBoxAnswerer {
public:
    TBoxAnswerer(const std::string& caption, const std::string& key) {
        int ready[2];
        if (pipe(ready) != 0) return;
        pid_ = fork();
        if (pid_ == 0) {
            close(ready[0]);
            Answer(ready[1], caption, key);
        }
        close(ready[1]);
        char byte = 0;
        // Listening before the box exists, so its mapping cannot be missed.
        listening_ = pid_ > 0 && read(ready[0], &byte, 1) == 1;
        close(ready[0]);
    }
    ~TBoxAnswerer() {
        if (pid_ <= 0) return;
        kill(pid_, SIGTERM);
        int status = 0;
        waitpid(pid_, &status, 0);
    }
    bool Listening() const { return listening_; }

private:
    [[noreturn]] static void Answer(int ready, const std::string& caption, const std::string& key) {
        Display* display = XOpenDisplay(nullptr);
        if (!display) _exit(1);
        XSelectInput(display, DefaultRootWindow(display), SubstructureNotifyMask);
        XSync(display, False);
        if (write(ready, "r", 1) != 1) _exit(1);
        for (;;) {
            XEvent event;
            XNextEvent(display, &event);
            if (event.type != MapNotify || Title(display, event.xmap.window) != caption) continue;
            const std::string window = std::to_string(event.xmap.window);
            execlp("xdotool", "xdotool", "key", "--window", window.c_str(), key.c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
    }

    pid_t pid_ = -1;
    bool listening_ = false;
};

// Shows a box, answers it with one key and gives what MsgBox returned.
int32_t AnswerMsgBox(int32_t type, const std::string& key) {
    const std::string caption = "Nivora box " + std::to_string(::getpid()) + " " + key + " " + std::to_string(type);
    TBoxAnswerer answerer(caption, key);
    if (!answerer.Listening()) return -1;
    return qx::log->MsgBox(caption, "Pick one", type);
}

TEST(MsgBox, ReturnsTheButtonChosenOnTheScreen) {
    ASSERT_NE(std::getenv("DISPLAY"), nullptr) << "needs an X server";
    EXPECT_EQ(AnswerMsgBox(TLog::MB_OK | TLog::MB_ICONINFORMATION, "Return"), TLog::IDOK);
    EXPECT_EQ(AnswerMsgBox(TLog::MB_YESNO | TLog::MB_ICONQUESTION, "Return"), TLog::IDYES);
    EXPECT_EQ(AnswerMsgBox(TLog::MB_YESNO | TLog::MB_DEFBUTTON2, "Return"), TLog::IDNO);
    EXPECT_EQ(AnswerMsgBox(TLog::MB_ABORTRETRYIGNORE | TLog::MB_DEFBUTTON3 | TLog::MB_ICONWARNING, "Return"),
              TLog::IDIGNORE);
    EXPECT_EQ(AnswerMsgBox(TLog::MB_OKCANCEL | TLog::MB_ICONERROR, "Escape"), TLog::IDCANCEL);
}

} // namespace
