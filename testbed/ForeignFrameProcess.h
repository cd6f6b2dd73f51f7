// A browser frame in another process: starts ForeignFrame.exe (next to the running program),
// which builds a BrowserFrame, fills its address bar with the given entries and keeps pumping
// messages until this object is destroyed.
#pragma once

#include <windows.h>
#include <string>
#include <vector>

#include "src/env/Handles.h"

// What the helper publishes once its frame is ready, in a named mapping of its own.
struct ForeignFrameInfo {
    DWORD frame;      // HWND of the frame window
    DWORD addressBar; // HWND of its address bar
};

// Names shared by the helper and its starter; tag tells the instances apart.
std::wstring ForeignFrameObjectName(const std::wstring& tag, const WCHAR* suffix);

class ForeignFrameProcess {
public:
    explicit ForeignFrameProcess(const std::vector<std::wstring>& entries);
    ~ForeignFrameProcess();
    ForeignFrameProcess(const ForeignFrameProcess&) = delete;
    ForeignFrameProcess& operator=(const ForeignFrameProcess&) = delete;

    // False when the helper could not be started or did not get ready.
    bool Ready() const { return frame_ != nullptr; }
    DWORD ProcessId() const { return processId_; }
    HWND Frame() const { return frame_; }
    HWND AddressBar() const { return addressBar_; }
    // CB_GETCOUNT of the helper's address bar (the message crosses processes).
    int Count() const;
    // The reset messages (their wParams) the helper's address bar received.
    std::vector<WPARAM> Resets() const;

private:
    UniqueHandleValue process_;
    UniqueHandleValue quit_;
    DWORD processId_ = 0;
    HWND frame_ = nullptr;
    HWND addressBar_ = nullptr;
};
