// Exports of libraries the process has already loaded are found without loading anything.
#include "platform/Library.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <string>

namespace zarn::platform {
namespace {

TEST(LibraryTest, LoadedFunctionIsFoundOnlyWhileItsLibraryIsLoaded) {
    const std::string path = std::filesystem::absolute(ZARN_NAMED_EXPORT_LIBRARY).string();
    EXPECT_EQ(Library::FindLoadedFunction(path.c_str(), "ZarnCreateDesignControl"), nullptr);
    {
        Library library;
        ASSERT_EQ(library.Load(path), 0ul);
        EXPECT_EQ(Library::FindLoadedFunction(path.c_str(), "ZarnCreateDesignControl"),
                  library.FindFunction("ZarnCreateDesignControl"));
        EXPECT_NE(Library::FindLoadedFunction(path.c_str(), "ZarnCreateDesignControl"), nullptr);
        EXPECT_EQ(Library::FindLoadedFunction(path.c_str(), "NoSuchExport"), nullptr);
    }
    // Looking did not keep the library loaded, nor load it again.
    EXPECT_EQ(Library::FindLoadedFunction(path.c_str(), "ZarnCreateDesignControl"), nullptr);
}

} // namespace
} // namespace zarn::platform
