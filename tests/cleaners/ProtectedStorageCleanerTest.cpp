#include <gtest/gtest.h>
#include <windows.h>
#include <aclapi.h>
#include <sddl.h>
#include <shlwapi.h>
#include <algorithm>

#include "TestSupport.h"
#include "cleaners/ProtectedStorageCleaner.h"
#include "testbed/KeySecurity.h"

namespace {

const wchar_t ProviderKey[] = L"Software\\Microsoft\\Protected Storage System Provider";
const wchar_t ItemType[] = L"e161255a-37c3-11d2-bcaa-00c04fd929db";
const wchar_t Everyone[] = L"S-1-1-0";

std::string Describe(const std::vector<std::wstring>& texts) {
    std::string result;
    for (const std::wstring& text : texts)
        result += "\n  " + Narrow(text);
    return result.empty() ? " (none)" : result;
}

bool CreateKey(const std::wstring& path) {
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                        &key, nullptr) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

bool SetValue(const std::wstring& path, const wchar_t* name, const wchar_t* text) {
    return SHSetValueW(HKEY_CURRENT_USER, path.c_str(), name, REG_SZ, text,
                       (lstrlenW(text) + 1) * sizeof(WCHAR)) == ERROR_SUCCESS;
}

class ProtectedStorageCleaner : public ::testing::Test {
protected:
    void SetUp() override {
        sid_ = CurrentUserSidString();
        ASSERT_FALSE(sid_.empty());
        userKey_ = std::wstring(ProviderKey) + L"\\" + sid_;
        typeKey_ = userKey_ + L"\\Data\\" + ItemType;
        dataKey_ = typeKey_ + L"\\" + ItemType;
        providerExisted_ = KeyExists(HKEY_CURRENT_USER, ProviderKey);
        ASSERT_TRUE(ForceDeleteKeyTree(HKEY_CURRENT_USER, userKey_.c_str()));
    }
    void TearDown() override {
        ForceDeleteKeyTree(HKEY_CURRENT_USER, userKey_.c_str());
        if (!providerExisted_) SHDeleteEmptyKeyW(HKEY_CURRENT_USER, ProviderKey);
    }

    std::wstring Path(const wchar_t* below) const { return dataKey_ + L"\\" + below; }

    // An item tree with values at several depths.
    void SeedItemTree() {
        ASSERT_TRUE(CreateKey(Path(L"Item1\\Field")));
        ASSERT_TRUE(CreateKey(Path(L"Item2")));
        ASSERT_TRUE(SetValue(dataKey_, L"Behavior", L"1"));
        ASSERT_TRUE(SetValue(Path(L"Item1"), L"Value", L"alice@example.com"));
        ASSERT_TRUE(SetValue(Path(L"Item1\\Field"), L"Value", L"secret"));
        ASSERT_TRUE(SetValue(Path(L"Item2"), L"Value", L"bob"));
    }

    // The user key with a DACL of its own, so a rewrite with anything else shows.
    std::wstring GiveUserKeyDistinctDacl() {
        std::wstring sddl = L"D:P(A;CI;KA;;;" + sid_ + L")(A;;KR;;;BU)(A;CI;KR;;;SY)";
        EXPECT_TRUE(SetKeySecuritySddl(HKEY_CURRENT_USER, userKey_.c_str(), sddl.c_str(),
                                       DACL_SECURITY_INFORMATION));
        return KeySecuritySddl(HKEY_CURRENT_USER, userKey_.c_str());
    }

