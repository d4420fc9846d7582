#pragma once
// The OpenGL scene of the globe: the display lists and textures built once at start-up, the two
// lighting modes with the lights' fade-in, and the frame. Every GL method needs the panel's
// context current (inside the panel's hooks, or in the scope of a TCurrentContext).
#include "core/Geometry.h"
#include "render/BoundaryLayout.h"
#include "render/CityLights.h"
#include "render/Font.h"
#include "render/JpegDecode.h"
#include "render/LightFade.h"
#include "render/Lighting.h"
#include "render/LineChunks.h"
#include "render/Points.h"
#include "render/SpherePieces.h"

#include <GL/gl.h>

#include <QString>

#include <cstdint>
#include <functional>
#include <future>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace nimbora {

inline constexpr double FieldOfView = 45.0; // degrees, vertical, of the perspective

// Radii of the scene's shells (the earth has radius 5).
inline constexpr float EarthRadius = 5.0f;
inline constexpr float TimeZoneRadius = 5.045f;
inline constexpr float CloudRadius = 5.05f;
inline constexpr float AtmosRadius = 5.08f;
inline constexpr float SunMoonMarkerRadius = 5.1f;
inline constexpr float SunMoonLabelRadius = 5.3f;
inline constexpr double SunMoonLabelOffset = 0.6;
inline constexpr float MoonDistance = 20.0f;
inline constexpr float MarkerSphereRadius = 0.01f; // the marker lists' spheres
inline constexpr float MoonRadius = 1.25f;
inline constexpr float SunDistance = 500.0f;
// The earth sphere's pieces: bands of latitude by sectors of longitude.
inline constexpr int EarthBands = 32;
inline constexpr int EarthSectors = 32;

// Names and labels show only when the camera is nearer than these distances.
inline constexpr float NamesNearZ = -12.0f;
inline constexpr float LabelsNearZ = -8.5f;

inline constexpr char SunMarkerText[] = "Actual Sun position";
inline constexpr char MoonMarkerText[] = "Actual Moon position";

// What one frame shows: the view, the options menu's check marks and the texts. The main window
// fills it from its own state each frame.
struct TFrameState {
    TVertex Proj{0, 0, -15};
    float ScaleZ = 1;
    bool ShowTexturing = true; // "Show world texturing"
    bool ShowCountries = true; // "Show country boundaries"
    bool ShowTimeZone = false; // "Show Time Zone grid"
    bool ShowNames = true;     // "Show country names"
    bool ShowClouds = true;    // "Show clouds"
    bool ShowDayNight = false; // "Show Day and Night"
    bool ShowCustomWay = true; // custom waypoints drawn
    bool ShowAxis = true;      // the polar axis line
    bool CloudsAvailable = false;
    // "City lights", on the night side of the day-and-night globe only.
    bool ShowCityLights = false;
    const TDrawPointList* DrawPoints = nullptr;
    std::string StatusText, UpdateText, CreditText; // Windows-1252
    std::string PointerText; // what lies under the pointer, above the status lines
    // Sub-solar and sub-lunar points, degrees.
    double SunLat = 0, SunLon = 0, MoonLat = 0, MoonLon = 0;
};

// Leader lines from markers to their labels, gathered and drawn in one batch.
class TLeaderLines {
public:
    void Add(const TDrawPoint& p);
    // In the current modelview matrix, with lighting and texturing off.
    void Draw();

private:
    struct TLine {
        TVertex From, To;
        TglColor Colour;
    };
    std::vector<TLine> Lines;
};

class TScene {
public:
    TScene() = default;
    TScene(const TScene&) = delete;
    TScene& operator=(const TScene&) = delete;

    // Colours start black; steps of 1/20 of the settings. Needs no context.
    void PrepareLightFade(const TLightingSets& sets);
    // Starts the build's work that needs no OpenGL on worker threads: decoding the embedded
    // earth picture and reading the boundary lines' layout, so that Build only uploads them.
    // Build starts it itself when nobody did. The window calls it before its OpenGL driver is
    // even loaded.
    void StartPreparing();
    // The same for what only the day-and-night globe draws: the sun, moon and night lights
    // pictures. The first frame of that mode builds the sun, the moon, the atmosphere and the
    // cities' lights (starting this itself when nobody did), so the evenly lit globe never pays
    // for them.
    void StartPreparingDayNight();
    // Every display list, texture, light and fixed state of the scene (context current). False
    // when an embedded picture or the font could not be made. stepDone, when given, is told the
    // name of each group of steps as it ends (the build benchmark times them).
    using TBuildStepDone = std::function<void(const char* step)>;
    bool Build(const TLightingSets& sets, const TBuildStepDone& stepDone = {});

