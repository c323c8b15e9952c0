// Answers written: the summary of a send, the top-list reply and the page.
#include "server/pages.h"

#include <array>
#include <cstdio>

#include "engine/cp1251.h"

namespace scores {

namespace {

void AppendUtf8(std::string& out, uint32_t codePoint) {
    if (codePoint < 0x80) {
        out.push_back(static_cast<char>(codePoint));
    } else if (codePoint < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (codePoint >> 6)));
        out.push_back(static_cast<char>(0x80 | (codePoint & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xE0 | (codePoint >> 12)));
        out.push_back(static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (codePoint & 0x3F)));
    }
}

// One code-page-1251 character of a name, HTML-escaped, as UTF-8.
void AppendEscaped(std::string& out, char c) {
    switch (c) {
    case '&': out += "&amp;"; return;
    case '<': out += "&lt;"; return;
    case '>': out += "&gt;"; return;
    case '"': out += "&quot;"; return;
    case '\'': out += "&#39;"; return;
    default: break;
    }
    const uint32_t codePoint = qx::Cp1251ToUnicode(static_cast<uint8_t>(c));
    AppendUtf8(out, codePoint == 0 ? 0xFFFD : codePoint);
}

bool IsHex(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }

// A name with its colour markup as spans, read as the game reads it: "^0".."^7"
// and "^x"/"^X" with six hex digits set the colour; any other caret and the
// character after it are not shown.
std::string NameHtml(const std::string& name) {
    static constexpr std::array<const char*, 8> kPalette = {"#000000", "#ff0000", "#00ff00", "#ffff00",
                                                            "#0000ff", "#ff00ff", "#00ffff", "#ffffff"};
    std::string html;
    std::string colour = kPalette[7];
    std::string text; // characters of the current colour, escaped
    const auto flush = [&] {
        if (!text.empty()) html += "<span style=\"color:" + colour + "\">" + text + "</span>";
        text.clear();
    };
    for (size_t i = 0; i < name.size(); ++i) {
        if (name[i] != '^') {
            AppendEscaped(text, name[i]);
            continue;
        }
        if (i + 1 >= name.size()) break;
        const char code = name[i + 1];
        if (code >= '0' && code <= '7') {
            flush();
            colour = kPalette[static_cast<size_t>(code - '0')];
            i += 1;
        } else if ((code == 'x' || code == 'X') && name.size() - (i + 2) >= 6) {
            const std::string digits = name.substr(i + 2, 6);
            bool hex = true;
            for (const char d : digits) hex = hex && IsHex(d);
            if (hex) {
                flush();
                colour = "#" + digits; // six checked hex digits: nothing to escape
            }
            i += 7;
        } else {
            i += 1;
        }
    }
    flush();
    return html;
}

std::string TimeText(int32_t hundredths) {
    char text[32];
    std::snprintf(text, sizeof text, "%d.%02d", hundredths / 100, hundredths % 100);
    return text;
}

} // namespace

std::string SendSummary(const TSend& send, int32_t added) {
    const int32_t stored = static_cast<int32_t>(send.Results.size());
    return "Received " + std::to_string(send.Rows) + " rows: " + std::to_string(added) + " new, " +
           std::to_string(stored - added) + " known, " + std::to_string(send.Empty) + " empty, " +
           std::to_string(send.Rejected) + " rejected";
}

std::string TopReply(const std::vector<TResult>& results) {
    std::string reply = "<pre id=\"view_record\">\n" + std::to_string(results.size()) + "\n";
    int32_t place = 0;
    for (const TResult& result : results) {
        reply += result.Name + "\n" + std::to_string(result.Score) + "\n" + std::to_string(result.Level) + "\n" +
                 result.Date + "\n" + std::to_string(result.Time) + "\n" + std::to_string(++place) + "\n";
    }
    return reply + "</pre>\n";
}

std::string TopPage(const std::vector<TResult>& results, const std::string& note) {
    std::string page =
        "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\"><title>Nivora online top</title>\n"
        "<style>body{background:#15192b;color:#ddd;font:16px sans-serif;margin:2em}"
        "table{border-collapse:collapse;background:#333a;min-width:40em}"
        "th,td{padding:.3em .8em;text-align:left}th{color:#ff0}td.n{font-weight:bold}"
        "tr:nth-child(even){background:#ffffff10}td.v{color:#0f0}</style></head><body>\n"
        "<h1>Nivora online top</h1>\n";
    if (!note.empty()) {
        page += "<p class=\"note\">";
        for (const char c : note) AppendEscaped(page, c);
        page += "</p>\n";
    }
    page += "<table>\n"
        "<tr><th>#</th><th>Name</th><th>Score</th><th>Level</th><th>Time</th><th>Date</th><th>Replayed</th></tr>\n";
    int32_t place = 0;
    for (const TResult& result : results) {
        page += "<tr><td>" + std::to_string(++place) + "</td><td class=\"n\">" + NameHtml(result.Name) + "</td><td>" +
                std::to_string(result.Score) + "</td><td>" + std::to_string(result.Level) + "</td><td>" +
                TimeText(result.Time) + "</td><td>";
        for (const char c : result.Date) AppendEscaped(page, c);
        page += result.Verified ? "</td><td class=\"v\" title=\"verified: its game was replayed\">&#10003;</td></tr>\n"
                                : "</td><td></td></tr>\n";
    }
    if (results.empty()) page += "<tr><td colspan=\"7\">No results yet.</td></tr>\n";
    return page + "</table>\n</body></html>\n";
}

} // namespace scores
