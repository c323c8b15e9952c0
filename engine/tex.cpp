// The texture manager.
#include "engine/tex.h"

#include <GL/gl.h>
#include <GL/glext.h>

#include <cstdlib>
#include <exception>
#include <string>
#include <vector>

#include "engine/engine.h"
#include "engine/image_internal.h"
#include "engine/ogl_ext_internal.h"

namespace qx {

namespace {

const std::string kTag = "Texture : ";

// Makes a texture unit the active one; without multitexture there is only
// unit 0, already active.
void SelectUnit(int32_t unit) {
    if (GLExt.glActiveTextureARB) GLExt.glActiveTextureARB(GL_TEXTURE0 + unit);
}

void Say(const std::string& message) {
    if (log) log->Print(kTag + message);
}

bool IsTgaName(const std::string& name) { return LowerCase(ExtractFileExt(name)) == "tga"; }

// Decodes a file (no memory given) or a block of memory by the name's
// extension; a failure is logged once here.
bool Decode(const std::string& name, const void* memory, size_t size, bool fromMemory, image::TDecoded& out) {
    bool ok = false;
    if (IsTgaName(name)) ok = fromMemory ? image::LoadTgaMem(memory, size, out) : image::LoadTgaFile(name, out);
    else ok = fromMemory ? image::LoadPictureMem(memory, size, out) : image::LoadPictureFile(name, out);
    if (!ok) Say("Error Loading \"" + name + "\"");
    return ok;
}

// Gives a decode's result to the caller's outs; the caller owns the pixels.
bool HandOver(bool ok, image::TDecoded& decoded, int32_t& width, int32_t& height, int32_t& bpp, uint8_t*& pixels) {
    width = decoded.width;
    height = decoded.height;
    bpp = decoded.bpp;
    pixels = decoded.pixels.release();
    return ok;
}

bool Matches(int32_t group, int32_t mask) { return mask == -1 || (group & mask) > 0; }

// Bytes per pixel of an upload whose mip levels we build ourselves: the pixel
// format must carry exactly the channels the internal format stores, so that
// filtering the caller's bytes is filtering the stored texels. 0 otherwise.
int32_t OwnMipPixelBytes(int32_t internalFormat, uint32_t format) {
    switch (format) {
    case GL_BGRA: case GL_RGBA: return internalFormat == GL_RGBA8 || internalFormat == 4 ? 4 : 0;
    case GL_BGR: case GL_RGB: return internalFormat == GL_RGB8 || internalFormat == 3 ? 3 : 0;
    case GL_LUMINANCE_ALPHA: return internalFormat == GL_LUMINANCE8_ALPHA8 || internalFormat == 2 ? 2 : 0;
    case GL_LUMINANCE: return internalFormat == GL_LUMINANCE8 || internalFormat == 1 ? 1 : 0;
    default: return 0;
    }
}

bool PowerOfTwo(int32_t n) { return n > 0 && (n & (n - 1)) == 0; }

// Halfway between two texels as the software renderer's bilinear filter has
// it: 8-bit fixed-point weights, rounded half up.
inline uint8_t Half(int32_t a, int32_t b) { return static_cast<uint8_t>(a + (((b - a) * 128 + 128) >> 8)); }

// One mip level from the one above (width x height, both powers of two), each
// texel the filter's blend of its 2x2 block: along the row first, then
// between the rows. A side of 1 stays 1 and blends only along the other.
// May work in place (out == in): every texel is written after its block is read.
void HalveLevel(const uint8_t* in, uint8_t* out, int32_t width, int32_t height, int32_t pixelBytes) {
    const int32_t outWidth = width > 1 ? width / 2 : 1;
    const int32_t outHeight = height > 1 ? height / 2 : 1;
    const size_t rowBytes = static_cast<size_t>(width) * pixelBytes;
    const size_t nextRow = height > 1 ? rowBytes : 0;
    const size_t nextTexel = width > 1 ? pixelBytes : 0;
    for (int32_t y = 0; y < outHeight; ++y) {
        const uint8_t* top = in + static_cast<size_t>(y) * (height > 1 ? 2 : 1) * rowBytes;
        const uint8_t* bottom = top + nextRow;
        for (int32_t x = 0; x < outWidth; ++x) {
            const size_t at = static_cast<size_t>(x) * (width > 1 ? 2 : 1) * pixelBytes;
            for (int32_t c = 0; c < pixelBytes; ++c, ++out) {
                const uint8_t upper = Half(top[at + c], top[at + nextTexel + c]);
                const uint8_t lower = Half(bottom[at + c], bottom[at + nextTexel + c]);
                *out = Half(upper, lower);
            }
        }
    }
}


// Uploads levels 1.. of a power-of-two texture bound on the active unit, each
// halved from the one above, starting from the caller's level-0 pixels.
void UploadOwnMipLevels(const uint8_t* pixels, int32_t width, int32_t height, int32_t internalFormat,
                        uint32_t format, int32_t pixelBytes) {
    if (width == 1 && height == 1) return;
    // Level 1 into a scratch buffer, every later level in place over it; the
    // buffer goes with the upload, not kept for the next.
    std::vector<uint8_t> level(static_cast<size_t>(width > 1 ? width / 2 : 1) *
                               static_cast<size_t>(height > 1 ? height / 2 : 1) * pixelBytes);
    const uint8_t* source = pixels;
    for (int32_t index = 1; width > 1 || height > 1; ++index) {
        HalveLevel(source, level.data(), width, height, pixelBytes);
        width = width > 1 ? width / 2 : 1;
        height = height > 1 ? height / 2 : 1;
        glTexImage2D(GL_TEXTURE_2D, index, internalFormat, width, height, 0, format, GL_UNSIGNED_BYTE, level.data());
        source = level.data();
    }
}

} // namespace

TTex::TTex() = default;

TTex::~TTex() {
    if (!contextReady_) return;
    if (defaultTexture_ != 0 && glIsTexture(defaultTexture_)) glDeleteTextures(1, &defaultTexture_);
    defaultTexture_ = 0;
    MarkGroup(-1);
    PurgeGroup(-1);
    RenderInit(0);
}

bool TTex::TexInit() {
    if (!MultitextureExt) {
        Say("Fatal Error \"GL_ARB_multitexture\"");
        return false;
    }
    // A white frame with a white cross on black: obvious on screen, cheap to make.
    uint8_t image[16][16] = {};
    for (int i = 0; i < 16; ++i) {
        image[0][i] = image[15][i] = image[i][0] = image[i][15] = 255;
        image[i][i] = image[i][15 - i] = 255;
    }
    if (defaultTexture_ != 0 && glIsTexture(defaultTexture_)) glDeleteTextures(1, &defaultTexture_);
    glGenTextures(1, &defaultTexture_);
    glBindTexture(GL_TEXTURE_2D, defaultTexture_);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexImage2D(GL_TEXTURE_2D, 0, 1, 16, 16, 0, GL_LUMINANCE, GL_UNSIGNED_BYTE, image);
    // A fresh context binds nothing through us yet; the cache starts empty except
    // for the unit the placeholder was just bound on.
    boundTex_.fill(0);
    GLint active = GL_TEXTURE0;
    glGetIntegerv(GL_ACTIVE_TEXTURE, &active);
    if (active - GL_TEXTURE0 >= 0 && active - GL_TEXTURE0 < kUnits) boundTex_[active - GL_TEXTURE0] = defaultTexture_;
    contextReady_ = true;
    return true;
}

uint32_t TTex::Find(const std::string& name) {
    if (name.empty()) return 0;
    for (auto& record : records_) {
        if (record.Name == name) {
            record.Marked = false;
            ++record.Ref;
            return record.ID;
        }
    }
    return 0;
}

uint32_t TTex::AddTexture(const std::string& name, const void* pixels, int32_t width, int32_t height,
                          int32_t internalFormat, uint32_t format, bool clamp, bool mipMap, int32_t group) {
    TTexData record;
    record.Name = name;
    record.Width = static_cast<uint32_t>(width);
    record.Height = static_cast<uint32_t>(height);
    record.MipMap = mipMap;
    record.Group = group;
    GLuint id = 0;
    glGenTextures(1, &id);
    record.ID = id;
    records_.push_back(record);

    glBindTexture(GL_TEXTURE_2D, id);
    // The bind replaced whatever this unit held, so the cache must say so, or a
    // later Enable of the previous texture would wrongly be skipped.
    GLint active = GL_TEXTURE0;
    glGetIntegerv(GL_ACTIVE_TEXTURE, &active);
    if (active - GL_TEXTURE0 >= 0 && active - GL_TEXTURE0 < kUnits) boundTex_[active - GL_TEXTURE0] = id;

    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
    const GLint wrap = clamp ? GL_CLAMP_TO_EDGE : GL_REPEAT;
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, wrap);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, wrap);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, mipMap ? GL_LINEAR_MIPMAP_LINEAR : GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    const int32_t ownMipBytes = mipMap && pixels && PowerOfTwo(width) && PowerOfTwo(height)
                                    ? OwnMipPixelBytes(internalFormat, format)
                                    : 0;
    if (ownMipBytes > 0) {
        // The levels the driver would generate, built here: the software
        // renderer compiles a filter program for every new pixel format it
        // generates mip-maps for, which cost a third of a second at start-up.
        glTexParameteri(GL_TEXTURE_2D, GL_GENERATE_MIPMAP, 0);
        glTexImage2D(GL_TEXTURE_2D, 0, internalFormat, width, height, 0, format, GL_UNSIGNED_BYTE, pixels);
        UploadOwnMipLevels(static_cast<const uint8_t*>(pixels), width, height, internalFormat, format, ownMipBytes);
        return id;
    }
    glTexParameteri(GL_TEXTURE_2D, GL_GENERATE_MIPMAP, mipMap ? 1 : 0);
    glTexImage2D(GL_TEXTURE_2D, 0, internalFormat, width, height, 0, format, GL_UNSIGNED_BYTE, pixels);
    glTexParameteri(GL_TEXTURE_2D, GL_GENERATE_MIPMAP, 0);
    return id;
}