    // Viewport and projection for a panel of this size in framebuffer pixels; a zero height
    // counts as 1. ratio is the framebuffer pixels per window unit: texts and lines are drawn
    // that much larger, so they keep their size on dense screens (the font is built anew when
    // the ratio changes).
    void OpenGLPanelResize(int width, int height, double ratio = 1);

    // One frame into the bound framebuffer.
    void RenderScene(const TFrameState& frame, const TLightingSets& sets);
    // A black frame, for the time before the scene is built.
    static void RenderBlank();

    // One tick of the lights' fade-in; the colours reach OpenGL with the next frame. Returns
    // true while the fade changed something (the caller repaints).
    bool LightFadeTick(const TLightingSets& sets);
    bool LightInit() const { return Fade.LightInit; }
    // A light setting changed: ends the fade. With the context current OpenGL has the colours at
    // once, else they reach it with the next frame.
    void ApplyLightColoursNow(const TLightingSets& sets);

    // Lights 0..2 on and 3..7 off, or the reverse. RenderScene switches by itself when
    // frame.ShowDayNight changes, so callers rarely need these.
    void RgbLighting();
    void SunLighting();

    // Positions lights 3..7 around the sub-solar point under the current modelview matrix and
    // computes SunPos and MoonPos.
    void PlaceSunLights(double sunLat, double sunLon, double moonLat, double moonLon);

    // "Detailed earth texturing": the 4096-wide pictures (day, and night lights) when detailed,
    // else the 2048-wide ones. The night lights follow with the first day-and-night frame when
    // that mode has not been shown yet.
    bool ChangeEarthTexture(bool detailed);
    // The processed cloud picture already decoded: channels 1 (grey), 3 (RGB) or 4 (RGBA)
    // bytes a pixel, bottom row first; false (texture unchanged) when OpenGL does not take it.
    bool SetCloudPicture(int width, int height, int channels, std::span<const std::uint8_t> pixels);

    // Frees every display list and texture (context current; at shutdown).
    void Release();

private:
    // Tests and benchmarks set pictures and colours directly and look inside (SceneTestSeam.h).
    friend struct TSceneTestSeam;
    // Ends the fade; the colours reach OpenGL with the next frame. Needs no current context.
    void ApplyLightColours(const TLightingSets& sets);
    // Another earth or cloud picture as a JPEG stream; false (texture unchanged) when it is not
    // usable.
    bool SetEarthTexture(std::span<const std::uint8_t> jpeg);
    bool SetCloudTexture(std::span<const std::uint8_t> jpeg);

    // The build, in this order.
    void SetGlobalStates();
    void MakeAxesList();
    void MakeFont();
    void SetupLights(const TLightingSets& sets);
    void EnableCapabilities();
    void StartEarth();
    bool LoadEmbeddedTextures();
    // Passes on whether a new earth texture was loaded, forgetting the lights baked into the old.
    bool NewEarthTexture(bool loaded);
    // Keeps the night lights' picture (none: unchanged) for the earth texture's alpha.
    void SetLightsPicture(std::optional<TGreyPicture>&& lights);
    void MakeEarthList();
    void MakeBoundaryList();
    void MakeTimeZoneList(float r = TimeZoneRadius);
    void MakeCloudList();
    void MakeAtmosList();
    void MakeMarkerLists();
    // What the day-and-night globe adds, at its first frame.
    void BuildDayNight();
    void StartLightsJob();
    void MakeSunList();
    void MakeMoonList();

    // The layers of a frame, drawn in this order. Each sets what it needs and leaves the state
    // as it found it: textures and lighting on, blending off.
    void BeginFrame(const TFrameState& frame);
    void DrawEarth(const TFrameState& frame, const TLightingSets& sets);
    // Puts the lights, dimmed by the clouds when they are shown, into the earth texture's alpha
    // unless it holds them so already.
    void BakeLightsIntoEarth(bool clouds);
    void DrawOverlayLines(const TFrameState& frame);
    void DrawMarkersAndNames(const TFrameState& frame);
    void DrawClouds(const TFrameState& frame, const TLightingSets& sets);
    void DrawSunAndMoon(const TFrameState& frame, const TLightingSets& sets);
    void DrawAtmosphere(const TLightingSets& sets);
    void DrawStatusLines(const TFrameState& frame);
    void MakeOpaque();
    TShellView ShellView(const TVertex& proj, float radius) const;

