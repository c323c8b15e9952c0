// The engine root: creates the other engine modules, keeps the application's
// six callback procedures (procs) and runs the main loop.
//
// Words: a "step" (or tick) is one fixed-length update, 1000 div ups whole
// milliseconds; a "pass" is one turn of the loop: pump messages, run the steps
// the elapsed time asks for, render one frame. Engine time is whole
// milliseconds from the high-resolution counter, compared with 32-bit
// wrap-around arithmetic. A proc that throws is caught at the call, logged as
// "Engine  : Error in Proc..." and the loop goes on.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>

namespace qx {

class TLog;
class TWnd;
class TOGL;
class TInp;
class TVBO;
class TTex;
class TVFP;
class TSnd;
class TNet;
class TVec;
class THeapWarmer;

// Proc type numbers for SetProc.
constexpr uint32_t PROC_UPDATE = 0;
constexpr uint32_t PROC_RENDER = 1;
constexpr uint32_t PROC_MESSAGE = 2;
constexpr uint32_t PROC_ACTIVE = 3;
constexpr uint32_t PROC_INIT = 4;
constexpr uint32_t PROC_FREE = 5;

using TProc = void (*)();
using TMessageProc = void (*)(uint32_t msg, uint32_t wParam, uint32_t lParam);
using TActiveProc = void (*)(bool active);

class TEng {
public:
    // Creates the modules in the order vec, net, snd, inp, ogl, vbo, tex, wnd, vfp.
    // Opens nothing: the window, context and sound device come with wnd->Create.
    TEng();
    ~TEng(); // releases whatever modules ReleaseModules has not yet released
    TEng(const TEng&) = delete;
    TEng& operator=(const TEng&) = delete;

    // ---- Modules (owned by the engine; null once released) ----
    TLog* Log() const;
    TWnd* Wnd() const;
    TOGL* OGL() const;
    TInp* Inp() const;
    TVBO* VBO() const;
    TTex* Tex() const;
    TVFP* VFP() const;
    TSnd* Snd() const;
    TNet* Net() const;
    TVec* Vec() const;

    static const char* Version(); // "Quorvex 0.80"

    // ---- Procs ----
    // Stores proc in slot type; a type that does not take this kind of proc, or
    // a type above 5, is ignored. nullptr empties the slot.
    void SetProc(uint32_t type, TProc proc);
    void SetProc(uint32_t type, TMessageProc proc);
    void SetProc(uint32_t type, TActiveProc proc);
    void SetProc(uint32_t type, std::nullptr_t);

    void SetPauseInactive(bool flag); // sleep while the window is not active
    bool PauseInactive() const;

    // ---- Time and loop ----
    int32_t GetTime() const;          // engine milliseconds
    void ResetTimer();                // inactive time is not caught up
    void MainLoop(int32_t ups);       // runs until Quit; returns after the free proc
    void Update();                    // one step: poll input, update proc, sound, clear step input
    void Render();                    // one frame: render proc, then present
    void Quit();                      // ends the loop; never cleared
    bool Quitting() const;

    // ---- Called by the window module ----
    void CallMessageProc(uint32_t msg, uint32_t wParam, uint32_t lParam);
    void CallActiveProc(bool active);

    // Replaces the millisecond clock (tests drive the loop with their own time).
    void SetTimeSource(std::function<int32_t()> source);

    // Destroys the modules in the shutdown order snd, vec, net, vfp, tex, vbo,
    // inp, ogl, wnd, so their closing lines precede the log's.
    void ReleaseModules();

private:
    template <typename F>
    void CallGuarded(F&& call, const char* errorLine);

    TProc procUpdate_ = nullptr;
    TProc procRender_ = nullptr;
    TMessageProc procMessage_ = nullptr;
    TActiveProc procActive_ = nullptr;
    TProc procInit_ = nullptr;
    TProc procFree_ = nullptr;
    int32_t lastUpdate_ = 0;
    bool pauseInactive_ = false;
    std::function<int32_t()> timeSource_;
    std::unique_ptr<THeapWarmer> heapWarmer_; // heap for the first frame, until the loop starts

    std::unique_ptr<TVec> vec_;
    std::unique_ptr<TNet> net_;
    std::unique_ptr<TSnd> snd_;
    std::unique_ptr<TInp> inp_;
    std::unique_ptr<TOGL> ogl_;
    std::unique_ptr<TVBO> vbo_;
    std::unique_ptr<TTex> tex_;
    std::unique_ptr<TWnd> wnd_;
    std::unique_ptr<TVFP> vfp_;
};

} // namespace qx
