// Shader programs on a real GL context: programs built from the sections of
// one file and told apart by what they draw, uniforms and attributes changing
// the drawn colour, compile and link failures with their lines, and shader
// files that are empty, headless, huge or binary.
#include <gtest/gtest.h>

#define GL_GLEXT_PROTOTYPES 1
#include <GL/gl.h>
#include <GL/glext.h>

#include <fstream>
#include <string>
#include <vector>

#include "engine/engine.h"
#include "tests/support/window.h"
#include "tests/test_support.h"

namespace {

using test_window::Pixel;
using test_window::TRgb;

const TRgb kRed{255, 0, 0};
const TRgb kGreen{0, 255, 0};
const TRgb kBlue{0, 0, 255};
const TRgb kWhite{255, 255, 255};

// Two programs: "a" draws red; "b" draws its uniform tint when pick is 1, else white.
const std::string kTwoPrograms =
    "[VP a]\r\n"
    "void main() { gl_Position = ftransform(); }\r\n"
    "[FP a]\r\n"
    "void main() { gl_FragColor = vec4(1.0, 0.0, 0.0, 1.0); }\r\n"
    "[VP b]\r\n"
    "void main() { gl_Position = ftransform(); }\r\n"
    "[FP b]\r\n"
    "uniform vec4 tint;\r\n"
    "uniform int pick;\r\n"
    "void main() { gl_FragColor = pick == 1 ? tint : vec4(1.0); }"; // no CR LF after the last line

const std::string kVertex = "void main() { gl_Position = ftransform(); }\r\n";

bool LogHas(const std::string& line) { return TestLogText().find("Shader  : " + line + "\r\n") != std::string::npos; }

bool Add(const std::string& text, const std::string& name) {
    return qx::vfp->AddShadersMem(text.data(), text.size(), name);
}

GLint AttachedShaders(uint32_t program) {
    GLint count = -1;
    glGetProgramiv(program, GL_ATTACHED_SHADERS, &count);
    return count;
}

class ShaderPrograms : public test_window::WindowTest {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        ASSERT_TRUE(qx::ShaderExt);
        glDisable(GL_TEXTURE_2D);
        qx::ogl->Blend(qx::kBlendOff);
        qx::ogl->Set2D(0, 0, static_cast<float>(width_), static_cast<float>(height_));
        glClearColor(0, 0, 0, 1);
        qx::ogl->Clear(true, false, false);
    }
    void TearDown() override {
        qx::vfp->NoProgram();
        qx::vfp->ClearProgram();
        for (const uint32_t id : made) qx::vfp->FreeProgram(id);
        qx::ShaderExt = true;
    }
    uint32_t Link() {
        const uint32_t id = qx::vfp->LinkProgram();
        if (id) made.push_back(id);
        return id;
    }
    // Draws a quad over the test spot in the current colour and reads it back.
    static TRgb Draw() {
        glColor3ub(0, 255, 0);
        glBegin(GL_QUADS);
        glVertex2f(10, 10);
        glVertex2f(30, 10);
        glVertex2f(30, 30);
        glVertex2f(10, 30);
        glEnd();
        return Pixel(20, 20);
    }
    std::vector<uint32_t> made;
};

