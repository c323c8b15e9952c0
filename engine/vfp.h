// Shader programs: GLSL vertex and fragment shaders read from sectioned text
// files, compiled and attached to a program, linked, bound, and fed attributes
// and uniforms through the ARB shader objects.
//
// Words: a "section" is the text under a header line "[VP name]" (vertex) or
// "[FP name]" (fragment); sections of one name make one program. The program
// "being assembled" collects shaders until LinkProgram hands it out as an id
// (the GL program object; 0 means none). Without ShaderExt every operation
// does nothing and returns 0 or false. Failures are reported by result and one
// "Shader  : " log line.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace qx {

class TStream;

// UniformArray type codes: int vectors of 1..4, float vectors of 1..4, float matrices 2x2..4x4.
constexpr int32_t UNIFORM_INT1 = 0;
constexpr int32_t UNIFORM_INT2 = 1;
constexpr int32_t UNIFORM_INT3 = 2;
constexpr int32_t UNIFORM_INT4 = 3;
constexpr int32_t UNIFORM_FLOAT1 = 4;
constexpr int32_t UNIFORM_FLOAT2 = 5;
constexpr int32_t UNIFORM_FLOAT3 = 6;
constexpr int32_t UNIFORM_FLOAT4 = 7;
constexpr int32_t UNIFORM_MATRIX2 = 8;
constexpr int32_t UNIFORM_MATRIX3 = 9;
constexpr int32_t UNIFORM_MATRIX4 = 10;

class TVFP {
public:
    // Shader files larger than this are refused unread.
    static constexpr int64_t kMaxFileSize = 16 << 20;

    TVFP() = default;
    ~TVFP(); // deletes the program being assembled; linked programs are the caller's
    TVFP(const TVFP&) = delete;
    TVFP& operator=(const TVFP&) = delete;

    // ---- Building ----
    void ClearProgram(); // deletes the program being assembled
    // Compiles the sections named exactly `name` from a file and attaches them
    // to the program being assembled (made when there is none). True when at
    // least one was attached; false at the first that fails to compile (those
    // attached before it stay), or when the file is missing, empty or too large.
    bool AddShaders(const std::string& fileName, const std::string& name);
    bool AddShadersMem(const void* memory, size_t size, const std::string& name); // the same from memory
    // Links the program being assembled and hands it out; 0 on failure, with
    // the driver's reason in the log, and the program kept for more shaders.
    uint32_t LinkProgram();
    void FreeProgram(uint32_t id);

    // ---- Parameters ----
    // -1 when the program has no such name; 0 without ShaderExt, like every other call.
    int32_t AttribLocation(uint32_t id, const std::string& name);
    int32_t UniformLocation(uint32_t id, const std::string& name);
    void Attrib1f(uint32_t index, float x);
    void Attrib2f(uint32_t index, float x, float y);
    void Attrib3f(uint32_t index, float x, float y, float z);
    void Uniform1i(int32_t location, int32_t value);
    // Sets count values of the type code (UNIFORM_*; matrices not transposed);
    // other codes, no values or a count below 1 do nothing.
    void UniformArray(int32_t location, const void* values, int32_t count, int32_t type);

    // ---- Drawing ----
    void UseProgram(uint32_t id); // draws with the program from now on
    void NoProgram();             // back to the fixed pipeline

private:
    bool AddStream(TStream& stream, const std::string& name);
    bool CompileAttach(const std::string& source, bool vertex, const std::string& name);

    uint32_t program_ = 0;
};

} // namespace qx
