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
#include <optional>
#include <string>

#include "engine/engine.h"

namespace qx {

namespace {

constexpr std::array<size_t, VBO_ARRAYS> kElementSize = {4, 12, 12, 4, 8, 8};

void VBOLog(const std::string& message) {
    if (log) log->Print("VBuffer : " + message);
}

bool ValidArray(int32_t array) { return array >= 0 && array < VBO_ARRAYS; }

// The place of an array (or of a buffer id) in the tables indexed by it; callers have checked it.
constexpr size_t Slot(int32_t array) { return static_cast<size_t>(array); }

// A count the caller has checked is not negative, as a size.
constexpr size_t Size(int32_t count) { return static_cast<size_t>(count); }

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

// A new GL buffer object holding data, left unbound; its name.
GLuint NewBuffer(GLenum target, const std::vector<uint8_t>& data) {
    GLuint buffer = 0;
    GLExt.glGenBuffersARB(1, &buffer);
    GLExt.glBindBufferARB(target, buffer);
    GLExt.glBufferDataARB(target, static_cast<GLsizeiptrARB>(data.size()), data.data(), GL_STATIC_DRAW_ARB);
    GLExt.glBindBufferARB(target, 0);
    return buffer;
}

// Selects the texture unit the client texture-coordinate calls act on; without
// multitexture there is only the first unit and nothing to select.
void ClientTexture(GLenum textureUnit) {
    if (GLExt.glClientActiveTextureARB) GLExt.glClientActiveTextureARB(textureUnit);
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
    bool Present(int32_t array) const { return present[Slot(array)]; }
    int32_t& Offset(int32_t array) { return offsets[Slot(array)]; }
    int32_t Offset(int32_t array) const { return offsets[Slot(array)]; }
    size_t ElementBytes(int32_t array) const {
        return array == VBO_INDEX ? Size(indexSize) : kElementSize[Slot(array)];
    }
    // Positions are always drawn; another array when it was added and is enabled.
    bool Drawn(int32_t array) const { return array == VBO_POSITION || (Present(array) && enabled[Slot(array)]); }
    // Without multitexture there is only the first texture unit.
    bool SecondTextureDrawn() const { return Drawn(VBO_TEXCOORD1) && GLExt.glClientActiveTextureARB; }

    // Where drawing array `array` starts: a client address, or a byte offset in its GL buffer.
    const void* Pointer(int32_t array) const {
        const size_t byte = start[Slot(array)] + Size(Offset(array)) * ElementBytes(array);
        if (inBuffers) return reinterpret_cast<const void*>(static_cast<uintptr_t>(byte));
        return (array == VBO_INDEX ? indexData.data() : vertexData.data()) + byte;
    }

    // ---- Compiling ----
    std::optional<uint32_t> CheckShape();
    void PackIndices(uint32_t largest);
    void PackVertices();
    bool Upload();
    void EnableBuiltArrays();
    std::string CompileLine(int32_t id) const;

    // ---- Drawing ----
    int32_t Available() const;
    void BindBuffers() const;
    void EnableArrays() const;
    void EnableTexCoords(GLenum textureUnit, int32_t array) const;
    void Draw(GLenum mode, int32_t count) const;
    void DisableArrays() const;
    void UnbindBuffers() const;
};

// ---- Compiling a unit ------------------------------------------------------------

// Takes the counts from what was added and checks that the arrays fit together:
// every vertex array is drawn for every vertex, so each must have one element
// per vertex, and every index must name a vertex. The largest index (0 without
// indices), or nothing when they do not fit.
std::optional<uint32_t> TVBO::TUnit::CheckShape() {
    indexCount = present[VBO_INDEX] ? counts[VBO_INDEX] : 0;
    vertexCount = counts[VBO_POSITION];
    for (size_t a = VBO_NORMAL; a < VBO_ARRAYS; ++a)
        if (present[a] && counts[a] != vertexCount) return std::nullopt;
    const uint8_t* indices = pieces[VBO_INDEX].data();
    uint32_t largest = 0;
    for (size_t i = 0; i < Size(indexCount); ++i) largest = std::max(largest, SourceIndex(indices, i));
    if (indexCount > 0 && largest >= static_cast<uint32_t>(vertexCount)) return std::nullopt;
    return largest;
}

// The indices in the smallest size that holds the largest of them. May throw std::bad_alloc.
void TVBO::TUnit::PackIndices(uint32_t largest) {
    if (indexCount <= 0) return;
    indexSize = largest < 256 ? 1 : largest > 65535 ? 4 : 2;
    indexType = indexSize == 1 ? GL_UNSIGNED_BYTE : indexSize == 2 ? GL_UNSIGNED_SHORT : GL_UNSIGNED_INT;
    maxIndex = largest;
    const uint8_t* indices = pieces[VBO_INDEX].data();
    indexData.resize(Size(indexCount) * Size(indexSize));
    for (size_t i = 0; i < Size(indexCount); ++i)
        StoreIndex(indexData.data() + i * Size(indexSize), SourceIndex(indices, i), indexSize);
}

// The vertex arrays whole, one after another in array order (not interleaved). May throw std::bad_alloc.
void TVBO::TUnit::PackVertices() {
    vertexBytes = 0;
    for (size_t a = VBO_POSITION; a < VBO_ARRAYS; ++a)
        if (present[a]) vertexBytes += kElementSize[a];
    vertexData.resize(Size(vertexCount) * vertexBytes);
    size_t at = 0;
    for (size_t a = VBO_POSITION; a < VBO_ARRAYS; ++a) {
        if (!present[a]) continue;
        start[a] = at;
        std::memcpy(vertexData.data() + at, pieces[a].data(), pieces[a].size());
        at += pieces[a].size();
    }
}

// Moves the packed blocks into GL buffer objects; false when GL reported an error.
bool TVBO::TUnit::Upload() {
    ClearGLErrors();
    if (indexCount > 0) indexBuffer = NewBuffer(GL_ELEMENT_ARRAY_BUFFER_ARB, indexData);
    vertexBuffer = NewBuffer(GL_ARRAY_BUFFER_ARB, vertexData);
    inBuffers = true; // from here the destructor deletes the buffers
    if (glGetError() != GL_NO_ERROR) return false;
    indexData = {};
    vertexData = {};
    return true;
}

// Every array added is drawn; the pieces it was built from are let go.
void TVBO::TUnit::EnableBuiltArrays() {
    for (size_t a = 0; a < VBO_ARRAYS; ++a) {
        if (!present[a]) continue;
        enabled[a] = true;
        pieces[a] = {};
    }
}

// "Compile #id\t( array: count ... )" for the log.
std::string TVBO::TUnit::CompileLine(int32_t id) const {
    std::string line = "Compile #" + IntToStr(id) + "\t(";
    for (size_t a = 0; a < VBO_ARRAYS; ++a) {
        if (!present[a]) continue;
        // Appended piece by piece: GCC 12 misreads " " + text as an overlapping copy.
        line.append(" ").append(IntToStr(static_cast<int32_t>(a))).append(": ").append(IntToStr(counts[a]));
    }
    return line + " )";
}

// ---- Drawing a unit --------------------------------------------------------------

// How many elements a draw may take from the offsets on: indices when there
// are some, else the vertices every drawn array still has from its own offset.
int32_t TVBO::TUnit::Available() const {
    if (Indexed()) return indexCount - Offset(VBO_INDEX);
    int32_t available = INT32_MAX;
    for (int32_t array = VBO_POSITION; array < VBO_ARRAYS; ++array)
        if (Drawn(array)) available = std::min(available, vertexCount - Offset(array));
    return available;
}

void TVBO::TUnit::BindBuffers() const {
    if (!inBuffers) return;
    GLExt.glBindBufferARB(GL_ARRAY_BUFFER_ARB, vertexBuffer);
    if (indexBuffer) GLExt.glBindBufferARB(GL_ELEMENT_ARRAY_BUFFER_ARB, indexBuffer);
}

void TVBO::TUnit::EnableTexCoords(GLenum textureUnit, int32_t array) const {
    ClientTexture(textureUnit);
    glEnableClientState(GL_TEXTURE_COORD_ARRAY);
    glTexCoordPointer(2, GL_FLOAT, 0, Pointer(array));
}

// Points GL at every drawn array, positions last.
void TVBO::TUnit::EnableArrays() const {
    if (Drawn(VBO_NORMAL)) {
        glEnableClientState(GL_NORMAL_ARRAY);
        glNormalPointer(GL_FLOAT, 0, Pointer(VBO_NORMAL));
    }
    if (Drawn(VBO_COLOR)) {
        glEnableClientState(GL_COLOR_ARRAY);
        glColorPointer(4, GL_UNSIGNED_BYTE, 0, Pointer(VBO_COLOR));
    }
    if (Drawn(VBO_TEXCOORD0)) EnableTexCoords(GL_TEXTURE0_ARB, VBO_TEXCOORD0);
    if (SecondTextureDrawn()) EnableTexCoords(GL_TEXTURE1_ARB, VBO_TEXCOORD1);
    glEnableClientState(GL_VERTEX_ARRAY);
    glVertexPointer(3, GL_FLOAT, 0, Pointer(VBO_POSITION));
}

void TVBO::TUnit::Draw(GLenum mode, int32_t count) const {
    if (Indexed())
        glDrawElements(mode, count, indexType, Pointer(VBO_INDEX));
    else
        glDrawArrays(mode, 0, count);
}

// Undoes EnableArrays in reverse, leaving the first texture unit selected.
void TVBO::TUnit::DisableArrays() const {
    glDisableClientState(GL_VERTEX_ARRAY);
    if (SecondTextureDrawn()) {
        ClientTexture(GL_TEXTURE1_ARB);
        glDisableClientState(GL_TEXTURE_COORD_ARRAY);
    }
    if (Drawn(VBO_TEXCOORD0)) {
        ClientTexture(GL_TEXTURE0_ARB);
        glDisableClientState(GL_TEXTURE_COORD_ARRAY);
    }
    ClientTexture(GL_TEXTURE0_ARB);
    if (Drawn(VBO_COLOR)) glDisableClientState(GL_COLOR_ARRAY);
    if (Drawn(VBO_NORMAL)) glDisableClientState(GL_NORMAL_ARRAY);
}

void TVBO::TUnit::UnbindBuffers() const {
    if (!inBuffers) return;
    GLExt.glBindBufferARB(GL_ARRAY_BUFFER_ARB, 0);
    GLExt.glBindBufferARB(GL_ELEMENT_ARRAY_BUFFER_ARB, 0);
}

// ---- The manager -----------------------------------------------------------------

TVBO::TVBO() = default;

TVBO::~TVBO() {
    for (size_t id = 0; id < units_.size(); ++id)
        if (units_[id] && units_[id]->compiled) FreeBuffer(static_cast<int32_t>(id));
}

TVBO::TUnit* TVBO::Compiled(int32_t id) const {
    if (id < 0 || Slot(id) >= units_.size()) return nullptr;
    TUnit* unit = units_[Slot(id)].get();
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
        units_[Slot(building_)] = std::make_unique<TUnit>();
    }
    TUnit& unit = *units_[Slot(building_)];
    const size_t a = Slot(array);
    const size_t bytes = Size(count) * kElementSize[a];
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
    units_[Slot(building_)].reset();
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
    TUnit& unit = *units_[Slot(id)];
    if (!unit.Present(VBO_POSITION)) {
        VBOLog("Not has vertex arrays");
        return -1;
    }
    const std::optional<uint32_t> largest = unit.CheckShape();
    if (!largest) return DropBuild();
    try {
        unit.PackIndices(*largest);
        unit.PackVertices();
    } catch (const std::bad_alloc&) {
        return DropBuild();
    }
    if (BuffersAvailable() && !unit.Upload()) return DropBuild();

