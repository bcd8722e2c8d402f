#include <gtest/gtest.h>

#include "app/work_directory_security.h"

namespace repair {
namespace {

TEST(CreateWorkDirectory, MakesAndThenAcceptsTheFolderOnTheRealFileSystem) {
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    const std::wstring path = std::wstring(temp) + L"secured-" + std::to_wstring(GetCurrentProcessId());
    RemoveDirectoryW(path.c_str());
    EXPECT_EQ(CreateWorkDirectory(path), WorkDirectoryState::kCreatedSecured);
    EXPECT_TRUE(GetFileAttributesW(path.c_str()) & FILE_ATTRIBUTE_DIRECTORY);
    // Wine keeps no descriptors, so only the sequence is seen here: the folder
    // is found, opened by handle and its security set without an error.
    EXPECT_EQ(CreateWorkDirectory(path), WorkDirectoryState::kSecuredExisting);
    RemoveDirectoryW(path.c_str());
}

}  // namespace
}  // namespace repair