uint32_t TTex::Create(const std::string& name, int32_t components, uint32_t format, int32_t width,
                      int32_t height, const void* pixels, bool clamp, bool mipMap, int32_t group) {
    if (const uint32_t shared = Find(name)) return shared;
    const uint32_t id = AddTexture(name, pixels, width, height, components, format, clamp, mipMap, group);
    const std::string shown =
        name.empty() ? "empty texture " + IntToStr(width) + "x" + IntToStr(height) : name;
    Say("Create #" + std::to_string(id) + "\t" + shown);
    return id;
}

uint32_t TTex::LoadDecoded(const std::string& name, bool fromMemory, const void* memory, size_t size,
                           bool clamp, bool mipMap, int32_t group) {
    if (name.empty()) return 0;
    if (const uint32_t shared = Find(name)) return shared;
    try {
        image::TDecoded decoded;
        if (!Decode(name, memory, size, fromMemory, decoded)) return 0;
        int32_t internalFormat = GL_RGBA8;
        uint32_t format = GL_BGRA;
        if (decoded.bpp == 8) {
            internalFormat = GL_LUMINANCE8;
            format = GL_LUMINANCE;
        } else if (decoded.bpp == 24) {
            internalFormat = GL_RGB8;
            format = GL_BGR;
        }
        const uint32_t id = AddTexture(name, decoded.pixels.get(), decoded.width, decoded.height, internalFormat,
                                       format, clamp, mipMap, group);
        Say("Loaded #" + std::to_string(id) + "\t" + name);
        return id;
    } catch (const std::exception&) {
        Say("Error Loading \"" + name + "\"");
        return 0;
    }
}

