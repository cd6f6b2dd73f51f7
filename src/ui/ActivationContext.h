// The activation context of a module's own manifest (resource ISOLATIONAWARE_MANIFEST_RESOURCE_ID),
// entered for the lifetime of the object. The module's manifest asks for common controls
// version 6, so windows created inside get the version 6 controls whatever the host process
// itself asks for. Windows 2000 has no activation contexts; there the object does nothing.
#pragma once

#include <windows.h>

class ActivationContext {
public:
    // Creates the context from module's manifest resource and activates it on this thread.
    explicit ActivationContext(HINSTANCE module);
    // Deactivates and releases the context.
    ~ActivationContext();
    ActivationContext(const ActivationContext&) = delete;
    ActivationContext& operator=(const ActivationContext&) = delete;

    // 1 when the context is active, or when the system has no activation contexts at all;
    // 0 when the system has them but this module's context could not be created or activated.
    int Usable() const { return usable_; }
    // 1 only when a context was really activated.
    int Active() const { return cookie_ != 0; }

private:
    HANDLE context_ = INVALID_HANDLE_VALUE;
    ULONG_PTR cookie_ = 0;
    int usable_ = 0;
};