    std::wstring sid_, userKey_, typeKey_, dataKey_;
    bool providerExisted_ = false;
};

TEST_F(ProtectedStorageCleaner, UserSidStringIsTheTokenUser) {
    WCHAR buffer[260] = {};
    ASSERT_EQ(1, GetUserSidString(buffer, 260));
    EXPECT_EQ(sid_, buffer) << Narrow(buffer);
}

TEST_F(ProtectedStorageCleaner, UserSidStringIsCutToTheCapacity) {
    WCHAR buffer[8] = {L'x', L'x', L'x', L'x', L'x', L'x', L'x', L'x'};
    ASSERT_EQ(1, GetUserSidString(buffer, 5));
    EXPECT_EQ(sid_.substr(0, 4), buffer) << Narrow(buffer);
    EXPECT_EQ(L'x', buffer[5]);
}

TEST_F(ProtectedStorageCleaner, UserSidStringRefusesNoBuffer) {
    WCHAR buffer[4] = {L'x', L'x', L'x', L'x'};
    EXPECT_EQ(0, GetUserSidString(nullptr, 260));
    EXPECT_EQ(0, GetUserSidString(buffer, 0));
    EXPECT_EQ(0, GetUserSidString(buffer, -1));
    EXPECT_EQ(L'x', buffer[0]);
}

TEST_F(ProtectedStorageCleaner, FullAccessDescriptorGrantsTheUserAlone) {
    PSID user = nullptr;
    ASSERT_TRUE(ConvertStringSidToSidW(sid_.c_str(), &user));
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    PACL acl = nullptr;
    ASSERT_EQ(1, BuildUserFullAccess(user, &descriptor, &acl));
    ASSERT_TRUE(descriptor != nullptr && acl != nullptr);

    BOOL present = FALSE, defaulted = TRUE;
    PACL dacl = nullptr;
    ASSERT_TRUE(GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted));
    EXPECT_TRUE(present);
    EXPECT_FALSE(defaulted);
    EXPECT_EQ(acl, dacl);
    ASSERT_EQ(1, acl->AceCount);
    ACCESS_ALLOWED_ACE* ace = nullptr;
    ASSERT_TRUE(GetAce(acl, 0, reinterpret_cast<void**>(&ace)));
    EXPECT_EQ(ACCESS_ALLOWED_ACE_TYPE, ace->Header.AceType);
    EXPECT_EQ(static_cast<ACCESS_MASK>(KEY_ALL_ACCESS), ace->Mask);
    EXPECT_EQ(CONTAINER_INHERIT_ACE | OBJECT_INHERIT_ACE, ace->Header.AceFlags);
    EXPECT_TRUE(EqualSid(user, &ace->SidStart));

    LocalFree(descriptor);
    LocalFree(acl);
    LocalFree(user);
}

TEST_F(ProtectedStorageCleaner, DeletesTheItemTreeAndKeepsItsSiblings) {
    SeedItemTree();
    const std::wstring otherSubtype = typeKey_ + L"\\5e7e8100-9138-11d1-945a-00c04fc308ff";
    const std::wstring otherType = userKey_ + L"\\Data\\89c39569-6841-11d2-9f59-0000f8085266";
    ASSERT_TRUE(CreateKey(otherSubtype));
    ASSERT_TRUE(SetValue(otherType, L"Value", L"kept"));
    std::wstring before = GiveUserKeyDistinctDacl();
    ASSERT_FALSE(before.empty());

    EXPECT_EQ(1, CleanProtectedStorage());

    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, dataKey_.c_str()));
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, otherSubtype.c_str()));
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, otherType.c_str()));
    WCHAR kept[16] = {};
    DWORD size = sizeof(kept);
    EXPECT_EQ(ERROR_SUCCESS,
              SHGetValueW(HKEY_CURRENT_USER, otherType.c_str(), L"Value", nullptr, kept, &size));
    EXPECT_STREQ(L"kept", kept);
    std::wstring after = KeySecuritySddl(HKEY_CURRENT_USER, userKey_.c_str());
    EXPECT_EQ(before, after) << Narrow(before) << " became " << Narrow(after);
}

TEST_F(ProtectedStorageCleaner, TreeWhoseKeysDenyTheUserIsDeletedWhole) {
    SeedItemTree();
    ASSERT_TRUE(CreateKey(Path(L"Item1\\Field\\Deeper")));
    // Deepest first: an empty DACL grants nobody anything, not even listing the key.
    for (const wchar_t* below : {L"Item1\\Field\\Deeper", L"Item1\\Field", L"Item1", L"Item2"})
        ASSERT_TRUE(SetKeySecuritySddl(HKEY_CURRENT_USER, Path(below).c_str(), L"D:",
                                       DACL_SECURITY_INFORMATION))
            << Narrow(below);
    ASSERT_TRUE(
        SetKeySecuritySddl(HKEY_CURRENT_USER, dataKey_.c_str(), L"D:", DACL_SECURITY_INFORMATION));
    ASSERT_NE(ERROR_SUCCESS, SHDeleteKeyW(HKEY_CURRENT_USER, dataKey_.c_str()));

    EXPECT_EQ(1, CleanProtectedStorage());
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, dataKey_.c_str()));
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, typeKey_.c_str()));
}

