#include "TestSupport.h"

#include <shlwapi.h>
#include <cstring>
#include <string>

#include "EnvTestSupport.h"
#include "env/ClientIdentity.h"
#include "env/Handles.h"
#include "env/SystemQueries.h"
#include "env/ToolbarLocations.h"
#include "testbed/VersionResource.h"

namespace {

constexpr wchar_t IdentityKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion";

std::string Encoded(const BYTE* data, int length, int capacity) {
    char output[64];
    memset(output, 'x', sizeof(output));
    if (!EncodeIdentity(data, length, output, capacity)) return "failed";
    return std::string(output, output + 64);
}

TEST(EncodeIdentity, ZeroBlockGivesThirtyTwoZeros) {
    BYTE zeros[24] = {};
    std::string text = Encoded(zeros, 24, 32);
    EXPECT_EQ(std::string(32, '0'), text.substr(0, 32));
    // No terminator is written.
    EXPECT_EQ('x', text[32]);
}

TEST(EncodeIdentity, GroupsBitsLikeBase64OverItsOwnAlphabet) {
    BYTE ones[3] = {0xFF, 0xFF, 0xFF};
    EXPECT_EQ("----", Encoded(ones, 3, 4).substr(0, 4));
    // "Man" is "TWFu" in Base64: indices 19, 22, 5, 46.
    BYTE man[3] = {'M', 'a', 'n'};
    EXPECT_EQ("jm5K", Encoded(man, 3, 4).substr(0, 4));
    BYTE mixed[6] = {0x00, 0x10, 0x83, 0xFB, 0xEF, 0xBE};
    EXPECT_EQ("0123!!!!", Encoded(mixed, 6, 8).substr(0, 8));
}

TEST(EncodeIdentity, LengthNotAMultipleOfThreeWritesNothing) {
    BYTE data[24] = {1, 2, 3};
    char output[40];
    memset(output, 'x', sizeof(output));
    EXPECT_EQ(0, EncodeIdentity(data, 23, output, 40));
    EXPECT_EQ(std::string(40, 'x'), std::string(output, 40));
}

TEST(EncodeIdentity, TooSmallCapacityWritesNothing) {
    BYTE data[24] = {1, 2, 3};
    char output[40];
    memset(output, 'x', sizeof(output));
    EXPECT_EQ(0, EncodeIdentity(data, 24, output, 31));
    EXPECT_EQ(std::string(40, 'x'), std::string(output, 40));
}

class ClientIdentityTest : public testing::Test {
protected:
    void SetUp() override {
        DeleteToolbarRegistryState();
        DeleteRegistryValue(HKEY_LOCAL_MACHINE, IdentityKey, L"Custom_ID2");
        DeleteRegistryValue(HKEY_LOCAL_MACHINE, IdentityKey, L"Owner_ID2");
    }
    void TearDown() override { DeleteToolbarRegistryState(); }

    static std::vector<BYTE> StoredGuid() {
        UniqueRegKey key;
        std::vector<BYTE> data(64);
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, IdentityKey, 0, KEY_READ, key.Put()) != ERROR_SUCCESS)
            return {};
        DWORD type = 0, size = static_cast<DWORD>(data.size());
        if (RegQueryValueExW(key.Get(), L"Custom_ID2", nullptr, &type, data.data(), &size) !=
                ERROR_SUCCESS ||
            type != REG_BINARY)
            return {};
        data.resize(size);
        return data;
    }

    static std::vector<BYTE> GuidOf(const ClientIdentity& identity) {
        return std::vector<BYTE>(identity.Block(), identity.Block() + 16);
    }

    static void SetToolbarVersion(const wchar_t* version) {
        ASSERT_TRUE(SetRegistryText(HKEY_LOCAL_MACHINE, ToolbarMachineKey, L"Version", version));
    }

    static std::vector<int> VersionBytes() {
        ClientIdentity identity;
        identity.CollectIdentity();
        return {identity.Block()[16], identity.Block()[17], identity.Block()[18]};
    }

    SavedRegistryValue savedGuid_{HKEY_LOCAL_MACHINE, IdentityKey, L"Custom_ID2"};
    SavedRegistryValue savedOwner_{HKEY_LOCAL_MACHINE, IdentityKey, L"Owner_ID2"};
};

