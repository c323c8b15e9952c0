// The stopwatch.
#include "app/clock.h"

#include <chrono>

TClock::TClock() {
    using Clock = std::chrono::steady_clock;
    Frequency = Clock::period::den / Clock::period::num;
}

int64_t TClock::Counter() const { return std::chrono::steady_clock::now().time_since_epoch().count(); }

void TClock::Reset() { StartCount = StopCount; }

void TClock::Start() {
    Running = true;
    StartCount = Counter();
}

void TClock::Stop() {
    Running = false;
    StopCount = Counter();
}

double TClock::Elapsed() {
    if (Running) StopCount = Counter();
    return static_cast<double>(StopCount - StartCount) / static_cast<double>(Frequency);
}
