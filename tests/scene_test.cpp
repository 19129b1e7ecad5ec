// The scene drawn into a real Mesa context: geometry through feedback mode, state through
// queries, and a whole frame through glReadPixels.
#include "expected.h"
#include "gl_context.h"
#include "scene.h"
#include "opengl.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

struct Vertex {
    double x, y, z;
    float r, g, b;
};
using Polygon = std::vector<Vertex>;

const int viewSize = 400;

// Draws under feedback mode through an orthographic view of the cube -20..20 and returns what GL
// produced, each vertex mapped back into the drawing's own coordinates.
std::vector<Polygon> CapturePolygons(void (*draw)()) {
    glViewport(0, 0, viewSize, viewSize);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(-20, 20, -20, 20, -20, 20);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    GLdouble model[16], projection[16];
    GLint viewport[4];
    glGetDoublev(GL_MODELVIEW_MATRIX, model);
    glGetDoublev(GL_PROJECTION_MATRIX, projection);
    glGetIntegerv(GL_VIEWPORT, viewport);

    static GLfloat buffer[1 << 16];
    glFeedbackBuffer(sizeof buffer / sizeof buffer[0], GL_3D_COLOR, buffer);
    glRenderMode(GL_FEEDBACK);
    draw();
    const GLint used = glRenderMode(GL_RENDER);

    std::vector<Polygon> polygons;
    for (GLint i = 0; i < used;) {
        EXPECT_EQ(buffer[i], GL_POLYGON_TOKEN) << "only polygons are drawn";
        const int count = static_cast<int>(buffer[i + 1]);
        i += 2;
        Polygon polygon;
        for (int v = 0; v < count; ++v, i += 7) {
            Vertex vertex{};
            gluUnProject(buffer[i], buffer[i + 1], buffer[i + 2], model, projection, viewport,
                         &vertex.x, &vertex.y, &vertex.z);
            vertex.r = buffer[i + 3];
            vertex.g = buffer[i + 4];
            vertex.b = buffer[i + 5];
            polygon.push_back(vertex);
        }
        polygons.push_back(polygon);
    }
    return polygons;
}

bool Same(const Vertex &a, const Vertex &b) {
    return std::fabs(a.x - b.x) < 1e-3 && std::fabs(a.y - b.y) < 1e-3 &&
           std::fabs(a.z - b.z) < 1e-3;
}

// Mesa hands a polygon to feedback as the triangles of its fan: (v1, v2, v0), (v2, v3, v0), ...
// Joins such runs back into the polygons that were drawn.
std::vector<Polygon> JoinFans(const std::vector<Polygon> &pieces) {
    std::vector<Polygon> joined;
    for (size_t i = 0; i < pieces.size();) {
        const Polygon &first = pieces[i];
        if (first.size() != 3) {
            joined.push_back(first);
            ++i;
            continue;
        }
        Polygon polygon = {first[2], first[0], first[1]};
        size_t next = i + 1;
        while (next < pieces.size() && pieces[next].size() == 3 &&
               Same(pieces[next][2], first[2]) && Same(pieces[next][0], polygon.back()) &&
               Same(pieces[next][2], pieces[next - 1][2])) {
            polygon.push_back(pieces[next][1]);
            ++next;
        }
        joined.push_back(polygon);
        i = next;
    }
    return joined;
}

// The unit box's corners, face by face: top, front, right, left, bottom, back.
const double unitBox[24][3] = {
    {0, 0, 0},    {0, 0, -1},  {-1, 0, -1},  {-1, 0, 0},  {0, 0, 0},    {-1, 0, 0},
    {-1, -1, 0},  {0, -1, 0},  {0, 0, 0},    {0, -1, 0},  {0, -1, -1},  {0, 0, -1},
    {-1, 0, 0},   {-1, 0, -1}, {-1, -1, -1}, {-1, -1, 0}, {0, -1, 0},   {0, -1, -1},
    {-1, -1, -1}, {-1, -1, 0}, {0, 0, -1},   {-1, 0, -1}, {-1, -1, -1}, {0, -1, -1},
};

