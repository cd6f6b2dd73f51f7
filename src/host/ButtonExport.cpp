// The module's one export: the host creates, drives and destroys buttons through it.
#include "host/ButtonHost.h"

#include <new>

#include "host/ButtonRegistry.h"
#include "host/CleanButton.h"
#include "host/CloseWatcher.h"
#include "host/ComError.h"

namespace {

LONG DispatchButtonMessage(const ButtonHostInfo* info, LONG id, LONG msg, WPARAM wparam,
                           LPARAM lparam) {
    ButtonRegistry& registry = TheButtonRegistry();
    ToolbarButton* button = registry.Find(id);

    if (msg == ButtonDestroy) {
        if (button) {
            button->HandleMessage(info, id, ButtonDestroy, wparam, lparam);
            registry.Remove(id);
            delete button;
            // The host ends every button before it unloads the module: this is the last
            // moment at which the module can still keep itself loaded for a close hook.
            if (registry.Count() == 0) CloseWatcher::HostReleasedButtons();
        }
        return 1;
    }

    if (!button) {
        button = new (std::nothrow) CleanButton();
        if (!button) return 0;
        // A button the registry cannot take would never get its destroy message: it goes at
        // once, as one that could not be made, and the next call with the same id tries again.
        if (!registry.Add(id, button)) {
            delete button;
            return 0;
        }
    }
    return button->HandleMessage(info, id, msg, wparam, lparam);
}

} // namespace

extern "C" LONG WINAPI OnButtonMessage(const ButtonHostInfo* info, LONG id, LONG msg, WPARAM wparam,
                                       LPARAM lparam) {
    if (!info || IsBadReadPtr(info, ButtonHostInfoSize) || id == 0) return 0;
    // The module has its own unwinder (static runtime): an exception leaving this export
    // would end the host process, so a COM failure becomes a plain 0 here.
    try {
        return DispatchButtonMessage(info, id, msg, wparam, lparam);
    } catch (const _com_error&) {
        return 0;
    }
}
