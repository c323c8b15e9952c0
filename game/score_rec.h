// One game result as the game scene produces it and the records table keeps it.
//
// The name is held in place (at most 32 single-byte characters, colour code
// included) so copying a result never allocates; longer names are cut.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <string>
#include <string_view>

class TPlayerName {
public:
    static constexpr size_t Capacity = 32;

    TPlayerName() = default;
    TPlayerName(std::string_view text) { Assign(text); } // cut to Capacity
    TPlayerName& operator=(std::string_view text) {
        Assign(text);
        return *this;
    }

    void Assign(std::string_view text) {
        Length = static_cast<uint8_t>(std::min(text.size(), Capacity));
        std::copy_n(text.data(), Length, Chars.data());
        std::fill(Chars.begin() + Length, Chars.end(), '\0');
    }
    std::string_view View() const { return {Chars.data(), Length}; }
    std::string Str() const { return std::string(View()); }
    size_t Size() const { return Length; }
    bool Empty() const { return Length == 0; }
    operator std::string_view() const { return View(); }
    bool operator==(const TPlayerName& other) const { return View() == other.View(); }

private:
    uint8_t Length = 0;
    std::array<char, Capacity> Chars{};
};

struct TScoreRec {
    int32_t Score = 0;
    int32_t Level = 0;  // rows added
    int32_t Time = 0;   // play time in hundredths of a second
    TPlayerName Name;   // as entered, colour code included
};
