// The bitmap-font manager: fontconfig picks the face file, FreeType rasterises
// the 256 characters into the atlas, OpenGL display lists draw them.
#include "engine/fontman.h"

#include <GL/gl.h>
#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_SYNTHESIS_H
#include FT_TRUETYPE_TABLES_H

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <system_error>
#include <type_traits>

#include "engine/cp1251.h"
#include "engine/engine.h"

namespace qx {

namespace {


constexpr uint8_t kPalette[8][3] = {
    {0, 0, 0}, {255, 0, 0}, {0, 255, 0}, {255, 255, 0}, {0, 0, 255}, {255, 0, 255}, {0, 255, 255}, {255, 255, 255},
};

constexpr double kDpi = 96.0;

uint32_t CodePoint(int c) { return Cp1251ToUnicode(static_cast<uint8_t>(c)); }

// Texts are zero-terminated for the font code: anything after a zero byte is ignored.
size_t TextLength(const std::string& text) {
    const size_t zero = text.find('\0');
    return zero == std::string::npos ? text.size() : zero;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    // Deliberately unvalidated: any other character counts as its upper-case code minus 55.
    const unsigned char upper = static_cast<unsigned char>(c >= 'a' && c <= 'z' ? c - 32 : c);
    return upper - 55;
}

uint8_t HexByte(char high, char low) { return static_cast<uint8_t>(HexDigit(high) * 16 + HexDigit(low)); }


// Line height as the face's screen metrics give it: the OS/2 table's "win"
// ascent and descent when the face has them, else FreeType's scaled metrics.
void LineMetrics(FT_Face face, int pixelSize, int& ascent, int& height) {
    const auto* os2 = static_cast<const TT_OS2*>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2));
    if (os2 && face->units_per_EM > 0 && os2->usWinAscent + os2->usWinDescent > 0) {
        const double scale = static_cast<double>(pixelSize) / face->units_per_EM;
        ascent = static_cast<int>(std::lround(os2->usWinAscent * scale));
        height = ascent + static_cast<int>(std::lround(os2->usWinDescent * scale));
    } else {
        ascent = static_cast<int>(face->size->metrics.ascender >> 6);
        height = ascent + static_cast<int>((-face->size->metrics.descender) >> 6);
    }
    if (height <= 0) height = pixelSize;
}

// Copies a rendered glyph into the top-down coverage image, clipped to the image.
void Blit(const FT_Bitmap& bitmap, int left, int top, std::vector<uint8_t>& coverage, int texSize) {
    const int rows = static_cast<int>(bitmap.rows);
    const int cols = static_cast<int>(bitmap.width);
    const int pitch = bitmap.pitch;
    for (int r = 0; r < rows; ++r) {
        const int y = top + r;
        if (y < 0 || y >= texSize) continue;
        const uint8_t* row = pitch >= 0 ? bitmap.buffer + static_cast<ptrdiff_t>(r) * pitch
                                        : bitmap.buffer + static_cast<ptrdiff_t>(rows - 1 - r) * -pitch;
        for (int col = 0; col < cols; ++col) {
            const int x = left + col;
            if (x < 0 || x >= texSize) continue;
            uint8_t value = 0;
            if (bitmap.pixel_mode == FT_PIXEL_MODE_MONO)
                value = (row[col >> 3] & (0x80 >> (col & 7))) ? 255 : 0;
            else if (bitmap.pixel_mode == FT_PIXEL_MODE_GRAY)
                value = row[col];
            uint8_t& texel = coverage[static_cast<size_t>(y) * texSize + x];
            texel = std::max(texel, value);
        }
    }
}

// Sets up the state every text draw shares; the caller pops the attributes.
void BeginText(uint32_t texture, float x, float y, GLint& matrixMode) {
    glPushAttrib(GL_ENABLE_BIT);
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_CULL_FACE);
    glDisable(GL_LIGHTING);
    glEnable(GL_ALPHA_TEST);
    glAlphaFunc(GL_GEQUAL, 0.003921569f);
    if (ogl) ogl->Blend(kBlendAlpha);
    if (tex) tex->Enable(texture, 0);
    glGetIntegerv(GL_MATRIX_MODE, &matrixMode);
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glTranslatef(x, y, 0.0f);
}

void EndText(GLint matrixMode) {
    glPopMatrix();
    glMatrixMode(static_cast<GLenum>(matrixMode));
    glPopAttrib();
}

