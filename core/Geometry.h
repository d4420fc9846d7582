#pragma once
// Points and colours of the scene.

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

} // namespace nimbora
