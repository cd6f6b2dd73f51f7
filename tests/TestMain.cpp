// Runs every suite inside one Wine process. The module's code and resources are linked into
// this executable, so the module instance is the executable itself.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>

#include "host/Module.h"

int main(int argc, char** argv) {
    SetModuleInstance(GetModuleHandleW(nullptr));
    INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_WIN95_CLASSES | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
