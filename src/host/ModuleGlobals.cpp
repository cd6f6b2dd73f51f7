// The module's process-wide objects. They live in one file so that static initialisation
// builds them in this order, and termination destroys them in the reverse order.
#include "env/SystemQueries.h"
#include "env/ToolbarSharedMemory.h"
#include "host/ButtonRegistry.h"
#include "host/Module.h"

namespace {
HINSTANCE g_moduleInstance;
ButtonRegistry g_buttonRegistry;
} // namespace

int LoadedIeMajorVersion = GetIeMajorVersion();

namespace {
ToolbarSharedMemory g_toolbarSharedMemory;
}

HINSTANCE ModuleInstance() {
    return g_moduleInstance;
}
void SetModuleInstance(HINSTANCE instance) {
    g_moduleInstance = instance;
}
ButtonRegistry& TheButtonRegistry() {
    return g_buttonRegistry;
}
ToolbarSharedMemory& TheToolbarSharedMemory() {
    return g_toolbarSharedMemory;
}
