// The score server's form decoder and its decimal fields: bounded by the
// limits it is given, and every count it accepts is plain decimal.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "server/form.h"

namespace {

void CheckCount(std::string_view text) {
    const std::optional<int32_t> value = scores::ParseCount(text);
    if (!value) return;
    if (text.empty() || text.size() > 10 || *value < 0) std::abort();
    for (const char c : text)
        if (c < '0' || c > '9') std::abort();
    const size_t digits = text.find_first_not_of('0');
    const std::string_view significant = digits == std::string_view::npos ? "0" : text.substr(digits);
    if (std::to_string(*value) != significant) std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    // The first byte picks small limits now and then, so the limits themselves are reached.
    const size_t maxBytes = data[0] & 1 ? 64 : 16 * 1024;
    const size_t maxFields = data[0] & 2 ? 3 : 88;
    const std::string_view body(reinterpret_cast<const char*>(data) + 1, size - 1);
    const scores::TForm form = scores::DecodeForm(body, maxBytes, maxFields);
    if (!form.Error.empty()) {
        CheckCount(body);
        return 0;
    }
    if (body.size() > maxBytes || form.Fields.size() > maxFields) std::abort();
    size_t decoded = 0;
    for (const scores::TFormField& field : form.Fields) {
        decoded += field.Name.size() + field.Value.size();
        CheckCount(field.Value);
    }
    // Decoding never makes a body longer.
    if (decoded > body.size()) std::abort();
    return 0;
}
