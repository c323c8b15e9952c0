// Vertex buffers: vertex and index data compiled into buffers or arrays and drawn.
// The engine creates and releases this module; its operations come with the
// module's own work. The game does not call it.
#pragma once

namespace qx {

class TVBO {
public:
    TVBO() = default;
    virtual ~TVBO() = default;
};

} // namespace qx
