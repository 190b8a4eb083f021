// Draws the example demo's pictures: procedural textures, gradients, a sky box, sprites and a
// logo made of shapes. Every pixel comes from the formulas below.
// Usage: make_images OUTPUT_DIR
#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "tool_help.h"

namespace {

constexpr double PI = 3.14159265358979323846;

struct Rgba {
    double r = 0, g = 0, b = 0, a = 1;
};

struct Image {
    int width, height;
    bool alpha;
    std::vector<Rgba> pixels;  // top row first
    Image(int w, int h, bool a) : width(w), height(h), alpha(a), pixels(static_cast<size_t>(w) * h) {}
    Rgba& at(int x, int y) { return pixels[static_cast<size_t>(y) * width + x]; }
    void fill(const std::function<Rgba(double u, double v)>& f) {
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) at(x, y) = f((x + 0.5) / width, (y + 0.5) / height);
    }
};

uint8_t byte(double v) {
    return static_cast<uint8_t>(std::clamp(v, 0.0, 1.0) * 255.0 + 0.5);
}

// Uncompressed true-colour TGA, top-left origin.
bool write_tga(const std::string& path, const Image& img) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) return false;
    uint8_t header[18] = {};
    header[2] = 2;
    header[12] = static_cast<uint8_t>(img.width & 0xFF);
    header[13] = static_cast<uint8_t>(img.width >> 8);
    header[14] = static_cast<uint8_t>(img.height & 0xFF);
    header[15] = static_cast<uint8_t>(img.height >> 8);
    header[16] = img.alpha ? 32 : 24;
    header[17] = static_cast<uint8_t>(0x20 | (img.alpha ? 8 : 0));
    std::fwrite(header, 1, sizeof header, f);
    std::vector<uint8_t> row;
    for (int y = 0; y < img.height; ++y) {
        row.clear();
        for (int x = 0; x < img.width; ++x) {
            Rgba p = img.pixels[static_cast<size_t>(y) * img.width + x];
            row.push_back(byte(p.b));
            row.push_back(byte(p.g));
            row.push_back(byte(p.r));
            if (img.alpha) row.push_back(byte(p.a));
        }
        std::fwrite(row.data(), 1, row.size(), f);
    }
    return std::fclose(f) == 0;
}

double hash(int x, int y, int seed) {
    uint32_t h = static_cast<uint32_t>(x) * 374761393u + static_cast<uint32_t>(y) * 668265263u +
                 static_cast<uint32_t>(seed) * 2246822519u;
    h = (h ^ (h >> 13)) * 1274126177u;
    return static_cast<double>((h ^ (h >> 16)) & 0xFFFFFF) / 16777215.0;
}

// Smooth value noise, tiling with the given period.
double noise(double x, double y, int period, int seed) {
    int x0 = static_cast<int>(std::floor(x)), y0 = static_cast<int>(std::floor(y));
    double fx = x - x0, fy = y - y0;
    auto w = [](double t) { return t * t * (3 - 2 * t); };
    auto h = [&](int i, int j) {
        return hash(((i % period) + period) % period, ((j % period) + period) % period, seed);
    };
    double a = h(x0, y0), b = h(x0 + 1, y0), c = h(x0, y0 + 1), d = h(x0 + 1, y0 + 1);
    return a + (b - a) * w(fx) + (c - a) * w(fy) + (a - b - c + d) * w(fx) * w(fy);
}

double fbm(double u, double v, int octaves, int seed) {
    double sum = 0, amp = 0.5;
    int period = 4;
    for (int o = 0; o < octaves; ++o) {
        sum += amp * noise(u * period, v * period, period, seed + o);
        amp *= 0.5;
        period *= 2;
    }
    return sum;
}

Rgba mix(const Rgba& a, const Rgba& b, double t) {
    return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t, a.a + (b.a - a.a) * t};
}

