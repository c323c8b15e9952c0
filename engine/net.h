// UDP networking: sockets on a port, with broadcast, and a receiving thread.
// The engine creates and releases this module; its operations come with the
// module's own work. The game does not call it.
#pragma once

namespace qx {

class TNet {
public:
    TNet() = default;
    virtual ~TNet() = default;
};

} // namespace qx
