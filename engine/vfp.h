// Shader programs: vertex and fragment programs loaded, compiled, bound and fed parameters.
// The engine creates and releases this module; its operations come with the
// module's own work. The game does not call it.
#pragma once

namespace qx {

class TVFP {
public:
    TVFP() = default;
    virtual ~TVFP() = default;
};

} // namespace qx
