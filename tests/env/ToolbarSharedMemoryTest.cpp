#include "TestSupport.h"

#include "env/Handles.h"
#include "env/ToolbarSharedMemory.h"
#include "host/ButtonHost.h"

namespace {

// The toolbar's side: creates the named block and writes its words.
class ToolbarBlock {
public:
    ToolbarBlock() {
        mapping_.Reset(CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                          ToolbarSharedMemorySize, ToolbarSharedMemoryName));
        if (mapping_) view_.Reset(MapViewOfFile(mapping_.Get(), FILE_MAP_ALL_ACCESS, 0, 0, 0));
    }
    explicit operator bool() const { return view_ && mapping_; }
    void SetWord(DWORD offset, DWORD value) {
        *reinterpret_cast<volatile DWORD*>(static_cast<BYTE*>(view_.Get()) + offset) = value;
    }

private:
    UniqueHandleValue mapping_;
    UniqueView view_;
};

bool BlockExists() {
    UniqueHandleValue existing(OpenFileMappingW(FILE_MAP_READ, FALSE, ToolbarSharedMemoryName));
    return static_cast<bool>(existing);
}

class ToolbarSharedMemoryTest : public testing::Test {
protected:
    void SetUp() override { ASSERT_FALSE(BlockExists()) << "a toolbar block is left over"; }
    void TearDown() override {
        // The process-wide reader must not keep a test's block alive for later suites.
        TheToolbarSharedMemory().Close();
    }
};

TEST_F(ToolbarSharedMemoryTest, WithoutTheBlockBothReadsGiveZero) {
    ToolbarSharedMemory reader;
    EXPECT_EQ(0u, reader.GetUserNumber());
    EXPECT_EQ(0u, reader.GetUserExtra());
    EXPECT_FALSE(reader.IsOpen());
    EXPECT_EQ(0u, TheToolbarSharedMemory().GetUserNumber());
}

TEST_F(ToolbarSharedMemoryTest, BlockCreatedLaterIsFoundByTheNextRead) {
    ToolbarSharedMemory reader;
    ASSERT_EQ(0u, reader.GetUserNumber());

    ToolbarBlock block;
    ASSERT_TRUE(block);
    block.SetWord(ToolbarSharedUserOffset, 7);
    block.SetWord(ToolbarSharedExtraOffset, 0x12345678);
    block.SetWord(0, 0xAAAAAAAA);
    block.SetWord(16, 0xBBBBBBBB);
    EXPECT_EQ(7u, reader.GetUserNumber());
    EXPECT_EQ(0x12345678u, reader.GetUserExtra());
    EXPECT_TRUE(reader.IsOpen());
}

TEST_F(ToolbarSharedMemoryTest, ChangesAreSeenThroughTheOpenView) {
    ToolbarBlock block;
    ASSERT_TRUE(block);
    block.SetWord(ToolbarSharedUserOffset, 3);
    ToolbarSharedMemory reader;
    ASSERT_EQ(3u, reader.GetUserNumber());
    block.SetWord(ToolbarSharedUserOffset, 4);
    block.SetWord(ToolbarSharedExtraOffset, 9);
    EXPECT_EQ(4u, reader.GetUserNumber());
    EXPECT_EQ(9u, reader.GetUserExtra());
}

// The reader keeps the block open: the values stay readable after the toolbar let go of it.
TEST_F(ToolbarSharedMemoryTest, OpenReaderKeepsTheBlock) {
    ToolbarSharedMemory reader;
    {
        ToolbarBlock block;
        ASSERT_TRUE(block);
        block.SetWord(ToolbarSharedUserOffset, 5);
        ASSERT_EQ(5u, reader.GetUserNumber());
    }
    EXPECT_EQ(5u, reader.GetUserNumber());
    reader.Close();
    EXPECT_FALSE(reader.IsOpen());
    EXPECT_FALSE(BlockExists());
    EXPECT_EQ(0u, reader.GetUserNumber());
}

TEST_F(ToolbarSharedMemoryTest, ProcessWideReaderFindsTheBlock) {
    ToolbarBlock block;
    ASSERT_TRUE(block);
    block.SetWord(ToolbarSharedUserOffset, 11);
    block.SetWord(ToolbarSharedExtraOffset, 12);
    EXPECT_EQ(11u, TheToolbarSharedMemory().GetUserNumber());
    EXPECT_EQ(12u, TheToolbarSharedMemory().GetUserExtra());
}

} // namespace