void ExpectBoxAt(const Polygon &polygon, double x, double y, double z) {
    ASSERT_EQ(polygon.size(), 24u);
    for (int i = 0; i < 24; ++i) {
        EXPECT_NEAR(polygon[i].x, unitBox[i][0] + x, 1e-3) << "vertex " << i + 1;
        EXPECT_NEAR(polygon[i].y, unitBox[i][1] + y, 1e-3) << "vertex " << i + 1;
        EXPECT_NEAR(polygon[i].z, unitBox[i][2] + z, 1e-3) << "vertex " << i + 1;
    }
}

int ModelviewDepth() {
    GLint depth = 0;
    glGetIntegerv(GL_MODELVIEW_STACK_DEPTH, &depth);
    return depth;
}

std::array<float, 3> CurrentColour() {
    GLfloat colour[4];
    glGetFloatv(GL_CURRENT_COLOR, colour);
    return {colour[0], colour[1], colour[2]};
}

void ResetAnimation() {
    spinAngle = 0.0f;
    armSwingA = {0.0f, true};
    armSwingB = {0.0f, false};
    legSwingA = {0.0f, true};
    legSwingB = {0.0f, false};
    eyeX = 0.0f;
    eyeY = 0.0f;
    zoom = 5.0f;
}

TEST(UnitBox, IsOnePolygonOfTheTwentyFourCornersAtItsPosition) {
    auto atOrigin = JoinFans(CapturePolygons([] { RenderBox(0, 0, 0); }));
    ASSERT_EQ(atOrigin.size(), 1u);
    ExpectBoxAt(atOrigin[0], 0, 0, 0);

    auto moved = JoinFans(CapturePolygons([] { RenderBox(3, -2, 1.5f); }));
    ASSERT_EQ(moved.size(), 1u);
    ExpectBoxAt(moved[0], 3, -2, 1.5);
}

TEST(UnitBox, KeepsMatrixAndTakesTheCurrentColour) {
    for (float green : {0.0f, 1.0f}) {
        glColor3f(0.25f, green, 0.5f);
        auto polygons = CapturePolygons([] {
            const int before = ModelviewDepth();
            RenderBox(1, 1, 1);
            EXPECT_EQ(ModelviewDepth(), before);
        });
        ASSERT_FALSE(polygons.empty());
        EXPECT_FLOAT_EQ(polygons[0][0].r, 0.25f);
        EXPECT_FLOAT_EQ(polygons[0][0].g, green);
        EXPECT_EQ(CurrentColour(), (std::array<float, 3>{0.25f, green, 0.5f}));
    }
}

struct Extent {
    double low[3] = {1e9, 1e9, 1e9};
    double high[3] = {-1e9, -1e9, -1e9};
    void Add(double x, double y, double z) {
        const double p[3] = {x, y, z};
        for (int i = 0; i < 3; ++i) {
            low[i] = std::min(low[i], p[i]);
            high[i] = std::max(high[i], p[i]);
        }
    }
};

Extent ExtentOf(const Polygon &polygon) {
    Extent extent;
    for (const Vertex &v : polygon) {
        extent.Add(v.x, v.y, v.z);
    }
    return extent;
}

// A limb box spanning [low, high] in its own frame, turned by angle degrees about the x axis and
// hung from the shoulder line at y = -0.5.
Extent SwungExtent(const double low[3], const double high[3], double angle) {
    const double radians = angle * M_PI / 180.0;
    Extent extent;
    for (int corner = 0; corner < 8; ++corner) {
        const double x = corner & 1 ? high[0] : low[0];
        const double y = corner & 2 ? high[1] : low[1];
        const double z = corner & 4 ? high[2] : low[2];
        extent.Add(x, y * std::cos(radians) - z * std::sin(radians) - 0.5,
                   y * std::sin(radians) + z * std::cos(radians));
    }
    return extent;
}

void ExpectExtent(const Extent &actual, const Extent &expected, const char *part) {
    for (int i = 0; i < 3; ++i) {
        EXPECT_NEAR(actual.low[i], expected.low[i], 1e-3) << part << " axis " << i;
        EXPECT_NEAR(actual.high[i], expected.high[i], 1e-3) << part << " axis " << i;
    }
}

