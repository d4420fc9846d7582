#include "render/Scene.h"

#include "render/GlState.h"
#include "render/Textures.h"
#include "render/polylines.h"
#include "resources/Resources.h"

#include <GL/glu.h>
#include <cmath>

#include <algorithm>
#include <system_error>

namespace nimbora {

namespace {

void ApplyMaterial(const TMaterialSet& m) {
    glMaterialfv(GL_FRONT, GL_AMBIENT, m.Ambient);
    glMaterialfv(GL_FRONT, GL_DIFFUSE, m.Diffuse);
    glMaterialfv(GL_FRONT, GL_SPECULAR, m.Specular);
    glMaterialf(GL_FRONT, GL_SHININESS, ClampShininess(m.Shininess));
}

void LightColour(GLenum light, GLenum which, const TglColor& c) {
    const GLfloat v[4] = {c.R, c.G, c.B, 1.0f};
    glLightfv(light, which, v);
}

// A GLU sphere with smooth normals into the list being compiled.
void Sphere(float radius, int slices, int stacks, bool textured) {
    GLUquadric* q = gluNewQuadric();
    if (!q) return;
    gluQuadricNormals(q, GLU_SMOOTH);
    gluQuadricTexture(q, textured ? GL_TRUE : GL_FALSE);
    gluSphere(q, radius, slices, stacks);
    gluDeleteQuadric(q);
}

GLuint NewList(GLuint& list) {
    if (list != 0) glDeleteLists(list, 1);
    list = glGenLists(1);
    return list;
}

void FreeList(GLuint& list) {
    if (list != 0) glDeleteLists(list, 1);
    list = 0;
}

void FreeTexture(GLuint& tex) {
    if (tex != 0) glDeleteTextures(1, &tex);
    tex = 0;
}

// Fixed moon material: it is lit by the sun lights only, to show its phase.
const TMaterialSet& MoonMaterial() {
    static const TMaterialSet m{{0.05f, 0.05f, 0.05f, 1}, {1, 1, 1, 1}, {0.1f, 0.1f, 0.1f, 1}, 50};
    return m;
}

} // namespace

float ClampShininess(float shininess) {
    if (!(shininess >= 0)) return 0; // also NaN
    return std::min(shininess, 128.0f);
}

void ClearRotation(float (&m)[16]) {
    for (int col = 0; col < 3; ++col)
        for (int row = 0; row < 3; ++row)
            m[col * 4 + row] = col == row ? 1.0f : 0.0f;
}

TVertex CameraInGlobe(const TVertex& proj) {
    // The frame draws with translate(Z) * rotateX(Y) * rotateY(X); undo it for the eye point.
    const double z = -proj.Z;
    const double a = -proj.Y * M_PI / 180, b = -proj.X * M_PI / 180;
    const double y1 = -z * std::sin(a), z1 = z * std::cos(a);
    return TVertex{static_cast<float>(z1 * std::sin(b)), static_cast<float>(y1),
                   static_cast<float>(z1 * std::cos(b))};
}

float MarkerPixels(const TVertex& camera, const TVertex& p, float scale, int panelHeight) {
    const double dx = p.X - camera.X, dy = p.Y - camera.Y, dz = p.Z - camera.Z;
    const double distance = std::sqrt(dx * dx + dy * dy + dz * dz);
    if (!(distance > 0)) return 1e9f;
    // The projection's 45 degree field of view spans the panel's height.
    const double pixelsPerUnit = panelHeight / (2 * std::tan(22.5 * M_PI / 180));
    return static_cast<float>(2 * MarkerSphereRadius * scale * pixelsPerUnit / distance);
}

bool HiddenByEarth(const TVertex& camera, const TVertex& p) {
    const double dx = p.X - camera.X, dy = p.Y - camera.Y, dz = p.Z - camera.Z;
    const double a = dx * dx + dy * dy + dz * dz;
    const double b = 2 * (camera.X * dx + camera.Y * dy + camera.Z * dz);
    const double c = camera.X * camera.X + camera.Y * camera.Y + camera.Z * camera.Z -
                     double(EarthRadius) * EarthRadius;
    const double disc = b * b - 4 * a * c;
    if (a <= 0 || c <= 0 || disc <= 0) return false;
    // Where the line of sight enters the earth, as a share of the way to p. A point on the near
    // surface is entered only at itself; the margin keeps rounding from hiding it.
    const double enter = (-b - std::sqrt(disc)) / (2 * a);
    return enter > 0 && enter < 0.99;
}

bool BallHiddenByEarth(const TVertex& camera, const TVertex& centre, float radius) {
    const double ex = -camera.X, ey = -camera.Y, ez = -camera.Z;
    const double bx = centre.X - camera.X, by = centre.Y - camera.Y, bz = centre.Z - camera.Z;
    const double toEarth = std::sqrt(ex * ex + ey * ey + ez * ez);
    const double toBall = std::sqrt(bx * bx + by * by + bz * bz);
    // The facets of the earth lie a little inside its sphere, so its outline is a little smaller.
    const double earth = EarthRadius * 0.999;
    if (!(toEarth > earth) || !(toBall > radius)) return false;
    // All of the ball beyond the earth's centre: every ray to it that meets the earth meets
    // its near side first.
    if (!(toBall - radius > toEarth)) return false;
    // And the ball's outline within the earth's.
    const double between =
        std::acos(std::clamp((ex * bx + ey * by + ez * bz) / (toEarth * toBall), -1.0, 1.0));
    return between + std::asin(radius / toBall) < std::asin(earth / toEarth) - 1e-3;
}

double FarSideClipOffset(double distance, double radius) {
    const double r2 = double(EarthRadius) * EarthRadius;
    if (distance <= EarthRadius || radius <= EarthRadius) return -radius;
    // A point at this radius is seen past the earth down to this distance along the view
    // direction; the margin keeps rounding from cutting what is still visible.
    return (r2 - std::sqrt((radius * radius - r2) * (distance * distance - r2))) / distance - 0.05;
}

void ClipFarSide(const TVertex& proj, float radius) {
    const TVertex camera = CameraInGlobe(proj);
    const double d = std::sqrt(double(camera.X) * camera.X + double(camera.Y) * camera.Y +
                               double(camera.Z) * camera.Z);
    if (!(d > 0)) return;
    const GLdouble plane[4] = {camera.X / d, camera.Y / d, camera.Z / d,
                               -FarSideClipOffset(d, radius)};
    glClipPlane(GL_CLIP_PLANE0, plane);
    glEnable(GL_CLIP_PLANE0);
}

double BoundaryError(double distance, double radius, int panelHeight) {
    if (!(distance >= BoundaryDetailDistance) || panelHeight <= 0) return 0;
    // Pixels per unit where the shell comes nearest to the camera; nothing on it is nearer.
    // Off the line of sight a point moved in depth also moves sideways on the screen, by up to
    // the tangent of the angle under which the shell's rim is seen.
    const double sideways = distance / std::sqrt(distance * distance - radius * radius);
    const double pixelsPerUnit =
        panelHeight / (2 * std::tan(22.5 * M_PI / 180) * (distance - radius)) * sideways;
    return BoundaryPixelError / pixelsPerUnit;
}

void BillboardMatrix() {
    float m[16];
    glGetFloatv(GL_MODELVIEW_MATRIX, m);
    ClearRotation(m);
    glLoadMatrixf(m);
}

void TScene::PrepareLightFade(const TLightingSets& sets) {
    Fade = nimbora::PrepareLightFade(sets);
    ColoursPending = true;
}

void TScene::SetGlobalStates() {
    HasContext = true;
    glClearColor(0, 0, 0, 0);
    glShadeModel(GL_SMOOTH);
    glClearDepth(1.0);
    // Additive: every blended object lightens what lies behind it.
    glBlendFunc(GL_SRC_ALPHA, GL_ONE);
    glDepthFunc(GL_LESS);
    glEnable(GL_CULL_FACE);
    glHint(GL_PERSPECTIVE_CORRECTION_HINT, GL_NICEST);
}

void TScene::MakeAxesList() {
    glNewList(NewList(AxesDL), GL_COMPILE);
    glColor3f(0.8f, 0.8f, 0.8f);
    glBegin(GL_LINE_STRIP);
    glVertex3f(0, -6, 0);
    glVertex3f(0, 6, 0);
    glEnd();
    glEndList();
}

void TScene::MakeFont() {
    Font.Build(FontScale);
}

void TScene::SetupLights(const TLightingSets& sets) {
    // Set under the identity so the coloured lights stay fixed to the viewer.
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();
    const GLfloat red[4] = {-15, 15, 15, 0};
    const GLfloat green[4] = {15, 15, 15, 0};
    const GLfloat blue[4] = {0, -20, 5, 0};
    glLightfv(GL_LIGHT0, GL_POSITION, red);
    glLightfv(GL_LIGHT1, GL_POSITION, green);
    glLightfv(GL_LIGHT2, GL_POSITION, blue);
    glPopMatrix();
    glLightfv(GL_LIGHT3, GL_AMBIENT, sets.SunLight.Ambient);
    for (GLenum l = GL_LIGHT0; l <= GL_LIGHT7; ++l)
        glDisable(l);
    LightingMode = -1;
    HandLightColours(sets);
}

void TScene::HandLightColours(const TLightingSets& sets) {
    LightColour(GL_LIGHT0, GL_DIFFUSE, Fade.init_red_diffuse_val);
    LightColour(GL_LIGHT0, GL_SPECULAR, Fade.init_red_specular_val);
    LightColour(GL_LIGHT1, GL_DIFFUSE, Fade.init_green_diffuse_val);
    LightColour(GL_LIGHT1, GL_SPECULAR, Fade.init_green_specular_val);
    LightColour(GL_LIGHT2, GL_DIFFUSE, Fade.init_blue_diffuse_val);
    LightColour(GL_LIGHT2, GL_SPECULAR, Fade.init_blue_specular_val);
    glLightfv(GL_LIGHT3, GL_AMBIENT, sets.SunLight.Ambient);
    LightColour(GL_LIGHT3, GL_DIFFUSE, Fade.init_sun_diffuse_val);
    LightColour(GL_LIGHT3, GL_SPECULAR, Fade.init_sun_specular_val);
    for (GLenum l = GL_LIGHT4; l <= GL_LIGHT7; ++l)
        LightColour(l, GL_DIFFUSE, Fade.init_sun_diffuse_val);
    ColoursPending = false;
}

void TScene::EnableCapabilities() {
    glEnable(GL_TEXTURE_2D);
    glEnable(GL_LIGHTING);
    glEnable(GL_DEPTH_TEST);
    glEnable(GL_NORMALIZE);
}

namespace {

// Runs work on a worker thread, or when it is asked for if no thread is to be had.
template <typename TWork> auto StartWork(TWork work) {
    try {
        return std::async(std::launch::async, std::move(work));
    } catch (const std::system_error&) {
        return std::async(std::launch::deferred, std::move(work));
    }
}

TLineLayout BoundaryLayout() {
    if (std::optional<TLineLayout> built = ReadLineLayout(BuiltBoundaryLayout()))
        return std::move(*built);
    // Bytes of another machine's making: the same layout, made here.
    std::vector<std::vector<TPolyline>> resources;
    for (const char* resource : BoundaryResources)
        resources.push_back(ReadPolylineResource(QString::fromLatin1(resource)));
    return LayOutBoundaries(resources);
}

template <typename TJob> void StartPicture(TJob& job, const char* path) {
    if (!job.valid()) job = StartWork([path] { return DecodeJpegFile(QString::fromLatin1(path)); });
}

} // namespace

void TScene::StartPreparing() {
    InitNimboraResources();
    StartPicture(EarthJob, ":/earth2048.jpg");
    if (!BoundaryJob.valid()) BoundaryJob = StartWork(BoundaryLayout);
}

// Each build step starts only its own work if it is not under way: a step that started the
// others as well would start them again once their results were taken.
void TScene::StartEarth() {
    InitNimboraResources();
    StartPicture(EarthJob, ":/earth2048.jpg");
}

void TScene::StartPreparingDayNight() {
    InitNimboraResources();
    StartPicture(SunJob, ":/sun.jpg");
    StartPicture(MoonJob, ":/moon.jpg");
    if (!LightsJob.valid()) StartLightsJob();
}

void TScene::StartLightsJob() {
    const bool detailed = DetailedEarth;
    LightsJobDetailed = detailed;
    LightsJob = StartWork([detailed] {
        return DecodeCityLightsFile(detailed ? QStringLiteral(":/night4096.jpg")
                                             : QStringLiteral(":/night2048.jpg"));
    });
}

bool TScene::LoadEmbeddedTextures() {
    StartEarth();
    return NewEarthTexture(LoadPictureTexture(EarthJob.get(), EarthTex));
}

void TScene::MakeEarthList() {
    // Pieces of 5.6 x 22.5 degrees: the lights' program draws those that the night or its
    // twilight touches, so they follow the terminator closely.
    EarthSphere.Build(EarthRadius, 128, 128, true, EarthBands, EarthSectors);
}

void TScene::MakeBoundaryList() {
    if (!BoundaryJob.valid()) BoundaryJob = StartWork(BoundaryLayout);
    Boundaries.Build(BoundaryJob.get());
}

void TScene::MakeTimeZoneList(float r) {
    glNewList(NewList(TimeZoneDL), GL_COMPILE);
    glPolygonMode(GL_FRONT, GL_LINE);
    glRotatef(-90, 1, 0, 0);
    // Meridians on the borders between zones, which are centred on multiples of 15 degrees.
    glRotatef(7.5f, 0, 0, 1);
    Sphere(r, 24, 18, false);
    glPolygonMode(GL_FRONT, GL_FILL);
    glEndList();
}

void TScene::MakeCloudList() {
    CloudSphere.Build(CloudRadius, 64, 64, true);
}

void TScene::MakeAtmosList() {
    // Pieces as small as the earth's: those on the night side are left out (DrawAtmosphere).
    AtmosSphere.Build(AtmosRadius, 128, 128, false, EarthBands, EarthSectors);
}

void TScene::MakeSunList() {
    glNewList(NewList(SunDL), GL_COMPILE);
    glDisable(GL_LIGHTING);
    glBindTexture(GL_TEXTURE_2D, SunTex);
    glBegin(GL_TRIANGLE_STRIP);
    glTexCoord2f(0, 0);
    glVertex3f(-30, -30, 0);
    glTexCoord2f(1, 0);
    glVertex3f(30, -30, 0);
    glTexCoord2f(0, 1);
    glVertex3f(-30, 30, 0);
    glTexCoord2f(1, 1);
    glVertex3f(30, 30, 0);
    glEnd();
    glEnable(GL_LIGHTING);
    glEndList();
}

void TScene::MakeMoonList() {
    // The list turns and dresses the moon; its sphere follows in pieces.
    glNewList(NewList(MoonDL), GL_COMPILE);
    glRotatef(-90, 1, 0, 0);
    glRotatef(180, 0, 0, 1);
    ApplyMaterial(MoonMaterial());
    glBindTexture(GL_TEXTURE_2D, MoonTex);
    glEndList();
    MoonSphere.Build(MoonRadius, 96, 96, true);
}

void TScene::MakeMarkerLists() {
    // Vertex buffers, not display lists: calling a list a marker cost some 50 microseconds.
    WPuserSphere.Build(MarkerSphereRadius, 6, 6, false);
    WPcountrySphere.Build(MarkerSphereRadius, 5, 4, false);
}

bool TScene::Build(const TLightingSets& sets, const TBuildStepDone& stepDone) {
    const auto done = [&](const char* step) {
        if (stepDone) stepDone(step);
    };
    SetGlobalStates();
    MakeAxesList();
    done("global states, axes");
    MakeFont();
    done("font atlas");
    SetupLights(sets);
    EnableCapabilities();
    done("lights");
    const bool textures = LoadEmbeddedTextures();
    done("earth 2048 texture");
    MakeEarthList();
    done("earth sphere list");
    MakeBoundaryList();
    done("boundary list");
    MakeTimeZoneList();
    MakeCloudList();
    done("time-zone, cloud lists");
    MakeMarkerLists();
    done("marker lists");
    // The day and night's extras follow with its first frame, at the detail of the earth.
    DayNightBuilt = false;
    DetailedEarth = false;
    return textures && Font.Ready();
}

void TScene::BuildDayNight() {
    StartPreparingDayNight();
    // Without their pictures the sun and moon are drawn untextured.
    LoadPictureTexture(SunJob.get(), SunTex);
    LoadPictureTexture(MoonJob.get(), MoonTex);
    // The detail changed since the lights were asked for.
    if (LightsJobDetailed != DetailedEarth) StartLightsJob();
    // The lights are an extra: without them (or without shaders) the night side stays dark.
    SetLightsPicture(LightsJob.get());
    CityLights.Build();
    MakeSunList();
    MakeMoonList();
    MakeAtmosList();
    DayNightBuilt = true;
}

void TScene::OpenGLPanelResize(int width, int height, double ratio) {
    if (!HasContext) return;
    if (height <= 0) height = 1;
    if (width <= 0) width = 1;
    PanelWidth = width;
    PanelHeight = height;
    // The window moved to a screen of another density: the texts keep their size.
    const double scale = nimbora::TextScale(ratio);
    if (scale != FontScale) {
        FontScale = scale;
        if (Font.Ready()) MakeFont();
    }
    glLineWidth(static_cast<GLfloat>(FontScale));
    glViewport(0, 0, width, height);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluPerspective(FieldOfView, static_cast<double>(width) / height, 0.1, 550.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
}

bool TScene::LightFadeTick(const TLightingSets& sets) {
    if (!nimbora::LightFadeTick(Fade, sets)) return false;
    ColoursPending = true;
    return true;
}

void TScene::ApplyLightColours(const TLightingSets& sets) {
    // The context need not be current: the next frame hands the colours on.
    FinishLightFade(Fade, sets);
    ColoursPending = true;
}

void TScene::ApplyLightColoursNow(const TLightingSets& sets) {
    FinishLightFade(Fade, sets);
    if (HasContext)
        HandLightColours(sets);
    else
        ColoursPending = true;
}

void TScene::RgbLighting() {
    ApplyLightingMode(false);
}

void TScene::SunLighting() {
    ApplyLightingMode(true);
}

void TScene::ApplyLightingMode(bool sun) {
    for (GLenum l = GL_LIGHT0; l <= GL_LIGHT2; ++l)
        sun ? glDisable(l) : glEnable(l);
    for (GLenum l = GL_LIGHT3; l <= GL_LIGHT7; ++l)
        sun ? glEnable(l) : glDisable(l);
    LightingMode = sun ? 1 : 0;
}

void TScene::PlaceSunLights(double sunLat, double sunLon, double moonLat, double moonLon) {
    struct TOffset {
        GLenum Light;
        double Lat, Lon;
    };
    static constexpr TOffset lights[] = {{GL_LIGHT3, 0, 0},
                                         {GL_LIGHT4, 20, 20},
                                         {GL_LIGHT5, -20, 20},
                                         {GL_LIGHT6, 20, -20},
                                         {GL_LIGHT7, -20, -20}};
    for (std::size_t i = 0; i < std::size(lights); ++i) {
        const TOffset& o = lights[i];
        const TVertex v = SpherePoint(SunDistance, sunLon + o.Lon, sunLat + o.Lat);
        SunLightFrom[i] = v;
        // Directional: the light shines from the direction of its point.
        const GLfloat pos[4] = {v.X, v.Y, v.Z, 0};
        glLightfv(o.Light, GL_POSITION, pos);
        if (o.Light == GL_LIGHT3) std::copy(pos, pos + 4, SunPos);
    }
    MoonPos = SpherePoint(MoonDistance, moonLon, moonLat);
}

void TLeaderLines::Add(const TDrawPoint& p) {
    Lines.push_back({p.WayPoint, p.NamPoint, p.Color});
}

void TLeaderLines::Draw() {
    if (Lines.empty()) return;
    // Each fades to black toward its label. They share one matrix, so one batch serves.
    glBegin(GL_LINES);
    for (const TLine& l : Lines) {
        glColor3f(l.Colour.R, l.Colour.G, l.Colour.B);
        glVertex3f(l.From.X, l.From.Y, l.From.Z);
        glColor3f(0, 0, 0);
        glVertex3f(l.To.X, l.To.Y, l.To.Z);
    }
    glEnd();
    Lines.clear();
}

void TScene::DrawMarker(const TDrawPoint& p, TSpherePieces& sphere, float scale,
                        const TFrameState& frame, const TSphereView& view, TTextBatch& labels,
                        TLeaderLines& leaders) {
    const float k = scale / frame.ScaleZ;
    // A marker out of the view draws nothing; its label may still be in sight.
    if (!OutsideView(view, p.WayPoint, MarkerSphereRadius * k)) {
        glPushMatrix();
        glColor3f(p.Color.R, p.Color.G, p.Color.B);
        glTranslatef(p.WayPoint.X, p.WayPoint.Y, p.WayPoint.Z);
        glScalef(k, k, k);
        // The sphere's arrays stay set up from one marker to the next.
        if (BoundMarker != &sphere) {
            UnbindMarker();
            sphere.Bind();
            BoundMarker = &sphere;
        }
        sphere.DrawAllBound();
        glPopMatrix();
    }
    DrawMarkerLabel(p, frame, labels, leaders);
}

void TScene::UnbindMarker() {
    if (BoundMarker) BoundMarker->Unbind();
    BoundMarker = nullptr;
}

void TScene::DrawMarkerLabel(const TDrawPoint& p, const TFrameState& frame, TTextBatch& labels,
                             TLeaderLines& leaders) {
    if (frame.Proj.Z > LabelsNearZ) {
        leaders.Add(p);
        labels.AddAt(p.NamPoint, p.RepPoint.Nam);
    }
}

void TScene::RenderBlank() {
    // Opaque black: a compositor that honours the surface's alpha must not show the desktop.
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
}

void TScene::RenderScene(const TFrameState& frame, const TLightingSets& sets) {
    if (ColoursPending) HandLightColours(sets);
    const bool sun = frame.ShowDayNight;
    if (sun && !DayNightBuilt) BuildDayNight();
    if (LightingMode != (sun ? 1 : 0)) ApplyLightingMode(sun);
    // A zero ScaleZ would make the markers infinite.
    TFrameState safe;
    const TFrameState* f = &frame;
    if (!(frame.ScaleZ > 0)) {
        safe = frame;
        safe.ScaleZ = 1;
        f = &safe;
    }

    BeginFrame(*f);
    DrawEarth(*f, sets);
    DrawOverlayLines(*f);
    DrawMarkersAndNames(*f);
    DrawClouds(*f, sets);
    if (sun) {
        DrawSunAndMoon(*f, sets);
        DrawAtmosphere(sets);
    }
    DrawStatusLines(*f);
    // The frame starts with alpha 1, blending (GL_SRC_ALPHA, GL_ONE) only adds to it, and
    // everything else is drawn with alpha 1 except the earth, whose material may have less.
    const TMaterialSet& earth = f->ShowTexturing ? (sun ? sets.SunEarth1 : sets.RgbEarth1)
                                                 : (sun ? sets.SunEarth2 : sets.RgbEarth2);
    if (!(earth.Diffuse[3] >= 1)) MakeOpaque();
}

void TScene::MakeOpaque() {
    // The surface has an alpha channel, which an earth material with alpha below 1 leaves
    // below 1. X11 ignores it, but a Wayland compositor would show the desktop through the
    // earth: fill alpha with the clear colour's 1 and keep the colours.
    glColorMask(GL_FALSE, GL_FALSE, GL_FALSE, GL_TRUE);
    glClear(GL_COLOR_BUFFER_BIT);
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
}

void TScene::BeginFrame(const TFrameState& f) {
    // Black, and opaque from the start (see the end of RenderScene).
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glTranslatef(0, 0, f.Proj.Z);
    glRotatef(f.Proj.Y, 1, 0, 0);
    glRotatef(f.Proj.X, 0, 1, 0);
    // The sun lights go in before anything lit is drawn, so the earth of this frame is lit
    // from where the sun stands in this frame's view, not the last one's.
    if (f.ShowDayNight) PlaceSunLights(f.SunLat, f.SunLon, f.MoonLat, f.MoonLon);
}

void TScene::DrawEarth(const TFrameState& f, const TLightingSets& sets) {
    const bool sun = f.ShowDayNight;
    if (f.ShowAxis) {
        // The polar axis.
        TGlMatrixScope matrix;
        TGlCapabilities unlit{{GL_LIGHTING, false}, {GL_TEXTURE_2D, false}};
        glCallList(AxesDL);
    }
    const bool lights = sun && f.ShowCityLights && Lights && CityLights.Ready();
    if (lights) BakeLightsIntoEarth(f.CloudsAvailable && f.ShowClouds && CloudTex != 0);
    TGlMatrixScope matrix;
    TGlCapabilities texture{{GL_TEXTURE_2D, f.ShowTexturing}};
    ApplyMaterial(f.ShowTexturing ? (sun ? sets.SunEarth1 : sets.RgbEarth1)
                                  : (sun ? sets.SunEarth2 : sets.RgbEarth2));
    // The lights' program reads the lights from the texture even on an untextured earth.
    if (f.ShowTexturing || lights) glBindTexture(GL_TEXTURE_2D, EarthTex);
    // Where the texture's alpha holds the lights, the fixed function takes alpha from the
    // material alone, as from a picture without alpha: the framebuffer's alpha is what a
    // compositor shows the window with.
    const bool alphaHoldsLights = Baked.has_value();
    if (alphaHoldsLights) {
        glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_COMBINE);
        glTexEnvi(GL_TEXTURE_ENV, GL_COMBINE_RGB, GL_MODULATE);
        glTexEnvi(GL_TEXTURE_ENV, GL_SOURCE0_RGB, GL_TEXTURE);
        glTexEnvi(GL_TEXTURE_ENV, GL_SOURCE1_RGB, GL_PRIMARY_COLOR);
        glTexEnvi(GL_TEXTURE_ENV, GL_COMBINE_ALPHA, GL_REPLACE);
        glTexEnvi(GL_TEXTURE_ENV, GL_SOURCE0_ALPHA, GL_PRIMARY_COLOR);
    }
    // The sphere's pole axis (z) becomes the globe's (y).
    glRotatef(-90, 1, 0, 0);
    if (lights) {
        TCityLightsProgram::TUse use;
        use.Textured = f.ShowTexturing;
        use.SunLat = f.SunLat;
        use.SunLon = f.SunLon;
        use.Radius = EarthRadius;
        // Where the sun is up on every vertex of a piece no light shows on it: those pieces
        // go through the fixed function as without lights, only the rest through the program.
        const std::array<double, 3> s = SunInEarthSphere(f.SunLat, f.SunLon);
        const TVertex sunward{static_cast<float>(s[0]), static_cast<float>(s[1]),
                              static_cast<float>(s[2])};
        const auto day = [&sunward](const TSpherePiece& piece) {
            return PieceWithin(piece, sunward, M_PI / 2);
        };
        EarthSphere.Draw(day);
        TCityLightsProgram::TScope program(CityLights, use);
        EarthSphere.Draw([&day](const TSpherePiece& piece) { return !day(piece); });
    } else {
        EarthSphere.Draw();
    }
    if (alphaHoldsLights) glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
}

void TScene::BakeLightsIntoEarth(bool clouds) {
    const TBakeSource source{Current.Lights, clouds ? Current.Clouds : 0u};
    if (Baked == source || !Lights || EarthTex == 0) return;
    glBindTexture(GL_TEXTURE_2D, EarthTex);
    GLint width = 0, height = 0;
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &width);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT, &height);
    if (width <= 0 || height <= 0) return;
    // The texture's own copy is the only one: read it back, set its alpha, send it again. Only
    // the full level is ever drawn (linear filtering from it alone). The buffer stays for the
    // next bake: a fresh one of the detailed earth's 32 MB takes longer to map than the bake.
    std::vector<std::uint8_t>& rgba = BakeBuffer;
    rgba.resize(static_cast<std::size_t>(width) * height * 4);
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
    glPixelStorei(GL_PACK_ROW_LENGTH, 0);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
    BakeLitLights(rgba, width, height, *Lights, clouds ? &CloudsCover : nullptr);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
    glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, width, height, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
    Baked = source;
}

