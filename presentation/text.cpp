// Coloured text markup, quads and the shared cursor.
#include "presentation/text.h"

#include <GL/gl.h>

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "engine/engine.h"
#include "engine/fontman.h"

namespace {
double cursorX = 0;
double cursorY = 0;
bool cursorMoved = false;
int32_t viewWidth = 0;   // 0: follow the window
int32_t viewHeight = 0;
int32_t viewScale = 1;

constexpr int32_t kMaxPadding = 256; // padding widths beyond this are cut (no caller needs more)
constexpr int32_t kMaxDecimals = 30;

// Text positions are 32-bit; longer texts are searched only in their first 2^31 - 1 bytes.
int32_t Length(std::string_view text) {
    return static_cast<int32_t>(std::min<size_t>(text.size(), 0x7FFFFFFF));
}

void AppendPadded(std::string& out, const char* digits, int32_t count, int32_t width) {
    width = std::clamp(width, 0, kMaxPadding);
    if (count < width) out.append(static_cast<size_t>(width - count), ' ');
    out.append(digits, static_cast<size_t>(count));
}
} // namespace

std::string StripMarkup(std::string_view text) {
    std::string result;
    result.reserve(text.size());
    size_t i = 0;
    while (i < text.size()) {
        if (text[i] != '^') {
            result.push_back(text[i]);
            ++i;
        } else if (i + 1 >= text.size()) {
            break; // a trailing caret is dropped
        } else {
            const char code = text[i + 1];
            // A complete "^xRRGGBB" goes whole; everything else loses the caret and one character.
            const bool fullHex = (code == 'x' || code == 'X') && text.size() - (i + 2) >= 6;
            i += fullHex ? 8 : 2;
        }
    }
    return result;
}

int32_t MarkupWidth(int32_t font, std::string_view text) { return qx::ogl->TextLen(font, StripMarkup(text)); }

void DrawText(int32_t font, const std::string& text, double x, double y) {
    qx::ogl->TextOutEx(font, text, static_cast<float>(std::nearbyint(x)), static_cast<float>(std::nearbyint(y)));
}

int32_t FindFrom(std::string_view pattern, std::string_view text, int32_t start) {
    if (pattern.empty()) return 0;
    // Sizes and offsets stay in size_t: a 1-based int32 index would overflow
    // one past the last position of a text near 2^31 bytes.
    const std::string_view searched = text.substr(0, static_cast<size_t>(Length(text)));
    // A start before the text searches from its first character.
    const size_t found = searched.find(pattern, static_cast<size_t>(std::max(start, 1)) - 1);
    // A match lies inside the first 2^31 - 1 bytes, so its position fits.
    return found == std::string_view::npos ? 0 : static_cast<int32_t>(found + 1);
}

void ExtractBetween(std::string_view startDelim, std::string_view text, std::string_view endDelim,
                    int32_t& pos, std::string& out) {
    if (!startDelim.empty())
        pos = static_cast<int32_t>(std::min<int64_t>(int64_t{FindFrom(startDelim, text, pos)} + Length(startDelim),
                                                     0x7FFFFFFF));
    const int32_t end = FindFrom(endDelim, text, pos);
    out.clear();
    // end > 0 lies inside the text, so the piece [max(pos, 1), end) does too.
    const int32_t from = std::max(pos, 1);
    if (end > from) out.assign(text.substr(static_cast<size_t>(from - 1), static_cast<size_t>(end - from)));
}

void AppendFloatText(std::string& out, int32_t width, int32_t decimals, double value) {
    char digits[400];
    const int count =
        std::snprintf(digits, sizeof digits, "%.*f", std::clamp(decimals, 0, kMaxDecimals), value);
    if (count <= 0) return;
    AppendPadded(out, digits, std::min(count, static_cast<int>(sizeof digits) - 1), width);
}

void AppendIntText(std::string& out, int32_t value, int32_t width) {
    char digits[16];
    const int count = std::snprintf(digits, sizeof digits, "%d", static_cast<int>(value));
    AppendPadded(out, digits, count, width);
}

