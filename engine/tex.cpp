// The texture manager.
#include "engine/tex.h"

namespace qx {

TTex::TTex() = default;
TTex::~TTex() = default;
uint32_t TTex::Create(const std::string&, int32_t, uint32_t, int32_t, int32_t, const void*, bool, bool, int32_t) { return 0; }
uint32_t TTex::Load(const std::string&, bool, bool, int32_t) { return 0; }
uint32_t TTex::LoadFromMem(const std::string&, const void*, size_t, bool, bool, int32_t) { return 0; }
bool TTex::LoadData(const std::string&, int32_t&, int32_t&, int32_t&, uint8_t*& pixels) { pixels = nullptr; return false; }
bool TTex::LoadDataFromMem(const std::string&, const void*, size_t, int32_t&, int32_t&, int32_t&, uint8_t*& pixels) { pixels = nullptr; return false; }
void TTex::FreeData(uint8_t*& pixels) { pixels = nullptr; }
void TTex::Delete(uint32_t) {}
void TTex::Enable(uint32_t, int32_t) {}
void TTex::Disable(int32_t) {}
void TTex::MarkGroup(int32_t) {}
void TTex::PurgeGroup(int32_t) {}
void TTex::Filter(int32_t, int32_t) {}
void TTex::RenderCopy(uint32_t, int32_t, int32_t, int32_t, int32_t, int32_t, int32_t) {}
bool TTex::RenderInit(int32_t) { return false; }
void TTex::RenderBegin(uint32_t, int32_t) {}
void TTex::RenderEnd() {}
bool TTex::TexInit() { return false; }

} // namespace qx
