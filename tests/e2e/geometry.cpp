#include "geometry.h"

#include <GL/glu.h>

#include <algorithm>
#include <cmath>
#include <sstream>

namespace {

const double degrees = M_PI / 180.0;

struct Vec {
    double x, y, z;
};

Vec Cross(const Vec &a, const Vec &b) {
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

Vec Normalised(const Vec &v) {
    const double length = std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z);
    return {v.x / length, v.y / length, v.z / length};
}

// The camera: eye (eyeX, eyeY, zoom + 30) looking at (0, 0, -100) with up (0, 1, 0), as a
// column-major modelview matrix.
void LookAt(const ViewState &view, double matrix[16]) {
    const Vec eye = {view.eyeX, view.eyeY, static_cast<double>(view.zoom + 30.0f)};
    const Vec forward = Normalised({-eye.x, -eye.y, -100.0 - eye.z});
    const Vec side = Normalised(Cross(forward, {0, 1, 0}));
    const Vec up = Cross(side, forward);
    const double rows[3][3] = {
        {side.x, side.y, side.z}, {up.x, up.y, up.z}, {-forward.x, -forward.y, -forward.z}};
    std::fill(matrix, matrix + 16, 0.0);
    for (int row = 0; row < 3; ++row) {
        for (int column = 0; column < 3; ++column) {
            matrix[column * 4 + row] = rows[row][column];
        }
        matrix[12 + row] = -(rows[row][0] * eye.x + rows[row][1] * eye.y + rows[row][2] * eye.z);
    }
    matrix[15] = 1.0;
}

// 45 degrees vertical field of view, near 1, far 1000, for the size the projection was fitted to.
void Perspective(const Scene &scene, double matrix[16]) {
    const int height = scene.projectionHeight == 0 ? 1 : scene.projectionHeight;
    const double aspect = static_cast<double>(scene.projectionWidth) / height;
    const double f = 1.0 / std::tan(22.5 * degrees);
    const double nearPlane = 1.0, farPlane = 1000.0;
    std::fill(matrix, matrix + 16, 0.0);
    matrix[0] = f / aspect;
    matrix[5] = f;
    matrix[10] = (farPlane + nearPlane) / (nearPlane - farPlane);
    matrix[11] = -1.0;
    matrix[14] = 2.0 * farPlane * nearPlane / (nearPlane - farPlane);
}

struct Camera {
    double model[16], projection[16];
    GLint viewport[4];
};

Camera MakeCamera(const Scene &scene) {
    Camera camera{};
    LookAt(scene.view, camera.model);
    Perspective(scene, camera.projection);
    camera.viewport[0] = 0;
    camera.viewport[1] = 0;
    camera.viewport[2] = scene.projectionWidth;
    camera.viewport[3] = scene.projectionHeight == 0 ? 1 : scene.projectionHeight;
    return camera;
}

// One body part: the unit box (-1..0 on each axis) scaled, placed, and for a limb turned about
// the line parallel to x through (0, -0.5, 0).
struct Part {
    Colour colour;
    Vec position, scale;
    int swingSign; // 0: does not swing; +1 or -1: turns by that multiple of the swing angle
};

const Part parts[] = {
    {White, {1, 2, 0}, {2, 2, 2}, 0},         {Blue, {1.5, 0, 0}, {3, 5, 2}, 0},
    {Red, {2.5, 0, -0.5}, {1, 4, 1}, 1},      {Red, {-1.5, 0, -0.5}, {1, 4, 1}, -1},
    {Yellow, {-0.5, -5, -0.5}, {1, 5, 1}, 1}, {Yellow, {1.5, -5, -0.5}, {1, 5, 1}, -1},
};

void Include(Box2 &box, double x, double y) {
    if (box.empty) {
        box = {x, y, x, y, false};
        return;
    }
    box.left = std::min(box.left, x);
    box.right = std::max(box.right, x);
    box.top = std::min(box.top, y);
    box.bottom = std::max(box.bottom, y);
}

Box2 Clip(Box2 box, const Scene &scene) {
    if (box.empty) {
        return box;
    }
    box.left = std::max(box.left, 0.0);
    box.top = std::max(box.top, 0.0);
    box.right = std::min(box.right, static_cast<double>(scene.width));
    box.bottom = std::min(box.bottom, static_cast<double>(scene.height));
    box.empty = box.left >= box.right || box.top >= box.bottom;
    return box;
}

std::array<Box2, ColourCount> Boxes(const Scene &scene, const Camera &camera, double spin,
                                    double swing) {
    std::array<Box2, ColourCount> boxes{};
    const double cs = std::cos(spin * degrees), ss = std::sin(spin * degrees);
    for (const Part &part : parts) {
        const double angle = part.swingSign * swing * degrees;
        const double ca = std::cos(angle), sa = std::sin(angle);
        for (int corner = 0; corner < 8; ++corner) {
            // Corner of the unit box, scaled and placed in the part's frame.
            Vec p = {part.position.x - (corner & 1) * part.scale.x,
                     part.position.y - ((corner >> 1) & 1) * part.scale.y,
                     part.position.z - ((corner >> 2) & 1) * part.scale.z};
            if (part.swingSign != 0) {
                p = {p.x, p.y * ca - p.z * sa, p.y * sa + p.z * ca};
                p.y -= 0.5;
            }
            // The figure's turn about y, then its place 30 units into the scene.
            const Vec world = {p.x * cs + p.z * ss, p.y, -p.x * ss + p.z * cs - 30.0};
            double wx = 0, wy = 0, wz = 0;
            gluProject(world.x, world.y, world.z, camera.model, camera.projection, camera.viewport,
                       &wx, &wy, &wz);
            // The viewport starts at the drawable's lower-left corner; screenshots count from the
            // top.
            Include(boxes[part.colour], wx, scene.height - wy);
        }
    }
    for (Box2 &box : boxes) {
        box = Clip(box, scene);
    }
    return boxes;
}

bool Near(int value, int target) {
    return target ? value > 200 : value < 56;
}

int Classify(const unsigned char *pixel) {
    const int r = pixel[0], g = pixel[1], b = pixel[2];
    if (Near(r, 0) && Near(g, 0) && Near(b, 0)) {
        return -1; // background
    }
    const int colours[ColourCount][3] = {{1, 1, 1}, {0, 0, 1}, {1, 0, 0}, {1, 1, 0}};
    for (int colour = 0; colour < ColourCount; ++colour) {
        if (Near(r, colours[colour][0]) && Near(g, colours[colour][1]) &&
            Near(b, colours[colour][2])) {
            return colour;
        }
    }
    return ColourCount;
}

std::string BoxText(const Box2 &box) {
    if (box.empty) {
        return "none";
    }
    std::ostringstream text;
    text.precision(1);
    text << std::fixed << "x " << box.left << ".." << box.right << ", y " << box.top << ".."
         << box.bottom;
    return text.str();
}

} // namespace

