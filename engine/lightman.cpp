// The light manager.
#include "engine/lightman.h"

#include <GL/gl.h>

#include "engine/engine.h"

namespace qx {

namespace {

bool ValidLight(int32_t n) {
    GLint maxLights = 0;
    glGetIntegerv(GL_MAX_LIGHTS, &maxLights);
    return n >= 0 && n < maxLights;
}

GLenum Light(int32_t n) { return static_cast<GLenum>(GL_LIGHT0 + n); }

void Unpack(uint32_t color, GLfloat (&rgba)[4]) {
    const std::array<uint8_t, 4> bytes = ColorBytes(color);
    for (size_t i = 0; i < bytes.size(); ++i) rgba[i] = static_cast<GLfloat>(bytes[i]) / 255.0f;
}

} // namespace

void TLightMan::LightEnable(int32_t n) {
    if (ValidLight(n)) glEnable(Light(n));
}

void TLightMan::LightDisable(int32_t n) {
    if (ValidLight(n)) glDisable(Light(n));
}

void TLightMan::LightPosition(int32_t n, float x, float y, float z) {
    if (!ValidLight(n)) return;
    const GLfloat position[4] = {x, y, z, 1.0f};
    glLightfv(Light(n), GL_POSITION, position);
}

void TLightMan::LightColor(int32_t n, uint32_t color) {
    if (!ValidLight(n)) return;
    GLfloat rgba[4];
    Unpack(color, rgba);
    glLightfv(Light(n), GL_DIFFUSE, rgba);
}

void TLightMan::AmbientColor(uint32_t color) {
    GLfloat rgba[4];
    Unpack(color, rgba);
    glLightModelfv(GL_LIGHT_MODEL_AMBIENT, rgba);
}

} // namespace qx
