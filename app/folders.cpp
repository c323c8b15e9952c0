// The game's folders (see folders.h).
#include "app/folders.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>

#ifndef NIVORA_DATA_FROM_BIN
#define NIVORA_DATA_FROM_BIN "../share/nivora"
#endif


namespace {

namespace fs = std::filesystem;

TFolders& Current() {
    static TFolders folders;
    return folders;
}

bool HasImages(const fs::path& folder) {
    std::error_code error;
    return fs::is_directory(folder / "Images", error);
}

std::string WithSlash(std::string path) {
    if (path.empty() || path.back() != '/') path.push_back('/');
    return path;
}

// The account's home when HOME is unset or empty; "" when it has none.
std::string AccountHome() {
    const passwd* account = getpwuid(geteuid());
    return account && account->pw_dir ? account->pw_dir : "";
}

// mkdir -p with 0700 for the parts it makes, as the XDG folders are private to the player.
bool MakeFolders(const fs::path& folder, std::string& error) {
    fs::path partial;
    for (const auto& part : folder) {
        partial /= part;
        struct stat info {};
        if (::stat(partial.c_str(), &info) == 0) {
            if (!S_ISDIR(info.st_mode)) {
                error = partial.string() + " is not a folder";
                return false;
            }
            continue;
        }
        if (::mkdir(partial.c_str(), 0700) != 0 && errno != EEXIST) {
            error = "cannot create " + partial.string() + ": " + std::strerror(errno);
            return false;
        }
    }
    return true;
}

} // namespace

TFolders TFolders::Choose(const std::string& executable, const std::string& dataFromBin, const char* xdgDataHome,
                          const char* home) {
    TFolders folders;
    const fs::path bin = fs::path(executable).parent_path();
    // The build puts Images/ beside the executable: that layout always wins,
    // so a build folder inside an install prefix still runs as it did.
    if (executable.empty() || HasImages(bin)) return folders;
    const fs::path data = (bin / dataFromBin).lexically_normal();
    if (!HasImages(data)) return folders;

    folders.layout = Layout::Installed;
    folders.data = WithSlash(data.string());
    fs::path userData;
    if (xdgDataHome && xdgDataHome[0] == '/') {
        userData = xdgDataHome;
    } else {
        const std::string homeFolder = home && home[0] != '\0' ? std::string(home) : AccountHome();
        // No home at all: Enter reports it rather than writing into "/".
        if (!homeFolder.empty()) userData = fs::path(homeFolder) / ".local" / "share";
    }
    if (!userData.empty()) folders.user = WithSlash((userData / "nivora").lexically_normal().string());
    folders.screenShots = "ScreenShots/";
    return folders;
}

TFolders TFolders::ForThisProgram(const std::string& dataFromBin) {
    std::error_code error;
    const fs::path executable = fs::read_symlink("/proc/self/exe", error);
    return Choose(error ? std::string() : executable.string(), dataFromBin, std::getenv("XDG_DATA_HOME"),
                  std::getenv("HOME"));
}

bool TFolders::Enter(std::string& error) const {
    if (layout == Layout::BuildFolder) return true;
    if (user.empty()) {
        error = "no folder for the player's files: neither XDG_DATA_HOME nor HOME is set";
        return false;
    }
    if (!MakeFolders(user, error)) return false;
    if (::access(user.c_str(), W_OK | X_OK) != 0) {
        error = "cannot write into " + user + ": " + std::strerror(errno);
        return false;
    }
    if (::chdir(user.c_str()) != 0) {
        error = "cannot enter " + user + ": " + std::strerror(errno);
        return false;
    }
    return true;
}

const TFolders& GameFolders() { return Current(); }

void SetGameFolders(const TFolders& folders) { Current() = folders; }