// The logo's letters as strokes on a 4 x 6 grid: each stroke is a segment (x0, y0, x1, y1).
struct Stroke {
    double x0, y0, x1, y1;
};
const std::vector<Stroke>& letter(char c) {
    static const std::vector<Stroke> T = {{0, 0, 4, 0}, {2, 0, 2, 6}};
    static const std::vector<Stroke> A = {{0, 6, 2, 0}, {2, 0, 4, 6}, {1, 3.5, 3, 3.5}};
    static const std::vector<Stroke> R = {{0, 0, 0, 6}, {0, 0, 3, 0}, {3, 0, 4, 1}, {4, 1, 4, 2},
                                          {4, 2, 3, 3}, {3, 3, 0, 3}, {2, 3, 4, 6}};
    static const std::vector<Stroke> V = {{0, 0, 2, 6}, {2, 6, 4, 0}};
    static const std::vector<Stroke> E = {{0, 0, 0, 6}, {0, 0, 4, 0}, {0, 3, 3, 3}, {0, 6, 4, 6}};
    static const std::vector<Stroke> L = {{0, 0, 0, 6}, {0, 6, 4, 6}};
    static const std::vector<Stroke> none;
    switch (c) {
        case 'T':
            return T;
        case 'A':
            return A;
        case 'R':
            return R;
        case 'V':
            return V;
        case 'E':
            return E;
        case 'L':
            return L;
        default:
            return none;
    }
}

double segment_distance(double px, double py, const Stroke& s) {
    double dx = s.x1 - s.x0, dy = s.y1 - s.y0;
    double len2 = dx * dx + dy * dy;
    double t = len2 > 0 ? std::clamp(((px - s.x0) * dx + (py - s.y0) * dy) / len2, 0.0, 1.0) : 0.0;
    double ex = s.x0 + t * dx - px, ey = s.y0 + t * dy - py;
    return std::sqrt(ex * ex + ey * ey);
}

// Distance, in letter-grid units, from a point of the word's box to the nearest stroke.
double word_distance(const std::string& word, double u, double v) {
    // The word fills u in [0.06, 0.94], v in [0.2, 0.8]; each letter is 4 wide with 1.6 spacing.
    double cell = 5.6;
    double width = cell * word.size() - 1.6;
    double gx = (u - 0.06) / 0.88 * width;
    double gy = (v - 0.2) / 0.6 * 6.0;
    double best = 1e9;
    for (size_t i = 0; i < word.size(); ++i) {
        for (const Stroke& s : letter(word[i])) {
            best = std::min(best, segment_distance(gx - cell * i, gy, s));
        }
    }
    return best;
}

std::string out_dir;
int failures = 0;