std::string FloatText(int32_t width, int32_t decimals, double value) {
    std::string text;
    AppendFloatText(text, width, decimals, value);
    return text;
}

std::string IntText(int32_t value, int32_t width) {
    std::string text;
    AppendIntText(text, value, width);
    return text;
}

void EmitQuad(uint32_t mode, const TQuadCorners& corners) {
    static constexpr float kTexCoord[4][2] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
    glBegin(mode);
    for (size_t i = 0; i < corners.size(); ++i) {
        glTexCoord2f(kTexCoord[i][0], kTexCoord[i][1]);
        glVertex2d(corners[i].x, corners[i].y);
    }
    glEnd();
}

void DrawQuad(uint32_t mode, double x, double y, double width, double height) {
    glPushMatrix();
    glTranslated(x, y, 0);
    EmitQuad(mode, {{{0, 0}, {width, 0}, {width, height}, {0, height}}});
    glPopMatrix();
}

void DrawQuadRot(double x, double y, double width, double height, double angle) {
    const double halfW = width / 2;
    const double halfH = height / 2;
    glPushMatrix();
    glTranslated(x, y, 0);
    glRotated(angle, 0, 0, 1);
    EmitQuad(GL_QUADS, {{{-halfW, -halfH}, {halfW, -halfH}, {halfW, halfH}, {-halfW, halfH}}});
    glPopMatrix();
}

void SetCursor(double x, double y) {
    cursorX = x;
    cursorY = y;
}

Vec2 GetCursor() { return {cursorX, cursorY}; }
bool CursorMoved() { return cursorMoved; }

void UpdateCursor() {
    const qx::TPointF delta = qx::inp->MouseDelta();
    cursorMoved = delta.x != 0 || delta.y != 0;
    cursorX += static_cast<double>(delta.x) / viewScale;
    cursorY += static_cast<double>(delta.y) / viewScale;
    if (cursorX < 0) cursorX = 0;
    if (cursorY <= 0) cursorY = 0;
    const double width = ViewWidth();
    const double height = ViewHeight();
    // The cursor may rest on x = width / y = height, one pixel past the last visible one.
    if (cursorX > width) cursorX = width;
    if (cursorY > height) cursorY = height;
}

void DrawCursor(uint32_t texture) {
    qx::ogl->Blend(qx::kBlendAlpha);
    qx::tex->Enable(texture, 0);
    glColor3f(1, 1, 1);
    const double right = cursorX + 32, bottom = cursorY + 32;
    EmitQuad(GL_QUADS, {{{cursorX, cursorY}, {right, cursorY}, {right, bottom}, {cursorX, bottom}}});
    qx::tex->Disable(0);
}

void SetViewSize(int32_t width, int32_t height) {
    viewWidth = std::max(width, 0);
    viewHeight = std::max(height, 0);
}

int32_t ViewWidth() { return viewWidth > 0 ? viewWidth : (qx::wnd ? qx::wnd->Width() / viewScale : 0); }
int32_t ViewHeight() { return viewHeight > 0 ? viewHeight : (qx::wnd ? qx::wnd->Height() / viewScale : 0); }

void SetViewScale(int32_t scale) {
    viewScale = std::clamp(scale, 1, 16);
    if (qx::ogl) qx::ogl->Fonts()->SetScale(viewScale);
}

int32_t ViewScale() { return viewScale; }

void SetViewProjection() {
    // The exact quotient: a client size the scale does not divide still maps
    // view pixels onto whole multiples of the scale from the top-left corner.
    const auto span = [](int32_t given, int32_t client) {
        return given > 0 ? static_cast<float>(given) : static_cast<float>(client) / static_cast<float>(viewScale);
    };
    const int32_t clientWidth = qx::wnd ? qx::wnd->Width() : 0;
    const int32_t clientHeight = qx::wnd ? qx::wnd->Height() : 0;
    qx::ogl->Set2D(0, 0, span(viewWidth, clientWidth), span(viewHeight, clientHeight));
}