TEST_F(ClientIdentityTest, FixedAndSystemBytes) {
    ClientIdentity identity;
    identity.CollectIdentity();
    EXPECT_EQ(2, identity.Block()[19]);
    EXPECT_EQ(GetOsVersionCode(), identity.Block()[20]);
    // Nothing of the toolbar is installed: version, owner and library bytes are zero.
    for (int i : {16, 17, 18, 21, 22, 23})
        EXPECT_EQ(0, identity.Block()[i]) << "byte " << i;
}

TEST_F(ClientIdentityTest, OsByteOnWindowsXp) {
    ONLY_ON(WinVersion::WinXp);
    ClientIdentity identity;
    identity.CollectIdentity();
    EXPECT_EQ(3, identity.Block()[20]);
}

TEST_F(ClientIdentityTest, MissingGuidIsCreatedAndReadBackLater) {
    ClientIdentity first;
    first.CollectIdentity();
    std::vector<BYTE> stored = StoredGuid();
    ASSERT_EQ(16u, stored.size()) << "Custom_ID2 not written as 16 binary bytes";
    EXPECT_EQ(stored, GuidOf(first));
    EXPECT_NE(std::vector<BYTE>(16, 0), stored);

    ClientIdentity second;
    second.CollectIdentity();
    EXPECT_EQ(stored, GuidOf(second));
    EXPECT_EQ(stored, StoredGuid());
}

TEST_F(ClientIdentityTest, StoredGuidIsUsedAsItIs) {
    BYTE guid[16] = {0x10, 0x32, 0x54, 0x76, 0x98, 0xBA, 0xDC, 0xFE,
                     0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF};
    ASSERT_TRUE(SetRegistryValue(HKEY_LOCAL_MACHINE, IdentityKey, L"Custom_ID2", REG_BINARY, guid,
                                 sizeof(guid)));
    ClientIdentity identity;
    identity.CollectIdentity();
    EXPECT_EQ(std::vector<BYTE>(guid, guid + 16), GuidOf(identity));
}

