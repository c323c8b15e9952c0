// The engine's media modules used the way a game built on the engine uses
// them: a mesh compiled once into a vertex buffer and drawn every frame with a
// shader program whose uniform pulses, and a datagram sent every update step
// to a peer that echoes it back over loopback. The program first runs two
// seconds of the engine's own main loop and says what it saw, then measures
// one frame of the mesh and one echo.
//
// Run by hand under a display: build-test/bench_engine_media (the peer is a
// second socket of this process, so nothing else is needed).
#include <GL/gl.h>
#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cmath>
#include <cstdio>
#include <numbers>
#include <string>
#include <vector>

#include "engine/engine.h"

namespace {

// One program: positions pass through, the fragment colour is the vertex
// colour scaled by the uniform pulse.
constexpr char kShaders[] =
    "[VP mesh]\r\n"
    "void main() { gl_Position = ftransform(); gl_FrontColor = gl_Color; }\r\n"
    "[FP mesh]\r\n"
    "uniform float pulse;\r\n"
    "void main() { gl_FragColor = vec4(gl_Color.rgb * pulse, 1.0); }\r\n";

constexpr int32_t kWidth = 640;
constexpr int32_t kHeight = 480;
constexpr int kRimVertices = 24;
const uint32_t kLoopback = htonl(INADDR_LOOPBACK);

struct TDemo {
    int32_t mesh = -1;
    uint32_t program = 0;
    int32_t pulse = -1;
    int32_t client = -1;
    int32_t peer = -1;
    uint16_t peerPort = 0;
    int32_t frames = 0;
    int32_t steps = 0;
    int32_t sent = 0;
    int32_t echoed = 0;
} demo;

// A disc: one centre and a rim, as an indexed triangle fan in triangles.
bool BuildMesh() {
    struct TVertex {
        float x, y, z;
    };
    std::vector<TVertex> positions{{0, 0, 0}};
    std::vector<uint32_t> colours{0xFFFFFFFFu};
    std::vector<uint32_t> indices;
    for (int i = 0; i < kRimVertices; ++i) {
        const double angle = 2 * std::numbers::pi * i / kRimVertices;
        positions.push_back({static_cast<float>(std::cos(angle)), static_cast<float>(std::sin(angle)), 0});
        colours.push_back(i % 2 ? 0xFF2080FFu : 0xFFFF8020u);
        indices.insert(indices.end(), {0u, 1u + i, 1u + (i + 1) % kRimVertices});
    }
    qx::vbo->AddData(qx::VBO_INDEX, static_cast<int32_t>(indices.size()), indices.data());
    qx::vbo->AddData(qx::VBO_POSITION, static_cast<int32_t>(positions.size()), positions.data());
    qx::vbo->AddData(qx::VBO_COLOR, static_cast<int32_t>(colours.size()), colours.data());
    demo.mesh = qx::vbo->Compile();
    return demo.mesh >= 0;
}

bool BuildProgram() {
    if (!qx::vfp->AddShadersMem(kShaders, sizeof kShaders - 1, "mesh")) return false;
    demo.program = qx::vfp->LinkProgram();
    demo.pulse = qx::vfp->UniformLocation(demo.program, "pulse");
    return demo.program != 0;
}

uint16_t LocalPort(int32_t socket) {
    sockaddr_in address{};
    socklen_t size = sizeof address;
    ::getsockname(socket, reinterpret_cast<sockaddr*>(&address), &size);
    return ntohs(address.sin_port);
}

// Two sockets on ports the system picks: the game's, and the peer's that echoes.
bool OpenSockets() {
    demo.client = qx::net->UDP()->InitSocket(0);
    demo.peer = qx::net->UDP()->InitSocket(0);
    demo.peerPort = LocalPort(demo.peer);
    return demo.client >= 0 && demo.peer >= 0;
}

void Send(int32_t socket, const void* bytes, int32_t size, uint32_t ip, uint16_t port) {
    qx::TUDP* udp = qx::net->UDP();
    udp->ClearSend();
    udp->WriteSend(bytes, size);
    udp->SendTo(socket, ip, port);
}

// The peer sends back whatever it is sent.
void EchoAtPeer() {
    for (qx::TNetData data = qx::net->UDP()->Recv(demo.peer); data.IP != 0; data = qx::net->UDP()->Recv(demo.peer))
        Send(demo.peer, data.Data, data.Size, data.IP, data.Port);
}

// Reads every echo that has come back; how many there were.
int32_t ReadEchoes() {
    int32_t count = 0;
    while (qx::net->UDP()->Recv(demo.client).IP != 0) ++count;
    return count;
}

void DrawMesh(float pulse) {
    qx::ogl->Clear(true, false, false);
    // The disc fills the middle of the window: its unit radius becomes 200 pixels.
    qx::ogl->Set2D(-1.6f, -1.2f, 3.2f, 2.4f);
    qx::vfp->UseProgram(demo.program);
    qx::vfp->UniformArray(demo.pulse, &pulse, 1, qx::UNIFORM_FLOAT1);
    qx::vbo->RenderBuffer(demo.mesh, GL_TRIANGLES, 0);
    qx::vfp->NoProgram();
}

// ---- The main loop's procs ----

void DemoUpdate() {
    ++demo.steps;
    const std::string tick = "tick " + std::to_string(demo.steps);
    Send(demo.client, tick.data(), static_cast<int32_t>(tick.size()), kLoopback, demo.peerPort);
    ++demo.sent;
    EchoAtPeer();
    demo.echoed += ReadEchoes();
}

void DemoRender() {
    DrawMesh(0.75f + 0.25f * static_cast<float>(std::sin(demo.frames * 0.1)));
    if (++demo.frames >= 120 && demo.steps >= 200) qx::eng->Quit();
}

// ---- Measurements ----

void MeshFrame(benchmark::State& state) {
    for (auto _ : state) {
        DrawMesh(1);
        glFinish();
    }
}
BENCHMARK(MeshFrame)->Unit(benchmark::kMicrosecond);

// One datagram of the given size to the peer and its echo back, through both receiver threads.
void DatagramEcho(benchmark::State& state) {
    const std::vector<uint8_t> bytes(static_cast<size_t>(state.range(0)), 0x5A);
    int64_t lost = 0;
    for (auto _ : state) {
        Send(demo.client, bytes.data(), static_cast<int32_t>(bytes.size()), kLoopback, demo.peerPort);
        int32_t spins = 0;
        qx::TNetData back;
        do {
            EchoAtPeer();
            back = qx::net->UDP()->Recv(demo.client);
        } while (back.IP == 0 && ++spins < 10000000);
        if (back.IP == 0) ++lost;
    }
    state.counters["lost"] = static_cast<double>(lost);
}
BENCHMARK(DatagramEcho)->Arg(64)->Arg(1400)->Arg(65507)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv) {
    qx::InitEngine("");
    qx::wnd->SetMode(false, kWidth, kHeight, 32, 0);
    if (!qx::wnd->Create("Quorvex media", false)) {
        std::fprintf(stderr, "no window: run it under a display\n");
        return 1;
    }
    if (!BuildMesh() || !BuildProgram() || !OpenSockets()) {
        std::fprintf(stderr, "mesh %d, program %u, sockets %d/%d: the driver lacks a group, or the sockets failed\n",
                     demo.mesh, demo.program, demo.client, demo.peer);
        return 1;
    }

    qx::eng->SetProc(qx::PROC_UPDATE, DemoUpdate);
    qx::eng->SetProc(qx::PROC_RENDER, DemoRender);
    qx::eng->MainLoop(100);
    // The last frame drawn is still in the back buffer: the centre is the disc's white.
    GLubyte centre[4] = {};
    glReadPixels(kWidth / 2, kHeight / 2, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, centre);
    std::printf("main loop: %d frames, %d steps; %d datagrams sent, %d echoes back; centre pixel %d %d %d\n",
                demo.frames, demo.steps, demo.sent, demo.echoed, centre[0], centre[1], centre[2]);

    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();

    qx::vfp->FreeProgram(demo.program);
    qx::vbo->FreeBuffer(demo.mesh);
    qx::net->UDP()->CloseSocket(demo.client);
    qx::net->UDP()->CloseSocket(demo.peer);
    qx::FreeEngine();
    return 0;
}
