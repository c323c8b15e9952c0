// Sprites: a small tree of animated 2-D decorations, stepped once per update
// step (tick) and drawn once per frame.
//
// A TSprite is a node; the tree owns it through the single reference taken at
// construction, and Dispose (clear the subtree, then Release) gives it back.
// A TSpriteEngine is the root of a tree: Kill on a sprite only queues it in its
// engine, and Kill on the engine itself flushes that queue, disposing every
// queued sprite, so a sprite can ask to die in the middle of StepAll without
// pulling the list out from under the walk. TPart is the textured particle.
// Coordinates are view pixels after SetViewProjection (y downwards).
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "app/list.h"
#include "engine/engine.h"
#include "presentation/tools.h"

class TSpriteEngine;

class TSprite : public TAccessObject {
public:
    // Joins parent's children (parent may be null: a root, named "<class> Boss").
    explicit TSprite(TSprite* parent) : TSprite(parent, "TSprite") {}
    ~TSprite() override;

    // ---- The tree ----
    virtual void Dispose();                 // clears the subtree, leaves the tree, drops the tree's reference
    virtual int32_t AddChild(TSprite* sprite); // index of the new child
    virtual void ClearChildren();           // disposes every child, last first; frees the list
    virtual void Kill();                    // queues this sprite once in its engine for disposal

    // ---- Animation ----
    virtual void Step() {}                  // one tick of this sprite alone
    virtual void Draw() {}                  // this sprite alone, texture and blending already set
    virtual void StepAll();                 // this sprite and its subtree, unless Moved is false
    virtual void DrawAll();                 // this sprite and its subtree, unless Visible is false

    TSpriteEngine* Engine = nullptr;  // nearest engine above, not owned; null for a root
    TSprite* Parent = nullptr;        // not owned; null for a root
    TQuickList* Children = nullptr;   // made on the first AddChild; holds one reference per child
    bool Visible = true;
    bool Moved = true;
    int32_t SpriteCount = 0;          // in an engine: sprites made with it as their Engine
    bool Killed = false;              // queued already
    std::string Name;                 // "<class> #<n>" or "<class> Boss", at most 32 characters

    int32_t ChildCount() const { return Children ? Children->Count() : 0; }
    TSprite* Child(int32_t index) const; // null (and a log line) when out of range

protected:
    // className names the most derived class; a constructor cannot ask for it.
    TSprite(TSprite* parent, const char* className);
    // Disposes whatever children are still listed and frees the list; destructors call it.
    void ReleaseChildren();
    // Takes every occurrence of sprite out of Children; false when it was not there.
    bool TakeOutChild(TSprite* sprite);

    friend class TSpriteEngine; // its flush takes sprites out of their parents' lists
};

class TSpriteEngine : public TSprite {
public:
    explicit TSpriteEngine(TSprite* parent) : TSpriteEngine(parent, "TSpriteEngine") {}
    ~TSpriteEngine() override;

    void Kill() override;          // flushes KillQueue, last queued first
    void ClearChildren() override; // clears nested engines, kills the rest, then flushes

    TQuickList KillQueue;          // sprites waiting for the flush, not counted references

protected:
    TSpriteEngine(TSprite* parent, const char* className);
};

// A textured particle that drifts, rises, spins, grows and fades; a looping one
// starts again from its birth position and velocity when its time runs out.
class TPart : public TSprite {
public:
    // life in ticks; scale is the side reached at the end of life, in pixels.
    TPart(TSpriteEngine* engine, double x, double y, double vx, double vy, double life, double scale,
          uint8_t r, uint8_t g, uint8_t b, bool loop);

    void Step() override;
    void Draw() override;

    uint8_t Alpha() const; // 255 at birth down to 0 at the end of life; 0 once past it
    double Side() const;   // 0 at birth down to -Scale at the end (negative: mirrored quad)

    Vec2 Pos;
    Vec2 Vel;
    Vec2 StartPos;
    Vec2 StartVel;
    double Angle = 0;      // degrees
    double Life = 0;       // ticks
    double Spin = 0;       // degrees per tick
    double TimeLeft = 0;   // ticks
    double Scale = 0;
    qx::TRGB Color{255, 255, 255};
    bool Loop = false;

    static constexpr Vec2 Gravity{0.0, -0.003}; // pixels per tick per tick: particles rise
};

// Owns a sprite tree for an owner that is not itself a sprite: the tree is
// disposed (Dispose, not delete) when the owner goes.
struct TSpriteDisposer {
    void operator()(TSprite* sprite) const { sprite->Dispose(); }
};
template <class TSpriteClass>
using TSpriteOwner = std::unique_ptr<TSpriteClass, TSpriteDisposer>;

// One textured quad of the given side centred at centre, turned by angle degrees
// about its centre; texture (0,0),(1,0),(1,1),(0,1) on the corners that start at
// top left, top right, bottom right, bottom left. The current colour is used.
void DrawTurnedQuad(const Vec2& centre, double side, double angle);
