#include "render/navigation.h"

#include <cmath>

namespace nimbora {

namespace {

constexpr double DragDivisor = 50;   // pixels per degree of velocity at ScaleZ 1
constexpr double ZoomDivisor = 500;  // pixels per unit of zoom velocity
constexpr double WheelNotch = 2;     // divided by 50: 0.04 units per notch
constexpr double KeyTurn = 0.2;      // per tick while an arrow key is held
constexpr double KeyZoom = 0.05;     // per tick with Ctrl/Shift+Up/Down
constexpr double TurnFriction = 0.1; // per tick
constexpr double ZoomFriction = 0.02;

double Friction(double v, double step) {
    if (v > step) return v - step;
    if (v < -step) return v + step;
    return 0;
}

} // namespace

float ZoomCompensation(float projZ) {
    if (!(projZ < 0) || !std::isfinite(projZ)) projZ = ZoomNear;
    return projZ > -10 ? -10 / projZ : 1.0f;
}

void RestoreView(TNavState& s, TVertex saved) {
    s = TNavState{};
    s.Proj.X = std::isfinite(saved.X) ? saved.X : ResetView.X;
    s.Proj.Y = std::isfinite(saved.Y) ? saved.Y : ResetView.Y;
    s.Proj.Z = std::isfinite(saved.Z) ? saved.Z : ResetView.Z;
    s.ScaleZ = ZoomCompensation(s.Proj.Z);
}

void ZoomStep(TNavState& s) {
    const double d = s.pMou.Dep;
    if (d == 0) return;
    const double z = double(s.Proj.Z) - d;
    if (z > ZoomNear)
        s.Proj.Z = ZoomNear;
    else if (z < ZoomFar)
        s.Proj.Z = ZoomFar;
    else
        s.Proj.Z = float(z);
    // Turning speed and marker size follow the distance whichever way it changed.
    s.ScaleZ = ZoomCompensation(s.Proj.Z);
}

void NavMouseDown(TNavState& s, bool leftHeld, bool rightHeld, int x, int y) {
    s.Glide.Active = false;
    if (!s.pMou.Track) {
        if (leftHeld) {
            s.mx = x;
            s.my = y;
        } else if (rightHeld) {
            s.mz = y;
        }
    }
    s.pMou.Track = true;
}

void NavMouseMove(TNavState& s, bool leftHeld, bool rightHeld, int x, int y) {
    if (leftHeld) {
        // Dragging right makes Proj.X grow, dragging down makes Proj.Y grow.
        if (x != s.mx) {
            s.pMou.Hor -= (double(x) - s.mx) / (DragDivisor * s.ScaleZ);
            s.mx = x;
        }
        if (y != s.my) {
            s.pMou.Ver -= (double(y) - s.my) / (DragDivisor * s.ScaleZ);
            s.my = y;
        }
    } else if (rightHeld) {
        // Dragging down brings the camera closer.
        if (y != s.mz) {
            s.pMou.Dep -= (double(y) - s.mz) / (ZoomDivisor * s.ScaleZ);
            s.mz = y;
        }
        ZoomStep(s);
    }
}

void NavMouseUp(TNavState& s) {
    s.pMou.Track = false;
}

void NavMouseWheel(TNavState& s, int delta) {
    s.Glide.Active = false;
    if (delta > 0)
        s.pMou.Dep += WheelNotch / (DragDivisor * s.ScaleZ);
    else if (delta < 0)
        s.pMou.Dep -= WheelNotch / (DragDivisor * s.ScaleZ);
    ZoomStep(s);
}

TNavAction NavKeyDown(TNavState& s, TNavKey key, bool ctrlOrShift) {
    if (key == NkEscape) return NavClose;
    if (key == NkOther) return NavNone;
    s.Glide.Active = false;
    switch (key) {
    case NkLeft:
        s.pKey.Lf = true;
        break;
    case NkRight:
        s.pKey.Rg = true;
        break;
    case NkUp:
        (ctrlOrShift ? s.pKey.CtUp : s.pKey.Up) = true;
        break;
    case NkDown:
        (ctrlOrShift ? s.pKey.CtDw : s.pKey.Dw) = true;
        break;
    default:
        break;
    }
    s.pKey.Track = true;
    return NavNone;
}

void NavKeyUp(TNavState& s, TNavKey key) {
    switch (key) {
    case NkLeft:
        s.pKey.Lf = false;
        break;
    case NkRight:
        s.pKey.Rg = false;
        break;
    case NkUp:
        s.pKey.Up = false;
        s.pKey.CtUp = false;
        break;
    case NkDown:
        s.pKey.Dw = false;
        s.pKey.CtDw = false;
        break;
    case NkEscape:
    case NkOther:
        return;
    }
    s.pKey.Track = false;
}

void ReleaseHeldKeys(TNavState& s) {
    s.pKey = TKey{};
}

void NavTimerTick(TNavState& s) {
    if (s.Glide.Active) {
        TGlide& g = s.Glide;
        const double t = double(++g.Tick) / GlideTicks;
        const double eased = t * t * (3 - 2 * t);
        const auto along = [eased](float from, float to) {
            return static_cast<float>(from + (double(to) - from) * eased);
        };
        s.Proj = g.Tick >= GlideTicks ? g.To
                                      : TVertex{along(g.From.X, g.To.X), along(g.From.Y, g.To.Y),
                                                along(g.From.Z, g.To.Z)};
        s.ScaleZ = ZoomCompensation(s.Proj.Z);
        g.Active = g.Tick < GlideTicks;
        return;
    }
    const double scale = s.ScaleZ;
    if (s.pKey.Rg) s.pMou.Hor -= KeyTurn / scale;
    if (s.pKey.Lf) s.pMou.Hor += KeyTurn / scale;
    if (s.pKey.Up) s.pMou.Ver += KeyTurn / scale;
    if (s.pKey.Dw) s.pMou.Ver -= KeyTurn / scale;
    if (s.pKey.CtUp && s.Proj.Z < ZoomNear) s.pMou.Dep -= KeyZoom / scale;
    if (s.pKey.CtDw && s.Proj.Z > ZoomFar) s.pMou.Dep += KeyZoom / scale;

    // No friction and no movement on the first tick after a button went down.
    if (s.pMou.Track) {
        s.pMou.Track = false;
        return;
    }

    s.pMou.Hor = Friction(s.pMou.Hor, TurnFriction);
    s.pMou.Ver = Friction(s.pMou.Ver, TurnFriction);
    s.pMou.Dep = Friction(s.pMou.Dep, ZoomFriction);

    if (s.pMou.Hor != 0) s.Proj.X = float(s.Proj.X - s.pMou.Hor);
    if (s.pMou.Ver != 0) s.Proj.Y = float(s.Proj.Y - s.pMou.Ver);
    ZoomStep(s);
}

void ResetViewpoint(TNavState& s) {
    s.Glide.Active = false;
    s.Proj = ResetView;
    s.ScaleZ = ZoomCompensation(s.Proj.Z);
}

void LookDownOn(TVertex& view, double lat, double lon) {
    view.X = static_cast<float>(-lon);
    view.Y = static_cast<float>(lat);
}

void GlideTo(TNavState& s, double lat, double lon) {
    TGlide& g = s.Glide;
    g = TGlide{true, s.Proj, s.Proj, 0};
    LookDownOn(g.To, lat, lon);
    // The turn goes the short way from wherever the spins have left the angle.
    g.To.X = static_cast<float>(g.From.X + std::remainder(double(g.To.X) - g.From.X, 360.0));
    if (!(g.From.Z >= PlaceDistance)) g.To.Z = PlaceDistance;
    s.pMou = TMou{};
}

} // namespace nimbora
