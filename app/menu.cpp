#include "app/menu.h"

#include <array>

namespace {

constexpr const char* kWidthMenu = "Picture Width";

constexpr std::array<MenuCommand, 38> kMenu{{
    {"File", "&Open", kOpenCommand, nullptr, "Ctrl+O"},
    {"File", "&Reload", kReloadCommand, nullptr, "F5"},
    {"File", "&Save Picture As...", kSavePictureCommand, nullptr, "Ctrl+S"},
    {"File", "&Quit", kQuitCommand, nullptr, "Ctrl+Q"},
    {"Recursion Depth", "Zero", 40002, [](RenderSettings& s) { s.recursionDepth = 0; }},
    {"Recursion Depth", "One", 40016, [](RenderSettings& s) { s.recursionDepth = 1; }},
    {"Recursion Depth", "Two", 40003, [](RenderSettings& s) { s.recursionDepth = 2; }},
    {"Recursion Depth", "Three", 40005, [](RenderSettings& s) { s.recursionDepth = 3; }},
    {"Recursion Depth", "Four", 40006, [](RenderSettings& s) { s.recursionDepth = 4; }},
    {"Recursion Depth", "Five", 40007, [](RenderSettings& s) { s.recursionDepth = 5; }},
    {"Recursion Depth", "Six", 40008, [](RenderSettings& s) { s.recursionDepth = 6; }},
    {"Recursion Depth", "Seven", 40009, [](RenderSettings& s) { s.recursionDepth = 7; }},
    {"Recursion Depth", "Eight", 40010, [](RenderSettings& s) { s.recursionDepth = 8; }},
    {"Recursion Depth", "Nine", 40011, [](RenderSettings& s) { s.recursionDepth = 9; }},
    {"Anti-Aliasing", "None", 40012, [](RenderSettings& s) { s.antiAliasing = AntiAliasingMode::None; }},
    {"Anti-Aliasing", "Supersampling (10x10)", 40013,
     [](RenderSettings& s) { s.antiAliasing = AntiAliasingMode::Supersampling; }},
    {"Shadows", "Hard", 40014, [](RenderSettings& s) { s.shadowMode = ShadowMode::Hard; }},
    {"Shadows", "Soft Axes", 40015, [](RenderSettings& s) { s.shadowMode = ShadowMode::SoftAxes; }},
    {"Shadows", "None", 40019, [](RenderSettings& s) { s.shadowMode = ShadowMode::None; }},
    {"Shadows", "Soft Jitter", 40020, [](RenderSettings& s) { s.shadowMode = ShadowMode::SoftJitter; }},
    {"Lights", "On", 40017, [](RenderSettings& s) { s.lights = LightsSetting::On; }},
    {"Lights", "Off", 40018, [](RenderSettings& s) { s.lights = LightsSetting::Off; }},
    {"Camera", "&Reset Camera", kResetCameraCommand, nullptr, "Home"},
    {"Camera", "&Undo Camera", kUndoCameraCommand, nullptr, "Ctrl+Z"},
    {"Camera", "Re&do Camera", kRedoCameraCommand, nullptr, "Ctrl+Shift+Z"},
    {"Camera", "&Copy Camera Record", kCopyCameraCommand, nullptr, "Ctrl+Shift+C"},
    {"Camera", "&Write Camera to Scene", kWriteCameraCommand, nullptr, "Ctrl+Shift+S"},
    {"View", "300", 40301, nullptr, nullptr, kWidthMenu},
    {"View", "400", 40302, nullptr, nullptr, kWidthMenu},
    {"View", "600", 40303, nullptr, nullptr, kWidthMenu},
    {"View", "800", 40304, nullptr, nullptr, kWidthMenu},
    {"View", "1200", 40305, nullptr, nullptr, kWidthMenu},
    {"View", "1600", 40306, nullptr, nullptr, kWidthMenu},
    {"View", "Other...", kOtherWidthCommand, nullptr, nullptr, kWidthMenu},
    {"View", "Zoom &In", kZoomInCommand, nullptr, "Ctrl++"},
    {"View", "Zoom &Out", kZoomOutCommand, nullptr, "Ctrl+-"},
    {"View", "&Actual Size", kActualSizeCommand, nullptr, "Ctrl+0"},
    {"View", "&Fit to Window", kFitToWindowCommand, nullptr, nullptr},
}};

constexpr std::array<int, 6> kPictureWidths{300, 400, 600, 800, 1200, 1600};

}  // namespace

std::span<const MenuCommand> menuCommands() { return kMenu; }

const MenuCommand* findCommand(int id) {
    for (const MenuCommand& command : kMenu) {
        if (command.id == id) return &command;
    }
    return nullptr;
}

bool inForce(const MenuCommand& command, const RenderSettings& settings) {
    if (!command.apply) return false;
    RenderSettings chosen = settings;
    command.apply(chosen);
    return chosen == settings;
}

std::optional<int> pictureWidthOf(int id) {
    const int index = id - 40301;
    if (index < 0 || index >= static_cast<int>(kPictureWidths.size())) return std::nullopt;
    return kPictureWidths[static_cast<std::size_t>(index)];
}
