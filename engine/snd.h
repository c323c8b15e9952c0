// Sound effects and music: WAV channels with volume, pan and frequency, Ogg streaming.
// The engine creates and releases this module; its operations come with the
// module's own work. The game does not call it.
#pragma once

namespace qx {

class TSnd {
public:
    TSnd() = default;
    virtual ~TSnd() = default;
};

} // namespace qx
