// A browser frame window as Internet Explorer builds it: a top-level "IEFrame" with a worker
// window, a rebar and a "ComboBoxEx32" address bar, made of real windows. The address bar
// records every WM_APP + 269 it receives, and the frame answers a registered message with
// that record so a test can ask a frame of another process too.
#pragma once

#include <windows.h>
#include <string>
#include <vector>

enum class AddressBarPlacement {
    UnderRebar,       // the combo box is a direct child of the rebar
    UnderAddressBand, // the combo box sits in an "Address Band Root" under the rebar
};

struct BrowserFrameLayout {
    // "IEFrame", or a class differing from it only in letter case (for example "ieframe").
    const WCHAR* frameClass = L"IEFrame";
    const WCHAR* workerClass = L"WorkerW"; // or "WorkerA"
    AddressBarPlacement placement = AddressBarPlacement::UnderRebar;
    // A second "ComboBoxEx32", a direct child of the frame created after the worker window.
    BOOL secondAddressBar = FALSE;
};

class BrowserFrame {
public:
    explicit BrowserFrame(const BrowserFrameLayout& layout = BrowserFrameLayout());
    ~BrowserFrame();
    BrowserFrame(const BrowserFrame&) = delete;
    BrowserFrame& operator=(const BrowserFrame&) = delete;

    HWND Window() const { return frame_; }
    HWND Worker() const { return worker_; }
    HWND Rebar() const { return rebar_; }
    HWND AddressBand() const { return band_; } // null with AddressBarPlacement::UnderRebar
    HWND AddressBar() const { return addressBar_; }
    HWND SecondAddressBar() const { return secondAddressBar_; }

    // Appends entries with CBEM_INSERTITEMW.
    void AddEntries(const std::vector<std::wstring>& entries) { AddEntries(addressBar_, entries); }
    static void AddEntries(HWND addressBar, const std::vector<std::wstring>& entries);
    // The texts of an address bar of this process, in list order (CBEM_GETITEMW).
    std::vector<std::wstring> Entries() const { return Entries(addressBar_); }
    static std::vector<std::wstring> Entries(HWND addressBar);

    // The wParams of every reset message the address bar (or the second one) received.
    const std::vector<WPARAM>& Resets() const { return resets_; }
    const std::vector<WPARAM>& SecondResets() const { return secondResets_; }
    // The same record read from any frame window built by this class, in any process, through
    // the registered message "VelaTestbed_BrowserFrameResets".
    static std::vector<WPARAM> QueryResets(HWND frame);

private:
    static LRESULT CALLBACK FrameProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
    static LRESULT CALLBACK AddressBarProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
    HWND CreateAddressBar(HWND parent, std::vector<WPARAM>* record);

    HWND frame_ = nullptr;
    HWND worker_ = nullptr;
    HWND rebar_ = nullptr;
    HWND band_ = nullptr;
    HWND addressBar_ = nullptr;
    HWND secondAddressBar_ = nullptr;
    std::vector<WPARAM> resets_;
    std::vector<WPARAM> secondResets_;
};