uint32_t TTex::Load(const std::string& fileName, bool clamp, bool mipMap, int32_t group) {
    return LoadDecoded(fileName, false, nullptr, 0, clamp, mipMap, group);
}

uint32_t TTex::LoadFromMem(const std::string& name, const void* memory, size_t size, bool clamp, bool mipMap,
                           int32_t group) {
    return LoadDecoded(name, true, memory, size, clamp, mipMap, group);
}

bool TTex::LoadData(const std::string& fileName, int32_t& width, int32_t& height, int32_t& bpp,
                    uint8_t*& pixels) {
    image::TDecoded decoded;
    const bool ok = Decode(fileName, nullptr, 0, false, decoded);
    return HandOver(ok, decoded, width, height, bpp, pixels);
}

bool TTex::LoadDataFromMem(const std::string& name, const void* memory, size_t size, int32_t& width,
                           int32_t& height, int32_t& bpp, uint8_t*& pixels) {
    image::TDecoded decoded;
    const bool ok = Decode(name, memory, size, true, decoded);
    return HandOver(ok, decoded, width, height, bpp, pixels);
}

void TTex::FreeData(uint8_t*& pixels) {
    image::TPixels owned(pixels);
    pixels = nullptr;
}

void TTex::RemoveRecord(size_t index) {
    records_[index] = std::move(records_.back());
    records_.pop_back();
}