void TScene::DrawOverlayLines(const TFrameState& f) {
    if (!f.ShowCountries && !f.ShowTimeZone) return;
    TGlCapabilities unlit{{GL_LIGHTING, false}, {GL_TEXTURE_2D, false}};
    if (f.ShowCountries) {
        TGlMatrixScope matrix;
        glColor3f(1, 1, 0);
        ClipFarSide(f.Proj, BoundaryRadius);
        Boundaries.Draw(ShellView(f.Proj, BoundaryRadius),
                        BoundaryError(-f.Proj.Z, BoundaryRadius, PanelHeight));
        glDisable(GL_CLIP_PLANE0);
    }
    if (f.ShowTimeZone) {
        TGlMatrixScope matrix;
        TGlCapabilities blend{{GL_BLEND, true}};
        glColor4f(0, 1, 0, 0.2f);
        ClipFarSide(f.Proj, TimeZoneRadius);
        glCallList(TimeZoneDL);
        glDisable(GL_CLIP_PLANE0);
    }
}

TShellView TScene::ShellView(const TVertex& proj, float radius) const {
    TShellView v;
    v.Camera = CameraInGlobe(proj);
    const double d = std::sqrt(double(v.Camera.X) * v.Camera.X + double(v.Camera.Y) * v.Camera.Y +
                               double(v.Camera.Z) * v.Camera.Z);
    v.MinCos = std::max(-1.0, FarSideClipOffset(d, radius) / radius);
    // The corners of the 45 degree high view, and a degree to spare.
    const double aspect = static_cast<double>(PanelWidth) / PanelHeight;
    v.FieldHalfAngle =
        std::atan(std::tan(22.5 * M_PI / 180) * std::sqrt(1 + aspect * aspect)) + M_PI / 180;
    return v;
}