    unit.EnableBuiltArrays();
    unit.compiled = true;
    building_ = -1;
    VBOLog(unit.CompileLine(id));
    return id;
}

int32_t TVBO::DropBuild() {
    units_[Slot(building_)].reset();
    building_ = -1;
    VBOLog("Error while compiling");
    return -1;
}

void TVBO::FreeBuffer(int32_t id) {
    if (!Compiled(id)) return;
    if (updating_ == id) EndUpdate();
    units_[Slot(id)].reset();
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
    unit->Offset(array) = first;
}

void TVBO::EnableArray(int32_t id, int32_t array) {
    if (TUnit* unit = Compiled(id); unit && ValidArray(array)) unit->enabled[Slot(array)] = true;
}

void TVBO::DisableArray(int32_t id, int32_t array) {
    if (TUnit* unit = Compiled(id); unit && ValidArray(array)) unit->enabled[Slot(array)] = false;
}

int32_t TVBO::IndexSize(int32_t id) const {
    const TUnit* unit = Compiled(id);
    return unit && unit->Indexed() ? unit->indexSize : 0;
}

void TVBO::RenderBuffer(int32_t id, uint32_t mode, int32_t count) {
    if (updating_ >= 0) return;
    const TUnit* unit = Compiled(id);
    if (!unit || count < 0) return;
    const int32_t available = unit->Available();
    if (count == 0 || count > available) count = available;
    if (count <= 0) return;
    unit->BindBuffers();
    unit->EnableArrays();
    unit->Draw(mode, count);
    unit->DisableArrays();
    unit->UnbindBuffers();
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
    TUnit& unit = *units_[Slot(updating_)];
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
    TUnit& unit = *units_[Slot(updating_)];
    const auto* source = static_cast<const uint8_t*>(data);
    // The rewrite must land inside the array's own elements, and indices must
    // name vertices the buffer has.
    bool fits = unit.Present(array) && static_cast<int64_t>(unit.Offset(array)) + count <= unit.Count(array);
    uint32_t largest = 0;
    if (fits && array == VBO_INDEX) {
        for (size_t i = 0; i < Size(count); ++i) largest = std::max(largest, SourceIndex(source, i));
        const uint32_t typeLimit = unit.indexSize == 1 ? 0xFFu : unit.indexSize == 2 ? 0xFFFFu : 0xFFFFFFFFu;
        fits = largest < static_cast<uint32_t>(unit.vertexCount) && largest <= typeLimit;
    }
    if (!fits) {
        VBOLog("Error while writing data (" + IntToStr(array) + ")");
        return;
    }
    uint8_t* block = MapForUpdate(unit, array == VBO_INDEX);
    if (!block) return;
    uint8_t* at = block + unit.start[Slot(array)] + Size(unit.Offset(array)) * unit.ElementBytes(array);
    if (array == VBO_INDEX) {
        for (size_t i = 0; i < Size(count); ++i)
            StoreIndex(at + i * Size(unit.indexSize), SourceIndex(source, i), unit.indexSize);
        unit.maxIndex = std::max(unit.maxIndex, largest);
    } else {
        std::memcpy(at, source, Size(count) * unit.ElementBytes(array));
    }
    unit.Offset(array) += count;
}

} // namespace qx