TEST(Figure, SixPartsInTheirColoursSizesAndPlaces) {
    ResetAnimation();
    auto parts = JoinFans(CapturePolygons([] {
        const int before = ModelviewDepth();
        RenderFigure(0, 0, 0);
        EXPECT_EQ(ModelviewDepth(), before);
    }));
    ASSERT_EQ(parts.size(), 6u);
    EXPECT_EQ(CurrentColour(), (std::array<float, 3>{1, 1, 0})) << "a leg is drawn last";

    struct Expected {
        const char *part;
        float r, g, b;
        double low[3], high[3];
        double swing; // 0 for the parts that do not swing
    };
    // First frame: the A limbs at +1 degree, the B limbs at -1 degree.
    const Expected expected[6] = {
        {"head", 1, 1, 1, {-1, 0, -2}, {1, 2, 0}, 0},
        {"torso", 0, 0, 1, {-1.5, -5, -2}, {1.5, 0, 0}, 0},
        {"arm A", 1, 0, 0, {1.5, -4, -1.5}, {2.5, 0, -0.5}, 1},
        {"arm B", 1, 0, 0, {-2.5, -4, -1.5}, {-1.5, 0, -0.5}, -1},
        {"leg A", 1, 1, 0, {-1.5, -10, -1.5}, {-0.5, -5, -0.5}, 1},
        {"leg B", 1, 1, 0, {0.5, -10, -1.5}, {1.5, -5, -0.5}, -1},
    };
    for (int i = 0; i < 6; ++i) {
        const Expected &e = expected[i];
        ASSERT_EQ(parts[i].size(), 24u) << e.part;
        EXPECT_FLOAT_EQ(parts[i][0].r, e.r) << e.part;
        EXPECT_FLOAT_EQ(parts[i][0].g, e.g) << e.part;
        EXPECT_FLOAT_EQ(parts[i][0].b, e.b) << e.part;
        Extent want;
        if (e.swing == 0) {
            want.Add(e.low[0], e.low[1], e.low[2]);
            want.Add(e.high[0], e.high[1], e.high[2]);
        } else {
            want = SwungExtent(e.low, e.high, e.swing);
        }
        ExpectExtent(ExtentOf(parts[i]), want, e.part);
    }
}

TEST(Figure, EachPartKeepsTheMatrixAndLeavesItsColour) {
    struct Case {
        void (*render)(float, float, float);
        std::array<float, 3> colour;
    };
    const Case cases[] = {{RenderHead, {1, 1, 1}},
                          {RenderTorso, {0, 0, 1}},
                          {RenderArm, {1, 0, 0}},
                          {RenderLeg, {1, 1, 0}}};
    for (const Case &c : cases) {
        const int before = ModelviewDepth();
        c.render(1, 2, 3);
        EXPECT_EQ(ModelviewDepth(), before);
        EXPECT_EQ(CurrentColour(), c.colour);
    }
}

TEST(Figure, SwingsWalkBetweenMinusAndPlusFifteen) {
    ResetAnimation();
    RenderFigure(0, 0, 0);
    const auto step = static_cast<float>(expected::swingStep);
    EXPECT_FLOAT_EQ(armSwingA.angle, step);
    EXPECT_FLOAT_EQ(legSwingA.angle, step);
    EXPECT_FLOAT_EQ(armSwingB.angle, -step);
    EXPECT_FLOAT_EQ(legSwingB.angle, -step);

    struct Mark {
        int frames;
        float angle;
        bool rising;
    };
    // The swing turns on the frames that reach either extreme.
    const int limit = expected::swingLimit / expected::swingStep;
    const auto top = static_cast<float>(expected::swingLimit);
    const Mark marks[] = {{limit, top, false},
                          {2 * limit, 0.0f, false},
                          {3 * limit, -top, true},
                          {4 * limit, 0.0f, true},
                          {5 * limit, top, false}};
    int frames = 1;
    for (const Mark &mark : marks) {
        for (; frames < mark.frames; ++frames) {
            RenderFigure(0, 0, 0);
            EXPECT_EQ(armSwingA.angle, legSwingA.angle);
            EXPECT_EQ(armSwingB.angle, -armSwingA.angle);
            EXPECT_EQ(legSwingB.angle, -armSwingA.angle);
            EXPECT_LE(std::fabs(armSwingA.angle), top);
        }
        EXPECT_EQ(armSwingA.angle, mark.angle) << "after " << mark.frames << " frames";
        EXPECT_EQ(armSwingA.rising, mark.rising) << "after " << mark.frames << " frames";
        EXPECT_EQ(armSwingB.rising, !mark.rising) << "after " << mark.frames << " frames";
    }
}