void TScene::DrawMarkersAndNames(const TFrameState& f) {
    if (!f.DrawPoints) return;
    const bool names = f.ShowNames && f.Proj.Z > NamesNearZ;
    if (!names && !f.ShowCustomWay) return;
    TGlCapabilities unlit{{GL_LIGHTING, false}, {GL_TEXTURE_2D, false}};
    // Points on the far side would be hidden by the earth anyway; their bitmap text is the
    // costliest thing in the frame.
    const TVertex camera = CameraInGlobe(f.Proj);
    // The labels go in one batch after the markers; the depth test keeps each where it was.
    TTextBatch labels(Font);
    // The leader lines likewise: one batch instead of a draw each.
    TLeaderLines leaders;
    const TSphereView view = CurrentSphereView();
    // A waypoint marker that covers a pixel or two looks the same drawn as a dot, and a user's
    // file may hold a hundred thousand of them: those go out in one batch of points.
    std::vector<const TDrawPoint*> dots[2];
    for (const TDrawPoint& p : *f.DrawPoints) {
        if (HiddenByEarth(camera, p.WayPoint) && HiddenByEarth(camera, p.NamPoint)) continue;
        if (p.Kind == WpTUser) {
            if (!f.ShowCustomWay) continue;
            const float pixels = MarkerPixels(camera, p.WayPoint, 1 / f.ScaleZ, PanelHeight);
            if (pixels < 2.5f) {
                dots[pixels < 1.5f ? 0 : 1].push_back(&p);
                DrawMarkerLabel(p, f, labels, leaders);
            } else {
                DrawMarker(p, WPuserSphere, 1, f, view, labels, leaders);
            }
        } else if (names) {
            DrawMarker(p, WPcountrySphere, 1, f, view, labels, leaders);
        }
    }
    UnbindMarker();
    // Each dot sits at the top of its sphere: the centre lies on the earth's surface, where
    // the depth test would hide it about half the time.
    const float lift = 1 + MarkerSphereRadius / f.ScaleZ / MarkerRadius;
    for (int size = 0; size < 2; ++size) {
        if (dots[size].empty()) continue;
        glPointSize(static_cast<float>(size + 1));
        glBegin(GL_POINTS);
        for (const TDrawPoint* p : dots[size]) {
            glColor3f(p->Color.R, p->Color.G, p->Color.B);
            glVertex3f(p->WayPoint.X * lift, p->WayPoint.Y * lift, p->WayPoint.Z * lift);
        }
        glEnd();
    }
    glPointSize(1);
    leaders.Draw();
    labels.Draw(0, 1, 0);
}

