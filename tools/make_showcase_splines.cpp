// Writes the example demo's spline files: camera flights, the paths of particle trails and
// lightning, the shapes of particle chains and the moves of pictures and models.
//
// A spline file holds only key values; the player spreads the keys evenly over the duration the
// script gives. So every spline here is written for one duration, noted beside it, which must
// match the section that plays it (examples/showcase/*.tvl).
//
// Usage: make_showcase_splines OUTPUT_DIR
#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "tool_help.h"

namespace {

constexpr double PI = 3.14159265358979323846;
using Key = std::vector<double>;
using Vec = std::array<double, 3>;

std::string out_dir;
int failures = 0;

void write(const std::string& name, const std::string& comment, const std::vector<Key>& keys) {
    std::string path = out_dir + "/" + name;
    FILE* f = std::fopen(path.c_str(), "w");
    if (f == nullptr) {
        std::perror(path.c_str());
        ++failures;
        return;
    }
    std::fprintf(f, "; %s\n", comment.c_str());
    for (const Key& k : keys) {
        for (size_t i = 0; i < k.size(); ++i) std::fprintf(f, i == 0 ? "%.4f" : " %.4f", k[i]);
        std::fprintf(f, "\n");
    }
    if (std::fclose(f) != 0) {
        std::perror(path.c_str());
        ++failures;
    }
}

// `count` keys of f sampled evenly from 0 to `duration` seconds, the times the player gives them.
void sample_keys(const std::string& name, const std::string& comment, double duration, int count,
                 const std::function<Key(double)>& f) {
    std::vector<Key> keys;
    for (int j = 0; j < count; ++j) keys.push_back(f(duration * j / (count - 1)));
    write(name, comment, keys);
}

double smooth(double x) {
    x = std::clamp(x, 0.0, 1.0);
    return x * x * (3 - 2 * x);
}
double lerp(double a, double b, double t) {
    return a + (b - a) * t;
}

// Camera keys: eye, roll about the view axis, target, field of view, near and far planes.
Key camera(Vec eye, Vec target, double fov = 60, double roll = 0) {
    return {eye[0], eye[1], eye[2], 0, 0, roll, target[0], target[1], target[2], fov, 0.3, 300};
}

// Transform keys: scale, rotation in degrees about x, y and z, translation.
Key transform(double s, Vec rotation, Vec translation) {
    return {s, s, s, rotation[0], rotation[1], rotation[2], translation[0], translation[1], translation[2]};
}

// Catmull-Rom through evenly timed waypoints, to sample a hand-placed flight at more keys.
Vec through(const std::vector<Vec>& points, double u) {
    double x = std::clamp(u, 0.0, 1.0) * static_cast<double>(points.size() - 1);
    size_t k = std::min(static_cast<size_t>(x), points.size() - 2);
    double t = x - static_cast<double>(k);
    const Vec& p1 = points[k];
    const Vec& p2 = points[k + 1];
    const Vec& p0 = k == 0 ? p1 : points[k - 1];
    const Vec& p3 = k + 2 < points.size() ? points[k + 2] : p2;
    Vec r{};
    for (int i = 0; i < 3; ++i) {
        double m1 = (p2[i] - p0[i]) * 0.5, m2 = (p3[i] - p1[i]) * 0.5;
        double t2 = t * t, t3 = t2 * t;
        r[i] = (2 * t3 - 3 * t2 + 1) * p1[i] + (t3 - 2 * t2 + t) * m1 + (-2 * t3 + 3 * t2) * p2[i] +
               (t3 - t2) * m2;
    }
    return r;
}

// The chain a particle matrix lays out for one key of its shape spline (step, turn, climb), with
// the first particle at the origin; used to centre the chain on the scene.
Vec chain_centre(int count, double step, double turn, double climb) {
    Vec q{0, 0, 0}, sum{0, 0, 0};
    double yaw = turn * PI / 180, pitch = climb * PI / 180;
    for (int i = 0; i < count; ++i) {
        if (i > 0) {
            double u = i * pitch, v = i * yaw;
            q = {q[0] + std::cos(u) * std::sin(v) * step, q[1] + std::sin(u) * step,
                 q[2] + std::cos(u) * std::cos(v) * step};
        }
        for (int c = 0; c < 3; ++c) sum[c] += q[c];
    }
    return {-sum[0] / count, -sum[1] / count, -sum[2] / count};
}

// A particle matrix's three splines: first position (centring the chain), shape and colour.
void chain(const std::string& name, int count, double duration,
           const std::function<std::array<double, 4>(double)>& shape,
           const std::function<std::array<double, 4>(double)>& colour) {
    sample_keys(name + "_shape.spl",
                "step, turn and climb per link (degrees), sprite half-size; " +
                    std::to_string(static_cast<int>(duration)) + " s",
                duration, 33, [&](double t) {
                    auto s = shape(t);
                    return Key{s[0], s[1], s[2], s[3]};
                });
    sample_keys(name + "_position.spl", "first particle, placed so the chain is centred on the origin",
                duration, 33, [&](double t) {
                    auto s = shape(t);
                    Vec c = chain_centre(count, s[0], s[1], s[2]);
                    return Key{c[0], c[1], c[2]};
                });
    sample_keys(name + "_colour.spl", "red, green, blue, alpha", duration, 9, [&](double t) {
        auto c = colour(t);
        return Key{c[0], c[1], c[2], c[3]};
    });
}

// Positions of objectMatrix copies: copy k is drawn under base x step^k, where the step turns by
// `turn` degrees about y and then moves `advance` along x. The copies lie on a regular polygon;
// this returns its centre in the frame of copy 0.
Vec turtle_ring_centre(int count, double advance, double turn) {
    Vec p{0, 0, 0}, sum{0, 0, 0};
    double heading = 0;
    for (int k = 0; k < count; ++k) {
        for (int c = 0; c < 3; ++c) sum[c] += p[c];
        // glRotatef about y: x' = x cos + z sin, z' = -x sin + z cos, applied to (advance, 0, 0).
        p = {p[0] + advance * std::cos(heading), p[1], p[2] - advance * std::sin(heading)};
        heading += turn * PI / 180;
    }
    return {sum[0] / count, sum[1] / count, sum[2] / count};
}

// Paths of the particle trails in the swarm: three loops around the origin.
Vec swarm_path(int k, double t) {
    double phase = k * 2.1;
    return {7 * std::sin(0.5 * t + phase), 3 * std::sin(0.8 * t + 2 * phase) + 0.5,
            7 * std::cos(0.45 * t + phase)};
}

// Finale: the camera's distance along the corridor of knots.
double finale_depth(double t) {
    return lerp(14, -34, smooth(t / 7.0));
}

}  // namespace