TEST(Frame, SpinTurnsOneDegreePerFrameAndWrapsAt360) {
    ResetAnimation();
    SetProjection(viewSize, viewSize);
    DrawFrame();
    const auto step = static_cast<float>(expected::spinStep);
    EXPECT_EQ(spinAngle, step);
    const int frames = expected::spinTurn / expected::spinStep;
    for (int frame = 2; frame < frames; ++frame) {
        DrawFrame();
    }
    EXPECT_EQ(spinAngle, static_cast<float>(expected::spinTurn) - step);
    DrawFrame();
    EXPECT_EQ(spinAngle, 0.0f) << "a whole turn is never drawn";
    DrawFrame();
    EXPECT_EQ(spinAngle, step);
}

std::array<int, 4> Viewport() {
    std::array<int, 4> viewport;
    glGetIntegerv(GL_VIEWPORT, viewport.data());
    return viewport;
}

TEST(Projection, FitsViewportAndPerspectiveToTheWindow) {
    using namespace expected;
    struct Case {
        int height, width;
        std::array<int, 4> viewport;
        double aspect;
    };
    const Case cases[] = {
        // The first projections, windowed and fullscreen.
        {windowedHeight,
         windowedWidth,
         {0, 0, windowedWidth, windowedHeight},
         double(windowedWidth) / windowedHeight},
        {fullscreenHeight,
         fullscreenWidth,
         {0, 0, fullscreenWidth, fullscreenHeight},
         double(fullscreenWidth) / fullscreenHeight},
        {300, 200, {0, 0, 200, 300}, 200.0 / 300.0}, // a floating-point quotient, not 0
        {0, 640, {0, 0, 640, 1}, 640.0},             // height 0 counts as 1
    };
    const double f = 1.0 / std::tan(22.5 * M_PI / 180.0);
    for (const Case &c : cases) {
        glMatrixMode(GL_PROJECTION); // SetProjection must switch back to the modelview itself
        SetProjection(c.height, c.width);
        EXPECT_EQ(Viewport(), c.viewport);
        GLint mode = 0;
        glGetIntegerv(GL_MATRIX_MODE, &mode);
        EXPECT_EQ(mode, GL_MODELVIEW);

        GLdouble m[16];
        glGetDoublev(GL_MODELVIEW_MATRIX, m);
        for (int i = 0; i < 16; ++i) {
            EXPECT_EQ(m[i], i % 5 == 0 ? 1.0 : 0.0) << "modelview is the identity";
        }
        glGetDoublev(GL_PROJECTION_MATRIX, m);
        const double want[16] = {
            f / c.aspect, 0, 0, 0, 0, f, 0, 0, 0, 0, -1001.0 / 999.0, -1, 0, 0, -2000.0 / 999.0, 0};
        for (int i = 0; i < 16; ++i) {
            EXPECT_NEAR(m[i], want[i], 1e-5 * std::max(1.0, std::fabs(want[i])))
                << c.width << "x" << c.height << " element " << i;
        }
    }
}

TEST(Projection, MinimisedWindowGetsAZeroByOneViewport) {
    while (glGetError() != GL_NO_ERROR) {
    }
    SetProjection(0, 0);
    EXPECT_EQ(Viewport(), (std::array<int, 4>{0, 0, 0, 1}));
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
    SetProjection(viewSize, viewSize);
}

