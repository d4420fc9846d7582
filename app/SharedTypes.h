#pragma once
// Plain records that several subsystems pass between them: geometry, colours, the lighting
// parameter sets, the proxy settings and the server list with the state of the picture in hand.
#include "app/Iso8601.h"
#include "platform/SystemProxy.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace nimbora {

// A point in model space, or the view values (turn, tilt, distance).
struct TVertex {
    float X = 0;
    float Y = 0;
    float Z = 0;
};

struct TglColor {
    float R = 0;
    float G = 0;
    float B = 0;
};

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

struct TProxy {
    bool Autodetect = true;
    bool Enabled = false;
    std::string Address;
    std::string Port;
    bool Authenticate = false;
    std::string Username;
    std::string Password;
    // Not stored: with Autodetect, the system's proxies as read at start-up; each request's
    // address chooses among them.
    std::optional<TSystemProxy> System;
};

// One weather server.
struct TMap {
    std::string Url;
    std::uint8_t Filter = 0;
    std::string Credit; // 8-bit (Windows-1252) text
};

// The server list and the state of the cloud picture in hand.
struct TMapInfo {
    std::vector<TMap> Map;
    bool UseDirectUrl = false;
    TDateTimeZ LastMap;
    TVertex LastPos;
    std::uint8_t AutoFilterVal = 0;
    std::string Credit;
    std::uint8_t DownFilter = 0;
    std::string DownCredit;
};

} // namespace nimbora