void TScene::DrawClouds(const TFrameState& f, const TLightingSets& sets) {
    if (!f.CloudsAvailable || !f.ShowClouds || CloudTex == 0) return;
    TGlMatrixScope matrix;
    TGlCapabilities blend{{GL_BLEND, true}};
    ApplyMaterial(f.ShowDayNight ? sets.SunCloud : sets.RgbCloud);
    glBindTexture(GL_TEXTURE_2D, CloudTex);
    glRotatef(-90, 1, 0, 0);
    CloudSphere.Draw();
}

void TScene::DrawSunAndMoon(const TFrameState& f, const TLightingSets& sets) {
    {
        TGlMatrixScope matrix;
        glTranslatef(SunPos[0], SunPos[1], SunPos[2]);
        BillboardMatrix();
        const float s = 2 * sets.SunLight.Specular[0];
        glColor3f(s, s, s);
        glCallList(SunDL);
    }
    if (!BallHiddenByEarth(CameraInGlobe(f.Proj), MoonPos, MoonRadius)) {
        TGlMatrixScope matrix;
        glTranslatef(MoonPos.X, MoonPos.Y, MoonPos.Z);
        glRotatef(static_cast<float>(f.MoonLon), 0, 1, 0);
        glRotatef(static_cast<float>(f.MoonLat), -1, 0, 0);
        glCallList(MoonDL);
        MoonSphere.Draw();
    }
    TGlCapabilities unlit{{GL_LIGHTING, false}, {GL_TEXTURE_2D, false}};
    TTextBatch labels(Font);
    TLeaderLines leaders;
    const TSphereView view = CurrentSphereView();
    const auto marker = [&](double lat, double lon, TglColor colour, const char* text) {
        TDrawPoint p;
        p.WayPoint = SpherePoint(SunMoonMarkerRadius, lon, lat);
        p.NamPoint =
            SpherePoint(SunMoonLabelRadius, lon + SunMoonLabelOffset, lat + SunMoonLabelOffset);
        p.Kind = WpTSpecial;
        p.Color = colour;
        p.RepPoint = TRepPoint{text, lat, lon};
        DrawMarker(p, WPuserSphere, 4, f, view, labels, leaders);
    };
    marker(f.SunLat, f.SunLon, TglColor{0, 1, 0}, SunMarkerText);
    marker(f.MoonLat, f.MoonLon, TglColor{0, 1, 1}, MoonMarkerText);
    UnbindMarker();
    leaders.Draw();
    labels.Draw(0, 1, 0);
}