TEST_F(ShaderPrograms, OneFileGivesAProgramPerSectionName) {
    const std::string file = MakeTempDir() + "/shaders.txt";
    std::ofstream(file, std::ios::binary) << kTwoPrograms;

    ASSERT_TRUE(qx::vfp->AddShaders(file, "a"));
    const uint32_t a = Link();
    ASSERT_NE(a, 0u);
    EXPECT_TRUE(LogHas("Compile #" + qx::IntToStr(static_cast<int32_t>(a))));
    EXPECT_EQ(AttachedShaders(a), 2);
    // The second name starts a program of its own, from the file's last line too.
    ASSERT_TRUE(qx::vfp->AddShaders(file, "b"));
    const uint32_t b = Link();
    ASSERT_NE(b, 0u);
    EXPECT_NE(a, b);
    EXPECT_EQ(AttachedShaders(b), 2);

    EXPECT_EQ(Draw(), kGreen);
    qx::vfp->UseProgram(a);
    EXPECT_EQ(Draw(), kRed);
    qx::vfp->UseProgram(b);
    EXPECT_EQ(Draw(), kWhite);
    const int32_t tint = qx::vfp->UniformLocation(b, "tint");
    const int32_t pick = qx::vfp->UniformLocation(b, "pick");
    ASSERT_GE(tint, 0);
    ASSERT_GE(pick, 0);
    EXPECT_EQ(qx::vfp->UniformLocation(b, "missing"), -1);
    qx::vfp->Uniform1i(pick, 1);
    const float blue[4] = {0, 0, 1, 1};
    qx::vfp->UniformArray(tint, blue, 1, qx::UNIFORM_FLOAT4);
    EXPECT_EQ(Draw(), kBlue);
    const float green[4] = {0, 1, 0, 1};
    qx::vfp->UniformArray(tint, green, 1, qx::UNIFORM_FLOAT4);
    EXPECT_EQ(Draw(), kGreen);
    // Unknown type codes and missing values change nothing.
    qx::vfp->UniformArray(tint, blue, 1, 11);
    qx::vfp->UniformArray(tint, nullptr, 1, qx::UNIFORM_FLOAT4);
    qx::vfp->UniformArray(tint, blue, 0, qx::UNIFORM_FLOAT4);
    EXPECT_EQ(Draw(), kGreen);
    const GLint off = 0;
    qx::vfp->UniformArray(pick, &off, 1, qx::UNIFORM_INT1);
    EXPECT_EQ(Draw(), kWhite);
    qx::vfp->NoProgram();
    qx::ogl->Clear(true, false, false);
    EXPECT_EQ(Draw(), kGreen);
}

TEST_F(ShaderPrograms, AttributesReachTheVertexShader) {
    const std::string text = "[VP tone]\r\nattribute vec3 tone;\r\nvarying vec3 shade;\r\n"
                             "void main() { gl_Position = ftransform(); shade = tone; }\r\n"
                             "[FP tone]\r\nvarying vec3 shade;\r\n"
                             "void main() { gl_FragColor = vec4(shade, 1.0); }\r\n";
    ASSERT_TRUE(Add(text, "tone"));
    const uint32_t id = Link();
    ASSERT_NE(id, 0u);
    const int32_t tone = qx::vfp->AttribLocation(id, "tone");
    ASSERT_GT(tone, 0);
    EXPECT_EQ(qx::vfp->AttribLocation(id, "missing"), -1);
    qx::vfp->UseProgram(id);
    qx::vfp->Attrib3f(static_cast<uint32_t>(tone), 0, 0, 1);
    EXPECT_EQ(Draw(), kBlue);
    qx::vfp->Attrib2f(static_cast<uint32_t>(tone), 1, 1); // z becomes 0
    EXPECT_EQ(Draw(), (TRgb{255, 255, 0}));
    qx::vfp->Attrib1f(static_cast<uint32_t>(tone), 1);
    EXPECT_EQ(Draw(), kRed);
}

TEST_F(ShaderPrograms, AFailedSectionIsLoggedByNameAndTheShadersBeforeItStay) {
    const std::string text = "[VP c]\r\n" + kVertex + "[FP c]\r\nthis is not a shader\r\n"
                             "[FP d]\r\nvoid main() { gl_FragColor = vec4(1.0, 0.0, 0.0, 1.0); }\r\n";
    EXPECT_FALSE(Add(text, "c"));
    EXPECT_TRUE(LogHas("Can't add fragment shader \"c\""));
    // The vertex shader of c is still attached when d's fragment shader joins it.
    ASSERT_TRUE(Add(text, "d"));
    const uint32_t id = Link();
    ASSERT_NE(id, 0u);
    EXPECT_EQ(AttachedShaders(id), 2);

    EXPECT_FALSE(Add("[VP e]\r\nvoid main() { nonsense; }\r\n", "e"));
    EXPECT_TRUE(LogHas("Can't add vertex shader \"e\""));
    qx::vfp->ClearProgram();
}

