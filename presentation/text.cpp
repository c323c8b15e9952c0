// Coloured text markup, quads and the shared cursor.
#include "presentation/text.h"

#define GL_GLEXT_PROTOTYPES 1
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

namespace {
// The texture corner each quad corner gets, in EmitQuad's order.
constexpr float kTexCoord[4][2] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
} // namespace

void EmitQuad(uint32_t mode, const TQuadCorners& corners) {
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

TRGBA GLColorOf(uint32_t packed) {
    const auto bytes = qx::ColorBytes(packed);
    return {bytes[0] / 255.0f, bytes[1] / 255.0f, bytes[2] / 255.0f, bytes[3] / 255.0f};
}

namespace {
using TMatrix = std::array<float, 16>; // column-major, as GL keeps it

// a * b, each element summed from the first product to the last, in single precision.
TMatrix Multiply(const TMatrix& a, const TMatrix& b) {
    TMatrix product{};
    for (int row = 0; row < 4; ++row)
        for (int col = 0; col < 4; ++col) {
            float sum = a[row] * b[col * 4];
            for (int k = 1; k < 4; ++k) sum = sum + a[k * 4 + row] * b[col * 4 + k];
            product[col * 4 + row] = sum;
        }
    return product;
}

// m moved by (x, y, 0): the last column becomes m * (x, y, 0, 1).
TMatrix Translated(TMatrix m, float x, float y) {
    for (int row = 0; row < 4; ++row) m[12 + row] = m[row] * x + m[4 + row] * y + m[8 + row] * 0.0f + m[12 + row];
    return m;
}

// True when m takes every point (x, y, 0, 1) to a clip z of 0 and a w of 1,
// as a 2-D view's matrices do: the point's x and y then say all of it.
bool Flat(const TMatrix& m) {
    return m[2] == 0 && m[6] == 0 && m[14] == 0 && m[3] == 0 && m[7] == 0 && m[15] == 1;
}

// Clip x and y of the point (x, y, 0, 1): the columns scaled and added in turn.
void Transform(const TMatrix& m, float x, float y, float (&clip)[2]) {
    for (int row = 0; row < 2; ++row) {
        float sum = x * m[row];
        sum = y * m[4 + row] + sum;
        sum = 0.0f * m[8 + row] + sum;
        sum = 1.0f * m[12 + row] + sum;
        clip[row] = sum;
    }
}
} // namespace

TQuadBatch::TQuadBatch(size_t capacity) {
    quads_.reserve(std::max<size_t>(capacity, 1));
    vertices_.reserve(4 * quads_.capacity());
    for (size_t i = 0; i < quads_.capacity(); ++i) {
        firsts_.push_back(static_cast<GLint>(4 * i));
        counts_.push_back(4);
    }
}

void TQuadBatch::Add(const TQuad& quad) {
    if (quads_.size() == quads_.capacity()) Draw();
    quads_.push_back(quad);
}

void TQuadBatch::AddQuad(double x, double y, double width, double height, const TRGBA& rgba) {
    Add({static_cast<float>(x), static_cast<float>(y), 0, 0, static_cast<float>(width), static_cast<float>(height),
         rgba});
}

void TQuadBatch::AddCentred(double x, double y, double width, double height, const TRGBA& rgba) {
    const double halfW = width / 2, halfH = height / 2;
    Add({static_cast<float>(x), static_cast<float>(y), static_cast<float>(-halfW), static_cast<float>(-halfH),
         static_cast<float>(halfW), static_cast<float>(halfH), rgba});
}

void TQuadBatch::DrawOneByOne() const {
    for (const TQuad& quad : quads_) {
        glColor4fv(quad.rgba.data());
        glPushMatrix();
        glTranslatef(quad.x, quad.y, 0);
        EmitQuad(GL_QUADS, quad.Corners());
        glPopMatrix();
    }
}

void TQuadBatch::Draw() {
    if (quads_.empty()) return;
    TMatrix projection{}, modelView{};
    glGetFloatv(GL_PROJECTION_MATRIX, projection.data());
    glGetFloatv(GL_MODELVIEW_MATRIX, modelView.data());
    vertices_.clear();
    bool flat = true;
    for (const TQuad& quad : quads_) {
        const TMatrix toClip = Multiply(projection, Translated(modelView, quad.x, quad.y));
        flat = flat && Flat(toClip);
        const TQuadCorners corners = quad.Corners();
        for (size_t i = 0; i < corners.size(); ++i) {
            TVertex& vertex = vertices_.emplace_back();
            Transform(toClip, static_cast<float>(corners[i].x), static_cast<float>(corners[i].y), vertex.clip);
            vertex.texCoord[0] = kTexCoord[i][0];
            vertex.texCoord[1] = kTexCoord[i][1];
            vertex.rgba = quad.rgba;
        }
    }
    if (!flat) {
        // Matrices that are not a 2-D view's leave depth or perspective to the
        // driver: drawn the ordinary way.
        DrawOneByOne();
    } else {
        // The corners arrive as clip coordinates, so both matrices are
        // identities while they are drawn. The positions have two components,
        // leaving the driver its own z of 0 and w of 1 (given explicitly, a
        // few pixels came out a step apart on llvmpipe).
        glMatrixMode(GL_PROJECTION);
        glPushMatrix();
        glLoadIdentity();
        glMatrixMode(GL_MODELVIEW);
        glPushMatrix();
        glLoadIdentity();
        constexpr GLsizei kStride = sizeof(TVertex);
        glEnableClientState(GL_VERTEX_ARRAY);
        glEnableClientState(GL_TEXTURE_COORD_ARRAY);
        glEnableClientState(GL_COLOR_ARRAY);
        glVertexPointer(2, GL_FLOAT, kStride, vertices_[0].clip);
        glTexCoordPointer(2, GL_FLOAT, kStride, vertices_[0].texCoord);
        glColorPointer(4, GL_FLOAT, kStride, vertices_[0].rgba.data());
        // One draw of four corners per quad, all in one call: the driver
        // rasterises each quad as it rasterises a quad drawn alone, so the
        // pixels stay exactly as they were (a single draw of them all came
        // out a step apart in a few pixels on llvmpipe).
        glMultiDrawArrays(GL_QUADS, firsts_.data(), counts_.data(), static_cast<GLsizei>(quads_.size()));
        glDisableClientState(GL_COLOR_ARRAY);
        glDisableClientState(GL_TEXTURE_COORD_ARRAY);
        glDisableClientState(GL_VERTEX_ARRAY);
        // Back to GL's defaults: pointers left into this batch made llvmpipe
        // slow down the display lists drawn after it (the text).
        glVertexPointer(4, GL_FLOAT, 0, nullptr);
        glTexCoordPointer(4, GL_FLOAT, 0, nullptr);
        glColorPointer(4, GL_FLOAT, 0, nullptr);
        glPopMatrix();
        glMatrixMode(GL_PROJECTION);
        glPopMatrix();
        glMatrixMode(GL_MODELVIEW);
    }
    glColor4fv(quads_.back().rgba.data());
    quads_.clear();
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
