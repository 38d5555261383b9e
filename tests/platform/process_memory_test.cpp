#include "platform/process_memory.h"

#include <cstring>
#include <gtest/gtest.h>
#include <memory>

using namespace nimbra;

TEST(ProcessMemory, CountsTheProcesssOwnPagesApartFromMappedFiles)
{
    const auto before = residentMemory();
    ASSERT_TRUE(before.has_value());
    EXPECT_GT(before->fileKilobytes, 0) << "the program and its libraries are mapped files";

    // 32 MB written to: its own memory, none of it a file's.
    constexpr std::size_t size = 32u << 20;
    auto block = std::make_unique<char[]>(size);
    std::memset(block.get(), 1, size);
    const auto during = residentMemory();
    ASSERT_TRUE(during.has_value());
    EXPECT_GE(during->privateKilobytes - before->privateKilobytes, 30 * 1024);
    EXPECT_LT(during->fileKilobytes - before->fileKilobytes, 4 * 1024);
}
