#pragma once
// Tests and benchmarks only: pictures and colours set directly, and the GL names of what was
// built. The program never includes this.
#include "render/Scene.h"

#include <cstdint>
#include <span>

namespace nimbora {

struct TSceneTestSeam {
    // No fade-in: the colours as the settings give them.
    static void ApplyLightColours(TScene& scene, const TLightingSets& sets) {
        scene.ApplyLightColours(sets);
    }
    static bool SetEarthTexture(TScene& scene, std::span<const std::uint8_t> jpeg) {
        return scene.SetEarthTexture(jpeg);
    }
    static bool SetCloudTexture(TScene& scene, std::span<const std::uint8_t> jpeg) {
        return scene.SetCloudTexture(jpeg);
    }
    // The earth layer alone, as the frame draws it, over what the framebuffer holds.
    static void DrawEarth(TScene& scene, const TFrameState& frame, const TLightingSets& sets) {
        scene.DrawEarth(frame, sets);
    }
    // The night lights' picture is there (the day-and-night globe was shown).
    static bool HasLights(const TScene& scene) { return scene.Lights.has_value(); }
    struct TObjects {
        GLuint EarthTex, CloudTex, SunTex, MoonTex, FontTex;
    };
    static TObjects Objects(const TScene& scene) {
        return {scene.EarthTex, scene.CloudTex, scene.SunTex, scene.MoonTex,
                scene.Font.TextureName()};
    }
};

} // namespace nimbora
