// Libraries opened at run time: functions found, and one line saying why not.
#include <gtest/gtest.h>

#include <string>

#include "engine/shared_library.h"

namespace {

TEST(SharedLibrary, FindsFunctionsAndNamesEveryOneMissing) {
    qx::TSharedLibrary library("libm.so.6");
    double (*cosine)(double) = nullptr;
    library.Find(cosine, "cos");
    ASSERT_NE(cosine, nullptr);
    EXPECT_EQ(cosine(0.0), 1.0);
    EXPECT_EQ(library.Error(), "");

    void (*first)() = nullptr;
    void (*second)() = [] {}; // a value the failed search must not leave behind
    library.Find(first, "no_such_function");
    library.Find(second, "no_such_function_either");
    EXPECT_EQ(first, nullptr);
    EXPECT_EQ(second, nullptr);
    EXPECT_EQ(library.Error(), "libm.so.6 lacks no_such_function, no_such_function_either");
}

TEST(SharedLibrary, ALibraryThatIsNotThereFindsNothingAndSaysWhy) {
    qx::TSharedLibrary library("libnivora-not-there.so.0");
    double (*cosine)(double) = [](double) { return 2.0; };
    library.Find(cosine, "cos");
    EXPECT_EQ(cosine, nullptr);
    const std::string error = library.Error();
    EXPECT_EQ(error.rfind("Can't load libnivora-not-there.so.0: ", 0), 0u) << error;
    EXPECT_NE(error.find("libnivora-not-there.so.0: cannot open"), std::string::npos) << error;
}

} // namespace