void TScene::DrawAtmosphere(const TLightingSets& sets) {
    TGlMatrixScope matrix;
    TGlCapabilities blend{{GL_BLEND, true}, {GL_TEXTURE_2D, false}};
    const TMaterialSet& m = sets.SunAtmos;
    ApplyMaterial(m);
    if (!(m.Ambient[0] <= 0 && m.Ambient[1] <= 0 && m.Ambient[2] <= 0)) {
        AtmosSphere.Draw();
        return;
    }
    // Without an ambient part the atmosphere takes all its colour from the sun lights, so where
    // every one of them shines on a piece from behind, the piece is black and adds nothing.
    AtmosSphere.Draw([this](const TSpherePiece& piece) {
        for (const TVertex& from : SunLightFrom)
            if (!PieceWithin(piece, TVertex{-from.X, -from.Y, -from.Z}, M_PI / 2)) return true;
        return false;
    });
}

void TScene::DrawStatusLines(const TFrameState& f) {
    TGlCapabilities onTop{{GL_DEPTH_TEST, false}};
    // Window units at ratio 1; framebuffer pixels grow with the ratio.
    const auto at = [this](int units) { return static_cast<int>(std::lround(units * FontScale)); };
    TTextBatch lines(Font);
    lines.AddWindow(at(10), at(46), f.PointerText);
    lines.AddWindow(at(10), at(34), f.StatusText);
    lines.AddWindow(at(10), at(22), f.UpdateText);
    lines.AddWindow(at(10), at(10), f.CreditText);
    lines.Draw(0, 1, 0);
}

