// The module's one concrete button: "Clear" opens the clean dialog.
#pragma once

#include "host/ToolbarButton.h"

class CleanButton : public ToolbarButton {
public:
    LONG OnCreate(const ButtonHostInfo* info, LONG id, LONG msg, WPARAM wparam,
                  LPARAM lparam) override;
    LONG OnVisibilityChanged(const ButtonHostInfo* info, LONG id, LONG msg, WPARAM wparam,
                             LPARAM lparam) override;
    LONG OnUserChanged(const ButtonHostInfo* info, LONG id, LONG msg, WPARAM wparam,
                       LPARAM lparam) override;
    LONG OnFilesChanged(const ButtonHostInfo* info, LONG id, LONG msg, WPARAM wparam,
                        LPARAM lparam) override;
    LONG OnDropDown(const ButtonHostInfo* info, LONG id, LONG msg, WPARAM wparam,
                    const RECT* screenRect, BOOL hidden) override;
    LONG OnCommand(const ButtonHostInfo* info, LONG id, LONG msg, WPARAM wparam,
                   LPARAM lparam) override;
};
