// Sprites, the sprite engine and the particle.
#include "presentation/sprite.h"

#include <GL/gl.h>

#include <algorithm>
#include <cmath>
#include <numbers>

#include "presentation/text.h"

namespace {
constexpr size_t kMaxNameLength = 32;
} // namespace

// ---- TSprite -----------------------------------------------------------------

TSprite::TSprite(TSprite* parent, const char* className) : Parent(parent) {
    std::string name = className;
    if (parent) {
        parent->AddChild(this);
        auto* parentEngine = dynamic_cast<TSpriteEngine*>(parent);
        Engine = parentEngine ? parentEngine : parent->Engine;
        if (Engine) {
            ++Engine->SpriteCount;
            name += " #" + qx::IntToStr(Engine->SpriteCount);
        }
    } else {
        name += " Boss";
    }
    Name = name.substr(0, kMaxNameLength);
    AddRef(); // the tree's reference
}

TSprite::~TSprite() { ReleaseChildren(); }

void TSprite::ReleaseChildren() {
    while (ChildCount() > 0) {
        const int32_t last = Children->Count() - 1;
        auto* child = static_cast<TSprite*>(Children->Get(last));
        Children->Delete(last);
        child->Parent = nullptr;
        child->Dispose();
    }
    delete Children;
    Children = nullptr;
}

bool TSprite::TakeOutChild(TSprite* sprite) {
    bool found = false;
    while (Children && Children->Remove(sprite)) found = true;
    return found;
}

void TSprite::Dispose() {
    ClearChildren();
    // Whoever disposes a listed sprite directly must not leave its parent or
    // its engine's queue pointing at freed memory.
    if (Parent) Parent->TakeOutChild(this);
    if (Killed && Engine) {
        while (Engine->KillQueue.Remove(this)) {
        }
    }
    Parent = nullptr;
    Engine = nullptr;
    Release();
}

int32_t TSprite::AddChild(TSprite* sprite) {
    if (!Children) Children = new TQuickList;
    return Children->Add(sprite);
}

TSprite* TSprite::Child(int32_t index) const {
    if (!Children) {
        qx::log->Print("List index out of bounds (" + qx::IntToStr(index) + ")");
        return nullptr;
    }
    return static_cast<TSprite*>(Children->Get(index));
}

void TSprite::ClearChildren() { ReleaseChildren(); }

void TSprite::Kill() {
    if (!Engine || Killed) return;
    Engine->KillQueue.Add(this);
    Killed = true;
}

void TSprite::StepAll() {
    if (!Moved) return;
    Step();
    // Children may only be queued (Kill) during the walk, never taken out, so
    // the count read each pass stays valid.
    for (int32_t i = 0; i < ChildCount(); ++i) static_cast<TSprite*>(Children->Get(i))->StepAll();
}

void TSprite::DrawAll() {
    if (!Visible) return;
    Draw();
    for (int32_t i = 0; i < ChildCount(); ++i) static_cast<TSprite*>(Children->Get(i))->DrawAll();
}

// ---- TSpriteEngine -----------------------------------------------------------

TSpriteEngine::TSpriteEngine(TSprite* parent, const char* className) : TSprite(parent, className) {}

TSpriteEngine::~TSpriteEngine() {
    // Children left here (nested engines survive ClearChildren) still hold the
    // tree's reference; give it back while KillQueue is alive for their Dispose.
    ReleaseChildren();
    KillQueue.Clear();
}

void TSpriteEngine::Kill() {
    // Last queued first; a disposed sprite takes its own queued descendants out
    // of the queue, so the queue is read afresh on every pass.
    while (KillQueue.Count() > 0) {
        const int32_t last = KillQueue.Count() - 1;
        auto* sprite = static_cast<TSprite*>(KillQueue.Get(last));
        KillQueue.Delete(last);
        // Usually the parent is this engine; a sprite under a plain sprite
        // leaves that sprite's list instead, so nothing keeps a freed pointer.
        if (sprite->Parent) sprite->Parent->TakeOutChild(sprite);
        sprite->Parent = nullptr;
        sprite->Dispose();
    }
}

void TSpriteEngine::ClearChildren() {
    for (int32_t i = 0; i < ChildCount(); ++i) {
        auto* child = static_cast<TSprite*>(Children->Get(i));
        if (auto* nested = dynamic_cast<TSpriteEngine*>(child)) {
            nested->ClearChildren();
        } else {
            child->Kill();
        }
    }
    Kill();
}

// ---- TPart -------------------------------------------------------------------

TPart::TPart(TSpriteEngine* engine, double x, double y, double vx, double vy, double life, double scale,
             uint8_t r, uint8_t g, uint8_t b, bool loop)
    : TSprite(engine, "TPart"), Pos{x, y}, Vel{vx, vy}, Life(life), Scale(scale), Color{r, g, b} {
    Angle = RandomStep(0, 360, 0.1);
    Spin = RandomStep(-1, 1, 0.001);
    StartPos = Pos;
    StartVel = Vel;
    Loop = loop;
    // Looping particles start at different ages so the ring does not pulse as one.
    TimeLeft = Loop ? RandomStep(1, Life, 0.1) : Life;
}

void TPart::Step() {
    Pos.x += Vel.x;
    Pos.y += Vel.y;
    Vel.x += Gravity.x;
    Vel.y += Gravity.y;
    TimeLeft -= 1;
    Angle += Spin;

    const double width = ViewWidth();
    const double height = ViewHeight();
    if (Pos.x < 0) Pos.x = 0;
    if (Pos.y <= 0) Pos.y = 0;
    if (Pos.x > width) Pos.x = width;
    if (Pos.y > height) Pos.y = height;

    if (TimeLeft < 0) {
        if (Loop) {
            TimeLeft = Life;
            Vel = StartVel;
            Pos = StartPos;
        } else {
            Kill();
        }
    }
}

uint8_t TPart::Alpha() const {
    if (!(Life > 0)) return 0;
    // Past the end of life the value would wrap to nearly opaque; a dead
    // particle waiting for the flush is drawn clear instead.
    const double alpha = std::nearbyint(TimeLeft * 255 / Life);
    return static_cast<uint8_t>(std::clamp(alpha, 0.0, 255.0));
}

double TPart::Side() const {
    if (!(Life > 0)) return 0;
    return (TimeLeft - Life) / Life * Scale;
}

void TPart::Draw() {
    glColor4ub(Color.r, Color.g, Color.b, Alpha());
    DrawTurnedQuad(Pos, Side(), Angle);
}

void DrawTurnedQuad(const Vec2& centre, double side, double angle) {
    const double radians = angle * std::numbers::pi / 180;
    const double c = std::cos(radians), s = std::sin(radians);
    const double h = side / 2;
    // Corners before turning.
    static constexpr double kCorner[4][2] = {{-1, -1}, {1, -1}, {1, 1}, {-1, 1}};
    TQuadCorners corners;
    for (size_t i = 0; i < corners.size(); ++i) {
        const double x = kCorner[i][0] * h, y = kCorner[i][1] * h;
        corners[i] = {centre.x + x * c - y * s, centre.y + x * s + y * c};
    }
    EmitQuad(GL_QUADS, corners);
}