bool TScene::ChangeEarthTexture(bool detailed) {
    InitNimboraResources();
    DetailedEarth = detailed;
    if (DayNightBuilt)
        SetLightsPicture(DecodeCityLightsFile(detailed ? QStringLiteral(":/night4096.jpg")
                                                       : QStringLiteral(":/night2048.jpg")));
    return NewEarthTexture(LoadJpegTexture(detailed ? QStringLiteral(":/earth4096.jpg")
                                                    : QStringLiteral(":/earth2048.jpg"),
                                           EarthTex));
}

bool TScene::NewEarthTexture(bool loaded) {
    // A new picture's alpha is its own until the lights are baked into it.
    if (loaded) Baked.reset();
    return loaded;
}

void TScene::SetLightsPicture(std::optional<TGreyPicture>&& lights) {
    if (!lights) return;
    Lights = std::move(lights);
    ++Current.Lights;
}

bool TScene::SetEarthTexture(std::span<const std::uint8_t> jpeg) {
    return NewEarthTexture(LoadJpegTexture(jpeg, EarthTex));
}

bool TScene::SetCloudTexture(std::span<const std::uint8_t> jpeg) {
    const std::optional<TRgbaPicture> picture = DecodeJpeg(jpeg);
    return picture && SetCloudPicture(picture->Width, picture->Height, 4, picture->Pixels);
}

bool TScene::SetCloudPicture(int width, int height, int channels,
                             std::span<const std::uint8_t> pixels) {
    if (width <= 0 || height <= 0 || channels <= 0 ||
        pixels.size() != static_cast<std::size_t>(width) * height * channels)
        return false;
    if (!LoadPixelTexture(width, height, channels, pixels.data(), CloudTex)) return false;
    // What the clouds hide of the lights, for the next bake.
    CloudsCover = CloudCover(width, height, channels, pixels);
    ++Current.Clouds;
    return true;
}

void TScene::Release() {
    for (GLuint* list : {&AxesDL, &SunDL, &MoonDL, &TimeZoneDL})
        FreeList(*list);
    for (TSpherePieces* sphere :
         {&EarthSphere, &CloudSphere, &AtmosSphere, &MoonSphere, &WPuserSphere, &WPcountrySphere})
        sphere->Release();
    Font.Release();
    CityLights.Release();
    for (GLuint* tex : {&EarthTex, &CloudTex, &SunTex, &MoonTex})
        FreeTexture(*tex);
    Baked.reset();
    BakeBuffer = {};
    HasContext = false;
    DayNightBuilt = false;
    LightingMode = -1;
}

} // namespace nimbora
