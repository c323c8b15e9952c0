// Vertex buffers: static meshes built from pieces of arrays, compiled into one
// drawable buffer, drawn with any GL primitive and rewritten in place.
//
// Words: an "array" is one of the six attribute numbers below; a "buffer" is a
// compiled mesh named by its id (an index into the manager's table; a freed id
// is the next one handed out). The arrays of a buffer lie one after another
// whole, in array order, in a GL buffer object when VBOExt is present and in
// client memory otherwise. Failures are reported by result (-1 or nothing done)
// and one "VBuffer : " log line; buffers already compiled stay usable.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

namespace qx {

// Array numbers, with the element each takes from the caller.
constexpr int32_t VBO_INDEX = 0;     // 4-byte unsigned indices
constexpr int32_t VBO_POSITION = 1;  // 3 floats
constexpr int32_t VBO_NORMAL = 2;    // 3 floats
constexpr int32_t VBO_COLOR = 3;     // 4 unsigned bytes r, g, b, a
constexpr int32_t VBO_TEXCOORD0 = 4; // 2 floats, texture unit 0
constexpr int32_t VBO_TEXCOORD1 = 5; // 2 floats, texture unit 1
constexpr int32_t VBO_ARRAYS = 6;

class TVBO {
public:
    TVBO();
    ~TVBO(); // frees every compiled buffer
    TVBO(const TVBO&) = delete;
    TVBO& operator=(const TVBO&) = delete;

    // ---- Building ----
    void ClearBuild(); // drops everything added since the last Compile
    // Building: appends count elements to the array. Between BeginUpdate and
    // EndUpdate: writes them into the buffer being updated at the array's write
    // position, which then moves on. Count 0, no data or an array outside 0..5
    // does nothing.
    void AddData(int32_t array, int32_t count, const void* data);
    // Makes a buffer of what was added; its id, or -1 (no positions, an
    // update in progress, nothing added, or arrays that do not fit together).
    int32_t Compile();
    void FreeBuffer(int32_t id); // the id is handed out again

    // ---- Drawing ----
    // The first element of the array that drawing starts from (indices for
    // array 0, vertices otherwise); refused when no element could be drawn from it.
    void SetOffset(int32_t id, int32_t array, int32_t first);
    // Draws the buffer as mode (GL_TRIANGLES...); count 0 draws every element
    // from the offset on, a larger count is cut to what is there.
    void RenderBuffer(int32_t id, uint32_t mode, int32_t count);
    void EnableArray(int32_t id, int32_t array);  // drawn (every array added is, after Compile)
    void DisableArray(int32_t id, int32_t array); // left out of drawing

    // ---- Rewriting in place ----
    // Starts rewriting a compiled buffer: AddData then writes into it from the
    // start of each array. Nothing is drawn until EndUpdate.
    void BeginUpdate(int32_t id);
    void EndUpdate();

    // Bytes per index of a compiled buffer: 1, 2 or 4 by its largest index; 0
    // without indices or for an unknown id.
    int32_t IndexSize(int32_t id) const;

private:
    struct TUnit;
    TUnit* Compiled(int32_t id) const;
    int32_t DropBuild(); // a failed Compile: the unit being built goes, -1
    void WriteUpdate(int32_t array, int32_t count, const void* data);
    uint8_t* MapForUpdate(TUnit& unit, bool indices);

    std::vector<std::unique_ptr<TUnit>> units_;
    int32_t building_ = -1;
    int32_t updating_ = -1;
    uint8_t* mappedIndices_ = nullptr;
    uint8_t* mappedVertices_ = nullptr;
};

} // namespace qx
