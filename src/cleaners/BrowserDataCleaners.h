// Cleaners of the clean run that remove one kind of Internet Explorer trace each: typed URLs,
// the URL history (with the toolbar's visit-history file), AutoComplete form data and saved
// passwords. They keep no state and report nothing the clean run looks at.
#pragma once

#include <windows.h>

// Deletes HKCU "...\Internet Explorer\TypedURLs" and empties every browser address bar.
void CleanAddressBar();
// Clears the browser's URL history through CLSID_CUrlHistory, then resets the toolbar's
// visit-history file. Initialises and uninitialises COM on the calling thread.
void CleanHistory();
// Removes "frequentlyVisit" from the toolbar's visitHistory.ini and stamps "general" "ldfv"
// with the current time. 1 when the file was there and rewritten, 0 when it or its folder
// is missing (nothing is created).
int ResetVisitHistory();
// IE 7: deletes the IntelliForms "Storage1" key; IE 6: the Protected Storage form data.
void CleanFormData();
// IE 7: deletes the IntelliForms "Storage2" key; IE 6: the "SPW" key.
void CleanSavedPasswords();
