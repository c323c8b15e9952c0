// Libraries opened at run time.
#include "engine/shared_library.h"

#include <dlfcn.h>

namespace qx {

TSharedLibrary::TSharedLibrary(const std::string& name) : name_(name) {
    handle_ = dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle_) {
        const char* reason = dlerror();
        loadError_ = "Can't load " + name + ": " + (reason ? reason : "unknown error");
    }
}

void* TSharedLibrary::Symbol(const char* name) {
    if (!handle_) return nullptr;
    void* symbol = dlsym(handle_, name);
    if (!symbol) missing_ += (missing_.empty() ? "" : ", ") + std::string(name);
    return symbol;
}

std::string TSharedLibrary::Error() const {
    if (!loadError_.empty()) return loadError_;
    return missing_.empty() ? std::string() : name_ + " lacks " + missing_;
}

} // namespace qx