// Where a point of the figure's frame lands on the first frame, from the camera constants: eye at
// (0, 0, 35) looking at (0, 0, -100), figure 30 units down the z axis, turned by 1 degree.
void ProjectFirstFrame(double x, double y, double z, int &px, int &py) {
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluPerspective(45.0, 1.0, 1.0, 1000.0);
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();
    gluLookAt(0, 0, 35, 0, 0, -100, 0, 1, 0);
    glTranslated(0, 0, -30);
    glRotated(1, 0, 1, 0);
    GLdouble model[16], projection[16];
    GLint viewport[4] = {0, 0, viewSize, viewSize};
    glGetDoublev(GL_MODELVIEW_MATRIX, model);
    glGetDoublev(GL_PROJECTION_MATRIX, projection);
    glPopMatrix();
    GLdouble wx, wy, wz;
    gluProject(x, y, z, model, projection, viewport, &wx, &wy, &wz);
    px = static_cast<int>(std::lround(wx));
    py = static_cast<int>(std::lround(wy));
}

// A point of a limb's front face, in the figure's frame after the limb's swing.
void SwingPoint(double y, double z, double angle, double &sy, double &sz) {
    const double radians = angle * M_PI / 180.0;
    sy = y * std::cos(radians) - z * std::sin(radians) - 0.5;
    sz = y * std::sin(radians) + z * std::cos(radians);
}

TEST(Frame, FirstFrameShowsTheFigureInItsColours) {
    ResetAnimation();
    SetProjection(viewSize, viewSize);
    DrawFrame();

    struct Probe {
        const char *part;
        double x, y, z;
        std::array<int, 3> colour;
    };
    double armY, armZ, legY, legZ;
    SwingPoint(-2, -0.5, 1, armY, armZ);
    SwingPoint(-7.5, -0.5, 1, legY, legZ);
    const Probe probes[] = {
        {"torso", 0, -2.5, 0, {0, 0, 255}},
        {"head", 0, 1, 0, {255, 255, 255}},
        {"arm A", 2, armY, armZ, {255, 0, 0}},
        {"leg A", -1, legY, legZ, {255, 255, 0}},
        {"far left of the figure", -12, 0, 0, {0, 0, 0}},
        {"above the head", 0, 6, 0, {0, 0, 0}},
    };
    for (const Probe &probe : probes) {
        int px, py;
        ProjectFirstFrame(probe.x, probe.y, probe.z, px, py);
        EXPECT_EQ(ReadPixel(px, py), probe.colour) << probe.part << " at " << px << "," << py;
    }
    EXPECT_EQ(ReadPixel(2, 2), (std::array<int, 3>{0, 0, 0}));
    EXPECT_EQ(ReadPixel(viewSize - 3, viewSize - 3), (std::array<int, 3>{0, 0, 0}));
}

TEST(Frame, EyeFollowsTheViewState) {
    ResetAnimation();
    SetProjection(viewSize, viewSize);
    eyeX = 2.0f;
    eyeY = -1.0f;
    zoom = 10.0f;
    DrawFrame();
    GLdouble m[16];
    glGetDoublev(GL_MODELVIEW_MATRIX, m);
    glPushMatrix();
    glLoadIdentity();
    gluLookAt(2, -1, 40, 0, 0, -100, 0, 1, 0);
    glTranslated(0, 0, -30);
    glRotated(1, 0, 1, 0);
    GLdouble want[16];
    glGetDoublev(GL_MODELVIEW_MATRIX, want);
    glPopMatrix();
    for (int i = 0; i < 16; ++i) {
        EXPECT_NEAR(m[i], want[i], 1e-5) << "element " << i;
    }
    GLboolean depthTest = GL_FALSE;
    glGetBooleanv(GL_DEPTH_TEST, &depthTest);
    EXPECT_TRUE(depthTest);
    ResetAnimation();
}

} // namespace

int main(int argc, char **argv) {
    testing::InitGoogleTest(&argc, argv);
    OpenTestContext(viewSize, viewSize);
    const int result = RUN_ALL_TESTS();
    CloseTestContext();
    return result;
}