const char *ColourName(int colour) {
    static const char *names[] = {"white head", "blue torso", "red arms", "yellow legs"};
    return names[colour];
}

double OutwardAllowance() {
    return 2.0;
}

double InwardAllowance(int colour) {
    // Over all frames an arm swung back behind the turned torso loses at most its lowest corner
    // (about half a unit); the torso's and legs' edges lose at most slivers to the limbs in front.
    static const double allowance[ColourCount] = {2.0, 3.0, 5.0, 3.0};
    return allowance[colour];
}

std::array<Box2, ColourCount> FigureBoxes(const Scene &scene, double spin, double swing) {
    return Boxes(scene, MakeCamera(scene), spin, swing);
}

TextAnchor HelpLineAnchor(const Scene &scene) {
    const Camera camera = MakeCamera(scene);
    const double identity[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    double wx = 0, wy = 0, wz = 0;
    gluProject(-0.35, -0.2, -1.0, identity, camera.projection, camera.viewport, &wx, &wy, &wz);
    TextAnchor anchor;
    anchor.x = wx;
    anchor.y = scene.height - wy;
    anchor.inside = wx >= 0 && wx <= camera.viewport[2];
    return anchor;
}

Observed Observe(const Image &image, const Scene &scene) {
    // Glyphs of the 48-pixel font reach at most a cell height above the raster position.
    const double textTop = HelpLineAnchor(scene).y - 52.0;
    Observed observed;
    for (int y = 0; y < image.height; ++y) {
        for (int x = 0; x < image.width; ++x) {
            const int colour = Classify(image.At(x, y));
            if (colour < 0) {
                continue;
            }
            if (colour == ColourCount) {
                ++observed.otherPixels;
                continue;
            }
            Box2 &box = colour == White && y >= textTop ? observed.text : observed.figure[colour];
            Include(box, x, y);
            Include(box, x + 1, y + 1);
        }
    }
    return observed;
}

std::string Describe(const Observed &observed) {
    std::ostringstream text;
    for (int colour = 0; colour < ColourCount; ++colour) {
        text << "  " << ColourName(colour) << ": " << BoxText(observed.figure[colour]) << "\n";
    }
    text << "  help line: " << BoxText(observed.text) << "\n";
    text << "  pixels of other colours: " << observed.otherPixels << "\n";
    return text.str();
}

namespace {

// Outward distance of each observed edge from the predicted one, in units of its allowance.
double Score(const Observed &observed, const std::array<Box2, ColourCount> &predicted,
             std::string *worst) {
    double score = 0;
    for (int colour = 0; colour < ColourCount; ++colour) {
        const Box2 &seen = observed.figure[colour];
        const Box2 &expected = predicted[colour];
        if (seen.empty != expected.empty) {
            if (worst) {
                *worst =
                    std::string(ColourName(colour)) + (seen.empty ? " missing" : " unexpected");
            }
            return 1e6;
        }
        if (seen.empty) {
            continue;
        }
        const double outward[4] = {expected.left - seen.left, expected.top - seen.top,
                                   seen.right - expected.right, seen.bottom - expected.bottom};
        static const char *sides[4] = {"left", "top", "right", "bottom"};
        for (int side = 0; side < 4; ++side) {
            const double d = outward[side];
            // Turned sideways, the far arm can hide behind the torso almost whole: the arms are
            // held only from outside, the other parts from both sides.
            if (d <= 0 && colour == Red) {
                continue;
            }
            const double edge = d > 0 ? d / OutwardAllowance() : -d / InwardAllowance(colour);
            if (edge > score) {
                score = edge;
                if (worst) {
                    std::ostringstream text;
                    text.precision(1);
                    text << std::fixed << ColourName(colour) << " " << sides[side] << " edge "
                         << std::fabs(d) << " px " << (d > 0 ? "outside" : "inside")
                         << " its predicted place";
                    *worst = text.str();
                }
            }
        }
    }
    return score;
}

// Every pose the figure takes: each angle of its turn, with each angle of its swing.
template <typename Visit> void ForEachPose(const Visit &visit) {
    for (int spin = 0; spin < expected::spinTurn; spin += expected::spinStep) {
        for (int swing = -expected::swingLimit; swing <= expected::swingLimit;
             swing += expected::swingStep) {
            visit(spin, swing);
        }
    }
}

} // namespace

Fit BestFit(const Observed &observed, const Scene &scene) {
    const Camera camera = MakeCamera(scene);
    Fit best;
    ForEachPose([&](int spin, int swing) {
        const double score = Score(observed, Boxes(scene, camera, spin, swing), nullptr);
        if (score < best.score) {
            best.score = score;
            best.spin = spin;
            best.swing = swing;
        }
    });
    Score(observed, Boxes(scene, camera, best.spin, best.swing), &best.worst);
    return best;
}

Reach FigureReach(const Scene &scene) {
    const Camera camera = MakeCamera(scene);
    Reach reach;
    for (Box2 &box : reach.every) {
        box = {-1e9, -1e9, 1e9, 1e9, false};
    }
    ForEachPose([&](int spin, int swing) {
        const auto boxes = Boxes(scene, camera, spin, swing);
        for (int colour = 0; colour < ColourCount; ++colour) {
            const Box2 &box = boxes[colour];
            if (box.empty) {
                continue;
            }
            Include(reach.any[colour], box.left, box.top);
            Include(reach.any[colour], box.right, box.bottom);
            Box2 &every = reach.every[colour];
            every.left = std::max(every.left, box.left);
            every.top = std::max(every.top, box.top);
            every.right = std::min(every.right, box.right);
            every.bottom = std::min(every.bottom, box.bottom);
        }
    });
    return reach;
}
