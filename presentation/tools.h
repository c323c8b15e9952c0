// Small stateless helpers shared by the scenes: wall-clock time and date and
// their texts, folders, the login name, the desktop's display mode, 2-D vectors
// of doubles, and stepped random numbers from the program's one generator.
//
// The generator is seeded once from the clock at start-up (SeedRandomFromClock);
// tests seed it with SeedRandom to replay a game.
#pragma once

#include <cstdint>
#include <string>

struct TimeRec {
    uint16_t hour = 0, minute = 0, second = 0, millisecond = 0;
};

struct DateRec {
    uint16_t year = 0, month = 0, day = 0;
};

struct DisplayMode {
    int32_t width = 0, height = 0, bpp = 0, freq = 0;
};

struct IntPoint {
    int32_t x = 0, y = 0;
};

struct Vec2 {
    double x = 0, y = 0;
};

// ---- Clock, calendar, system ----
TimeRec LocalTime();
DateRec LocalDate();
std::string TimeText(const TimeRec& time);   // 9:5:3:42, no zero padding
std::string DateText(const DateRec& date);   // 7.12.2026
// Separators used by TimeText and DateText, ":" and "." from the start. Only
// TakeScreenShot changes them: to "-" while it names its file, then back.
// Main thread only, like every caller of TimeText and DateText.
extern std::string TimeSeparator;
extern std::string DateSeparator;
[[nodiscard]] bool DirExists(const std::string& path); // an existing folder (not a file)
[[nodiscard]] std::string UserName();        // login name, "" when unreadable or over 31 characters
[[nodiscard]] DisplayMode DesktopMode();     // the screen's current mode; zeros without a window module

// ---- 2-D vectors ----
IntPoint MakePoint(int32_t x, int32_t y);
Vec2 MakeVec(double x, double y);
Vec2 AddVec(const Vec2& a, const Vec2& b);
IntPoint RoundVec(const Vec2& v);            // halves to even
Vec2 TurnVec(const Vec2& v, double angle);   // same length, pointing at angle (radians)

// ---- Random numbers ----
void SeedRandom(uint64_t seed);
void SeedRandomFromClock();
int32_t RandomInt(int32_t n);                // uniform in 0..n-1; 0 when n <= 1
uint64_t RandomSeed();                       // 64 random bits, to seed a generator of its own
double RandomStep(double min, double max, double step); // min + step * k, k in 0..n-1
Vec2 RandomPolar(double maxRadius, double minRadius, double step);
