// What the host suites share: a fixture that leaves no button, shared-memory view, user
// folder or registry key behind, and the paths of the toolbar's per-user files.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>
#include <string>

class HostTest : public testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
};

// Sends message 21 for every id still in the module's button registry.
void DestroyAllButtons();
// Removes the empty folders below the toolbar's "users" folder, then "users" and the data
// folder above it when they are empty too.
void RemoveEmptyUserFolders();
// The toolbar's data folder\users\<userNumber>, and a file in it.
std::wstring UserFolder(DWORD userNumber);
std::wstring UserFile(DWORD userNumber, const wchar_t* fileName);
