#pragma once
// The lights' fade-in at start-up: the diffuse and specular colours rise from black to their
// settings in equal steps, one step per timer tick. Pure arithmetic, so it is tested without GL.
#include "core/Geometry.h"
#include "render/Lighting.h"

namespace nimbora {

inline constexpr int LightFadeTicks = 20;

// Per-tick steps (the pass triples) and the colours handed to OpenGL now (the val triples).
struct TLightFade {
    bool LightInit = false; // true once the fade-in has finished
    int Ticks = 0;          // ticks counted so far

    TglColor init_red_diffuse_pass, init_green_diffuse_pass, init_blue_diffuse_pass;
    TglColor init_red_specular_pass, init_green_specular_pass, init_blue_specular_pass;
    TglColor init_sun_diffuse_pass, init_sun_specular_pass;

    TglColor init_red_diffuse_val, init_green_diffuse_val, init_blue_diffuse_val;
    TglColor init_red_specular_val, init_green_specular_val, init_blue_specular_val;
    TglColor init_sun_diffuse_val, init_sun_specular_val;
};

// Steps := setting / 20, colours := black, not yet initialised.
TLightFade PrepareLightFade(const TLightingSets& sets);

// One timer tick. While the fade runs: adds each step to its colour, and on the 20th tick sets
// every colour exactly to its setting and marks the fade finished. Returns true when the colours
// changed and must be handed to OpenGL; false once the fade is over.
bool LightFadeTick(TLightFade& fade, const TLightingSets& sets);

// Ends the fade at once with every colour at its setting (a light changed by the user).
void FinishLightFade(TLightFade& fade, const TLightingSets& sets);

// The red, green, blue part of a colour with four components.
TglColor RgbOf(const float (&colour)[4]);

} // namespace nimbora
