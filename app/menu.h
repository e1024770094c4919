// The main window's menu, every item with its command id. The window builds
// its menu from this table and dispatches by id through it, so the table
// reads as the menu the user sees.
#pragma once

#include <optional>
#include <span>

#include "render/settings.h"

inline constexpr int kOpenCommand = 40001;

// Commands beside the settings; their ids lie outside 40001 to 40020.
inline constexpr int kReloadCommand = 40101;
inline constexpr int kSavePictureCommand = 40102;
inline constexpr int kQuitCommand = 40103;
inline constexpr int kResetCameraCommand = 40201;
inline constexpr int kUndoCameraCommand = 40202;
inline constexpr int kRedoCameraCommand = 40203;
inline constexpr int kCopyCameraCommand = 40204;
inline constexpr int kWriteCameraCommand = 40205;
inline constexpr int kOtherWidthCommand = 40307;
inline constexpr int kZoomInCommand = 40310;
inline constexpr int kZoomOutCommand = 40311;
inline constexpr int kActualSizeCommand = 40312;
inline constexpr int kFitToWindowCommand = 40313;

struct MenuCommand {
    const char* dropDown;
    const char* text;
    int id;
    // The settings write of a settings command; null for every other command.
    void (*apply)(RenderSettings& settings) = nullptr;
    // In the portable text form, e.g. "Ctrl+Shift+Z"; null for none.
    const char* shortcut = nullptr;
    // The submenu of the drop-down that holds the item; null for none.
    const char* subMenu = nullptr;
};

// In menu order; the items of one drop-down stand together, and so do the
// items of one submenu.
std::span<const MenuCommand> menuCommands();

// The command with this id, or null (no command has id 40004).
const MenuCommand* findCommand(int id);

// Whether a settings command's value is the one in force: the check mark.
bool inForce(const MenuCommand& command, const RenderSettings& settings);

// The picture width that a View > Picture Width item chooses; nullopt for
// every other command (Other... included: it asks for the width).
std::optional<int> pictureWidthOf(int id);
