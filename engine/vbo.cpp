// Vertex buffers through GL_ARB_vertex_buffer_object, or client vertex arrays
// without it. Which one a buffer uses is settled when it is compiled, so a
// buffer keeps working whatever the flag says later.
//
// Nothing here reads memory it does not own: the arrays of a mesh must have
// one element per vertex, every index must name a vertex, offsets are checked
// against what drawing from them would read, and a write during an update must
// fall inside the array it rewrites.
#include "engine/vbo.h"

#include "engine/ogl.h"
#include "engine/ogl_ext_internal.h"

#include <algorithm>
#include <array>
#include <climits>
#include <cstring>
#include <new>
#include <string>

#include "engine/engine.h"

namespace qx {

namespace {

constexpr std::array<size_t, VBO_ARRAYS> kElementSize = {4, 12, 12, 4, 8, 8};

void VBOLog(const std::string& message) {
    if (log) log->Print("VBuffer : " + message);
}

bool ValidArray(int32_t array) { return array >= 0 && array < VBO_ARRAYS; }

bool BuffersAvailable() {
    return VBOExt && GLExt.glGenBuffersARB && GLExt.glBindBufferARB && GLExt.glBufferDataARB &&
           GLExt.glDeleteBuffersARB && GLExt.glMapBufferARB && GLExt.glUnmapBufferARB;
}

// Index i of a block of 4-byte indices as the caller handed them over.
uint32_t SourceIndex(const uint8_t* indices, size_t i) {
    uint32_t value;
    std::memcpy(&value, indices + i * 4, 4);
    return value;
}

// Stores the low bytes of value as one index of size bytes.
void StoreIndex(uint8_t* at, uint32_t value, int32_t size) {
    if (size == 1) {
        *at = static_cast<uint8_t>(value);
    } else if (size == 2) {
        const auto low = static_cast<uint16_t>(value);
        std::memcpy(at, &low, 2);
    } else {
        std::memcpy(at, &value, 4);
    }
}

void ClearGLErrors() {
    while (glGetError() != GL_NO_ERROR) {
    }
}

} // namespace

struct TVBO::TUnit {
    bool compiled = false;
    // Building: each array's pieces, joined in the order they were added.
    std::array<std::vector<uint8_t>, VBO_ARRAYS> pieces;
    std::array<int32_t, VBO_ARRAYS> counts{};
    std::array<bool, VBO_ARRAYS> present{};
    std::array<bool, VBO_ARRAYS> enabled{};
    // Compiled.
    bool inBuffers = false; // GL buffer objects, else the client blocks below
    GLenum indexType = 0;
    GLuint indexBuffer = 0;
    GLuint vertexBuffer = 0;
    int32_t indexSize = 0;
    size_t vertexBytes = 0;
    int32_t indexCount = 0;
    int32_t vertexCount = 0;
    uint32_t maxIndex = 0; // the largest index the buffer has held
    std::vector<uint8_t> indexData;
    std::vector<uint8_t> vertexData;
    std::array<size_t, VBO_ARRAYS> start{}; // byte offset of each array in its block
    std::array<int32_t, VBO_ARRAYS> offsets{};

    ~TUnit() {
        if (inBuffers && GLExt.glDeleteBuffersARB) {
            if (indexBuffer) GLExt.glDeleteBuffersARB(1, &indexBuffer);
            if (vertexBuffer) GLExt.glDeleteBuffersARB(1, &vertexBuffer);
        }
    }

    bool Indexed() const { return indexCount > 0; }
    int32_t Count(int32_t array) const { return array == VBO_INDEX ? indexCount : vertexCount; }

