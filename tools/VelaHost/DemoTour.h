// The headless tour of the demo: a thread that uses the browser and its toolbar as a person
// would, while the browser's own thread runs its message loop. It opens the address bar's
// drop-down, presses "Clear", opens both record dialogs, ticks every category, cleans, closes
// the dialog, opens the drop-down again and closes the frame. On the way it saves pictures of
// the browser, of every dialog and of the drop-down before and after the clean, and a picture of
// the browser with whatever it shows at every step, numbered as the frames of an animation.
// The short tour only pictures the clean dialog and both record dialogs, with a suffix to their
// names (the demo runs it again at 144 DPI), and cleans nothing.
#pragma once

#include <windows.h>
#include <string>
#include <thread>

#include "tools/VelaHost/DemoBrowser.h"
#include "tools/VelaHost/DemoTraces.h"
#include "tools/VelaHost/ReferenceHost.h"

class DemoTour {
public:
    // Pictures go to folder as BMP files, none when it is empty; the counts after the clean
    // are taken with history.
    DemoTour(const DemoBrowser& browser, ReferenceHost& host, const UrlHistoryStandIn& history,
             const std::wstring& folder);
    // Makes the tour the short one, its pictures named with suffix before ".bmp".
    void DialogsOnly(const std::wstring& suffix) { dialogsSuffix_ = suffix; }
    bool IsDialogsOnly() const { return !dialogsSuffix_.empty(); }
    ~DemoTour();
    DemoTour(const DemoTour&) = delete;
    DemoTour& operator=(const DemoTour&) = delete;

    void Start();
    // Waits for the tour's thread; true when every step went as a person would expect.
    bool Finish();
    const std::string& Failure() const { return failure_; }
    const TraceCounts& After() const { return after_; }

private:
    void Walk();
    void WalkDialogs(HWND clean);
    std::wstring DialogPicture(const WCHAR* name) const { return name + dialogsSuffix_ + L".bmp"; }
    bool Step(bool ok, const char* what);
    // Waits until window shows its last change, then saves it under name (none when null)
    // and the browser with what it shows as the next frame of the tour, with caption under it.
    // Picture counts a picture that could not be saved as a failed step.
    bool Picture(HWND window, const WCHAR* name, const WCHAR* caption, DWORD waitMs);
    bool SavePictures(HWND window, const WCHAR* name, const WCHAR* caption, DWORD waitMs);
    // Opens the address bar's drop-down and saves the browser's top down to the list's end.
    bool AddressBarPicture(const WCHAR* name, const WCHAR* caption);
    void ClickToolbarButton(WORD commandId, const WCHAR* caption);
    bool VisitRecordDialog(HWND cleanDialog, int linkId, const WCHAR* caption, const WCHAR* picture,
                           const WCHAR* frameCaption);

    const DemoBrowser& browser_;
    ReferenceHost& host_;
    const UrlHistoryStandIn& history_;
    std::wstring folder_;
    std::wstring dialogsSuffix_;
    std::thread thread_;
    int frames_ = 0;
    std::string failure_;
    TraceCounts after_;
};
