// The texture manager: owns every OpenGL 2-D texture of the engine and the game.
//
// Words: a "handle" is the GL texture name, 0 meaning none or failed. Textures
// are shared by name (case-sensitive) with a reference count. A "group" is a
// caller-chosen bit mask; a mask matches a record when (group & mask) > 0, and
// the mask -1 matches every record. Drawing with handle 0 or a dead handle binds
// the built-in placeholder (a white frame and cross). Loads never throw: a bad
// file gives 0 and one "Texture : Error Loading ..." line.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace qx {

class TTex {
public:
    TTex();
    ~TTex();
    TTex(const TTex&) = delete;
    TTex& operator=(const TTex&) = delete;

    // A texture from pixels (rows tightly packed); an existing name is shared.
    [[nodiscard]] uint32_t Create(const std::string& name, int32_t components, uint32_t format, int32_t width,
                    int32_t height, const void* pixels, bool clamp, bool mipMap, int32_t group);
    // A texture from an image file (TGA, BMP, JPG, GIF); 0 on failure.
    [[nodiscard]] uint32_t Load(const std::string& fileName, bool clamp, bool mipMap, int32_t group);
    [[nodiscard]] uint32_t LoadFromMem(const std::string& name, const void* memory, size_t size, bool clamp, bool mipMap,
                         int32_t group);
    // Decodes without uploading; the caller frees pixels with FreeData.
    [[nodiscard]] bool LoadData(const std::string& fileName, int32_t& width, int32_t& height, int32_t& bpp, uint8_t*& pixels);
    [[nodiscard]] bool LoadDataFromMem(const std::string& name, const void* memory, size_t size, int32_t& width,
                         int32_t& height, int32_t& bpp, uint8_t*& pixels);
    void FreeData(uint8_t*& pixels);     // sets pixels to null
    void Delete(uint32_t handle);        // drops one reference
    void Enable(uint32_t handle, int32_t unit);  // unit 0..16; 0 binds the placeholder
    void Disable(int32_t unit);
    void MarkGroup(int32_t mask);
    void PurgeGroup(int32_t mask);
    void Filter(int32_t mode, int32_t mask);     // 0 nearest .. 3 anisotropic
    void RenderCopy(uint32_t handle, int32_t x, int32_t y, int32_t width, int32_t height, int32_t format,
                    int32_t level);
    bool RenderInit(int32_t size);               // 0 frees the render target
    void RenderBegin(uint32_t handle, int32_t mode); // 1 colour, 2 depth
    void RenderEnd();

    // ---- Engine side ----
    [[nodiscard]] bool TexInit(); // once the context is current: makes the placeholder

    // ---- Inspection (engine and tests) ----
    static constexpr int32_t kUnits = 17;        // texture units 0..16
    uint32_t DefaultTexture() const;             // the placeholder, 0 before TexInit
    uint32_t BoundTex(int32_t unit) const;       // last texture bound on a unit by this manager
    int32_t RefCount(uint32_t handle) const;     // -1 when the handle has no record
    int32_t Count() const;                       // number of texture records

private:
    // One live texture. Records are unordered: a deletion moves the last one into the hole.
    struct TTexData {
        uint32_t ID = 0;
        uint32_t Width = 0;
        uint32_t Height = 0;
        int32_t Ref = 1;
        int32_t Group = 0;
        bool Marked = false;
        bool MipMap = false;
        std::string Name; // empty for nameless textures, which are never shared
    };

    uint32_t Find(const std::string& name);
    uint32_t AddTexture(const std::string& name, const void* pixels, int32_t width, int32_t height,
                        int32_t internalFormat, uint32_t format, bool clamp, bool mipMap, int32_t group);
    uint32_t LoadDecoded(const std::string& name, bool fromMemory, const void* memory, size_t size,
                         bool clamp, bool mipMap, int32_t group);
    void RemoveRecord(size_t index);
    void ForgetBinding(uint32_t handle);
    void SettleUnit0();

    std::vector<TTexData> records_;
    std::array<uint32_t, kUnits> boundTex_{};
    uint32_t defaultTexture_ = 0;
    bool contextReady_ = false;   // TexInit has run: GL calls are allowed
    uint32_t frameBuffer_ = 0;
    uint32_t depthBuffer_ = 0;
    uint8_t attached_ = 0;        // bit 0: colour attachment, bit 1: depth attachment
};

} // namespace qx