int main(int argc, char** argv) {
    if (tool_help(argc, argv, "make_showcase_splines OUTPUT_DIR")) return 0;
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT_DIR\n", argv[0]);
        return 2;
    }
    out_dir = argv[1];
    mkdir(out_dir.c_str(), 0755);

    // ---- Dawn, 0 to 8 s: a tunnel of rings, the logo turning in.
    sample_keys("dawn_camera.spl", "camera, 8 s", 8, 17, [](double t) {
        return camera({0.8 * std::sin(t * PI / 8), 0.3, 10 - 0.6 * t / 8}, {0, 0, 0}, 60,
                      8 * std::sin(t * PI / 8));
    });
    sample_keys("tunnel_base.spl", "nearest ring, 8.5 s: rings of 12.8 units streaming past the camera", 8.5,
                18, [](double t) {
                    return transform(0.1, {0, 0, 10 * t}, {0, 0, 6 + 4 * t});
                });
    // Each ring is turned a little about x and y, so the tunnel bends away out of sight.
    write("tunnel_step.spl", "from one ring to the next (in the ring's own units)",
          {transform(1, {0.5, 0.8, 0}, {0, 0, -40}), transform(1, {0.5, 0.8, 0}, {0, 0, -40})});
    write("tunnel_colour.spl", "ring colours, near to far",
          {{0.35, 0.6, 1, 0.5}, {0.6, 0.4, 1, 0.3}, {1, 0.45, 0.6, 0.15}, {1, 0.6, 0.3, 0.1}});
    sample_keys("logo_arrive.spl", "logo, 6 s: turns in edge-on, then floats", 6, 25, [](double t) {
        double e = smooth(t / 2);
        return transform(0.015 * (0.6 + 0.4 * e),
                         {6 * std::sin(t * 1.3) * e, -80 * (1 - e) + 8 * std::sin(t * 0.9) * e, 0},
                         {0, 0, 0});
    });

    // ---- Forge, 8 to 24 s: a flight past models in a sky box.
    const std::vector<Vec> forge_eye = {{0, 4, 18}, {3, 3, 13}, {5, 2, 9},  {9, 2, 5}, {12, 1.5, 2},
                                        {2, 5, 9},  {-6, 2, 3}, {-9, 4, 8}, {0, 9, 20}};
    const std::vector<Vec> forge_target = {{0, 0, 0},   {0, 0, 0},    {0, 0, 0},   {7, 0, -4}, {10, 0, -6},
                                           {-2, 0, -4}, {-10, 0, -6}, {-3, 0, -4}, {0, 0, -4}};
    sample_keys("forge_camera.spl", "camera, 16 s", 16, 33, [&](double t) {
        return camera(through(forge_eye, t / 16), through(forge_target, t / 16), 60, 6 * std::sin(t * 0.5));
    });
    write("floor.spl", "the floor, 3.5 units down",
          {transform(1, {0, 0, 0}, {0, -3.5, 0}), transform(1, {0, 0, 0}, {0, -3.5, 0})});
    sample_keys("knot_spin_wire.spl", "knot, 4 s", 4, 9, [](double t) {
        return transform(1, {20, 30 * t, 0}, {0, 0, 0});
    });
    sample_keys("knot_spin_chrome.spl", "knot, 12 s, carrying on from the wire knot", 12, 25, [](double t) {
        return transform(1, {20, 30 * (t + 4), 0}, {0, 0, 0});
    });
    write("place_torus.spl", "torus station",
          {transform(1, {0, 0, 0}, {10, 0, -6}), transform(1, {0, 0, 0}, {10, 0, -6})});
    write("place_toon.spl", "toon knot station",
          {transform(1, {0, 0, 0}, {-10, 0, -6}), transform(1, {0, 0, 0}, {-10, 0, -6})});
    write("place_ball.spl", "faceted ball station",
          {transform(1, {0, 0, 0}, {0, 0.5, -13}), transform(1, {0, 0, 0}, {0, 0.5, -13})});
    write("place_spire.spl", "glowing crystal over the ball",
          {transform(1, {0, 0, 0}, {0, 4.6, -13}), transform(1, {0, 0, 0}, {0, 4.6, -13})});
    sample_keys("spin_spire.spl", "glowing crystal, 12 s", 12, 13, [](double t) {
        return transform(1.6, {0, -45 * t, 0}, {0, 0, 0});
    });
    sample_keys("spin_torus.spl", "torus, 10 s", 10, 21, [](double t) {
        return transform(1, {70 + 25 * t, 35 * t, 0}, {0, 0, 0});
    });
    sample_keys("spin_toon.spl", "toon knot, 8 s", 8, 17, [](double t) {
        return transform(0.8, {-30 + 10 * t, -40 * t, 0}, {0, 0, 0});
    });
    sample_keys("spin_ball.spl", "faceted ball, 12 s", 12, 25, [](double t) {
        return transform(1.3, {10 * t, 25 * t, 0}, {0, 0, 0});
    });
    {
        const int crystals = 12;
        const double advance = 2.9, turn = 360.0 / crystals;
        Vec c = turtle_ring_centre(crystals, advance, turn);
        sample_keys("crystal_ring_base.spl", "ring of crystals around the knot, 10 s", 10, 41, [c](double t) {
            double a = 20 * t * PI / 180;
            // Turn the ring about its own centre: base = T(-R c + lift) R.
            Vec rc{c[0] * std::cos(a) + c[2] * std::sin(a), c[1], -c[0] * std::sin(a) + c[2] * std::cos(a)};
            return transform(1, {0, 20 * t, 0}, {-rc[0], -rc[1] + 0.4 * std::sin(t * 2), -rc[2]});
        });
        write("crystal_ring_step.spl", "from one crystal to the next",
              {transform(1, {0, turn, 0}, {advance, 0, 0}), transform(1, {0, turn, 0}, {advance, 0, 0})});
    }
    sample_keys("ghost_base.spl", "spiral of ghost cubes behind the ball, 16 s", 16, 17, [](double t) {
        return transform(1.4, {0, 15 * t, 0}, {0, -3.5, -20});
    });
    write("ghost_step.spl", "one cube to the next: up, turn, shrink",
          {transform(0.96, {0, 17, 4}, {0.9, 0.35, 0}), transform(0.96, {0, 17, 4}, {0.9, 0.35, 0})});

    // ---- Swarm, 24 to 40 s: chains of light, trails and lightning.
    sample_keys("swarm_camera.spl", "camera, 16 s", 16, 33, [](double t) {
        double a = 0.33 * t + 0.4, r = 15 - 3 * std::sin(t * 0.3);
        return camera({r * std::sin(a), 3 + 2.5 * std::sin(0.4 * t), r * std::cos(a)}, {0, 0.5, 0}, 60,
                      5 * std::sin(t * 0.7));
    });
    // The heading turns by the second value per link and the elevation by the third, so the
    // chain winds in small loops while it climbs, tips over and comes down again: a twisted vase.
    chain(
        "vase", 300, 16,
        [](double t) {
            double w = 0.5 - 0.5 * std::cos(t * 2 * PI / 16);
            return std::array<double, 4>{0.3, 18 + 6 * w, 2.6 + 0.9 * w, 0.3};
        },
        [](double t) {
            double w = 0.5 + 0.5 * std::sin(t * 0.8);
            return std::array<double, 4>{1.0, 0.45 + 0.35 * w, 0.15 + 0.2 * w, 0.85};
        });
    // Tighter loops and a faster climb: a lattice tower inside the vase.
    chain(
        "tower", 220, 16,
        [](double t) {
            double w = 0.5 - 0.5 * std::cos(t * 2 * PI / 8);
            return std::array<double, 4>{0.45, 45, 8 + 4 * w, 0.35};
        },
        [](double t) {
            double w = 0.5 + 0.5 * std::sin(t * 0.6 + 1);
            return std::array<double, 4>{0.25 + 0.3 * w, 0.5, 1.0, 0.8};
        });
    for (int k = 0; k < 3; ++k) {
        sample_keys("trail" + std::to_string(k) + ".spl", "trail path, 12 s", 12, 49, [k](double t) {
            Vec p = swarm_path(k, t);
            return Key{p[0], p[1], p[2]};
        });
    }
    for (int k = 0; k < 2; ++k) {
        // The bolts start 4 s after the trails and join the heads of trails k and k + 1.
        sample_keys("bolt" + std::to_string(k) + ".spl", "bolt from trail head to trail head, 8 s", 8, 33,
                    [k](double t) {
                        Vec a = swarm_path(k, t + 4), b = swarm_path(k + 1, t + 4);
                        double bolts = t < 0.5 ? 0 : 2;
                        return Key{a[0], a[1], a[2], b[0], b[1], b[2], 0.55, 3, 0.3, bolts};
                    });
    }
    write("bolt_colour.spl", "bolt colour", {{0.55, 0.7, 1}, {0.8, 0.6, 1}, {0.55, 0.7, 1}});

    // ---- Liquid, 40 to 56 s: pictures bent, tinted, inverted on the bars.
    sample_keys("liquid_camera.spl", "camera, 16 s", 16, 17, [](double t) {
        return camera({0.8 * std::sin(t * 0.4), 0.5 * std::sin(t * 0.3), 10}, {0, 0, 0}, 60,
                      4 * std::sin(t * 0.25));
    });
    sample_keys("petals_base.spl", "petal spiral, 16 s", 16, 33, [](double t) {
        return transform(0.03, {0, 0, 25 * t}, {0, 0, 0});
    });
    // The petal picture points up; each copy is moved along its own length and turned, so the
    // petals wind outwards from the centre, each a little smaller.
    write("petals_step.spl", "petal to petal: along, turn, shrink",
          {transform(0.95, {0, 0, 27}, {0, 60, -1}), transform(0.95, {0, 0, 27}, {0, 60, -1})});
    write("petals_colour.spl", "petal colours, inner to outer",
          {{1, 0.8, 0.4, 0.9}, {1, 0.45, 0.6, 0.85}, {0.6, 0.4, 1, 0.8}, {0.3, 0.8, 1, 0.75}});
    sample_keys("halo_pulse.spl", "halo, 16 s: swells on every beat", 16, 65, [](double t) {
        double beat = std::fmod(t, 0.5) < 0.25 ? 1 : 0;
        return transform(0.05 * (1 + 0.12 * beat), {0, 0, -12 * t}, {0, 0, 0});
    });
    // Control points of a 5 x 5 sheet, moved in circles (offsets in window pixels).
    const int deform_points[3][2] = {{1, 2}, {3, 2}, {2, 1}};
    for (int k = 0; k < 3; ++k) {
        int i = deform_points[k][0], j = deform_points[k][1];
        sample_keys("wobble" + std::to_string(k) + ".spl", "sheet control point and its offset, 10 s", 10, 41,
                    [i, j, k](double t) {
                        double a = t * 2.2 + k * 2.0, r = 70 * smooth(t / 2);
                        return Key{static_cast<double>(i), static_cast<double>(j), r * std::cos(a),
                                   r * std::sin(a), 0};
                    });
    }

    // ---- Bloom, 56 to 64 s: a picture gathers from its particles.
    sample_keys("bloom_camera.spl", "camera, 8 s", 8, 17, [](double t) {
        return camera({1.5 * std::sin(t * 0.4), 0.8 * std::sin(t * 0.3), 11 - 2.5 * smooth(t / 8)}, {0, 0, 0},
                      60, 6 * std::sin(t * 0.35));
    });

    // ---- Finale, 64 to 76 s: down a corridor of knots to the logo.
    sample_keys("finale_camera.spl", "camera, 12 s", 12, 49, [](double t) {
        double z = finale_depth(t);
        double swing = 1 - smooth((t - 6) / 2);
        return camera({0.3 * std::sin(t * 1.3) * swing, 0.3 * std::cos(t * 1.1) * swing, z}, {0, 0, z - 10},
                      60, 40 * std::sin(t * 0.6) * swing);
    });
    sample_keys("corridor_base.spl", "first knot of the corridor, 12 s", 12, 25, [](double t) {
        return transform(1.0, {90, 20 * t, 0}, {0, 0, 4});
    });
    write("corridor_step.spl", "knot to knot: 9 units deeper, turned",
          {transform(1, {0, 32, 0}, {0, -9, 0}), transform(1, {0, 32, 0}, {0, -9, 0})});
    sample_keys("comet.spl", "comet ahead of the camera, 12 s", 12, 49, [](double t) {
        double z = finale_depth(t) - 9;
        return Key{3.2 * std::cos(t * 2.4), 3.2 * std::sin(t * 2.4), z};
    });
    sample_keys("finale_bolt.spl", "bolts across the corridor ahead, 8 s", 8, 33, [](double t) {
        double z = finale_depth(t + 2) - 7;
        double a = t * 1.7;
        return Key{
            -4 * std::cos(a), -4 * std::sin(a), z, 4 * std::cos(a), 4 * std::sin(a), z, 0.9, 4, 0.4, 1};
    });
    sample_keys("logo_final.spl", "logo at the end of the corridor, 6 s", 6, 25, [](double t) {
        double e = smooth(t / 2.5);
        double s = 0.06 * (0.3 + 0.7 * e);
        return transform(s, {0, 0, 0}, {0, 0, -60 / s});
    });

    return failures == 0 ? 0 : 1;
}