// A key owned by another account that lets the user read it and take it, but neither change
// its DACL nor delete it: the cleaner cannot open it up, so the deletion stops there.
TEST_F(ProtectedStorageCleaner, KeysLeftByAFailedDeletionAreNotOpenToEveryone) {
    SeedItemTree();
    ASSERT_TRUE(CreateKey(Path(L"Item1\\Locked\\Inner")));
    const std::wstring locked = Path(L"Item1\\Locked");
    std::wstring lockedSddl = L"O:SYD:(A;;0xA0019;;;" + sid_ + L")";
    ASSERT_TRUE(SetKeySecuritySddl(HKEY_CURRENT_USER, locked.c_str(), lockedSddl.c_str(),
                                   DACL_SECURITY_INFORMATION));
    ASSERT_TRUE(SetKeySecuritySddl(HKEY_CURRENT_USER, locked.c_str(), lockedSddl.c_str(),
                                   OWNER_SECURITY_INFORMATION));
    HKEY probe = nullptr;
    ASSERT_EQ(ERROR_ACCESS_DENIED,
              RegOpenKeyExW(HKEY_CURRENT_USER, locked.c_str(), 0, WRITE_DAC, &probe));
    std::wstring before = GiveUserKeyDistinctDacl();

    EXPECT_EQ(0, CleanProtectedStorage());

    std::vector<std::wstring> survivors = ListKeyTree(HKEY_CURRENT_USER, dataKey_.c_str());
    ASSERT_TRUE(std::find(survivors.begin(), survivors.end(), locked) != survivors.end())
        << Describe(survivors);
    for (const std::wstring& path : survivors) {
        KeyDacl dacl = ReadKeyDaclTrustees(HKEY_CURRENT_USER, path.c_str());
        ASSERT_TRUE(dacl.readable) << Narrow(path);
        EXPECT_TRUE(dacl.present && !dacl.null) << Narrow(path);
        EXPECT_TRUE(std::find(dacl.trustees.begin(), dacl.trustees.end(), Everyone) ==
                    dacl.trustees.end())
            << Narrow(path) << ": " << Narrow(KeySecuritySddl(HKEY_CURRENT_USER, path.c_str()));
        // Every survivor but the locked key carries the cleaner's DACL: the user alone.
        if (path != locked) {
            EXPECT_EQ(std::vector<std::wstring>{sid_}, dacl.trustees)
                << Narrow(path) << ":" << Describe(dacl.trustees);
        }
    }
    std::wstring after = KeySecuritySddl(HKEY_CURRENT_USER, userKey_.c_str());
    EXPECT_EQ(before, after) << Narrow(before) << " became " << Narrow(after);
}

TEST_F(ProtectedStorageCleaner, UserWithoutAKeyChangesNothing) {
    ASSERT_FALSE(KeyExists(HKEY_CURRENT_USER, userKey_.c_str()));
    EXPECT_EQ(0, CleanProtectedStorage());
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, userKey_.c_str()));
}

TEST_F(ProtectedStorageCleaner, UnreadableUserKeyDaclDoesNotStopTheCleaner) {
    SeedItemTree();
    // Owned by another account and granting the user only the right to take it back.
    std::wstring sddl = L"O:SYD:(A;;0x80000;;;" + sid_ + L")";
    ASSERT_TRUE(SetKeySecuritySddl(HKEY_CURRENT_USER, userKey_.c_str(), sddl.c_str(),
                                   DACL_SECURITY_INFORMATION));
    ASSERT_TRUE(SetKeySecuritySddl(HKEY_CURRENT_USER, userKey_.c_str(), sddl.c_str(),
                                   OWNER_SECURITY_INFORMATION));
    PSECURITY_DESCRIPTOR untouched = reinterpret_cast<PSECURITY_DESCRIPTOR>(1);
    ASSERT_EQ(0, ReadKeyDacl(HKEY_CURRENT_USER, userKey_.c_str(), &untouched));
    EXPECT_EQ(reinterpret_cast<PSECURITY_DESCRIPTOR>(1), untouched);

    EXPECT_EQ(1, CleanProtectedStorage());
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, dataKey_.c_str()));
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, typeKey_.c_str()));
}

} // namespace
