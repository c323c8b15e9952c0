// The engine root and the fixed-step main loop.
#include "engine/eng.h"

#include <malloc.h>
#include <sched.h>
#include <signal.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <csignal>

#include "engine/engine.h"
#include "engine/heap_warmer_internal.h"

namespace qx {

namespace {

// Set by the loop's own Quit and by the signals that ask a program to end
// (SIGINT from a terminal, SIGTERM from a session manager or kill, SIGHUP when
// the session itself ends), so each gets the clean shutdown of a normal quit.
volatile std::sig_atomic_t quitFlag = 0;

extern "C" void OnQuitSignal(int) { quitFlag = 1; }

constexpr std::array kQuitSignals{SIGINT, SIGTERM, SIGHUP};

constexpr int kHeapSlack = 16 << 20; // bytes kept at the heap's top when it shrinks
// Heap touched ahead of the first frame: about what its shader compiles take
// on a software GL driver. None under the address sanitizer, whose allocator
// keeps freed blocks aside rather than handing them out again.
#if defined(__SANITIZE_ADDRESS__)
constexpr size_t kFirstFrameHeap = 0;
#else
constexpr size_t kFirstFrameHeap = 12 << 20;
#endif

// The quit signals' handlers for the time the loop runs; the previous ones are
// put back when it ends. No SA_RESTART: a blocking call the signal interrupts
// returns, and a loop waiting for messages looks at the flag again at once.
class TQuitSignals {
public:
    TQuitSignals() {
        struct sigaction action{};
        action.sa_handler = OnQuitSignal;
        sigemptyset(&action.sa_mask);
        for (size_t i = 0; i < kQuitSignals.size(); ++i) sigaction(kQuitSignals[i], &action, &previous_[i]);
    }
    ~TQuitSignals() {
        for (size_t i = 0; i < kQuitSignals.size(); ++i) sigaction(kQuitSignals[i], &previous_[i], nullptr);
    }
    TQuitSignals(const TQuitSignals&) = delete;
    TQuitSignals& operator=(const TQuitSignals&) = delete;

private:
    std::array<struct sigaction, kQuitSignals.size()> previous_{};
};

int32_t CounterMilliseconds() {
    using namespace std::chrono;
    const auto ticks = steady_clock::now().time_since_epoch().count();
    constexpr double perSecond = static_cast<double>(steady_clock::period::den) / steady_clock::period::num;
    const double ms = static_cast<double>(ticks) * 1000.0 / perSecond;
    return static_cast<int32_t>(static_cast<uint32_t>(static_cast<int64_t>(ms)));
}

// Lets the process run on every processor the system has online, whatever
// mask it was started with (the kernel leaves out processors that are offline
// or outside the process's cpuset).
void UseAllProcessors() {
    const long configured = ::sysconf(_SC_NPROCESSORS_CONF);
    if (configured <= 0) return;
    cpu_set_t processors;
    CPU_ZERO(&processors);
    for (long cpu = 0; cpu < configured && cpu < CPU_SETSIZE; ++cpu) CPU_SET(static_cast<int>(cpu), &processors);
    ::sched_setaffinity(0, sizeof processors, &processors);
}

void EngineLog(const char* message) {
    if (log) log->Print(std::string("Engine  : ") + message);
}

} // namespace

TEng::TEng() {
    quitFlag = 0;
    heapWarmer_ = std::make_unique<THeapWarmer>(kFirstFrameHeap);
    UseAllProcessors();
    vec_ = std::make_unique<TVec>();
    net_ = std::make_unique<TNet>();
    snd_ = std::make_unique<TSnd>();
    inp_ = std::make_unique<TInp>();
    ogl_ = std::make_unique<TOGL>();
    vbo_ = std::make_unique<TVBO>();
    tex_ = std::make_unique<TTex>();
    wnd_ = std::make_unique<TWnd>();
    vfp_ = std::make_unique<TVFP>();
}

TEng::~TEng() { ReleaseModules(); }

void TEng::ReleaseModules() {
    // Each global is cleared as its module goes, so a later module's shutdown
    // never reaches one already destroyed.
    auto release = [](auto& owned, auto*& global) {
        if (global == owned.get()) global = nullptr;
        owned.reset();
    };
    release(snd_, snd);
    release(vec_, vec);
    release(net_, net);
    release(vfp_, vfp);
    release(tex_, tex);
    release(vbo_, vbo);
    release(inp_, inp);
    release(ogl_, ogl);
    release(wnd_, wnd);
}

TLog* TEng::Log() const { return log; }
TWnd* TEng::Wnd() const { return wnd_.get(); }
TOGL* TEng::OGL() const { return ogl_.get(); }
TInp* TEng::Inp() const { return inp_.get(); }
TVBO* TEng::VBO() const { return vbo_.get(); }
TTex* TEng::Tex() const { return tex_.get(); }
TVFP* TEng::VFP() const { return vfp_.get(); }
TSnd* TEng::Snd() const { return snd_.get(); }
TNet* TEng::Net() const { return net_.get(); }
TVec* TEng::Vec() const { return vec_.get(); }

const char* TEng::Version() { return "Quorvex 0.80"; }

void TEng::SetProc(uint32_t type, TProc proc) {
    switch (type) {
    case PROC_UPDATE: procUpdate_ = proc; break;
    case PROC_RENDER: procRender_ = proc; break;
    case PROC_INIT: procInit_ = proc; break;
    case PROC_FREE: procFree_ = proc; break;
    default: break;
    }
}

void TEng::SetProc(uint32_t type, TMessageProc proc) {
    if (type == PROC_MESSAGE) procMessage_ = proc;
}

void TEng::SetProc(uint32_t type, TActiveProc proc) {
    if (type == PROC_ACTIVE) procActive_ = proc;
}

void TEng::SetProc(uint32_t type, std::nullptr_t) {
    SetProc(type, static_cast<TProc>(nullptr));
    SetProc(type, static_cast<TMessageProc>(nullptr));
    SetProc(type, static_cast<TActiveProc>(nullptr));
}

void TEng::SetPauseInactive(bool flag) { pauseInactive_ = flag; }
bool TEng::PauseInactive() const { return pauseInactive_; }

int32_t TEng::GetTime() const { return timeSource_ ? timeSource_() : CounterMilliseconds(); }

void TEng::ResetTimer() { lastUpdate_ = GetTime(); }

void TEng::SetTimeSource(std::function<int32_t()> source) { timeSource_ = std::move(source); }

template <typename F>
void TEng::CallGuarded(F&& call, const char* errorLine) {
    try {
        call();
    } catch (...) {
        EngineLog(errorLine);
    }
}

void TEng::MainLoop(int32_t ups) {
    if (ups <= 0) ups = 1;
    const TQuitSignals quitSignals;

    if (procInit_) CallGuarded(procInit_, "Error in ProcInit");
    EngineLog("Main Loop start");
    // A software GL driver takes and gives back megabytes of heap within every
    // frame. Without slack at the heap's top, each frame handed them back to
    // the kernel and faulted them in again, zeroed: on llvmpipe that halved
    // the frame rate in some runs. The slack is address space until used.
    mallopt(M_TOP_PAD, kHeapSlack);
    // The first frame's allocations reuse the heap touched meanwhile.
    if (heapWarmer_) heapWarmer_->Release();

    const int32_t step = 1000 / ups;
    lastUpdate_ = static_cast<int32_t>(static_cast<uint32_t>(GetTime()) - static_cast<uint32_t>(step));
    while (!Quitting()) {
        if (wnd_) wnd_->ProcessMessages();
        if (pauseInactive_ && wnd_ && !wnd_->Active()) {
            wnd_->WaitMessage();
            continue;
        }
        // Whole steps only; the remainder carries into the next pass. The
        // difference is taken in 32 bits so a wrapping clock still works.
        while (!Quitting() &&
               static_cast<int32_t>(static_cast<uint32_t>(GetTime()) - static_cast<uint32_t>(lastUpdate_)) >= step) {
            Update();
            lastUpdate_ = static_cast<int32_t>(static_cast<uint32_t>(lastUpdate_) + static_cast<uint32_t>(step));
        }
        Render();
    }

    EngineLog("Main Loop stop");
    if (procFree_) CallGuarded(procFree_, "Error in ProcFree");
}

void TEng::Update() {
    if (Quitting()) return;
    if (inp_) inp_->Poll();
    if (procUpdate_) CallGuarded(procUpdate_, "Error in ProcUpdate");
    if (snd_) snd_->SndUpdate();
    if (inp_) inp_->ClearStep();
}

void TEng::Render() {
    if (Quitting()) return;
    if (procRender_) CallGuarded(procRender_, "Error in ProcRender");
    if (ogl_) ogl_->Swap();
    if (snd_) snd_->FrameShown();
}

void TEng::Quit() { quitFlag = 1; }
bool TEng::Quitting() const { return quitFlag != 0; }

void TEng::CallMessageProc(uint32_t msg, uint32_t wParam, uint32_t lParam) {
    if (procMessage_) CallGuarded([&] { procMessage_(msg, wParam, lParam); }, "Error in ProcMessage");
}

void TEng::CallActiveProc(bool active) {
    if (procActive_) CallGuarded([&] { procActive_(active); }, "Error in ProcActive");
}

} // namespace qx
