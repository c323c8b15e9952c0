// The score-server client.
#include "menus/score_client.h"

#include <algorithm>
#include <cctype>

#include "presentation/text.h"

std::string PostForm(const std::string& /*page*/, const std::vector<std::string>& /*names*/,
                     const std::vector<std::string>& /*values*/) {
    return {};
}

std::string FetchTop(int32_t /*count*/) { return {}; }

int32_t LeadingInt(const std::string& text) {
    size_t i = 0;
    while (i < text.size() && text[i] == ' ') ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    int64_t value = 0;
    for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i)
        value = std::min<int64_t>(value * 10 + (text[i] - '0'), int64_t{1} << 32);
    value = negative ? -value : value;
    return static_cast<int32_t>(std::clamp<int64_t>(value, INT32_MIN, INT32_MAX));
}

TTopReply ParseTop(const std::string& reply, int32_t maxRows) {
    static const std::string marker = "<pre id=\"view_record\">\n";
    TTopReply top;
    int32_t pos = 1;
    std::string field;
    ExtractBetween(marker, reply, "\n", pos, field);
    top.Count = LeadingInt(field);
    // Each field is the line after the next line feed; once the line feeds run
    // out, every later field is empty (instead of reading the reply again from its start).
    const auto nextField = [&](std::string& out) {
        out.clear();
        const int32_t feed = pos > 0 ? FindFrom("\n", reply, pos) : 0;
        if (feed == 0) {
            pos = 0;
            return;
        }
        pos = feed + 1;
        const int32_t end = FindFrom("\n", reply, pos);
        if (end > pos) out.assign(reply, static_cast<size_t>(pos - 1), static_cast<size_t>(end - pos));
    };
    // A server may declare any count; only the rows the table can show are read.
    const int32_t rows = std::clamp(top.Count, 0, std::max(maxRows, 0));
    top.Rows.resize(static_cast<size_t>(rows));
    for (int32_t r = 0; r < rows; ++r) {
        TOnlineRec& row = top.Rows[static_cast<size_t>(r)];
        for (std::string* target : {&row.Name, &row.Score, &row.Level, &row.Date, &row.Time, &field})
            nextField(*target);
        row.Place = std::to_string(r + 1);
    }
    return top;
}
