#include "analysisfile.h"

#include <gtest/gtest.h>

#include "fixtures.h"
#include "messages.h"
#include "worktables.h"

namespace varnolt {
namespace {

using testing::ScratchFolder;
using testing::WriteFile;

TEST(LoadAnalysisFile, ReadsTheWholeFileFollowedByZeros) {
    ScratchFolder folder;
    std::string bytes(100, '\0');
    for (int i = 0; i < 100; ++i) bytes[i] = static_cast<char>(0x80 + i);
    WriteFile(folder / "x.dat", bytes);
    TextBuffer.fill('#');  // dirty the heap's neighbourhood a little
    std::uint8_t* block = nullptr;
    std::int32_t length = -1;
    EXPECT_EQ(LoadAnalysisFile(folder / "x.dat", kZeroTailBytes, block, length), "");
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(length, 100);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(block), 100), bytes);
    for (int i = 100; i < 100 + kZeroTailBytes; ++i) ASSERT_EQ(block[i], 0) << "byte " << i;
    EXPECT_EQ(LoadInt32(block + kFrameRateCodeOffset), static_cast<std::int32_t>(0xBFBEBDBC));
    PoolAlloc(0);
}

TEST(LoadAnalysisFile, NoMemoryStoresTheLengthAndANullBlock) {
    ScratchFolder folder;
    WriteFile(folder / "x.dat", std::string(64, '\0'));
    std::uint8_t* block = reinterpret_cast<std::uint8_t*>(&block);
    std::int32_t length = -1;
    // A request no allocator can meet: 64 + (-65) bytes.
    EXPECT_EQ(LoadAnalysisFile(folder / "x.dat", -65, block, length), messages::kOutOfMemory);
    EXPECT_EQ(block, nullptr);
    EXPECT_EQ(length, 64);
    EXPECT_EQ(PoolBlockCount(), 1);  // the failed request still holds its slot
    PoolAlloc(0);
}

TEST(LoadAnalysisFile, AFailedOpenStoresNothing) {
    ScratchFolder folder;
    std::uint8_t* block = reinterpret_cast<std::uint8_t*>(&block);
    std::int32_t length = -1;
    EXPECT_EQ(LoadAnalysisFile(folder / "none.dat", kZeroTailBytes, block, length), messages::kFileNotFound);
    EXPECT_EQ(LoadAnalysisFile(std::string("x.dat\0y", 7), kZeroTailBytes, block, length), messages::kCannotOpen);
    EXPECT_EQ(block, reinterpret_cast<std::uint8_t*>(&block));
    EXPECT_EQ(length, -1);
    EXPECT_EQ(PoolBlockCount(), 0);
}

}  // namespace
}  // namespace varnolt