TEST_F(ClientIdentityTest, ShortGuidIsPaddedWithZeros) {
    BYTE part[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    ASSERT_TRUE(SetRegistryValue(HKEY_LOCAL_MACHINE, IdentityKey, L"Custom_ID2", REG_BINARY, part,
                                 sizeof(part)));
    ClientIdentity identity;
    identity.CollectIdentity();
    std::vector<BYTE> expected(part, part + 8);
    expected.resize(16, 0);
    EXPECT_EQ(expected, GuidOf(identity));
    EXPECT_EQ(std::vector<BYTE>(part, part + 8), StoredGuid());
}

// A value that exists but does not fit 16 bytes is not the module's to replace.
TEST_F(ClientIdentityTest, OverlongGuidGivesZerosAndIsKept) {
    BYTE overlong[20] = {};
    memset(overlong, 0x5A, sizeof(overlong));
    ASSERT_TRUE(SetRegistryValue(HKEY_LOCAL_MACHINE, IdentityKey, L"Custom_ID2", REG_BINARY,
                                 overlong, sizeof(overlong)));
    ClientIdentity identity;
    identity.CollectIdentity();
    EXPECT_EQ(std::vector<BYTE>(16, 0), GuidOf(identity));
    EXPECT_EQ(std::vector<BYTE>(overlong, overlong + 20), StoredGuid());
}

TEST_F(ClientIdentityTest, ToolbarVersionWithCommasOrPoints) {
    SetToolbarVersion(L"4,1,1,10");
    EXPECT_EQ((std::vector<int>{0x41, 1, 10}), VersionBytes());
    SetToolbarVersion(L"4.1.1.10");
    EXPECT_EQ((std::vector<int>{0x41, 1, 10}), VersionBytes());
    SetToolbarVersion(L"4.1,1.10.99");
    EXPECT_EQ((std::vector<int>{0x41, 1, 10}), VersionBytes());
}

TEST_F(ClientIdentityTest, ToolbarVersionNumbersAreCutToTheirBits) {
    SetToolbarVersion(L"17.18.300.258");
    // (17 << 4 | 18 & 0x0F) & 0xFF, 300 & 0xFF, 258 & 0xFF.
    EXPECT_EQ((std::vector<int>{0x12, 0x2C, 0x02}), VersionBytes());
}

TEST_F(ClientIdentityTest, ToolbarVersionOfThreePiecesOrNoneGivesZeros) {
    EXPECT_EQ((std::vector<int>{0, 0, 0}), VersionBytes());
    SetToolbarVersion(L"4.1.1");
    EXPECT_EQ((std::vector<int>{0, 0, 0}), VersionBytes());
    SetToolbarVersion(L"");
    EXPECT_EQ((std::vector<int>{0, 0, 0}), VersionBytes());
}

TEST_F(ClientIdentityTest, OwnerLowByte) {
    BYTE owner[2] = {0x34, 0x12};
    ASSERT_TRUE(SetRegistryValue(HKEY_LOCAL_MACHINE, IdentityKey, L"Owner_ID2", REG_BINARY, owner,
                                 sizeof(owner)));
    ClientIdentity identity;
    identity.CollectIdentity();
    EXPECT_EQ(0x34, identity.Block()[21]);
}

class ToolbarLibraryTest : public ClientIdentityTest {
protected:
    void SetUp() override {
        ClientIdentityTest::SetUp();
        WCHAR dlls[MAX_PATH] = {};
        ASSERT_NE(0, GetToolbarPath(DllsFolder, dlls, MAX_PATH));
        dlls_ = dlls;
        folders_.reset(new CreatedFolders(dlls_));
        ASSERT_EQ(1, CreateDirectoryTree(dlls, nullptr));
    }
    void TearDown() override {
        DeleteFileW((dlls_ + L"\\Toolbar.dll").c_str());
        folders_.reset();
        ClientIdentityTest::TearDown();
    }

    void WriteLibrary(WORD major, WORD minor, WORD build, WORD revision) {
        VersionResourceContent content;
        WORD version[4] = {major, minor, build, revision};
        memcpy(content.fileVersion, version, sizeof(version));
        ASSERT_TRUE(WriteVersionedCopy(BinPath(L"VersionProbe.exe").c_str(),
                                       (dlls_ + L"\\Toolbar.dll").c_str(), content));
    }

    std::wstring dlls_;
    std::unique_ptr<CreatedFolders> folders_;
};

TEST_F(ToolbarLibraryTest, LibraryBuildAndRevisionAreTheLastBytes) {
    WriteLibrary(4, 1, 1, 10);
    ClientIdentity identity;
    identity.CollectIdentity();
    EXPECT_EQ(1, identity.Block()[22]);
    EXPECT_EQ(10, identity.Block()[23]);
}

TEST_F(ToolbarLibraryTest, LibraryNumbersAreCutToEightBits) {
    WriteLibrary(2, 0, 300, 65535);
    ClientIdentity identity;
    identity.CollectIdentity();
    EXPECT_EQ(0x2C, identity.Block()[22]);
    EXPECT_EQ(0xFF, identity.Block()[23]);
}

TEST_F(ToolbarLibraryTest, LibraryWithoutVersionGivesZeros) {
    ASSERT_TRUE(
        CopyFileW(BinPath(L"VersionProbe.exe").c_str(), (dlls_ + L"\\Toolbar.dll").c_str(), FALSE));
    ClientIdentity identity;
    identity.CollectIdentity();
    EXPECT_EQ(0, identity.Block()[22]);
    EXPECT_EQ(0, identity.Block()[23]);
}

TEST_F(ClientIdentityTest, TextIsTheEncodedBlockInTheAlphabet) {
    SetToolbarVersion(L"4.1.1.10");
    ClientIdentity identity;
    std::wstring text = identity.GetIdentityText();
    ASSERT_EQ(32u, text.size()) << Narrow(text);
    for (wchar_t c : text)
        EXPECT_NE(nullptr, strchr(IdentityAlphabet, static_cast<char>(c))) << Narrow(text);

    char encoded[33] = {};
    ASSERT_EQ(1, EncodeIdentity(identity.Block(), IdentityBlockSize, encoded, 32));
    EXPECT_EQ(std::wstring(encoded, encoded + 32), text);
}

TEST_F(ClientIdentityTest, TextIsMadeOnceFromTheFirstCollection) {
    ClientIdentity identity;
    identity.CollectIdentity();
    BYTE owner[2] = {0x77, 0};
    ASSERT_TRUE(SetRegistryValue(HKEY_LOCAL_MACHINE, IdentityKey, L"Owner_ID2", REG_BINARY, owner,
                                 sizeof(owner)));
    // Collected before the owner value appeared: the text does not collect again.
    std::wstring text = identity.GetIdentityText();
    EXPECT_EQ(0, identity.Block()[21]);
    SetToolbarVersion(L"4.1.1.10");
    EXPECT_EQ(text, std::wstring(identity.GetIdentityText()));

    ClientIdentity fresh;
    std::wstring freshText = fresh.GetIdentityText();
    EXPECT_EQ(0x77, fresh.Block()[21]);
    EXPECT_NE(text, freshText);
}

} // namespace
