// What AutoCleanHost.exe (started as "iexplore.exe") and the test that starts it share: the
// command line and the report the host writes into a named mapping the test created.
//
// AutoCleanHost.exe <mapping> <url> [options]
//   --frames=N            N top-level frame windows of this process (default 1)
//   --class=NAME          their window class (default "IEFrame")
//   --end=before-unload   message 21 for the button before FreeLibrary (default)
//   --end=in-destroy      message 21 and FreeLibrary from the WM_DESTROY of a child window of
//                         the first frame, that is from inside the frame's own destruction
//   --end=never           the button is never ended: FreeLibrary with the button alive
//   --close-second        the second frame is destroyed after message 21, before FreeLibrary
//   --keep-frames         the frames stay open until the process exits
//   --subclass-on-top     after FreeLibrary the host subclasses the first frame itself, on top
//                         of whatever procedure it has then
// The host loads VelaClear.dll, creates the frames, creates one button (message 1 with a
// site), ends it as asked, FreeLibrary's the module and destroys the frames. At each moment
// it notes whether the cache entry for <url> is still there (re-seeding it when it is not, so
// that each later clean shows up on its own), whether the module is still mapped and how the
// first frame's procedure and properties stand.
#pragma once

#include <windows.h>

struct AutoCleanMoment {
    LONG reached;       // 1 once the host got to this moment
    LONG cleaned;       // the entry had gone since the previous moment (then seeded again)
    LONG moduleLoaded;  // VelaClear.dll still mapped in the host
    LONG frameIsOwn;    // the first frame's window procedure is the host's own
    LONG ownerProperty; // the close hook's two properties on the first frame
    LONG procProperty;
};

struct AutoCleanReport {
    LONG setupFailure; // 0, or the step of the host's own set-up that failed (see the program)
    AutoCleanMoment afterCreate;    // frames and button created
    AutoCleanMoment afterEnd;       // message 21 answered (also when sent from the destruction)
    AutoCleanMoment afterUnload;    // FreeLibrary returned
    AutoCleanMoment frameDestroy;   // WM_DESTROY reached the first frame's own procedure
    AutoCleanMoment frameNcDestroy; // WM_NCDESTROY reached the first frame's own procedure
    AutoCleanMoment afterDestroyed; // every frame destroyed
    LONG destroyMessages;           // WM_DESTROY messages the first frame's own procedure got
};

constexpr WCHAR AutoCleanOwnerProp[] = L"{2F7AFDCB-514F-4a52-BAA0-318DD50A7A95}";
constexpr WCHAR AutoCleanProcProp[] = L"{C29927CB-58A0-4bea-9C3F-2FADB4E6D85E}";
