// The four choices that steer a render.
#pragma once

#include <cstdint>

enum class AntiAliasingMode : std::int32_t { None = 0, Supersampling = 1 };
enum class ShadowMode : std::int32_t { Hard = 0, SoftAxes = 1, None = 2, SoftJitter = 3 };
enum class LightsSetting : std::int32_t { On = 0, Off = 1 };

struct RenderSettings {
    std::int32_t recursionDepth = 0;  // 0 to 9: bounces after the first hit
    AntiAliasingMode antiAliasing = AntiAliasingMode::None;
    ShadowMode shadowMode = ShadowMode::Hard;
    LightsSetting lights = LightsSetting::Off;

    friend bool operator==(const RenderSettings&, const RenderSettings&) = default;
};