    void DrawMarker(const TDrawPoint& p, TSpherePieces& sphere, float scale,
                    const TFrameState& frame, const TSphereView& view, TTextBatch& labels,
                    TLeaderLines& leaders);
    // Ends the set-up of a marker sphere's arrays, before anything else is drawn.
    void UnbindMarker();
    // The leader line and the label of a marked point (the marker itself drawn elsewhere).
    void DrawMarkerLabel(const TDrawPoint& p, const TFrameState& frame, TTextBatch& labels,
                         TLeaderLines& leaders);
    void HandLightColours(const TLightingSets& sets);
    void ApplyLightingMode(bool sun);

    using TPictureJob = std::future<std::optional<TRgbaPicture>>;
    TPictureJob EarthJob, SunJob, MoonJob;
    std::future<std::optional<TGreyPicture>> LightsJob;
    std::future<TLineLayout> BoundaryJob;

    GLuint EarthTex = 0, CloudTex = 0, SunTex = 0, MoonTex = 0;
    TCityLightsProgram CityLights;
    // The night lights and the installed clouds' cover, kept for the bake into the earth's alpha.
    std::optional<TGreyPicture> Lights;
    TGreyPicture CloudsCover;
    // Counted up with each new lights picture and cloud picture; what the earth texture's alpha
    // was baked from, none while it is its picture's own (a new earth texture).
    struct TBakeSource {
        unsigned Lights = 0, Clouds = 0; // Clouds 0: none shown
        bool operator==(const TBakeSource&) const = default;
    };
    TBakeSource Current{1, 1};
    std::optional<TBakeSource> Baked;
    std::vector<std::uint8_t> BakeBuffer; // the earth texture's pixels while baking
    GLuint AxesDL = 0, SunDL = 0, MoonDL = 0;
    GLuint TimeZoneDL = 0;
    TFontAtlas Font;
    TLineSet Boundaries;
    // The spheres, sent piece by piece: only what can face the camera in the view.
    TSpherePieces EarthSphere, CloudSphere, AtmosSphere, MoonSphere;
    // The markers' spheres, whole; the one whose arrays are set up, if any.
    TSpherePieces WPuserSphere, WPcountrySphere;
    TSpherePieces* BoundMarker = nullptr;
    float SunPos[4] = {0, 0, 0, 0};
    // Where the five sun lights shine from, in globe coordinates.
    TVertex SunLightFrom[5];
    TVertex MoonPos;

    TLightFade Fade;
    bool ColoursPending = false;
    int LightingMode = -1; // -1 none yet, 0 RGB, 1 sun
    bool HasContext = false;
    bool DayNightBuilt = false;
    bool DetailedEarth = false;     // the 4096-wide pictures
    bool LightsJobDetailed = false; // which night lights LightsJob decodes
    int PanelWidth = 1, PanelHeight = 1;
    double FontScale = 1; // what the font atlas was built for
};

// The material parameters as OpenGL takes them: shininess limited to 0..128.
float ClampShininess(float shininess);

// The upper-left 3 x 3 part of a column-major 4 x 4 matrix set to the identity, keeping the
// translation: what is drawn next faces the viewer, unrotated and unscaled.
void ClearRotation(float (&matrix)[16]);

// Where the camera of a view stands in globe coordinates.
TVertex CameraInGlobe(const TVertex& proj);
// Diameter in pixels of a marker sphere at p scaled by scale, seen from the camera on a panel
// of the given height.
float MarkerPixels(const TVertex& camera, const TVertex& p, float scale, int panelHeight);
// True when the earth hides every point of a ball (centre, radius) from the camera: the moon
// behind the earth.
bool BallHiddenByEarth(const TVertex& camera, const TVertex& centre, float radius);
// True when the earth lies between the camera and p, so nothing drawn at p can be seen.
bool HiddenByEarth(const TVertex& camera, const TVertex& p);

// Lines drawn on a shell of the given radius are hidden beyond this distance from the globe's
// centre, measured toward the camera (which stands at the given distance).
double FarSideClipOffset(double distance, double radius);
// Clips away (clip plane 0) what lies on a shell of that radius behind the earth, so that the
// hidden half of the overlay lines costs nothing. Globe coordinates must be current.
void ClipFarSide(const TVertex& proj, float radius);

// A coarser copy is taken only from this far away: near views show every vertex as it is.
inline constexpr double BoundaryDetailDistance = 10;
// How far (framebuffer pixels) a coarser line may stray on the screen.
inline constexpr double BoundaryPixelError = 0.25;
// The tolerance the boundaries may be drawn with from this camera distance on a panel of this
// height: 0 (every vertex) when near.
double BoundaryError(double distance, double radius, int panelHeight);

// The same for the current modelview matrix.
void BillboardMatrix();

} // namespace nimbora
