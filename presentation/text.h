// Coloured text markup and the small drawing helpers shared by every scene:
// stripping and measuring marked-up text, drawing it at whole pixels, substring
// search and extraction for server replies, number formatting, textured quads,
// the one software mouse cursor of the game, and the view: the size and scale
// of the logical pixels the 2-D scenes are laid out in.
//
// Markup: "^0".."^7" pick a palette colour, "^-" breaks the line, "^x"/"^X"
// plus six hex digits pick any colour; a caret before anything else is
// dropped. Positions in FindFrom/ExtractBetween are 1-based, 0 meaning "none".
// Nothing here fails: bad positions and truncated codes give empty or shorter
// results, never a read past the text.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "presentation/tools.h"

// ---- Markup and text ----
[[nodiscard]] std::string StripMarkup(std::string_view text);     // the text without its markup
[[nodiscard]] int32_t MarkupWidth(int32_t font, std::string_view text); // pixel width of the stripped text
void DrawText(int32_t font, const std::string& text, double x, double y); // at whole pixels, halves to even
// 1-based position of pattern in text at or after start; 0 when absent or pattern is empty.
[[nodiscard]] int32_t FindFrom(std::string_view pattern, std::string_view text, int32_t start);
// Cuts out the text between startDelim (searched from pos; skipped when empty)
// and endDelim; pos is left at the start of the piece, out empty when no end.
void ExtractBetween(std::string_view startDelim, std::string_view text, std::string_view endDelim,
                    int32_t& pos, std::string& out);
std::string FloatText(int32_t width, int32_t decimals, double value); // "12.50", left-padded to width
std::string IntText(int32_t value, int32_t width);                     // left-padded to width
// Appends FloatText/IntText to out; with capacity reserved beforehand nothing is allocated.
void AppendFloatText(std::string& out, int32_t width, int32_t decimals, double value);
void AppendIntText(std::string& out, int32_t value, int32_t width);

// ---- Quads (current texture and colour; the model-view matrix is restored) ----
// Every textured quad goes through EmitQuad: corners from the top left,
// clockwise on screen, getting texture (0,0), (1,0), (1,1), (0,1) in turn.
using TQuadCorners = std::array<Vec2, 4>;
void EmitQuad(uint32_t mode, const TQuadCorners& corners); // one glBegin(mode) .. glEnd
void DrawQuad(uint32_t mode, double x, double y, double width, double height); // top-left at (x, y)
void DrawQuadRot(double x, double y, double width, double height, double angle); // centred, angle in degrees

// Many quads that are each only moved (DrawQuad's, or DrawQuadRot's at angle
// 0), drawn with the current texture and blending in one vertex-array call
// instead of a glBegin .. glEnd and a matrix change each: on a software
// renderer the per-draw cost was most of a frame. Each corner is taken
// through the model-view and projection matrices on the CPU with the
// single-precision products and sums, in the order, of the fixed-function
// transform; a moved 2-D quad's matrices hold zeros wherever that order could
// otherwise matter, so every corner lands where quad-by-quad drawing puts it
// and the pixels are the same. Colours are per quad, as glColor would set
// them. The room is fixed at construction: adding nothing allocates, and a
// full batch is drawn before more is added.
using TRGBA = std::array<float, 4>;
[[nodiscard]] TRGBA GLColorOf(uint32_t packed); // a packed colour as glColor4ub makes it
class TQuadBatch {
public:
    explicit TQuadBatch(size_t capacity);
    // As DrawQuad(GL_QUADS, x, y, width, height) under colour rgba.
    void AddQuad(double x, double y, double width, double height, const TRGBA& rgba);
    // As DrawQuadRot(x, y, width, height, 0) under colour rgba.
    void AddCentred(double x, double y, double width, double height, const TRGBA& rgba);
    // Draws the quads added since the last Draw, then forgets them. The
    // matrices are as before; the current colour is the last quad's, as after
    // drawing them one by one.
    void Draw();
    [[nodiscard]] bool Empty() const { return quads_.empty(); }

private:
    struct TQuad {
        float x, y;                     // the move, as glTranslated hands it to the driver
        float left, top, right, bottom; // the corners before it
        TRGBA rgba;
        TQuadCorners Corners() const { return {{{left, top}, {right, top}, {right, bottom}, {left, bottom}}}; }
    };
    struct TVertex {
        float clip[2]; // x and y; a 2-D view's z and w are 0 and 1
        float texCoord[2];
        TRGBA rgba;
    };
    void Add(const TQuad& quad);
    void DrawOneByOne() const; // through the matrices, for views that are not 2-D
    std::vector<TQuad> quads_;
    std::vector<TVertex> vertices_;
    std::vector<int32_t> firsts_, counts_; // each quad's first corner and corner count, for the one call
};

// ---- The shared cursor (view pixels, y down; the hot spot is the top-left corner) ----
void SetCursor(double x, double y);
Vec2 GetCursor();
bool CursorMoved();            // the mouse moved during this update step
// Once per step: adds the mouse motion (device pixels, so divided by the view
// scale), clamps to 0..ViewWidth, 0..ViewHeight.
void UpdateCursor();
void DrawCursor(uint32_t texture); // a 32 x 32 quad, blending on, texturing off afterwards

// ---- The view: what the 2-D scenes are laid out and drawn in ----
// View pixels are logical: each covers scale x scale pixels of the window, so
// a dense screen shows the same picture with more pixels. The view's size is
// the window's client size divided by the scale (rounded down), unless
// SetViewSize gave another (tests without a window); 0, 0 restores it.
void SetViewSize(int32_t width, int32_t height);
int32_t ViewWidth();
int32_t ViewHeight();
// The scale, 1..16 (clamped); also rasterises the fonts at it. 1 until set.
void SetViewScale(int32_t scale);
int32_t ViewScale();
// The 2-D projection in view pixels over the whole client area (ogl->Set2D);
// at scale 1 that is the client size itself.
void SetViewProjection();
