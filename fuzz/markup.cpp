// Markup stripping (the walk MarkupWidth measures) and the substring search and
// extraction used on server replies. The first byte picks the operation; the
// rest is cut into pattern, text and delimiters by length bytes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "presentation/text.h"

namespace {

// Takes a piece of at most the length its first byte names.
std::string_view Piece(std::string_view& rest) {
    if (rest.empty()) return {};
    const size_t length = std::min<size_t>(static_cast<uint8_t>(rest[0]), rest.size() - 1);
    const std::string_view piece = rest.substr(1, length);
    rest.remove_prefix(1 + length);
    return piece;
}

int32_t Start(std::string_view& rest) {
    uint32_t value = 0;
    const size_t n = std::min<size_t>(4, rest.size());
    std::memcpy(&value, rest.data(), n);
    rest.remove_prefix(n);
    return static_cast<int32_t>(value);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    std::string_view rest(reinterpret_cast<const char*>(data) + 1, size - 1);
    switch (data[0] % 3) {
    case 0: {
        const std::string stripped = StripMarkup(rest);
        // Stripping only removes characters, and leaves no colour code behind.
        if (stripped.size() > rest.size()) std::abort();
        if (StripMarkup(stripped).size() > stripped.size()) std::abort();
        break;
    }
    case 1: {
        const int32_t start = Start(rest);
        const std::string_view pattern = Piece(rest);
        const int32_t at = FindFrom(pattern, rest, start);
        if (at != 0) {
            if (at < 1 || at < start || static_cast<size_t>(at - 1) + pattern.size() > rest.size()) std::abort();
            if (rest.substr(static_cast<size_t>(at - 1), pattern.size()) != pattern) std::abort();
        }
        break;
    }
    default: {
        int32_t pos = Start(rest);
        const std::string_view startDelim = Piece(rest);
        const std::string_view endDelim = Piece(rest);
        std::string out;
        ExtractBetween(startDelim, rest, endDelim, pos, out);
        if (out.size() > rest.size()) std::abort();
        if (!out.empty() && rest.find(out) == std::string_view::npos) std::abort();
        break;
    }
    }
    return 0;
}
