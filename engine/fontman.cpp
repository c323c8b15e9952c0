// The bitmap-font manager (first cut: empty table, every id invalid).
#include "engine/fontman.h"

namespace qx {

struct TFontMan::TFaceLibrary {};

TFontMan::TFontMan() = default;
TFontMan::~TFontMan() = default;
int32_t TFontMan::FontCreate(const std::string&, int32_t, bool, int32_t) { return 0; }
void TFontMan::FontFree(int32_t) {}
int32_t TFontMan::TextLen(int32_t, const std::string&) const { return 0; }
void TFontMan::TextOut(int32_t, const std::string&, float, float) {}
void TFontMan::TextOutEx(int32_t, const std::string&, float, float) {}
const TFontData* TFontMan::Font(int32_t) const { return nullptr; }
int32_t TFontMan::Count() const { return static_cast<int32_t>(fonts_.size()); }

} // namespace qx
