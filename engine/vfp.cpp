// Shader programs through the ARB shader objects of GL_ARB_shading_language.
//
// A shader file is untrusted text: its size is checked before it is read, and
// whatever bytes it holds go to the driver with their length, so a stray NUL
// or a binary file gives a failed compile and its log line, never an overrun.
// Lines end in CR LF; a bare LF is taken as a line end too.
#include "engine/vfp.h"

#include "engine/ogl.h"
#include "engine/ogl_ext_internal.h"
#include "engine/vfp_sections_internal.h"

#include <algorithm>
#include <new>
#include <string>
#include <vector>

#include "engine/engine.h"

namespace qx {

namespace {

constexpr GLsizei kMaxInfoLog = 65536;

void ShaderLog(const std::string& message) {
    if (log) log->Print("Shader  : " + message);
}

// Whether the shader objects can be used: the group is present and its entry points loaded.
bool Ready() {
    return ShaderExt && GLExt.glCreateProgramObjectARB && GLExt.glCreateShaderObjectARB && GLExt.glShaderSourceARB &&
           GLExt.glCompileShaderARB && GLExt.glGetObjectParameterivARB && GLExt.glAttachObjectARB &&
           GLExt.glDeleteObjectARB && GLExt.glLinkProgramARB && GLExt.glGetInfoLogARB && GLExt.glUseProgramObjectARB;
}

} // namespace

TVFP::~TVFP() { ClearProgram(); }

void TVFP::ClearProgram() {
    if (program_ && Ready()) GLExt.glDeleteObjectARB(program_);
    program_ = 0;
}

bool TVFP::AddShaders(const std::string& fileName, const std::string& name) {
    if (!Ready()) return false;
    TFileStream stream(fileName);
    return AddStream(stream, name);
}

bool TVFP::AddShadersMem(const void* memory, size_t size, const std::string& name) {
    if (!Ready() || !memory) return false;
    TMemoryStream stream(memory, size);
    return AddStream(stream, name);
}

bool TVFP::AddStream(TStream& stream, const std::string& name) {
    const int64_t size = stream.Valid() ? stream.Size() : 0;
    if (size <= 0) return false;
    if (size > kMaxFileSize) {
        ShaderLog("Shader file too large (" + IntToStr(static_cast<int32_t>(std::min<int64_t>(size, INT32_MAX))) + ")");
        return false;
    }
    if (!program_) {
        program_ = GLExt.glCreateProgramObjectARB();
        if (!program_) {
            ShaderLog("Error creating shader object");
            return false;
        }
    }
    std::string text;
    try {
        text.resize(static_cast<size_t>(size));
    } catch (const std::bad_alloc&) {
        return false;
    }
    stream.Seek(0);
    text.resize(stream.Read(text.data(), text.size()));

    return SplitShaderSections(text, name, [this, &name](const std::string& source, bool vertex) {
        return CompileAttach(source, vertex, name);
    });
}

bool TVFP::CompileAttach(const std::string& source, bool vertex, const std::string& name) {
    const GLhandleARB shader = GLExt.glCreateShaderObjectARB(vertex ? GL_VERTEX_SHADER_ARB : GL_FRAGMENT_SHADER_ARB);
    GLint status = 0;
    if (shader) {
        const GLcharARB* text = source.data();
        const auto length = static_cast<GLint>(source.size());
        GLExt.glShaderSourceARB(shader, 1, &text, &length);
        GLExt.glCompileShaderARB(shader);
        GLExt.glGetObjectParameterivARB(shader, GL_OBJECT_COMPILE_STATUS_ARB, &status);
    }
    if (status != 1) {
        if (shader) GLExt.glDeleteObjectARB(shader);
        ShaderLog(std::string("Can't add ") + (vertex ? "vertex" : "fragment") + " shader \"" + name + "\"");
        return false;
    }
    GLExt.glAttachObjectARB(program_, shader);
    // Deleting only marks it: it lives on while attached.
    GLExt.glDeleteObjectARB(shader);
    return true;
}

uint32_t TVFP::LinkProgram() {
    if (!Ready()) return 0;
    if (!program_) {
        ShaderLog("Error while compiling");
        return 0;
    }
    GLExt.glLinkProgramARB(program_);
    GLint status = 0;
    GLExt.glGetObjectParameterivARB(program_, GL_OBJECT_LINK_STATUS_ARB, &status);
    if (status == 1) {
        const uint32_t id = program_;
        ShaderLog("Compile #" + IntToStr(static_cast<int32_t>(id)));
        program_ = 0;
        return id;
    }
    ShaderLog("Error while compiling");
    std::vector<GLcharARB> info(kMaxInfoLog, 0);
    GLsizei length = 0;
    GLExt.glGetInfoLogARB(program_, kMaxInfoLog, &length, info.data());
    std::string text(info.data(), static_cast<size_t>(std::clamp<GLsizei>(length, 0, kMaxInfoLog)));
    // The driver's reason spans lines; the log keeps it on one.
    std::replace(text.begin(), text.end(), '\r', ' ');
    std::replace(text.begin(), text.end(), '\n', ' ');
    ShaderLog(text);
    return 0;
}

void TVFP::FreeProgram(uint32_t id) {
    if (!Ready() || !id) return;
    GLExt.glDeleteObjectARB(id);
    ShaderLog("Free #" + IntToStr(static_cast<int32_t>(id)));
}

int32_t TVFP::AttribLocation(uint32_t id, const std::string& name) {
    if (!Ready() || !GLExt.glGetAttribLocationARB) return 0;
    return GLExt.glGetAttribLocationARB(id, name.c_str());
}

int32_t TVFP::UniformLocation(uint32_t id, const std::string& name) {
    if (!Ready() || !GLExt.glGetUniformLocationARB) return 0;
    return GLExt.glGetUniformLocationARB(id, name.c_str());
}

void TVFP::Attrib1f(uint32_t index, float x) {
    if (Ready() && GLExt.glVertexAttrib1fARB) GLExt.glVertexAttrib1fARB(index, x);
}

void TVFP::Attrib2f(uint32_t index, float x, float y) {
    if (Ready() && GLExt.glVertexAttrib2fARB) GLExt.glVertexAttrib2fARB(index, x, y);
}

void TVFP::Attrib3f(uint32_t index, float x, float y, float z) {
    if (Ready() && GLExt.glVertexAttrib3fARB) GLExt.glVertexAttrib3fARB(index, x, y, z);
}

void TVFP::Uniform1i(int32_t location, int32_t value) {
    if (Ready() && GLExt.glUniform1iARB) GLExt.glUniform1iARB(location, value);
}

void TVFP::UniformArray(int32_t location, const void* values, int32_t count, int32_t type) {
    if (!Ready() || !values || count < 1) return;
    const auto* ints = static_cast<const GLint*>(values);
    const auto* floats = static_cast<const GLfloat*>(values);
    const auto call = [&](auto entry, const auto* data) {
        if (entry) entry(location, count, data);
    };
    const auto matrix = [&](auto entry) {
        if (entry) entry(location, count, GL_FALSE, floats);
    };
    switch (type) {
    case UNIFORM_INT1: call(GLExt.glUniform1ivARB, ints); break;
    case UNIFORM_INT2: call(GLExt.glUniform2ivARB, ints); break;
    case UNIFORM_INT3: call(GLExt.glUniform3ivARB, ints); break;
    case UNIFORM_INT4: call(GLExt.glUniform4ivARB, ints); break;
    case UNIFORM_FLOAT1: call(GLExt.glUniform1fvARB, floats); break;
    case UNIFORM_FLOAT2: call(GLExt.glUniform2fvARB, floats); break;
    case UNIFORM_FLOAT3: call(GLExt.glUniform3fvARB, floats); break;
    case UNIFORM_FLOAT4: call(GLExt.glUniform4fvARB, floats); break;
    case UNIFORM_MATRIX2: matrix(GLExt.glUniformMatrix2fvARB); break;
    case UNIFORM_MATRIX3: matrix(GLExt.glUniformMatrix3fvARB); break;
    case UNIFORM_MATRIX4: matrix(GLExt.glUniformMatrix4fvARB); break;
    default: break;
    }
}

void TVFP::UseProgram(uint32_t id) {
    if (Ready()) GLExt.glUseProgramObjectARB(id);
}

void TVFP::NoProgram() {
    if (Ready()) GLExt.glUseProgramObjectARB(0);
}

} // namespace qx
