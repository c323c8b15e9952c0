// Tool functions.
#include "presentation/tools.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <numbers>
#include <ctime>
#include <random>

#include "engine/engine.h"

std::string TimeSeparator = ":";
std::string DateSeparator = ".";

namespace {
std::mt19937_64& Generator() {
    static std::mt19937_64 generator{0x5EEDu};
    return generator;
}

struct LocalNow {
    std::tm calendar{};
    int millisecond = 0;
};

LocalNow ReadLocalNow() {
    using namespace std::chrono;
    const auto now = system_clock::now();
    const std::time_t seconds = system_clock::to_time_t(now);
    LocalNow result;
    localtime_r(&seconds, &result.calendar);
    result.millisecond = static_cast<int>(duration_cast<milliseconds>(now.time_since_epoch()).count() % 1000);
    return result;
}
} // namespace

TimeRec LocalTime() {
    const LocalNow now = ReadLocalNow();
    return {static_cast<uint16_t>(now.calendar.tm_hour), static_cast<uint16_t>(now.calendar.tm_min),
            static_cast<uint16_t>(now.calendar.tm_sec), static_cast<uint16_t>(now.millisecond)};
}

DateRec LocalDate() {
    const LocalNow now = ReadLocalNow();
    return {static_cast<uint16_t>(now.calendar.tm_year + 1900), static_cast<uint16_t>(now.calendar.tm_mon + 1),
            static_cast<uint16_t>(now.calendar.tm_mday)};
}

std::string TimeText(const TimeRec& time) {
    return std::to_string(time.hour) + TimeSeparator + std::to_string(time.minute) + TimeSeparator +
           std::to_string(time.second) + TimeSeparator + std::to_string(time.millisecond);
}

std::string DateText(const DateRec& date) {
    return std::to_string(date.day) + DateSeparator + std::to_string(date.month) + DateSeparator +
           std::to_string(date.year);
}

bool DirExists(const std::string& path) {
    struct stat info {};
    return !path.empty() && ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

std::string UserName() {
    struct passwd entry {};
    struct passwd* found = nullptr;
    char buffer[4096];
    if (getpwuid_r(geteuid(), &entry, buffer, sizeof buffer, &found) != 0 || !found || !found->pw_name)
        return {};
    std::string name = found->pw_name;
    return name.size() > 31 ? std::string() : name;
}

DisplayMode DesktopMode() {
    DisplayMode mode;
    if (qx::wnd) qx::wnd->DesktopMode(mode.width, mode.height, mode.bpp, mode.freq);
    return mode;
}

IntPoint MakePoint(int32_t x, int32_t y) { return {x, y}; }
Vec2 MakeVec(double x, double y) { return {x, y}; }
Vec2 AddVec(const Vec2& a, const Vec2& b) { return {a.x + b.x, a.y + b.y}; }

namespace {
// Halves to even (the default rounding mode), held to the 32-bit range so the conversion is defined.
int32_t RoundToInt(double value) {
    if (std::isnan(value)) return 0;
    return static_cast<int32_t>(std::clamp(std::nearbyint(value), -2147483648.0, 2147483647.0));
}
} // namespace

IntPoint RoundVec(const Vec2& v) { return {RoundToInt(v.x), RoundToInt(v.y)}; }

Vec2 TurnVec(const Vec2& v, double angle) {
    const double length = std::sqrt(v.x * v.x + v.y * v.y);
    return {std::cos(angle) * length, std::sin(angle) * length};
}

void SeedRandom(uint64_t seed) { Generator().seed(seed); }

void SeedRandomFromClock() {
    SeedRandom(static_cast<uint64_t>(std::chrono::high_resolution_clock::now().time_since_epoch().count()));
}

int32_t RandomInt(int32_t n) {
    if (n <= 1) return 0;
    return static_cast<int32_t>(std::uniform_int_distribution<int32_t>(0, n - 1)(Generator()));
}

uint64_t RandomSeed() { return Generator()(); }

double RandomStep(double min, double max, double step) {
    if (step == 0) return min;
    const double count = std::nearbyint((max - min) / step);
    if (!(count > 1)) return min; // also NaN
    // Grids finer than 32-bit counts draw from a 64-bit range.
    if (count > 2147483647.0) {
        const auto last = static_cast<int64_t>(std::min(count, 9.0e18)) - 1;
        return min + step * static_cast<double>(std::uniform_int_distribution<int64_t>(0, last)(Generator()));
    }
    return min + step * RandomInt(static_cast<int32_t>(count));
}

Vec2 RandomPolar(double maxRadius, double minRadius, double step) {
    const double angle = RandomStep(0, 2 * std::numbers::pi, step);
    const double radius = RandomStep(minRadius, maxRadius, step);
    return {std::cos(angle) * radius, std::sin(angle) * radius};
}
