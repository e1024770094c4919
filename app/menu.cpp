#include "app/menu.h"

#include <array>

namespace {

constexpr std::array<MenuCommand, 19> kMenu{{
    {"File", "&Open", kOpenCommand, nullptr},
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
}};

}  // namespace

std::span<const MenuCommand> menuCommands() { return kMenu; }

const MenuCommand* findCommand(int id) {
    for (const MenuCommand& command : kMenu) {
        if (command.id == id) return &command;
    }
    return nullptr;
}