void save(const std::string& name, const Image& img) {
    if (!write_tga(out_dir + "/" + name, img)) {
        std::fprintf(stderr, "make_images: cannot write '%s/%s'\n", out_dir.c_str(), name.c_str());
        ++failures;
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (tool_help(argc, argv, "make_images OUTPUT_DIR")) return 0;
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT_DIR\n", argv[0]);
        return 2;
    }
    out_dir = argv[1];
    mkdir(out_dir.c_str(), 0755);

    // Loading screen: a dark grid, then the logo fading in over it.
    Image back(256, 256, false);
    back.fill([](double u, double v) {
        double grid = (std::fmod(u * 16, 1.0) < 0.06 || std::fmod(v * 16, 1.0) < 0.06) ? 0.15 : 0.0;
        return Rgba{0.02 + grid * 0.3, 0.03 + grid * 0.5, 0.10 + v * 0.15 + grid, 1};
    });
    save("loading_back.tga", back);
    Image front(256, 256, false);
    front.fill([](double u, double v) {
        double d = word_distance("TARVEL", u, 0.35 + (v - 0.5) * 3.0 + 0.15);
        double ink = std::clamp(1.2 - d * 2.0, 0.0, 1.0);
        Rgba bg{0.05, 0.02 + 0.1 * v, 0.2 + 0.3 * (1 - v), 1};
        return mix(bg, Rgba{1.0, 0.8, 0.3, 1}, ink);
    });
    save("loading_front.tga", front);

    // The logo with its own alpha: glowing letters on nothing.
    Image logo(512, 128, true);
    logo.fill([](double u, double v) {
        double d = word_distance("TARVEL", u, v);
        double core = std::clamp(1.3 - d * 2.5, 0.0, 1.0);
        // The glow dies out before the picture's edges, so no box shows around the word.
        double glow = std::max(0.0, std::exp(-d * 1.6) * 0.75 - 0.02);
        Rgba c = mix(Rgba{0.2, 0.5, 1.0, 1}, Rgba{1.0, 1.0, 1.0, 1}, core);
        c.a = std::clamp(core + glow, 0.0, 1.0);
        return c;
    });
    save("logo.tga", logo);

    Image plasma(256, 256, false);
    plasma.fill([](double u, double v) {
        double p = std::sin(u * 2 * PI * 2) + std::sin(v * 2 * PI * 3) + std::sin((u + v) * 2 * PI * 2) +
                   std::sin(std::sqrt((u - 0.5) * (u - 0.5) + (v - 0.5) * (v - 0.5)) * 2 * PI * 4);
        return Rgba{0.5 + 0.5 * std::sin(p * PI), 0.5 + 0.5 * std::sin(p * PI + 2.1),
                    0.5 + 0.5 * std::sin(p * PI + 4.2), 1};
    });
    save("plasma.tga", plasma);

    Image checker(128, 128, false);
    checker.fill([](double u, double v) {
        bool on = (static_cast<int>(u * 8) + static_cast<int>(v * 8)) % 2 == 0;
        return on ? Rgba{0.95, 0.9, 0.8, 1} : Rgba{0.2, 0.25, 0.4, 1};
    });
    save("checker.tga", checker);

    Image metal(128, 128, false);
    metal.fill([](double u, double v) {
        double n = fbm(u * 0.25, v * 8, 4, 7) * 0.4 + fbm(u, v, 5, 3) * 0.3;
        return Rgba{0.45 + n, 0.47 + n, 0.52 + n, 1};
    });
    save("metal.tga", metal);

    Image marble(256, 256, false);
    marble.fill([](double u, double v) {
        double n = std::sin((u * 3 + fbm(u, v, 6, 11) * 4) * PI);
        double t = 0.5 + 0.5 * n;
        return mix(Rgba{0.15, 0.05, 0.3, 1}, Rgba{0.95, 0.7, 0.9, 1}, std::pow(t, 3));
    });
    save("marble.tga", marble);

    // Particle sprite: a soft white disc on black (drawn additively).
    Image flare(64, 64, false);
    flare.fill([](double u, double v) {
        double r = std::sqrt((u - 0.5) * (u - 0.5) + (v - 0.5) * (v - 0.5)) * 2;
        double i = std::pow(std::clamp(1 - r, 0.0, 1.0), 2.2);
        return Rgba{i, i, i, 1};
    });
    save("flare.tga", flare);

    Image ring(128, 128, true);
    ring.fill([](double u, double v) {
        double r = std::sqrt((u - 0.5) * (u - 0.5) + (v - 0.5) * (v - 0.5)) * 2;
        double a = std::exp(-std::pow((r - 0.75) * 12, 2));
        return Rgba{0.6 + 0.4 * a, 0.8, 1.0, a};
    });
    save("ring.tga", ring);

    Image sunset(256, 128, false);
    sunset.fill([](double u, double v) {
        Rgba sky = mix(Rgba{0.1, 0.05, 0.3, 1}, Rgba{1.0, 0.45, 0.2, 1}, std::pow(v, 1.5));
        double sun = std::sqrt((u - 0.5) * (u - 0.5) * 4 + (v - 0.62) * (v - 0.62)) * 2.5;
        if (sun < 0.35) sky = mix(sky, Rgba{1.0, 0.9, 0.5, 1}, std::clamp((0.35 - sun) * 8, 0.0, 1.0));
        double ridge = 0.7 + 0.08 * std::sin(u * 13) + 0.05 * std::sin(u * 29 + 1) + fbm(u, 0.5, 3, 5) * 0.1;
        if (v > ridge) sky = Rgba{0.05, 0.02, 0.08, 1};
        double near = 0.85 + 0.05 * std::sin(u * 7 + 2) + fbm(u, 0.2, 3, 9) * 0.06;
        if (v > near) sky = Rgba{0.0, 0.0, 0.0, 1};
        return sky;
    });
    save("sunset.tga", sunset);

    Image stars(256, 256, false);
    stars.fill([](double u, double v) {
        int x = static_cast<int>(u * 256), y = static_cast<int>(v * 256);
        double s = hash(x, y, 42) > 0.992 ? hash(x, y, 43) : 0.0;
        double neb = fbm(u, v, 5, 17);
        return Rgba{s + neb * 0.25, s + neb * 0.1, s + neb * 0.35, 1};
    });
    save("stars.tga", stars);

    // Sky box faces: one nebula field, tinted per face so the turn is visible.
    const char* faces[6] = {"sky_front.tga", "sky_back.tga", "sky_left.tga",
                            "sky_right.tga", "sky_up.tga",   "sky_down.tga"};
    const Rgba tints[6] = {{0.5, 0.3, 1.0, 1}, {1.0, 0.4, 0.3, 1}, {0.3, 0.8, 1.0, 1},
                           {0.4, 1.0, 0.5, 1}, {0.9, 0.9, 1.0, 1}, {0.2, 0.2, 0.4, 1}};
    for (int f = 0; f < 6; ++f) {
        Image face(128, 128, false);
        Rgba tint = tints[f];
        face.fill([f, tint](double u, double v) {
            int x = static_cast<int>(u * 128), y = static_cast<int>(v * 128);
            double s = hash(x, y, 100 + f) > 0.985 ? 0.8 : 0.0;
            double n = fbm(u, v, 5, 60 + f);
            return Rgba{s + n * tint.r * 0.6, s + n * tint.g * 0.6, s + n * tint.b * 0.6, 1};
        });
        save(faces[f], face);
    }

    // The picture the particles gather into: a sunflower of rings on black.
    Image bloom(128, 128, false);
    bloom.fill([](double u, double v) {
        double dx = u - 0.5, dy = v - 0.5;
        double r = std::sqrt(dx * dx + dy * dy) * 2;
        double a = std::atan2(dy, dx);
        double petal = 0.75 + 0.2 * std::sin(a * 8);
        if (r < 0.3) return Rgba{1.0, 0.6 + 0.3 * std::sin(r * 60), 0.1, 1};
        if (r < petal) return Rgba{0.9 * (1 - r * 0.5), 0.3 + 0.4 * r, 0.8, 1};
        return Rgba{0, 0, 0, 1};
    });
    save("bloom.tga", bloom);

    // Cell-shading ramp: three bands of light.
    Image cells(16, 1, false);
    cells.fill([](double u, double) {
        double l = u < 0.4 ? 0.35 : (u < 0.8 ? 0.7 : 1.0);
        return Rgba{l, l, l, 1};
    });
    save("cells.tga", cells);

    // Cel-shading ramp in colour: a dark red rim, orange body, a pale highlight.
    Image toon(16, 1, false);
    toon.fill([](double u, double) {
        if (u < 0.3) return Rgba{0.35, 0.05, 0.1, 1};
        if (u < 0.75) return Rgba{1.0, 0.45, 0.1, 1};
        return Rgba{1.0, 0.9, 0.6, 1};
    });
    save("toon.tga", toon);

    // A model's texture map: golden tiles in dark grout, each tile shaded from its centre.
    Image tiles(128, 128, false);
    tiles.fill([](double u, double v) {
        double fu = std::fmod(u * 8, 1.0), fv = std::fmod(v * 8, 1.0);
        double edge = std::min(std::min(fu, 1 - fu), std::min(fv, 1 - fv));
        if (edge < 0.07) return Rgba{0.08, 0.05, 0.1, 1};
        double shade = 0.7 + 0.3 * (1 - std::hypot(fu - 0.35, fv - 0.35));
        double n = hash(static_cast<int>(u * 8), static_cast<int>(v * 8), 5) * 0.25;
        return Rgba{(0.95 - n) * shade, (0.65 - n * 0.5) * shade, 0.2 * shade, 1};
    });
    save("tiles.tga", tiles);

    // A calmer plasma: bands of deep blue, teal and magenta, darker between them.
    Image liquid(256, 256, false);
    liquid.fill([](double u, double v) {
        double p = std::sin(u * 2 * PI * 2 + std::sin(v * 2 * PI) * 1.5) + std::sin(v * 2 * PI * 3 + u * 4) +
                   std::sin(std::sqrt((u - 0.3) * (u - 0.3) + (v - 0.6) * (v - 0.6)) * 2 * PI * 3);
        double band = 0.5 + 0.5 * std::sin(p * PI * 0.8);
        double glow = std::pow(band, 3);
        return Rgba{0.08 + 0.45 * glow * (0.5 + 0.5 * std::sin(p * 2)), 0.05 + 0.35 * band * band,
                    0.2 + 0.55 * band, 1};
    });
    save("liquid.tga", liquid);

    // A petal: a soft white teardrop with its own alpha, to be tinted by the drawing colour.
    Image petal(64, 128, true);
    petal.fill([](double u, double v) {
        double x = (u - 0.5) * 2, y = v * 2 - 1;  // y from -1 (tip) to 1 (base)
        double width = std::sqrt(std::max(0.0, 1 - y * y)) * (0.55 + 0.45 * (y + 1) / 2);
        double edge = width > 0 ? std::abs(x) / width : 2;
        double a = std::clamp((1 - edge) * 3, 0.0, 1.0) * std::clamp((1 - std::abs(y)) * 4, 0.0, 1.0);
        double vein = 1 - 0.25 * std::exp(-x * x * 200);
        return Rgba{vein, vein, vein, a * (0.55 + 0.45 * (1 - edge))};
    });
    save("petal.tga", petal);

    return failures == 0 ? 0 : 1;
}
