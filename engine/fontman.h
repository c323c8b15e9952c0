// The bitmap-font manager: turns installed font faces into textured fonts and
// draws single-byte text with them.
//
// Words: a "font id" is the index in the font table; id 0 is the engine's
// default font, and ids of freed fonts are reused. Each font is one square
// "atlas" texture of 16 x 16 cells (texSize / 16 pixels each; code c sits in
// column c mod 16, row c div 16 from the top), white glyphs with the coverage in
// alpha, and 256 display lists that draw one character and advance the pen by
// its width. Characters 128-255 follow code page 1251. Faces are matched by
// fontconfig, so an unknown face gives a substitute: FontCreate never fails
// (with no usable face at all it still returns an id whose glyphs are empty).
// Texts end at their first zero byte. An invalid id draws nothing, measures 0.
//
// Scale: on a dense screen the caller draws in logical pixels, each covering
// scale x scale device pixels. The atlases are then rasterised at the font's
// size times the scale (texSize times the scale on a side), so text stays
// sharp, while every width, line height and quad stays in logical pixels and
// equal to its scale-1 value: a layout measured at one scale holds at all.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace qx {

// One font; the table keeps these.
struct TFontData {
    uint32_t Texture = 0;          // atlas texture handle of the texture manager
    std::string Name;              // the face name given at creation
    uint32_t ListBase = 0;         // list ListBase + c draws character c
    int32_t Height = 0;             // line height in pixels
    std::array<int32_t, 256> Widths{}; // advance width in pixels per character code
    // What it was made from, to rasterise it again at another scale.
    int32_t Size = 0;              // points
    bool Bold = false;
    int32_t TexSize = 0;           // logical atlas side; the texture is TexSize x AtlasScale texels
    int32_t AtlasScale = 1;        // atlas texels per logical pixel
};

class TFontMan {
public:
    // Reads the system's font configuration; makes no OpenGL call.
    TFontMan();
    ~TFontMan(); // frees every font (needs the context still current)
    TFontMan(const TFontMan&) = delete;
    TFontMan& operator=(const TFontMan&) = delete;

    // Adds a fontconfig file of the caller's (its face-name mapping) for the
    // fonts made from now on. False, with an "OpenGL  : " line, when the file
    // cannot be read; the fonts then come from the system's configuration.
    bool LoadConfig(const std::string& file);

    // ---- Fonts (the context must be current) ----
    // A font of face at size points (96 dpi), atlas texSize x texSize pixels;
    // returns its id, the first free slot of the table.
    [[nodiscard]] int32_t FontCreate(const std::string& face, int32_t size, bool bold, int32_t texSize);
    // Frees the font; an id out of range or of an empty slot is ignored.
    void FontFree(int32_t id);
    // Logical pixels drawn with scale x scale device pixels (1..16, clamped):
    // rasterises every font again at the new scale, keeping ids, widths and
    // line heights; fonts made later follow it too. An atlas never exceeds
    // 8192 texels a side, so a large atlas may get a smaller scale.
    void SetScale(int32_t scale);
    int32_t Scale() const;

    // ---- Text ----
    // Sum of the advance widths of the text's characters, markup counted as glyphs.
    int32_t TextLen(int32_t id, const std::string& text) const;
    // Draws the text with its top-left corner at (x, y), characters as they stand.
    void TextOut(int32_t id, const std::string& text, float x, float y);
    // Draws the text at (x, y) interpreting colour codes and line breaks.
    void TextOutEx(int32_t id, const std::string& text, float x, float y);

    // The font of an id, or null for an invalid id (for inspection and tests).
    const TFontData* Font(int32_t id) const;
    // Number of slots in the font table, empty ones included.
    int32_t Count() const;
    // The font file a face name maps to (after the game's own mapping); empty
    // when no face at all is installed.
    std::string FaceFile(const std::string& face, bool bold) const;

private:
    struct TFaceLibrary;
    // Rasterises the font's glyphs at scale_ into a new atlas texture and sets
    // its widths and line height (the scale-1 metrics).
    void Rasterise(int32_t id, TFontData& font);

    int32_t scale_ = 1;
    std::unique_ptr<TFaceLibrary> library_;
    std::vector<std::unique_ptr<TFontData>> fonts_;
};

} // namespace qx
