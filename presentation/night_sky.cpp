// The night sky.
#include "presentation/night_sky.h"

#include <GL/gl.h>

#include <cmath>
#include <string>

#include "engine/engine.h"
#include "presentation/text.h"

namespace {
const std::string kVersionText = "^0Version 2.1.0";

// A rectangle across the view whose colour runs from top to bottom.
void Gradient(double y, double width, double height, const uint8_t (&top)[3], const uint8_t (&bottom)[3]) {
    glBegin(GL_QUADS);
    glColor3ubv(top);
    glVertex2d(0, y);
    glVertex2d(width, y);
    glColor3ubv(bottom);
    glVertex2d(width, y + height);
    glVertex2d(0, y + height);
    glEnd();
}
} // namespace

TNightSky::TNightSky(const TTextures& textures) : Textures(textures) {}

void TNightSky::PlaceStars() {
    const double width = ViewWidth();
    const double height = ViewHeight();
    // The random values are drawn in this order for every star.
    for (TStar& star : Stars) {
        const int32_t k = 100 + RandomInt(100);
        const auto blue = static_cast<uint8_t>(k + RandomInt(56));
        const auto red = static_cast<uint8_t>(k + RandomInt(56));
        star.Color = qx::PackRGBA(red, 255, blue, 1);
        star.Phase = static_cast<uint8_t>(RandomInt(256));
        star.X = RandomStep(0, width, 0.1);
        star.Y = RandomStep(0, height, 0.1);
    }
}

void TNightSky::Draw(int32_t tick) const {
    const double w = ViewWidth();
    const double h = ViewHeight();
    const double t0 = tick;
    qx::ogl->Clear(true, false, false); // nothing is depth-tested
    SetViewProjection();

    qx::ogl->Blend(qx::kBlendAlpha);
    glColor3f(0, 0.5f, 1);
    qx::tex->Enable(Textures.Wheel, 0);
    DrawQuadRot(w / 4, h / 2, 128, 128, t0);
    DrawQuadRot(3 * w / 4, h / 2, 128, 128, -t0);

    glColor3f(1, 1, 1);
    qx::tex->Disable(0);
    Gradient(0.8 * h, w, h / 5, {220, 220, 255}, {255, 255, 255});
    Gradient(0.7 * h, w, h / 10, {0, 0, 0}, {220, 220, 255});

    glColor3f(1, 1, 1);
    qx::tex->Enable(Textures.Moon, 0);
    DrawQuadRot(3 * w / 4, h / 4, 128, 128, 30 * std::sin(t0 / 60));

    glColor3f(1, 1, 1);
    qx::ogl->Blend(qx::kBlendAlpha);
    qx::tex->Enable(Textures.Tree, 0);
    DrawQuadRot(w / 5, 4 * h / 5, 128, 256, 0);
    DrawQuadRot(4 * w / 5, 4 * h / 5, -128, 256, 0);

    glColor3f(1, 1, 0);
    qx::tex->Enable(Textures.Logo, 0);
    qx::ogl->Blend(qx::kBlendAlpha);
    DrawQuadRot(w / 2, h / 5, 512, 128, 0);

    DrawText(0, kVersionText, w - MarkupWidth(0, kVersionText) - 10, h - 16);

    qx::tex->Enable(Textures.Star, 0);
    qx::ogl->Blend(qx::kBlendAdd);
    for (const TStar& star : Stars) {
        const double t = (t0 / 100) * (star.Phase - 128) / 128;
        const auto alpha = static_cast<GLubyte>(std::nearbyint((std::sin(t) + 1) * 255 / 2));
        StarQuads.AddCentred(star.X + 5 * std::sin(t), star.Y + 5 * std::cos(t), 10, 10,
                             GLColorOf(qx::WithAlpha(star.Color, alpha)));
    }
    StarQuads.Draw();
    qx::tex->Disable(0);
    qx::ogl->Blend(qx::kBlendOff);
}