TEST_F(ShaderPrograms, SectionNamesAreComparedExactly) {
    const std::string text = "[VP Water]\r\n" + kVertex + "[VP water2]\r\n" + kVertex;
    EXPECT_FALSE(Add(text, "water"));
    EXPECT_FALSE(Add(text, "Wate"));
    EXPECT_TRUE(Add(text, "Water"));
    qx::vfp->ClearProgram();
}

TEST_F(ShaderPrograms, AProgramThatDoesNotLinkIsLoggedWithTheDriversReason) {
    // Two fragment shaders that both define main.
    const std::string fragment = "void main() { gl_FragColor = vec4(1.0); }\r\n";
    ASSERT_TRUE(Add("[FP twice]\r\n" + fragment + "[FP twice]\r\n" + fragment, "twice"));
    EXPECT_EQ(qx::vfp->LinkProgram(), 0u);
    const std::string log = TestLogText();
    const size_t failed = log.rfind("Shader  : Error while compiling\r\n");
    ASSERT_NE(failed, std::string::npos);
    // The reason follows as one line of its own.
    const size_t reason = failed + std::string("Shader  : Error while compiling\r\n").size();
    const size_t end = log.find("\r\n", reason);
    EXPECT_GT(end - reason, std::string("[-----0] Shader  : ").size()) << log.substr(reason);
    qx::vfp->ClearProgram();
    EXPECT_EQ(qx::vfp->LinkProgram(), 0u); // nothing being assembled
}

TEST_F(ShaderPrograms, FilesThatHoldNoShaderAreRefusedSafely) {
    EXPECT_FALSE(qx::vfp->AddShaders(MakeTempDir() + "/missing.txt", "a"));
    EXPECT_FALSE(Add("", "a"));
    EXPECT_FALSE(qx::vfp->AddShadersMem(nullptr, 10, "a"));
    // No header: nothing belongs to a section.
    EXPECT_FALSE(Add(kVertex + kVertex, "a"));
    EXPECT_FALSE(Add(kVertex, ""));
    // A huge line, here a comment inside the section, is just text.
    const std::string huge = "[VP big]\r\n//" + std::string(1 << 20, 'x') + "\r\n" + kVertex;
    EXPECT_TRUE(Add(huge, "big"));
    qx::vfp->ClearProgram();
    // Binary bytes, NULs among them, fail to compile and say so.
    std::string binary = "[VP bin]\r\n";
    for (int i = 0; i < 4096; ++i) binary += static_cast<char>((i * 131 + 7) & 0xFF);
    EXPECT_FALSE(Add(binary, "bin"));
    EXPECT_TRUE(LogHas("Can't add vertex shader \"bin\""));
    qx::vfp->ClearProgram();
    // Larger than any shader file: refused unread.
    const std::vector<char> tooLarge(static_cast<size_t>(qx::TVFP::kMaxFileSize) + 1, ' ');
    EXPECT_FALSE(qx::vfp->AddShadersMem(tooLarge.data(), tooLarge.size(), "a"));
    EXPECT_TRUE(LogHas("Shader file too large (" + qx::IntToStr(static_cast<int32_t>(tooLarge.size())) + ")"));
}

TEST_F(ShaderPrograms, WithoutTheExtensionEveryOperationDoesNothing) {
    qx::ShaderExt = false;
    EXPECT_FALSE(Add(kTwoPrograms, "a"));
    EXPECT_EQ(qx::vfp->LinkProgram(), 0u);
    EXPECT_EQ(qx::vfp->AttribLocation(1, "x"), 0);
    EXPECT_EQ(qx::vfp->UniformLocation(1, "x"), 0);
    qx::vfp->UseProgram(1);
    qx::vfp->Uniform1i(0, 1);
    qx::vfp->Attrib1f(1, 1);
    qx::vfp->FreeProgram(1);
    qx::ShaderExt = true;
    GLint current = -1;
    glGetIntegerv(GL_CURRENT_PROGRAM, &current);
    EXPECT_EQ(current, 0);
    EXPECT_EQ(Draw(), kGreen);
}

} // namespace
