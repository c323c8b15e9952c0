// Replays fuzz inputs without the fuzzing engine: every file of the folders
// (or files) named on the command line goes once through the target's
// LLVMFuzzerTestOneInput, so the normal build's sanitizers see each corpus.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

bool Replay(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "replay: cannot read %s\n", file.c_str());
        return false;
    }
    const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    // A copy of exactly the input's size, so a read one past its end is caught.
    std::vector<uint8_t> exact(bytes);
    exact.shrink_to_fit();
    LLVMFuzzerTestOneInput(exact.empty() ? nullptr : exact.data(), exact.size());
    return true;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s FOLDER|FILE...\n", argv[0]);
        return 2;
    }
    size_t count = 0;
    bool ok = true;
    for (int i = 1; i < argc; ++i) {
        const std::filesystem::path path(argv[i]);
        std::error_code error;
        if (std::filesystem::is_directory(path, error)) {
            std::vector<std::filesystem::path> files;
            for (const auto& entry : std::filesystem::directory_iterator(path, error))
                if (entry.is_regular_file()) files.push_back(entry.path());
            if (error) {
                std::fprintf(stderr, "replay: cannot list %s\n", path.c_str());
                ok = false;
            }
            std::sort(files.begin(), files.end());
            for (const auto& file : files) ok = Replay(file) && ok, ++count;
        } else {
            ok = Replay(path) && ok;
            ++count;
        }
    }
    std::printf("replayed %zu inputs\n", count);
    // An empty corpus proves nothing: it is a fault of the tree, not a pass.
    return ok && count > 0 ? 0 : 1;
}