    // Where drawing array `array` starts: a client address, or a byte offset in its GL buffer.
    const void* Pointer(int32_t array) const {
        const size_t byte = start[static_cast<size_t>(array)] +
                            static_cast<size_t>(offsets[static_cast<size_t>(array)]) *
                                (array == VBO_INDEX ? static_cast<size_t>(indexSize) : kElementSize[static_cast<size_t>(array)]);
        if (inBuffers) return reinterpret_cast<const void*>(static_cast<uintptr_t>(byte));
        return (array == VBO_INDEX ? indexData.data() : vertexData.data()) + byte;
    }
};

TVBO::TVBO() = default;

TVBO::~TVBO() {
    for (size_t id = 0; id < units_.size(); ++id)
        if (units_[id] && units_[id]->compiled) FreeBuffer(static_cast<int32_t>(id));
}

TVBO::TUnit* TVBO::Compiled(int32_t id) const {
    if (id < 0 || static_cast<size_t>(id) >= units_.size()) return nullptr;
    TUnit* unit = units_[static_cast<size_t>(id)].get();
    return unit && unit->compiled ? unit : nullptr;
}

// ---- Building ------------------------------------------------------------------

void TVBO::AddData(int32_t array, int32_t count, const void* data) {
    if (count <= 0 || !data) return;
    if (updating_ >= 0) {
        WriteUpdate(array, count, data);
        return;
    }
    if (!ValidArray(array)) return;
    if (building_ < 0) {
        const auto empty = std::find(units_.begin(), units_.end(), nullptr);
        building_ = static_cast<int32_t>(empty - units_.begin());
        if (empty == units_.end()) units_.emplace_back();
        units_[static_cast<size_t>(building_)] = std::make_unique<TUnit>();
    }
    TUnit& unit = *units_[static_cast<size_t>(building_)];
    const auto a = static_cast<size_t>(array);
    const size_t bytes = static_cast<size_t>(count) * kElementSize[a];
    try {
        // Counts stay 32-bit, as the drawing calls take them.
        if (unit.counts[a] > INT32_MAX - count) throw std::bad_alloc();
        const auto* source = static_cast<const uint8_t*>(data);
        unit.pieces[a].insert(unit.pieces[a].end(), source, source + bytes);
    } catch (const std::bad_alloc&) {
        VBOLog("Error while writing data (" + IntToStr(array) + ")");
        return;
    }
    unit.counts[a] += count;
    unit.present[a] = true;
}

void TVBO::ClearBuild() {
    if (building_ < 0) return;
    units_[static_cast<size_t>(building_)].reset();
    building_ = -1;
    VBOLog("clear");
}

int32_t TVBO::Compile() {
    if (updating_ >= 0) {
        VBOLog("end updating before compile new buffer");
        return -1;
    }
    if (building_ < 0) {
        VBOLog("VBOid is not created");
        return -1;
    }
    const int32_t id = building_;
    TUnit& unit = *units_[static_cast<size_t>(id)];
    if (!unit.present[VBO_POSITION]) {
        VBOLog("Not has vertex arrays");
        return -1;
    }
    const auto fail = [&] {
        units_[static_cast<size_t>(id)].reset();
        building_ = -1;
        VBOLog("Error while compiling");
        return -1;
    };

    unit.indexCount = unit.present[VBO_INDEX] ? unit.counts[VBO_INDEX] : 0;
    unit.vertexCount = unit.counts[VBO_POSITION];
    // Every vertex array is drawn for every vertex, so each must have one
    // element per vertex; and every index must name a vertex.
    for (int32_t array = VBO_NORMAL; array < VBO_ARRAYS; ++array)
        if (unit.present[static_cast<size_t>(array)] && unit.counts[static_cast<size_t>(array)] != unit.vertexCount)
            return fail();
    const uint8_t* indices = unit.pieces[VBO_INDEX].data();
    uint32_t maxIndex = 0;
    for (size_t i = 0; i < static_cast<size_t>(unit.indexCount); ++i) maxIndex = std::max(maxIndex, SourceIndex(indices, i));
    if (unit.indexCount > 0 && maxIndex >= static_cast<uint32_t>(unit.vertexCount)) return fail();

    try {
        if (unit.indexCount > 0) {
            unit.indexSize = maxIndex < 256 ? 1 : maxIndex > 65535 ? 4 : 2;
            unit.indexType = unit.indexSize == 1 ? GL_UNSIGNED_BYTE : unit.indexSize == 2 ? GL_UNSIGNED_SHORT : GL_UNSIGNED_INT;
            unit.maxIndex = maxIndex;
            unit.indexData.resize(static_cast<size_t>(unit.indexCount) * static_cast<size_t>(unit.indexSize));
            for (size_t i = 0; i < static_cast<size_t>(unit.indexCount); ++i)
                StoreIndex(unit.indexData.data() + i * static_cast<size_t>(unit.indexSize), SourceIndex(indices, i),
                           unit.indexSize);
        }
        // The arrays whole, one after another in array order (not interleaved).
        unit.vertexBytes = 0;
        for (size_t a = VBO_POSITION; a < VBO_ARRAYS; ++a)
            if (unit.present[a]) unit.vertexBytes += kElementSize[a];
        unit.vertexData.resize(static_cast<size_t>(unit.vertexCount) * unit.vertexBytes);
        size_t at = 0;
        for (size_t a = VBO_POSITION; a < VBO_ARRAYS; ++a) {
            if (!unit.present[a]) continue;
            unit.start[a] = at;
            std::memcpy(unit.vertexData.data() + at, unit.pieces[a].data(), unit.pieces[a].size());
            at += unit.pieces[a].size();
        }
    } catch (const std::bad_alloc&) {
        return fail();
    }

    if (BuffersAvailable()) {
        ClearGLErrors();
        if (unit.indexCount > 0) {
            GLExt.glGenBuffersARB(1, &unit.indexBuffer);
            GLExt.glBindBufferARB(GL_ELEMENT_ARRAY_BUFFER_ARB, unit.indexBuffer);
            GLExt.glBufferDataARB(GL_ELEMENT_ARRAY_BUFFER_ARB, static_cast<GLsizeiptrARB>(unit.indexData.size()),
                                  unit.indexData.data(), GL_STATIC_DRAW_ARB);
            GLExt.glBindBufferARB(GL_ELEMENT_ARRAY_BUFFER_ARB, 0);
        }
        GLExt.glGenBuffersARB(1, &unit.vertexBuffer);
        GLExt.glBindBufferARB(GL_ARRAY_BUFFER_ARB, unit.vertexBuffer);
        GLExt.glBufferDataARB(GL_ARRAY_BUFFER_ARB, static_cast<GLsizeiptrARB>(unit.vertexData.size()),
                              unit.vertexData.data(), GL_STATIC_DRAW_ARB);
        GLExt.glBindBufferARB(GL_ARRAY_BUFFER_ARB, 0);
        unit.inBuffers = true; // from here the destructor deletes the buffers
        if (glGetError() != GL_NO_ERROR) return fail();
        unit.indexData = {};
        unit.vertexData = {};
    }

    std::string line = "Compile #" + IntToStr(id) + "\t(";
    for (size_t a = 0; a < VBO_ARRAYS; ++a) {
        if (!unit.present[a]) continue;
        unit.enabled[a] = true;
        // Appended piece by piece: GCC 12 misreads " " + text as an overlapping copy.
        line.append(" ").append(IntToStr(static_cast<int32_t>(a))).append(": ").append(IntToStr(unit.counts[a]));
        unit.pieces[a] = {};
    }
    unit.compiled = true;
    building_ = -1;
    VBOLog(line + " )");
    return id;
}

void TVBO::FreeBuffer(int32_t id) {
    if (!Compiled(id)) return;
    if (updating_ == id) EndUpdate();
    units_[static_cast<size_t>(id)].reset();
    VBOLog("Free #" + IntToStr(id));
}

// ---- Drawing -------------------------------------------------------------------

void TVBO::SetOffset(int32_t id, int32_t array, int32_t first) {
    TUnit* unit = Compiled(id);
    if (!unit || !ValidArray(array) || first < 0) return;
    bool fits;
    if (array == VBO_INDEX) {
        fits = unit->Indexed() && first <= unit->indexCount;
    } else if (updating_ == id || !unit->Indexed()) {
        // A write position, or the first vertex of a draw that reads on from it.
        fits = first <= unit->vertexCount;
    } else {
        // Every index is read through the offset.
        fits = static_cast<int64_t>(unit->maxIndex) + first < unit->vertexCount;
    }
    if (!fits) {
        VBOLog("Offset out of range (" + IntToStr(array) + ")");
        return;
    }
    unit->offsets[static_cast<size_t>(array)] = first;
}

void TVBO::EnableArray(int32_t id, int32_t array) {
    if (TUnit* unit = Compiled(id); unit && ValidArray(array)) unit->enabled[static_cast<size_t>(array)] = true;
}

void TVBO::DisableArray(int32_t id, int32_t array) {
    if (TUnit* unit = Compiled(id); unit && ValidArray(array)) unit->enabled[static_cast<size_t>(array)] = false;
}

int32_t TVBO::IndexSize(int32_t id) const {
    const TUnit* unit = Compiled(id);
    return unit && unit->Indexed() ? unit->indexSize : 0;
}

void TVBO::RenderBuffer(int32_t id, uint32_t mode, int32_t count) {
    if (updating_ >= 0) return;
    TUnit* unit = Compiled(id);
    if (!unit || count < 0) return;
    const auto drawn = [&](int32_t array) {
        return array == VBO_POSITION ||
               (unit->present[static_cast<size_t>(array)] && unit->enabled[static_cast<size_t>(array)]);
    };
    int32_t available;
    if (unit->Indexed()) {
        available = unit->indexCount - unit->offsets[VBO_INDEX];
    } else {
        // Each array is read from its own offset on.
        available = INT32_MAX;
        for (int32_t array = VBO_POSITION; array < VBO_ARRAYS; ++array)
            if (drawn(array)) available = std::min(available, unit->vertexCount - unit->offsets[static_cast<size_t>(array)]);
    }
    if (count == 0 || count > available) count = available;
    if (count <= 0) return;

    if (unit->inBuffers) {
        GLExt.glBindBufferARB(GL_ARRAY_BUFFER_ARB, unit->vertexBuffer);
        if (unit->indexBuffer) GLExt.glBindBufferARB(GL_ELEMENT_ARRAY_BUFFER_ARB, unit->indexBuffer);
    }
    const auto clientTexture = [](GLenum unitName) {
        if (GLExt.glClientActiveTextureARB) GLExt.glClientActiveTextureARB(unitName);
    };
    // Without multitexture there is only the first texture unit.
    const bool secondUnit = drawn(VBO_TEXCOORD1) && GLExt.glClientActiveTextureARB;
    if (drawn(VBO_NORMAL)) {
        glEnableClientState(GL_NORMAL_ARRAY);
        glNormalPointer(GL_FLOAT, 0, unit->Pointer(VBO_NORMAL));
    }
    if (drawn(VBO_COLOR)) {
        glEnableClientState(GL_COLOR_ARRAY);
        glColorPointer(4, GL_UNSIGNED_BYTE, 0, unit->Pointer(VBO_COLOR));
    }
    if (drawn(VBO_TEXCOORD0)) {
        clientTexture(GL_TEXTURE0_ARB);
        glEnableClientState(GL_TEXTURE_COORD_ARRAY);
        glTexCoordPointer(2, GL_FLOAT, 0, unit->Pointer(VBO_TEXCOORD0));
    }
    if (secondUnit) {
        clientTexture(GL_TEXTURE1_ARB);
        glEnableClientState(GL_TEXTURE_COORD_ARRAY);
        glTexCoordPointer(2, GL_FLOAT, 0, unit->Pointer(VBO_TEXCOORD1));
    }
    glEnableClientState(GL_VERTEX_ARRAY);
    glVertexPointer(3, GL_FLOAT, 0, unit->Pointer(VBO_POSITION));

    if (unit->Indexed())
        glDrawElements(mode, count, unit->indexType, unit->Pointer(VBO_INDEX));
    else
        glDrawArrays(mode, 0, count);

    glDisableClientState(GL_VERTEX_ARRAY);
    if (secondUnit) {
        clientTexture(GL_TEXTURE1_ARB);
        glDisableClientState(GL_TEXTURE_COORD_ARRAY);
    }
    if (drawn(VBO_TEXCOORD0)) {
        clientTexture(GL_TEXTURE0_ARB);
        glDisableClientState(GL_TEXTURE_COORD_ARRAY);
    }
    clientTexture(GL_TEXTURE0_ARB);
    if (drawn(VBO_COLOR)) glDisableClientState(GL_COLOR_ARRAY);
    if (drawn(VBO_NORMAL)) glDisableClientState(GL_NORMAL_ARRAY);
    if (unit->inBuffers) {
        GLExt.glBindBufferARB(GL_ARRAY_BUFFER_ARB, 0);
        GLExt.glBindBufferARB(GL_ELEMENT_ARRAY_BUFFER_ARB, 0);
    }
}

// ---- Rewriting in place ------------------------------------------------------

void TVBO::BeginUpdate(int32_t id) {
    TUnit* unit = Compiled(id);
    if (!unit) return;
    if (updating_ >= 0) EndUpdate();
    unit->offsets = {};
    updating_ = id;
}

void TVBO::EndUpdate() {
    if (updating_ < 0) return;
    TUnit& unit = *units_[static_cast<size_t>(updating_)];
    const auto unmap = [&](uint8_t*& mapped, GLenum target, GLuint buffer) {
        if (!mapped) return;
        GLExt.glBindBufferARB(target, buffer);
        GLExt.glUnmapBufferARB(target);
        GLExt.glBindBufferARB(target, 0);
        mapped = nullptr;
    };
    unmap(mappedVertices_, GL_ARRAY_BUFFER_ARB, unit.vertexBuffer);
    unmap(mappedIndices_, GL_ELEMENT_ARRAY_BUFFER_ARB, unit.indexBuffer);
    unit.offsets = {};
    updating_ = -1;
}

uint8_t* TVBO::MapForUpdate(TUnit& unit, bool indices) {
    if (!unit.inBuffers) return indices ? unit.indexData.data() : unit.vertexData.data();
    uint8_t*& mapped = indices ? mappedIndices_ : mappedVertices_;
    if (mapped) return mapped;
    const GLenum target = indices ? GL_ELEMENT_ARRAY_BUFFER_ARB : GL_ARRAY_BUFFER_ARB;
    // The mapping belongs to the buffer, not to the binding, so the binding is
    // put back at once and other drawing meanwhile is unaffected.
    GLExt.glBindBufferARB(target, indices ? unit.indexBuffer : unit.vertexBuffer);
    mapped = static_cast<uint8_t*>(GLExt.glMapBufferARB(target, GL_WRITE_ONLY_ARB));
    GLExt.glBindBufferARB(target, 0);
    if (!mapped)
        VBOLog(std::string(indices ? "Can't map index buffer #" : "Can't map vertex buffer #") + IntToStr(updating_));
    return mapped;
}

void TVBO::WriteUpdate(int32_t array, int32_t count, const void* data) {
    if (!ValidArray(array)) return;
    TUnit& unit = *units_[static_cast<size_t>(updating_)];
    const auto a = static_cast<size_t>(array);
    const auto* source = static_cast<const uint8_t*>(data);
    // The rewrite must land inside the array's own elements, and indices must
    // name vertices the buffer has.
    bool fits = unit.present[a] && static_cast<int64_t>(unit.offsets[a]) + count <= unit.Count(array);
    uint32_t largest = 0;
    if (fits && array == VBO_INDEX) {
        for (size_t i = 0; i < static_cast<size_t>(count); ++i) largest = std::max(largest, SourceIndex(source, i));
        const uint32_t typeLimit = unit.indexSize == 1 ? 0xFFu : unit.indexSize == 2 ? 0xFFFFu : 0xFFFFFFFFu;
        fits = largest < static_cast<uint32_t>(unit.vertexCount) && largest <= typeLimit;
    }
    if (!fits) {
        VBOLog("Error while writing data (" + IntToStr(array) + ")");
        return;
    }
    uint8_t* block = MapForUpdate(unit, array == VBO_INDEX);
    if (!block) return;
    if (array == VBO_INDEX) {
        const auto size = static_cast<size_t>(unit.indexSize);
        uint8_t* at = block + unit.start[a] + static_cast<size_t>(unit.offsets[a]) * size;
        for (size_t i = 0; i < static_cast<size_t>(count); ++i)
            StoreIndex(at + i * size, SourceIndex(source, i), unit.indexSize);
        unit.maxIndex = std::max(unit.maxIndex, largest);
    } else {
        std::memcpy(block + unit.start[a] + static_cast<size_t>(unit.offsets[a]) * kElementSize[a], source,
                    static_cast<size_t>(count) * kElementSize[a]);
    }
    unit.offsets[a] += count;
}

} // namespace qx
