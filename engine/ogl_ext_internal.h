// Entry points of the OpenGL extension groups, loaded by TOGL::Init through the
// context (internal to the engine). This table is the engine's one way to an
// extension's functions; their prototypes are never declared. Each entry is
// null until Init has found its group (SwapControlExt, MultitextureExt,
// FramebufferExt, ShaderExt, VBOExt in engine/ogl.h); a module checks the
// group's flag, or the entry, before calling. Swap control has no entry points
// here: the platform's swap interval is set through the GL module.
#pragma once

#include <GL/gl.h>
#include <GL/glext.h>

namespace qx {

struct TGLExt {
    // GL_ARB_multitexture
    PFNGLACTIVETEXTUREARBPROC glActiveTextureARB = nullptr;
    PFNGLCLIENTACTIVETEXTUREARBPROC glClientActiveTextureARB = nullptr;
    // GL_EXT_framebuffer_object
    PFNGLGENRENDERBUFFERSEXTPROC glGenRenderbuffersEXT = nullptr;
    PFNGLDELETERENDERBUFFERSEXTPROC glDeleteRenderbuffersEXT = nullptr;
    PFNGLBINDRENDERBUFFEREXTPROC glBindRenderbufferEXT = nullptr;
    PFNGLRENDERBUFFERSTORAGEEXTPROC glRenderbufferStorageEXT = nullptr;
    PFNGLGENFRAMEBUFFERSEXTPROC glGenFramebuffersEXT = nullptr;
    PFNGLDELETEFRAMEBUFFERSEXTPROC glDeleteFramebuffersEXT = nullptr;
    PFNGLBINDFRAMEBUFFEREXTPROC glBindFramebufferEXT = nullptr;
    PFNGLFRAMEBUFFERTEXTURE2DEXTPROC glFramebufferTexture2DEXT = nullptr;
    PFNGLFRAMEBUFFERRENDERBUFFEREXTPROC glFramebufferRenderbufferEXT = nullptr;
    PFNGLCHECKFRAMEBUFFERSTATUSEXTPROC glCheckFramebufferStatusEXT = nullptr;
    // GL_ARB_shading_language (with the ARB shader objects)
    PFNGLDELETEOBJECTARBPROC glDeleteObjectARB = nullptr;
    PFNGLCREATEPROGRAMOBJECTARBPROC glCreateProgramObjectARB = nullptr;
    PFNGLCREATESHADEROBJECTARBPROC glCreateShaderObjectARB = nullptr;
    PFNGLSHADERSOURCEARBPROC glShaderSourceARB = nullptr;
    PFNGLATTACHOBJECTARBPROC glAttachObjectARB = nullptr;
    PFNGLLINKPROGRAMARBPROC glLinkProgramARB = nullptr;
    PFNGLUSEPROGRAMOBJECTARBPROC glUseProgramObjectARB = nullptr;
    PFNGLCOMPILESHADERARBPROC glCompileShaderARB = nullptr;
    PFNGLGETOBJECTPARAMETERIVARBPROC glGetObjectParameterivARB = nullptr;
    PFNGLGETATTRIBLOCATIONARBPROC glGetAttribLocationARB = nullptr;
    PFNGLGETUNIFORMLOCATIONARBPROC glGetUniformLocationARB = nullptr;
    PFNGLVERTEXATTRIB1FARBPROC glVertexAttrib1fARB = nullptr;
    PFNGLVERTEXATTRIB2FARBPROC glVertexAttrib2fARB = nullptr;
    PFNGLVERTEXATTRIB3FARBPROC glVertexAttrib3fARB = nullptr;
    PFNGLUNIFORM1IARBPROC glUniform1iARB = nullptr;
    PFNGLUNIFORM1IVARBPROC glUniform1ivARB = nullptr;
    PFNGLUNIFORM2IVARBPROC glUniform2ivARB = nullptr;
    PFNGLUNIFORM3IVARBPROC glUniform3ivARB = nullptr;
    PFNGLUNIFORM4IVARBPROC glUniform4ivARB = nullptr;
    PFNGLUNIFORM1FVARBPROC glUniform1fvARB = nullptr;
    PFNGLUNIFORM2FVARBPROC glUniform2fvARB = nullptr;
    PFNGLUNIFORM3FVARBPROC glUniform3fvARB = nullptr;
    PFNGLUNIFORM4FVARBPROC glUniform4fvARB = nullptr;
    PFNGLUNIFORMMATRIX2FVARBPROC glUniformMatrix2fvARB = nullptr;
    PFNGLUNIFORMMATRIX3FVARBPROC glUniformMatrix3fvARB = nullptr;
    PFNGLUNIFORMMATRIX4FVARBPROC glUniformMatrix4fvARB = nullptr;
    PFNGLGETINFOLOGARBPROC glGetInfoLogARB = nullptr;
    // GL_ARB_vertex_buffer_object
    PFNGLBINDBUFFERARBPROC glBindBufferARB = nullptr;
    PFNGLDELETEBUFFERSARBPROC glDeleteBuffersARB = nullptr;
    PFNGLGENBUFFERSARBPROC glGenBuffersARB = nullptr;
    PFNGLBUFFERDATAARBPROC glBufferDataARB = nullptr;
    PFNGLBUFFERSUBDATAARBPROC glBufferSubDataARB = nullptr;
    PFNGLMAPBUFFERARBPROC glMapBufferARB = nullptr;
    PFNGLUNMAPBUFFERARBPROC glUnmapBufferARB = nullptr;
};

extern TGLExt GLExt;

} // namespace qx
