// The score server's reading of untrusted request text: form bodies and the
// decimal fields in them.
//
// A form body is "name=value" fields joined by "&", each side with "+" for a
// space and "%XX" for any byte. The decoder never allocates more than the
// byte limit it is given, and refuses the whole body on a malformed
// percent-encoding or a body over the limit: a client that encodes badly gets
// a clear 400, never a guess.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace scores {

struct TFormField {
    std::string Name;
    std::string Value;
};

struct TForm {
    std::vector<TFormField> Fields; // in body order
    std::string Error;              // empty when the body was read whole
};

// Decodes an application/x-www-form-urlencoded body of at most maxBytes bytes
// and at most maxFields fields; Error names the first fault.
TForm DecodeForm(std::string_view body, size_t maxBytes, size_t maxFields);

// A decimal 32-bit value of 0..2147483647 written as 1 to 10 plain digits (no
// sign, no spaces); nothing for anything else.
std::optional<int32_t> ParseCount(std::string_view text);

} // namespace scores
