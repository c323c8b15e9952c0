// A stopwatch in seconds on the high-resolution counter. The game scene times
// play with it: running while a game is played, standing still while paused.
#pragma once

#include <cstdint>

class TClock {
public:
    TClock();
    virtual ~TClock() = default;

    virtual void Reset();        // elapsed becomes 0 while stopped
    virtual void Start();        // measures from now
    virtual void Stop();
    bool IsRunning() const { return Running; }
    int64_t GetFrequency() const { return Frequency; }
    double Elapsed();            // seconds between the last start and the last stop (or now)

protected:
    virtual int64_t Counter() const; // counter ticks now

    bool Running = false;
    int64_t StopCount = 0;
    int64_t StartCount = 0;
    int64_t Frequency = 1;
};