void TTex::ForgetBinding(uint32_t handle) {
    // GL unbinds a deleted texture and may hand its name out again; a stale cache
    // entry would then skip the bind of the new texture.
    for (auto& bound : boundTex_)
        if (bound == handle) bound = 0;
}

void TTex::Delete(uint32_t handle) {
    if (!contextReady_ || handle == 0 || handle == defaultTexture_ || !glIsTexture(handle)) return;
    std::string name;
    for (size_t i = 0; i < records_.size(); ++i) {
        if (records_[i].ID != handle) continue;
        if (--records_[i].Ref > 0) return;
        name = records_[i].Name;
        RemoveRecord(i);
        break;
    }
    Say("Unload #" + std::to_string(handle) + "\t" + name);
    GLuint id = handle;
    glDeleteTextures(1, &id);
    ForgetBinding(handle);
}

void TTex::Enable(uint32_t handle, int32_t unit) {
    if (unit < 0 || unit >= kUnits) return;
    SelectUnit(unit);
    glEnable(GL_TEXTURE_2D);
    if (handle == 0 || !glIsTexture(handle)) handle = defaultTexture_;
    if (boundTex_[unit] != handle) {
        glBindTexture(GL_TEXTURE_2D, handle);
        boundTex_[unit] = handle;
    }
}

void TTex::Disable(int32_t unit) {
    if (unit < 0 || unit >= kUnits) return;
    SelectUnit(unit);
    glBindTexture(GL_TEXTURE_2D, defaultTexture_);
    boundTex_[unit] = defaultTexture_;
    glDisable(GL_TEXTURE_2D);
}

void TTex::MarkGroup(int32_t mask) {
    for (auto& record : records_) {
        if (!Matches(record.Group, mask)) continue;
        record.Ref = 0;
        record.Marked = true;
    }
}

void TTex::PurgeGroup(int32_t mask) {
    size_t i = 0;
    while (i < records_.size()) {
        const TTexData& record = records_[i];
        if (!record.Marked || !Matches(record.Group, mask)) {
            ++i;
            continue;
        }
        const uint32_t id = record.ID;
        if (contextReady_ && id != defaultTexture_ && glIsTexture(id)) {
            // Ref is 0 after the mark, so Delete removes the record and the one
            // moved into its place is examined next.
            Delete(id);
            if (i < records_.size() && records_[i].ID == id) RemoveRecord(i);
        } else {
            // The context no longer knows this texture (or there is no context):
            // Delete would ignore it and the walk would never end. Drop the record.
            Say("Unload #" + std::to_string(id) + "\t" + record.Name);
            RemoveRecord(i);
            ForgetBinding(id);
        }
    }
}

void TTex::SettleUnit0() {
    if (boundTex_[0] != 0 && boundTex_[0] != defaultTexture_)
        Enable(boundTex_[0], 0);
    else
        Disable(0);
}

void TTex::Filter(int32_t mode, int32_t mask) {
    if (mode < 0 || mode > 3) return;
    static constexpr GLint kMipMin[4] = {GL_NEAREST_MIPMAP_NEAREST, GL_LINEAR_MIPMAP_NEAREST,
                                         GL_LINEAR_MIPMAP_LINEAR, GL_LINEAR_MIPMAP_LINEAR};
    const GLint mag = mode == 0 ? GL_NEAREST : GL_LINEAR;
    for (const auto& record : records_) {
        if (!Matches(record.Group, mask)) continue;
        Enable(record.ID, 0);
        if (record.MipMap) {
            const int32_t aniso = mode == 3 && ogl ? ogl->MaxAniso() : 1;
            glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, kMipMin[mode]);
            glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, mag);
            glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_ANISOTROPY_EXT, aniso < 1 ? 1 : aniso);
        } else {
            glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, mag);
            glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, mag);
        }
    }
    SettleUnit0();
}

