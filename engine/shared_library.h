// A shared library opened while the program runs, for what only some runs
// need: a library that is linked is loaded, with everything it brings, before
// main, on every start.
#pragma once

#include <string>

namespace qx {

class TSharedLibrary {
public:
    // Opens the library by its file name (its soname). It is never closed:
    // threads and hooks it starts may run until the process ends.
    explicit TSharedLibrary(const std::string& name);

    // Sets `function` to the library's function `name`; to null when the
    // library is not open or has no such function, which Error then names.
    template <class TFunction>
    void Find(TFunction& function, const char* name) {
        function = reinterpret_cast<TFunction>(Symbol(name));
    }

    // Empty while the library is open and has had every function asked for;
    // otherwise one line: "Can't load <name>: <reason>" or "<name> lacks f, g".
    std::string Error() const;

private:
    void* Symbol(const char* name);

    std::string name_;
    void* handle_ = nullptr;
    std::string loadError_;
    std::string missing_;
};

} // namespace qx
