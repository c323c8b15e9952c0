// Form bodies and decimal fields.
#include "server/form.h"

namespace scores {

namespace {

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// Decodes one side of a field into out; false on a malformed "%".
bool DecodePart(std::string_view part, std::string& out) {
    out.clear();
    out.reserve(part.size());
    for (size_t i = 0; i < part.size(); ++i) {
        const char c = part[i];
        if (c == '+') {
            out.push_back(' ');
        } else if (c == '%') {
            if (part.size() - i < 3) return false;
            const int high = HexValue(part[i + 1]);
            const int low = HexValue(part[i + 2]);
            if (high < 0 || low < 0) return false;
            out.push_back(static_cast<char>(high * 16 + low));
            i += 2;
        } else {
            out.push_back(c);
        }
    }
    return true;
}

} // namespace

TForm DecodeForm(std::string_view body, size_t maxBytes, size_t maxFields) {
    TForm form;
    if (body.size() > maxBytes) {
        form.Error = "body over " + std::to_string(maxBytes) + " bytes";
        return form;
    }
    size_t start = 0;
    while (start <= body.size()) {
        size_t end = body.find('&', start);
        if (end == std::string_view::npos) end = body.size();
        const std::string_view field = body.substr(start, end - start);
        start = end + 1;
        if (field.empty()) continue; // "a=1&&b=2" and a trailing "&" carry nothing
        if (form.Fields.size() == maxFields) {
            form.Error = "more than " + std::to_string(maxFields) + " fields";
            break;
        }
        const size_t equals = field.find('=');
        TFormField decoded;
        const bool ok = DecodePart(field.substr(0, equals), decoded.Name) &&
                        (equals == std::string_view::npos || DecodePart(field.substr(equals + 1), decoded.Value));
        if (!ok) {
            form.Error = "malformed percent-encoding";
            break;
        }
        form.Fields.push_back(std::move(decoded));
    }
    if (!form.Error.empty()) form.Fields.clear();
    return form;
}

std::optional<int32_t> ParseCount(std::string_view text) {
    if (text.empty() || text.size() > 10) return std::nullopt;
    int64_t value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + (c - '0');
    }
    if (value > INT32_MAX) return std::nullopt;
    return static_cast<int32_t>(value);
}

} // namespace scores
