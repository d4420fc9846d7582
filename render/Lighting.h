#pragma once
// The lighting parameter sets: the materials of earth, clouds and atmosphere and the lights of
// the two lighting modes, as the settings file stores them.

namespace nimbora {

// One lit material: colours are red, green, blue, alpha (alpha only used by the translucent
// cloud and atmosphere sets).
struct TMaterialSet {
    float Ambient[4] = {0, 0, 0, 1};
    float Diffuse[4] = {0, 0, 0, 1};
    float Specular[4] = {0, 0, 0, 1};
    float Shininess = 0;
};

// One light: the coloured lights use diffuse and specular; the sun light also ambient.
struct TLightSet {
    float Ambient[4] = {0, 0, 0, 1};
    float Diffuse[4] = {0, 0, 0, 1};
    float Specular[4] = {0, 0, 0, 1};
};

// The eleven parameter sets, named after their settings sections.
struct TLightingSets {
    TMaterialSet RgbCloud, RgbEarth1, RgbEarth2; // "RGB.Cloud", "RGB.Earth1", "RGB.Earth2"
    TLightSet RgbRed, RgbGreen, RgbBlue;         // "RGB.Red", "RGB.Green", "RGB.Blue"
    TMaterialSet SunCloud, SunEarth1, SunEarth2, SunAtmos; // "Sun.Cloud" ... "Sun.Atmos"
    TLightSet SunLight;                                    // "Sun.Light"
};

// The program's built-in lighting values (also what "Reset default values" restores).
TLightingSets DefaultLighting();

} // namespace nimbora
