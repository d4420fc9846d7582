#include "render/Lighting.h"

namespace nimbora {

namespace {

void Rgb(float (&colour)[4], float r, float g, float b) {
    colour[0] = r;
    colour[1] = g;
    colour[2] = b;
}

void Rgba(float (&colour)[4], float r, float g, float b, float a) {
    Rgb(colour, r, g, b);
    colour[3] = a;
}

} // namespace

TLightingSets DefaultLighting() {
    TLightingSets s;

    Rgb(s.RgbCloud.Ambient, 0.9f, 0.9f, 1.0f);
    Rgba(s.RgbCloud.Diffuse, 1.0f, 1.0f, 1.0f, 0.75f);
    Rgb(s.RgbCloud.Specular, 0.9f, 0.9f, 0.9f);
    s.RgbCloud.Shininess = 50;

    Rgb(s.RgbEarth1.Ambient, 0.9f, 0.9f, 1.0f);
    Rgb(s.RgbEarth1.Diffuse, 0.63f, 0.7f, 0.7f);
    Rgb(s.RgbEarth1.Specular, 0.6f, 0.6f, 0.6f);
    s.RgbEarth1.Shininess = 100;

    Rgb(s.RgbEarth2.Ambient, 0.18f, 0.18f, 0.4f);
    Rgb(s.RgbEarth2.Diffuse, 0.24f, 0.24f, 0.6f);
    Rgb(s.RgbEarth2.Specular, 0.15f, 0.15f, 0.15f);
    s.RgbEarth2.Shininess = 100;

    Rgb(s.RgbRed.Diffuse, 1.0f, 0.1f, 0.1f);
    Rgb(s.RgbRed.Specular, 1.0f, 0.5f, 0.5f);
    Rgb(s.RgbGreen.Diffuse, 0.1f, 1.0f, 0.1f);
    Rgb(s.RgbGreen.Specular, 0.5f, 1.0f, 0.5f);
    Rgb(s.RgbBlue.Diffuse, 0.3f, 0.3f, 1.0f);
    Rgb(s.RgbBlue.Specular, 0.5f, 0.5f, 1.0f);

    Rgba(s.SunCloud.Ambient, 0.36f, 0.36f, 0.45f, 0.5f);
    Rgba(s.SunCloud.Diffuse, 0.8f, 0.8f, 1.0f, 0.75f);
    Rgba(s.SunCloud.Specular, 0, 0, 0, 0);
    s.SunCloud.Shininess = 50;

    Rgb(s.SunEarth1.Ambient, 0, 0, 0);
    Rgb(s.SunEarth1.Diffuse, 1.0f, 1.0f, 1.0f);
    Rgb(s.SunEarth1.Specular, 0.3f, 0.3f, 0.27f);
    s.SunEarth1.Shininess = 150;

    Rgb(s.SunEarth2.Ambient, 0, 0, 0);
    Rgb(s.SunEarth2.Diffuse, 0.28f, 0.28f, 0.4f);
    Rgb(s.SunEarth2.Specular, 0.2f, 0.2f, 0.16f);
    s.SunEarth2.Shininess = 150;

    Rgba(s.SunAtmos.Ambient, 0, 0, 0, 0.3f);
    Rgba(s.SunAtmos.Diffuse, 0.43f, 0.43f, 0.5f, 0.7f);
    Rgba(s.SunAtmos.Specular, 0, 0, 0, 0);
    s.SunAtmos.Shininess = 50;

    Rgb(s.SunLight.Ambient, 0.6f, 0.6f, 0.6f);
    Rgb(s.SunLight.Diffuse, 0.2f, 0.2f, 0.23f);
    Rgb(s.SunLight.Specular, 0.5f, 0.5f, 0.5f);
    return s;
}

} // namespace nimbora