// Owners of a FreeType face and a fontconfig pattern, freed however the
// function that made them leaves.
struct TFaceCloser {
    void operator()(FT_Face face) const { FT_Done_Face(face); }
};
using TFaceHandle = std::unique_ptr<std::remove_pointer_t<FT_Face>, TFaceCloser>;
struct TPatternCloser {
    void operator()(FcPattern* pattern) const { FcPatternDestroy(pattern); }
};
using TPattern = std::unique_ptr<FcPattern, TPatternCloser>;

} // namespace

struct TFontMan::TFaceLibrary {
    FT_Library freetype = nullptr;
    FcConfig* config = nullptr;

    TFaceLibrary() {
        if (FT_Init_FreeType(&freetype) != 0) freetype = nullptr;
        config = FcInitLoadConfigAndFonts();
    }
    ~TFaceLibrary() {
        if (config) FcConfigDestroy(config);
        if (freetype) FT_Done_FreeType(freetype);
    }
    TFaceLibrary(const TFaceLibrary&) = delete;
    TFaceLibrary& operator=(const TFaceLibrary&) = delete;

    // The face file fontconfig picks for the name (its substitute when the name
    // is unknown); empty when nothing at all matches.
    std::string Match(const std::string& face, bool bold, double pixelSize, int& index, bool& embolden) const {
        index = 0;
        embolden = false;
        if (!config) return {};
        const TPattern pattern(FcPatternCreate());
        if (!pattern) return {};
        FcPatternAddString(pattern.get(), FC_FAMILY, reinterpret_cast<const FcChar8*>(face.c_str()));
        FcPatternAddInteger(pattern.get(), FC_WEIGHT, bold ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
        FcPatternAddInteger(pattern.get(), FC_SLANT, FC_SLANT_ROMAN);
        FcPatternAddDouble(pattern.get(), FC_PIXEL_SIZE, pixelSize);
        FcConfigSubstitute(config, pattern.get(), FcMatchPattern);
        FcDefaultSubstitute(pattern.get());
        FcResult result = FcResultNoMatch;
        const TPattern match(FcFontMatch(config, pattern.get(), &result));
        if (!match) return {};
        std::string file;
        FcChar8* path = nullptr;
        if (FcPatternGetString(match.get(), FC_FILE, 0, &path) == FcResultMatch && path)
            file = reinterpret_cast<const char*>(path);
        FcPatternGetInteger(match.get(), FC_INDEX, 0, &index);
        FcBool synthetic = FcFalse;
        if (FcPatternGetBool(match.get(), FC_EMBOLDEN, 0, &synthetic) == FcResultMatch) embolden = synthetic;
        return file;
    }
};

TFontMan::TFontMan() : library_(std::make_unique<TFaceLibrary>()) {}

bool TFontMan::LoadConfig(const std::string& file) {
    std::error_code error;
    const bool loaded = library_->config && std::filesystem::is_regular_file(file, error) &&
                        FcConfigParseAndLoad(library_->config, reinterpret_cast<const FcChar8*>(file.c_str()), FcFalse);
    if (!loaded && log) log->Print("OpenGL  : Can't read font configuration " + file);
    return loaded;
}

TFontMan::~TFontMan() {
    for (int32_t id = 0; id < Count(); ++id) FontFree(id);
}

int32_t TFontMan::FontCreate(const std::string& face, int32_t size, bool bold, int32_t texSize) {
    int32_t id = 0;
    while (id < Count() && fonts_[id]) ++id;
    if (id == Count()) fonts_.emplace_back();
    fonts_[id] = std::make_unique<TFontData>();
    TFontData& font = *fonts_[id];
    font.Name = face;
    font.Size = size;
    font.Bold = bold;
    // The atlas must hold 16 x 16 cells of at least one pixel; sizes beyond any
    // texture a driver takes would only waste memory.
    font.TexSize = std::clamp(texSize, 16, 8192);
    Rasterise(id, font);

    font.ListBase = glGenLists(256);
    // Texture coordinates are fractions of the atlas side, so the lists are the
    // same whatever scale the atlas was rasterised at.
    const float side = static_cast<float>(font.TexSize);
    for (int c = 0; c < 256; ++c) {
        const float tx = static_cast<float>(c % 16) / 16.0f;
        const float ty = static_cast<float>(c / 16) / 16.0f;
        const float cx = static_cast<float>(font.Widths[c]);
        const float cy = static_cast<float>(font.Height);
        if (font.ListBase == 0) continue;
        glNewList(font.ListBase + c, GL_COMPILE);
        glBegin(GL_QUADS);
        glTexCoord2f(tx, 1.0f - ty);
        glVertex2f(0.0f, 0.0f);
        glTexCoord2f(tx + cx / side, 1.0f - ty);
        glVertex2f(cx, 0.0f);
        glTexCoord2f(tx + cx / side, 1.0f - ty - cy / side);
        glVertex2f(cx, cy);
        glTexCoord2f(tx, 1.0f - ty - cy / side);
        glVertex2f(0.0f, cy);
        glEnd();
        glTranslatef(cx, 0.0f, 0.0f);
        glEndList();
    }
    return id;
}

void TFontMan::Rasterise(int32_t id, TFontData& font) {
    const int texSize = font.TexSize;
    const int cell = texSize / 16;
    // A point size at the logical 96 pixels per inch, rounded as the character
    // height was always computed.
    const int pixelSize =
        std::clamp(static_cast<int>(std::lround(std::llabs(static_cast<long long>(font.Size)) * kDpi / 72.0)), 1, 1024);
    const int scale = std::clamp(scale_, 1, 8192 / texSize);

    std::vector<uint8_t> coverage(static_cast<size_t>(texSize) * texSize, 0);
    std::array<int, 256> widths{};
    int lineHeight = pixelSize;
    int ascent = 0;

    int index = 0;
    bool embolden = false;
    const std::string file = library_->Match(font.Name, font.Bold, pixelSize, index, embolden);
    TFaceHandle ftFace;
    FT_Face opened = nullptr;
    if (library_->freetype && !file.empty() && FT_New_Face(library_->freetype, file.c_str(), index, &opened) == 0)
        ftFace.reset(opened);
    // Renders every glyph with the baseline `baseline` below its cell's top edge
    // (cells of cellSize texels); records the advance widths when asked.
    const auto renderGlyphs = [&](int cellSize, int baseline, std::vector<uint8_t>& target, int targetSize,
                                  std::array<int, 256>* advances) {
        for (int c = 0; c < 256; ++c) {
            if (FT_Load_Char(ftFace.get(), CodePoint(c), FT_LOAD_DEFAULT) != 0) continue;
            FT_GlyphSlot slot = ftFace->glyph;
            if (embolden) FT_GlyphSlot_Embolden(slot);
            if (advances) (*advances)[c] = static_cast<int>((slot->advance.x + 32) >> 6);
            if (FT_Render_Glyph(slot, FT_RENDER_MODE_NORMAL) != 0) continue;
            // The cell's top edge is the top of the line.
            Blit(slot->bitmap, cellSize * (c % 16) + slot->bitmap_left,
                 cellSize * (c / 16) + baseline - slot->bitmap_top, target, targetSize);
        }
    };
    const bool faceReady = ftFace && FT_Set_Pixel_Sizes(ftFace.get(), 0, static_cast<FT_UInt>(pixelSize)) == 0;
    if (faceReady) {
        LineMetrics(ftFace.get(), pixelSize, ascent, lineHeight);
        renderGlyphs(cell, ascent, coverage, texSize, &widths);
    }

    // A scaled atlas: the glyphs rendered again at the scaled size on the
    // scaled scale-1 baseline, so they sit where the scale-1 metrics put them;
    // a face that has no such size gets its scale-1 glyphs enlarged.
    int atlasSize = texSize;
    if (scale > 1) {
        atlasSize = texSize * scale;
        std::vector<uint8_t> scaled(static_cast<size_t>(atlasSize) * atlasSize, 0);
        if (faceReady && FT_Set_Pixel_Sizes(ftFace.get(), 0, static_cast<FT_UInt>(pixelSize * scale)) == 0) {
            renderGlyphs(cell * scale, ascent * scale, scaled, atlasSize, nullptr);
        } else {
            for (int y = 0; y < atlasSize; ++y)
                for (int x = 0; x < atlasSize; ++x)
                    scaled[static_cast<size_t>(y) * atlasSize + x] =
                        coverage[static_cast<size_t>(y / scale) * texSize + x / scale];
        }
        coverage.swap(scaled);
    }
    ftFace.reset(); // the glyphs are in the coverage now

    // Luminance-alpha texels, white with the coverage in alpha, rows bottom-up so
    // that t = 1 is the top of the atlas.
    std::vector<uint8_t> atlas(static_cast<size_t>(atlasSize) * atlasSize * 2);
    for (int y = 0; y < atlasSize; ++y) {
        const uint8_t* source = coverage.data() + static_cast<size_t>(y) * atlasSize;
        uint8_t* target = atlas.data() + static_cast<size_t>(atlasSize - 1 - y) * atlasSize * 2;
        for (int x = 0; x < atlasSize; ++x) {
            target[x * 2] = 255;
            target[x * 2 + 1] = source[x];
        }
    }
    // Textures of one name are shared, so a scaled atlas carries the scale in
    // its name: it must never be taken for the scale-1 atlas of another font
    // manager's font of the same id.
    std::string name = "*Font_" + font.Name + "_" + IntToStr(id);
    if (scale > 1) name += "_x" + IntToStr(scale);
    name += "*";
    if (tex && font.Texture != 0) tex->Delete(font.Texture);
    font.Texture = 0;
    if (tex) font.Texture = tex->Create(name, 2, GL_LUMINANCE_ALPHA, atlasSize, atlasSize, atlas.data(), true, false, 0);
    font.AtlasScale = scale;
    font.Height = lineHeight;
    for (int c = 0; c < 256; ++c) font.Widths[c] = widths[c];
}

void TFontMan::SetScale(int32_t scale) {
    scale = std::clamp(scale, 1, 16);
    if (scale == scale_) return;
    scale_ = scale;
    for (int32_t id = 0; id < Count(); ++id)
        if (fonts_[id]) Rasterise(id, *fonts_[id]);
}

int32_t TFontMan::Scale() const { return scale_; }

void TFontMan::FontFree(int32_t id) {
    if (id < 0 || id >= Count() || !fonts_[id]) return;
    TFontData& font = *fonts_[id];
    if (tex) tex->Delete(font.Texture);
    if (font.ListBase != 0) glDeleteLists(font.ListBase, 256);
    fonts_[id].reset();
}

const TFontData* TFontMan::Font(int32_t id) const {
    if (id < 0 || id >= Count()) return nullptr;
    return fonts_[id].get();
}

int32_t TFontMan::Count() const { return static_cast<int32_t>(fonts_.size()); }

std::string TFontMan::FaceFile(const std::string& face, bool bold) const {
    int index = 0;
    bool embolden = false;
    return library_->Match(face, bold, 16.0, index, embolden);
}

int32_t TFontMan::TextLen(int32_t id, const std::string& text) const {
    const TFontData* font = Font(id);
    if (!font) return 0;
    int32_t width = 0;
    const size_t length = TextLength(text);
    for (size_t i = 0; i < length; ++i) width += font->Widths[static_cast<uint8_t>(text[i])];
    return width;
}

void TFontMan::TextOut(int32_t id, const std::string& text, float x, float y) {
    const TFontData* font = Font(id);
    if (!font) return;
    GLint matrixMode = GL_MODELVIEW;
    BeginText(font->Texture, x, y, matrixMode);
    glListBase(font->ListBase);
    glCallLists(static_cast<GLsizei>(TextLength(text)), GL_UNSIGNED_BYTE, text.data());
    EndText(matrixMode);
}

void TFontMan::TextOutEx(int32_t id, const std::string& text, float x, float y) {
    const TFontData* font = Font(id);
    if (!font) return;
    GLint matrixMode = GL_MODELVIEW;
    BeginText(font->Texture, x, y, matrixMode);
    glPushMatrix(); // the start of the current line
    const size_t length = TextLength(text);
    size_t i = 0;
    while (i < length) {
        const char c = text[i];
        if (c != '^') {
            glCallList(font->ListBase + static_cast<uint8_t>(c));
            ++i;
            continue;
        }
        if (i + 1 >= length) break; // a trailing caret is dropped
        const char code = text[i + 1];
        if (code == '-') {
            glPopMatrix();
            glTranslatef(0.0f, static_cast<float>(font->Height), 0.0f);
            glPushMatrix();
            i += 2;
        } else if (code >= '0' && code <= '7') {
            const uint8_t* rgb = kPalette[code - '0'];
            glColor3ub(rgb[0], rgb[1], rgb[2]);
            i += 2;
        } else if (code == 'x' || code == 'X') {
            // Six digits must follow; a text that ends within them ends here.
            if (i + 8 <= length)
                glColor3ub(HexByte(text[i + 2], text[i + 3]), HexByte(text[i + 4], text[i + 5]),
                           HexByte(text[i + 6], text[i + 7]));
            i += 8;
        } else {
            ++i; // only the caret is skipped; the next character draws as text
        }
    }
    glPopMatrix();
    EndText(matrixMode);
}

} // namespace qx
