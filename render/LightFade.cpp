#include "render/LightFade.h"

namespace nimbora {

TglColor RgbOf(const float (&colour)[4]) {
    return TglColor{colour[0], colour[1], colour[2]};
}

namespace {

TglColor Step(const float (&colour)[4]) {
    return TglColor{colour[0] / LightFadeTicks, colour[1] / LightFadeTicks,
                    colour[2] / LightFadeTicks};
}

void Add(TglColor& value, const TglColor& pass) {
    value.R += pass.R;
    value.G += pass.G;
    value.B += pass.B;
}

void SetToSettings(TLightFade& f, const TLightingSets& s) {
    f.init_red_diffuse_val = RgbOf(s.RgbRed.Diffuse);
    f.init_green_diffuse_val = RgbOf(s.RgbGreen.Diffuse);
    f.init_blue_diffuse_val = RgbOf(s.RgbBlue.Diffuse);
    f.init_red_specular_val = RgbOf(s.RgbRed.Specular);
    f.init_green_specular_val = RgbOf(s.RgbGreen.Specular);
    f.init_blue_specular_val = RgbOf(s.RgbBlue.Specular);
    f.init_sun_diffuse_val = RgbOf(s.SunLight.Diffuse);
    f.init_sun_specular_val = RgbOf(s.SunLight.Specular);
}

} // namespace

TLightFade PrepareLightFade(const TLightingSets& s) {
    TLightFade f;
    f.init_red_diffuse_pass = Step(s.RgbRed.Diffuse);
    f.init_green_diffuse_pass = Step(s.RgbGreen.Diffuse);
    f.init_blue_diffuse_pass = Step(s.RgbBlue.Diffuse);
    f.init_red_specular_pass = Step(s.RgbRed.Specular);
    f.init_green_specular_pass = Step(s.RgbGreen.Specular);
    f.init_blue_specular_pass = Step(s.RgbBlue.Specular);
    f.init_sun_diffuse_pass = Step(s.SunLight.Diffuse);
    f.init_sun_specular_pass = Step(s.SunLight.Specular);
    return f;
}

bool LightFadeTick(TLightFade& f, const TLightingSets& s) {
    if (f.LightInit) return false;
    Add(f.init_red_diffuse_val, f.init_red_diffuse_pass);
    Add(f.init_green_diffuse_val, f.init_green_diffuse_pass);
    Add(f.init_blue_diffuse_val, f.init_blue_diffuse_pass);
    Add(f.init_red_specular_val, f.init_red_specular_pass);
    Add(f.init_green_specular_val, f.init_green_specular_pass);
    Add(f.init_blue_specular_val, f.init_blue_specular_pass);
    Add(f.init_sun_diffuse_val, f.init_sun_diffuse_pass);
    Add(f.init_sun_specular_val, f.init_sun_specular_pass);
    ++f.Ticks;
    // Twenty float additions drift; the last tick lands exactly on the settings.
    if (f.Ticks >= LightFadeTicks) FinishLightFade(f, s);
    return true;
}

void FinishLightFade(TLightFade& f, const TLightingSets& s) {
    SetToSettings(f, s);
    f.LightInit = true;
}

} // namespace nimbora
