#pragma once
// Turning, tilting and zooming the globe. Input only changes three velocities; the 33 ms timer
// applies them to the view and lets them die away by friction, which gives the globe inertia.
// Plain functions over one state record so the window only maps its events onto them.
#include "core/Geometry.h"

namespace nimbora {

// Held keys.
struct TKey {
    bool Up = false, Dw = false, Lf = false, Rg = false; // arrow keys
    bool CtUp = false, CtDw = false;                     // Up / Down with Ctrl or Shift
    bool Track = false;                                  // any arrow key held
};

// View velocities, per timer tick, each subtracted from its view value.
struct TMou {
    double Hor = 0;     // degrees, from Proj.X
    double Ver = 0;     // degrees, from Proj.Y
    double Dep = 0;     // units, from Proj.Z
    bool Track = false; // a button went down since the last tick
};

// The keys navigation cares about; the window maps its toolkit's key codes onto these.
enum TNavKey {
    NkOther,
    NkEscape,
    NkLeft,
    NkRight,
    NkUp,
    NkDown,
};

enum TNavAction {
    NavNone,
    NavClose, // Escape: close the main window
};

inline constexpr float ZoomNear = -5.5f;
inline constexpr float ZoomFar = -40.0f;
inline constexpr TVertex ResetView{0, 0, -15};

// A turn toward a place over GlideTicks timer ticks, slow at both ends.
struct TGlide {
    bool Active = false;
    TVertex From, To;
    int Tick = 0;
};

inline constexpr int GlideTicks = 30; // about a second
// A glide ends no farther away than this, near enough for the names of the places.
inline constexpr float PlaceDistance = -8.0f;

struct TNavState {
    TVertex Proj = ResetView; // X turn, Y tilt (degrees), Z translation (negative)
    float ScaleZ = 1;         // zoom compensation, see ZoomCompensation
    TKey pKey;
    TMou pMou;
    int mx = 0, my = 0; // last position of a left drag
    int mz = 0;         // last Y of a right drag
    TGlide Glide;
};

// -10 / Proj.Z while the camera is nearer than 10 units, else 1. Markers are scaled by its
// inverse and velocities divided by it, so close views turn slowly. A Z that is not a negative
// finite number (only a damaged settings file gives one) counts as the near limit.
float ZoomCompensation(float projZ);

// Start of a run: the saved view unchanged (a Z outside the limits stays until the first zoom
// step), all velocities and keys cleared. A component that is not a finite number falls back
// to the reset view's.
void RestoreView(TNavState& s, TVertex saved);

// Applies the zoom velocity Dep once, clamped to ZoomFar..ZoomNear, and recomputes ScaleZ.
void ZoomStep(TNavState& s);

// Mouse over the drawing panel; leftHeld / rightHeld are the buttons held during the event.
void NavMouseDown(TNavState& s, bool leftHeld, bool rightHeld, int x, int y);
void NavMouseMove(TNavState& s, bool leftHeld, bool rightHeld, int x, int y);
void NavMouseUp(TNavState& s);
// Wheel forward (delta > 0) moves the camera away. The event counts as handled.
void NavMouseWheel(TNavState& s, int delta);

// ctrlOrShift: Ctrl or Shift held with the key.
TNavAction NavKeyDown(TNavState& s, TNavKey key, bool ctrlOrShift);
void NavKeyUp(TNavState& s, TNavKey key);
// The window no longer hears the keys (another window or a menu took the keyboard, or the
// window was hidden): their releases will never arrive, so every key counts as released. The
// mouse's velocities stay; the globe runs out as after a release.
void ReleaseHeldKeys(TNavState& s);

// One timer tick after the lighting work: a glide's step, or held keys, then (unless a button
// just went down) friction and movement.
void NavTimerTick(TNavState& s);

// "Reset viewpoint": the angles and distance jump back (ScaleZ with them); any spin goes on
// from there.
void ResetViewpoint(TNavState& s);

// Turns the view so that (lat, lon) faces the viewer: the turn -lon and the tilt lat; the
// distance stays.
void LookDownOn(TVertex& view, double lat, double lon);

// Starts a smooth turn that ends looking down on (lat, lon), the short way round, and nearer
// when the view is farther than PlaceDistance. Any spin stops; a press of a button or an
// arrow key, a wheel turn or "Reset viewpoint" ends the glide where it is.
void GlideTo(TNavState& s, double lat, double lon);

} // namespace nimbora
