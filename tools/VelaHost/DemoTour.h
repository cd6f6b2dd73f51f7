// The headless tour of the demo: a thread that uses the reference host as a person would,
// while the host's own thread runs its message loop. It presses "Clear", opens both record
// dialogs, ticks every category, cleans, closes the dialog and then the frame, and saves a
// picture of the main window and of every dialog on the way.
#pragma once

#include <windows.h>
#include <string>
#include <thread>

#include "tools/VelaHost/DemoTraces.h"
#include "tools/VelaHost/ReferenceHost.h"

class DemoTour {
public:
    // Pictures go to folder as BMP files, none when it is empty; the counts after the clean
    // are taken with history.
    DemoTour(ReferenceHost& host, const UrlHistoryStandIn& history, const std::wstring& folder);
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
    bool Step(bool ok, const char* what);
    bool Picture(HWND window, const WCHAR* name);
    void ClickToolbarButton(WORD commandId);
    bool VisitRecordDialog(HWND cleanDialog, int linkId, const WCHAR* caption,
                           const WCHAR* picture);

    ReferenceHost& host_;
    const UrlHistoryStandIn& history_;
    std::wstring folder_;
    std::thread thread_;
    std::string failure_;
    TraceCounts after_;
};