void TTex::RenderCopy(uint32_t handle, int32_t x, int32_t y, int32_t width, int32_t height, int32_t format,
                      int32_t level) {
    Enable(handle, 0);
    glCopyTexImage2D(GL_TEXTURE_2D, level, format, x, y, width, height, 0);
    SettleUnit0();
}

bool TTex::RenderInit(int32_t size) {
    if (!FramebufferExt || !contextReady_) return false;
    if (frameBuffer_ != 0) {
        GLuint name = frameBuffer_;
        GLExt.glDeleteFramebuffersEXT(1, &name);
    }
    if (depthBuffer_ != 0) {
        GLuint name = depthBuffer_;
        GLExt.glDeleteRenderbuffersEXT(1, &name);
    }
    frameBuffer_ = 0;
    depthBuffer_ = 0;
    if (size <= 0) return false;

    attached_ = 0;
    GLuint name = 0;
    GLExt.glGenFramebuffersEXT(1, &name);
    frameBuffer_ = name;
    GLExt.glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, frameBuffer_);
    GLExt.glGenRenderbuffersEXT(1, &name);
    depthBuffer_ = name;
    GLExt.glBindRenderbufferEXT(GL_RENDERBUFFER_EXT, depthBuffer_);
    GLExt.glRenderbufferStorageEXT(GL_RENDERBUFFER_EXT, GL_DEPTH_COMPONENT24, size, size);
    GLExt.glFramebufferRenderbufferEXT(GL_FRAMEBUFFER_EXT, GL_DEPTH_ATTACHMENT_EXT, GL_RENDERBUFFER_EXT, depthBuffer_);
    GLExt.glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, 0);
    return true;
}

void TTex::RenderBegin(uint32_t handle, int32_t mode) {
    if (!FramebufferExt || frameBuffer_ == 0) return;
    GLExt.glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, frameBuffer_);
    if (mode == 1)
        GLExt.glFramebufferTexture2DEXT(GL_FRAMEBUFFER_EXT, GL_COLOR_ATTACHMENT0_EXT, GL_TEXTURE_2D, handle, 0);
    else if (mode == 2)
        GLExt.glFramebufferTexture2DEXT(GL_FRAMEBUFFER_EXT, GL_DEPTH_ATTACHMENT_EXT, GL_TEXTURE_2D, handle, 0);
    attached_ |= static_cast<uint8_t>(mode & 3);
    if (GLExt.glCheckFramebufferStatusEXT(GL_FRAMEBUFFER_EXT) != GL_FRAMEBUFFER_COMPLETE_EXT) {
        attached_ = 0;
        GLExt.glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, 0);
    }
}

void TTex::RenderEnd() {
    if (!FramebufferExt || frameBuffer_ == 0) return;
    if (attached_ & 1)
        GLExt.glFramebufferTexture2DEXT(GL_FRAMEBUFFER_EXT, GL_COLOR_ATTACHMENT0_EXT, GL_TEXTURE_2D, 0, 0);
    if (attached_ & 2)
        GLExt.glFramebufferTexture2DEXT(GL_FRAMEBUFFER_EXT, GL_DEPTH_ATTACHMENT_EXT, GL_TEXTURE_2D, 0, 0);
    if (attached_ != 0) GLExt.glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, 0);
    attached_ = 0;
}

uint32_t TTex::DefaultTexture() const { return defaultTexture_; }

uint32_t TTex::BoundTex(int32_t unit) const { return unit >= 0 && unit < kUnits ? boundTex_[unit] : 0; }

int32_t TTex::RefCount(uint32_t handle) const {
    for (const auto& record : records_)
        if (record.ID == handle) return record.Ref;
    return -1;
}

int32_t TTex::Count() const { return static_cast<int32_t>(records_.size()); }

} // namespace qx
