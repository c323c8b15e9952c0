// The real program, started as a player would: it runs until SIGTERM, exits 0
// and leaves a complete log; without a display, or when the display goes
// away, it says so in the log.
#include <gtest/gtest.h>

#include <elf.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/program.h"
#include "tests/test_support.h"

namespace fs = std::filesystem;

namespace {

using namespace test_program;
using namespace std::chrono_literals;

bool LogHas(const fs::path& folder, const std::string& text, std::chrono::milliseconds limit) {
    return WaitFor([&] { return ReadFile(folder / "log.txt").find(text) != std::string::npos; }, limit);
}

TEST(Program, EndsCleanlyOnSigtermWithACompleteLog) {
    const fs::path folder = MakeTempDir();
    const pid_t pid = StartGame(folder);
    ASSERT_GT(pid, 0);
    const bool started = LogHas(folder, "Engine  : Main Loop start\r\n", 60s);
    kill(pid, SIGTERM);
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(started) << ReadFile(folder / "log.txt");
    ASSERT_TRUE(WIFEXITED(status)) << "signal " << WTERMSIG(status);
    EXPECT_EQ(WEXITSTATUS(status), 0);

    const std::string log = ReadFile(folder / "log.txt");
    const std::string startLine = "\"Quorvex 0.80\" log start\r\n";
    const std::string closeLine = "\"Quorvex 0.80\" log close\r\n";
    const size_t firstEnd = log.find("\r\n") + 2;
    EXPECT_NE(log.substr(0, firstEnd).find(startLine), std::string::npos) << log;
    ASSERT_GE(log.size(), closeLine.size());
    EXPECT_EQ(log.substr(log.size() - closeLine.size()), closeLine) << log;
    EXPECT_LT(log.find("Engine  : Main Loop start"), log.find("Engine  : Main Loop stop"));
    EXPECT_NE(log.find("Engine  : Main Loop stop"), std::string::npos);
}

TEST(Program, WithoutADisplayLogsTheWindowFailureAndStillEndsCleanly) {
    const fs::path folder = MakeTempDir();
    const pid_t pid = StartGame(folder, kNoDisplay);
    ASSERT_GT(pid, 0);
    const bool started = LogHas(folder, "Engine  : Main Loop start\r\n", 60s);
    kill(pid, SIGTERM);
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    const std::string log = ReadFile(folder / "log.txt");
    ASSERT_TRUE(started) << log;
    EXPECT_NE(log.find("Window  : Fatal Error \"RegisterClassEx\"\r\n"), std::string::npos) << log;
    EXPECT_EQ(log.find("OpenGL  : Init graphics core"), std::string::npos) << "a window that shows nothing";
    ASSERT_TRUE(WIFEXITED(status)) << "signal " << WTERMSIG(status);
}

// With its own server shut down under it, the game leaves with a log line.
// The server's end is the only way out: SDL's fallback video drivers that show
// nothing are refused, so a game started without any display leaves too.
TEST(Program, LeavesWhenTheDisplayGoesAway) {
    std::string display;
    const pid_t server = StartXServer(display);
    ASSERT_GT(server, 0) << "Xvfb did not start";
    const fs::path folder = MakeTempDir();
    const pid_t game = StartGame(folder, display);
    const bool started = LogHas(folder, "Engine  : Main Loop start\r\n", 60s);
    kill(server, SIGTERM);
    int status = 0;
    waitpid(server, &status, 0);
    const bool ended = WaitForExit(game, status, 30s);
    if (!ended) {
        kill(game, SIGKILL);
        waitpid(game, &status, 0);
    }
    const std::string log = ReadFile(folder / "log.txt");
    ASSERT_TRUE(started) << log;
    EXPECT_TRUE(ended) << "the game kept running without its display";
    EXPECT_NE(log.find("Window  : Display connection lost\r\n"), std::string::npos) << log;
}

struct TExport {
    std::string name;
    bool function = false;
};

// Calls visit(section, names) for each section of the given type in a 64-bit
// ELF image, with the string table the section links to.
template <class TVisit>
void ForEachSection(const std::string& image, uint32_t type, TVisit visit) {
    Elf64_Ehdr header;
    if (image.size() < sizeof header) return;
    std::memcpy(&header, image.data(), sizeof header);
    if (std::memcmp(header.e_ident, ELFMAG, SELFMAG) != 0 || header.e_ident[EI_CLASS] != ELFCLASS64) return;
    auto sectionAt = [&](size_t index) {
        Elf64_Shdr section{};
        const size_t offset = header.e_shoff + index * sizeof section;
        if (offset + sizeof section <= image.size()) std::memcpy(&section, image.data() + offset, sizeof section);
        return section;
    };
    for (size_t i = 0; i < header.e_shnum; ++i) {
        const Elf64_Shdr section = sectionAt(i);
        if (section.sh_type == type) visit(section, sectionAt(section.sh_link));
    }
}

// The entries of one section, each copied out whole; entries past the image's end are left out.
template <class TEntry, class TVisit>
void ForEachEntry(const std::string& image, const Elf64_Shdr& section, size_t first, TVisit visit) {
    for (size_t offset = section.sh_offset + first * sizeof(TEntry);
         offset + sizeof(TEntry) <= section.sh_offset + section.sh_size && offset + sizeof(TEntry) <= image.size();
         offset += sizeof(TEntry)) {
        TEntry entry;
        std::memcpy(&entry, image.data() + offset, sizeof entry);
        if (!visit(entry)) return;
    }
}

// The symbols a 64-bit ELF program defines in its dynamic symbol table.
std::vector<TExport> DynamicExports(const std::string& image) {
    std::vector<TExport> exports;
    ForEachSection(image, SHT_DYNSYM, [&](const Elf64_Shdr& symbols, const Elf64_Shdr& names) {
        // Entry 0 is the undefined symbol.
        ForEachEntry<Elf64_Sym>(image, symbols, 1, [&](const Elf64_Sym& symbol) {
            if (symbol.st_shndx != SHN_UNDEF && names.sh_offset + symbol.st_name < image.size())
                exports.push_back({std::string(image.c_str() + names.sh_offset + symbol.st_name),
                                   ELF64_ST_TYPE(symbol.st_info) == STT_FUNC});
            return true;
        });
    });
    return exports;
}

TEST(Program, ExportsTheBannerProcedureAndNoneOfItsOwnSymbols) {
    const std::vector<TExport> exports = DynamicExports(ReadFile(fs::path(NIVORA_GAME_DIR) / "nivora"));
    ASSERT_FALSE(exports.empty());
    const std::string banner = "\r\n\r\n<<< Based on Quorvex >>>\r\n\r\n";
    int banners = 0;
    std::string others;
    // What the link must export whatever it is asked: its own markers, the
    // entry point, the sanitizers' hooks, and copies of the C++ library's
    // definitions that the library itself refers to.
    const auto linkerOwned = [](const std::string& name) {
        for (const char* prefix : {"_ZNSt", "_ZNKSt", "_ZSt", "_ZTISt", "_ZTSSt", "_ZTVSt", "_ZTINSt", "_ZTSNSt",
                                   "_ZTVNSt", "__asan", "__ubsan",
                                   "__lsan", "__sanitizer"})
            if (name.rfind(prefix, 0) == 0) return true;
        // __libc_single_threaded: the C library's flag, copied into the program
        // because the C++ library's inline reference counts read it.
        return name == "main" || name == "_end" || name == "_edata" || name == "__bss_start" ||
               name == "__libc_single_threaded";
    };
    for (const TExport& symbol : exports) {
        if (symbol.name == banner) {
            ++banners;
            EXPECT_TRUE(symbol.function);
        } else if (!linkerOwned(symbol.name)) {
            others += symbol.name + " ";
        }
    }
    EXPECT_EQ(banners, 1);
    EXPECT_EQ(others, "");
}

// The libraries a 64-bit ELF program names in its dynamic section (DT_NEEDED).
std::vector<std::string> NeededLibraries(const std::string& image) {
    std::vector<std::string> needed;
    ForEachSection(image, SHT_DYNAMIC, [&](const Elf64_Shdr& dynamic, const Elf64_Shdr& names) {
        ForEachEntry<Elf64_Dyn>(image, dynamic, 0, [&](const Elf64_Dyn& entry) {
            if (entry.d_tag == DT_NEEDED && names.sh_offset + entry.d_un.d_val < image.size())
                needed.emplace_back(image.c_str() + names.sh_offset + entry.d_un.d_val);
            return entry.d_tag != DT_NULL;
        });
    });
    return needed;
}

// libcurl and SDL_mixer, with the dozens of libraries they bring, are opened
// when the game first needs them; linked, they would be loaded before main.
TEST(Program, OpensTheHttpAndMusicLibrariesOnlyWhenNeeded) {
    const std::vector<std::string> needed = NeededLibraries(ReadFile(fs::path(NIVORA_GAME_DIR) / "nivora"));
    ASSERT_NE(std::find(needed.begin(), needed.end(), "libSDL2-2.0.so.0"), needed.end());
    for (const std::string& library : needed) {
        EXPECT_EQ(library.find("libcurl"), std::string::npos) << library;
        EXPECT_EQ(library.find("libSDL2_mixer"), std::string::npos) << library;
    }
}

} // namespace
