// The main window's menu: five drop-downs, every item with its command id.
// The window builds its menu from this table and dispatches by id through
// it, so the table reads as the menu the user sees.
#pragma once

#include <span>

#include "render/settings.h"

inline constexpr int kOpenCommand = 40001;

struct MenuCommand {
    const char* dropDown;
    const char* text;
    int id;
    // The settings write of the command; null for File/Open.
    void (*apply)(RenderSettings& settings);
};

// In menu order; the items of one drop-down stand together.
std::span<const MenuCommand> menuCommands();

// The command with this id, or null (no command has id 40004).
const MenuCommand* findCommand(int id);
