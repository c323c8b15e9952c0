// Procedural drawings of the game's images.
//
// Each picture is a shading function of the continuous pixel position (x to the
// right, y downwards, pixel centres at .5) that returns a straight-alpha colour.
// `Render` samples it on an n x n sub-pixel grid and averages the samples with
// premultiplied alpha. Pictures tinted by the game's vertex colour (cells, logo,
// ornament, sparks) are drawn in neutral greys so the tint decides their hue.
#include "imagegen.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <numbers>
#include <system_error>

namespace imagegen {

namespace {

using std::numbers::pi;

// ---------------------------------------------------------------------------
// Colour and small maths

struct Color {
    double r = 0, g = 0, b = 0, a = 0;
};

struct Vec2 {
    double x = 0, y = 0;
};

Vec2 operator-(Vec2 p, Vec2 q) { return {p.x - q.x, p.y - q.y}; }
Vec2 operator*(Vec2 p, double s) { return {p.x * s, p.y * s}; }
double Dot(Vec2 p, Vec2 q) { return p.x * q.x + p.y * q.y; }
double Length(Vec2 p) { return std::sqrt(Dot(p, p)); }

Color Rgb(double r, double g, double b, double a = 1.0) { return {r, g, b, a}; }
Color Grey(double l, double a = 1.0) { return {l, l, l, a}; }
Color WithAlpha(Color c, double a) { return {c.r, c.g, c.b, a}; }
Color operator*(Color c, double s) { return {c.r * s, c.g * s, c.b * s, c.a * s}; }
Color operator+(Color p, Color q) { return {p.r + q.r, p.g + q.g, p.b + q.b, p.a + q.a}; }

double Clamp01(double v) { return std::clamp(v, 0.0, 1.0); }
double Lerp(double a, double b, double t) { return a + (b - a) * t; }

Color Lerp(Color p, Color q, double t) {
    return {Lerp(p.r, q.r, t), Lerp(p.g, q.g, t), Lerp(p.b, q.b, t), Lerp(p.a, q.a, t)};
}

double SmoothStep(double edge0, double edge1, double v) {
    const double t = Clamp01((v - edge0) / (edge1 - edge0));
    return t * t * (3.0 - 2.0 * t);
}

// Straight-alpha "over": top drawn over bottom.
Color Over(Color top, Color bottom) {
    const double a = top.a + bottom.a * (1.0 - top.a);
    if (a <= 0.0) return {};
    const double wb = bottom.a * (1.0 - top.a);
    return {(top.r * top.a + bottom.r * wb) / a, (top.g * top.a + bottom.g * wb) / a,
            (top.b * top.a + bottom.b * wb) / a, a};
}

// ---------------------------------------------------------------------------
// Shapes as signed distances (negative inside)

double SdSegment(Vec2 p, Vec2 a, Vec2 b) {
    const Vec2 pa = p - a;
    const Vec2 ba = b - a;
    const double len2 = Dot(ba, ba);
    const double h = len2 > 0.0 ? std::clamp(Dot(pa, ba) / len2, 0.0, 1.0) : 0.0;
    return Length(pa - ba * h);
}

// Box centred on the origin with half extents (hx, hy) and rounded corners.
double SdRoundBox(Vec2 p, double hx, double hy, double radius) {
    const double qx = std::abs(p.x) - hx + radius;
    const double qy = std::abs(p.y) - hy + radius;
    const double outside = Length({std::max(qx, 0.0), std::max(qy, 0.0)});
    return outside + std::min(std::max(qx, qy), 0.0) - radius;
}

// Closed polygon, vertices in order.
double SdPolygon(Vec2 p, const std::vector<Vec2>& v) {
    double d = Dot(p - v[0], p - v[0]);
    double sign = 1.0;
    for (size_t i = 0, j = v.size() - 1; i < v.size(); j = i, ++i) {
        const Vec2 e = v[j] - v[i];
        const Vec2 w = p - v[i];
        const Vec2 b = w - e * std::clamp(Dot(w, e) / Dot(e, e), 0.0, 1.0);
        d = std::min(d, Dot(b, b));
        const bool c1 = p.y >= v[i].y;
        const bool c2 = p.y < v[j].y;
        const bool c3 = e.x * w.y > e.y * w.x;
        if ((c1 && c2 && c3) || (!c1 && !c2 && !c3)) sign = -sign;
    }
    return sign * std::sqrt(d);
}

// Outward unit gradient of a distance function, by central differences.
template <typename Field>
Vec2 Gradient(const Field& field, Vec2 p, double step = 0.25) {
    const double dx = field({p.x + step, p.y}) - field({p.x - step, p.y});
    const double dy = field({p.x, p.y + step}) - field({p.x, p.y - step});
    const double len = std::sqrt(dx * dx + dy * dy);
    if (len <= 1e-12) return {0.0, 0.0};
    return {dx / len, dy / len};
}

// A list of strokes (polylines with round caps and joins) of one width.
struct Strokes {
    std::vector<std::pair<Vec2, Vec2>> segments;

    void Line(Vec2 a, Vec2 b) { segments.emplace_back(a, b); }
    void Polyline(const std::vector<Vec2>& points) {
        for (size_t i = 1; i < points.size(); ++i) Line(points[i - 1], points[i]);
    }
    // Elliptic arc from angle a0 to a1 in degrees; angle 0 is +x, 90 is +y (down).
    void Arc(Vec2 centre, double rx, double ry, double a0, double a1, int steps) {
        std::vector<Vec2> points;
        for (int i = 0; i <= steps; ++i) {
            const double a = (a0 + (a1 - a0) * i / steps) * pi / 180.0;
            points.push_back({centre.x + rx * std::cos(a), centre.y + ry * std::sin(a)});
        }
        Polyline(points);
    }
    double Distance(Vec2 p) const {
        double d = 1e30;
        for (const auto& [a, b] : segments) d = std::min(d, SdSegment(p, a, b));
        return d;
    }
};

// ---------------------------------------------------------------------------
// Seeded randomness and noise (no library generators: their sequences are not
// the same everywhere, and the output must not change between builds)

uint32_t Hash(uint32_t x) {
    x ^= x >> 16;
    x *= 0x7FEB352Du;
    x ^= x >> 15;
    x *= 0x846CA68Bu;
    x ^= x >> 16;
    return x;
}

double HashUnit(int32_t ix, int32_t iy, uint32_t seed) {
    const uint32_t h = Hash(static_cast<uint32_t>(ix) * 0x9E3779B1u ^ Hash(static_cast<uint32_t>(iy) + seed * 0x85EBCA77u));
    return (h >> 8) * (1.0 / 16777216.0);
}

class Random {
public:
    explicit Random(uint64_t seed) : state_(seed) {}
    // Uniform in [0, 1).
    double Next() {
        state_ += 0x9E3779B97F4A7C15ull;
        uint64_t z = state_;
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        z ^= z >> 31;
        return static_cast<double>(z >> 11) * (1.0 / 9007199254740992.0);
    }
    double Range(double lo, double hi) { return lo + (hi - lo) * Next(); }

private:
    uint64_t state_;
};

// Value noise in [0, 1]; period > 0 makes it tile every `period` lattice cells.
double ValueNoise(double x, double y, uint32_t seed, int period = 0) {
    const double fx = std::floor(x);
    const double fy = std::floor(y);
    auto lattice = [&](int32_t ix, int32_t iy) {
        if (period > 0) {
            ix = ((ix % period) + period) % period;
            iy = ((iy % period) + period) % period;
        }
        return HashUnit(ix, iy, seed);
    };
    const int32_t ix = static_cast<int32_t>(fx);
    const int32_t iy = static_cast<int32_t>(fy);
    const double tx = x - fx;
    const double ty = y - fy;
    const double sx = tx * tx * tx * (tx * (tx * 6 - 15) + 10);
    const double sy = ty * ty * ty * (ty * (ty * 6 - 15) + 10);
    const double top = Lerp(lattice(ix, iy), lattice(ix + 1, iy), sx);
    const double bottom = Lerp(lattice(ix, iy + 1), lattice(ix + 1, iy + 1), sx);
    return Lerp(top, bottom, sy);
}

// Fractal sum of octaves, normalised to [0, 1].
double Fbm(double x, double y, uint32_t seed, int octaves, int period = 0) {
    double sum = 0, weight = 1, total = 0;
    for (int i = 0; i < octaves; ++i) {
        sum += ValueNoise(x, y, seed + static_cast<uint32_t>(i) * 131u, period) * weight;
        total += weight;
        weight *= 0.5;
        x *= 2;
        y *= 2;
        if (period > 0) period *= 2;
    }
    return sum / total;
}

// ---------------------------------------------------------------------------
// Float pictures, sampling and output

struct Picture {
    int width = 0;
    int height = 0;
    std::vector<Color> pixels; // straight alpha, top row first

    Picture(int w, int h) : width(w), height(h), pixels(static_cast<size_t>(w) * h) {}
    Color& At(int x, int y) { return pixels[static_cast<size_t>(y) * width + x]; }
    const Color& At(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }

    // Bilinear sample at a continuous position; outside the picture is clear.
    Color Sample(double x, double y) const {
        const double fx = x - 0.5;
        const double fy = y - 0.5;
        const int x0 = static_cast<int>(std::floor(fx));
        const int y0 = static_cast<int>(std::floor(fy));
        const double tx = fx - x0;
        const double ty = fy - y0;
        Color sum;
        for (int j = 0; j < 2; ++j) {
            for (int i = 0; i < 2; ++i) {
                const int px = x0 + i;
                const int py = y0 + j;
                if (px < 0 || py < 0 || px >= width || py >= height) continue;
                const double w = (i ? tx : 1 - tx) * (j ? ty : 1 - ty);
                const Color& c = At(px, py);
                sum.r += c.r * c.a * w;
                sum.g += c.g * c.a * w;
                sum.b += c.b * c.a * w;
                sum.a += c.a * w;
            }
        }
        if (sum.a <= 0) return {};
        return {sum.r / sum.a, sum.g / sum.a, sum.b / sum.a, sum.a};
    }
};

// Samples `shade` n x n times per pixel and averages with premultiplied alpha.
template <typename Shader>
Picture Render(int width, int height, int n, const Shader& shade) {
    Picture picture(width, height);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            Color sum;
            for (int sy = 0; sy < n; ++sy) {
                for (int sx = 0; sx < n; ++sx) {
                    const Color c = shade(Vec2{x + (sx + 0.5) / n, y + (sy + 0.5) / n});
                    const double a = Clamp01(c.a);
                    sum.r += c.r * a;
                    sum.g += c.g * a;
                    sum.b += c.b * a;
                    sum.a += a;
                }
            }
            Color& out = picture.At(x, y);
            if (sum.a > 0) out = {sum.r / sum.a, sum.g / sum.a, sum.b / sum.a, sum.a / (n * n)};
        }
    }
    return picture;
}

// Gaussian blur of the alpha channel only (colour is irrelevant for shadows).
Picture BlurAlpha(const Picture& source, double sigma) {
    const int radius = static_cast<int>(std::ceil(sigma * 3));
    std::vector<double> kernel(static_cast<size_t>(radius) * 2 + 1);
    double total = 0;
    for (int i = -radius; i <= radius; ++i) {
        kernel[static_cast<size_t>(i + radius)] = std::exp(-(i * i) / (2 * sigma * sigma));
        total += kernel[static_cast<size_t>(i + radius)];
    }
    for (double& k : kernel) k /= total;
    auto pass = [&](const Picture& in, bool horizontal) {
        Picture out(in.width, in.height);
        for (int y = 0; y < in.height; ++y) {
            for (int x = 0; x < in.width; ++x) {
                double a = 0;
                for (int i = -radius; i <= radius; ++i) {
                    const int sx = horizontal ? x + i : x;
                    const int sy = horizontal ? y : y + i;
                    if (sx < 0 || sy < 0 || sx >= in.width || sy >= in.height) continue;
                    a += in.At(sx, sy).a * kernel[static_cast<size_t>(i + radius)];
                }
                out.At(x, y) = Grey(0.0, a);
            }
        }
        return out;
    };
    return pass(pass(source, true), false);
}

// The blurred alpha of a shape grown by outline, in black: sampled with an
// offset, it is the shape's drop shadow.
template <typename Distance>
Picture ShadowMask(int width, int height, int n, const Distance& distance, double outline, double blur) {
    const Picture mask = Render(width, height, n, [&](Vec2 p) {
        return distance(p) < outline ? Grey(0.0, 1.0) : Color{};
    });
    return BlurAlpha(mask, blur);
}

// Gives fully transparent pixels the colour of their nearest visible
// neighbours, so filtering towards a clear edge keeps the edge's colour.
void BleedColour(Picture& picture) {
    const double visible = 0.5 / 255.0;
    std::vector<char> known(picture.pixels.size());
    size_t unknown = 0;
    for (size_t i = 0; i < picture.pixels.size(); ++i) {
        known[i] = picture.pixels[i].a >= visible;
        if (!known[i]) ++unknown;
    }
    if (unknown == picture.pixels.size()) return;
    while (unknown > 0) {
        std::vector<char> next = known;
        for (int y = 0; y < picture.height; ++y) {
            for (int x = 0; x < picture.width; ++x) {
                const size_t i = static_cast<size_t>(y) * picture.width + x;
                if (known[i]) continue;
                Color sum;
                int count = 0;
                for (int dy = -1; dy <= 1; ++dy) {
                    for (int dx = -1; dx <= 1; ++dx) {
                        const int nx = x + dx;
                        const int ny = y + dy;
                        if (nx < 0 || ny < 0 || nx >= picture.width || ny >= picture.height) continue;
                        const size_t j = static_cast<size_t>(ny) * picture.width + nx;
                        if (!known[j]) continue;
                        sum.r += picture.pixels[j].r;
                        sum.g += picture.pixels[j].g;
                        sum.b += picture.pixels[j].b;
                        ++count;
                    }
                }
                if (count == 0) continue;
                picture.pixels[i] = {sum.r / count, sum.g / count, sum.b / count, 0.0};
                next[i] = 1;
                --unknown;
            }
        }
        known.swap(next);
    }
}

// Quantises to bytes with a 4 x 4 ordered dither (under half a step, so 0 and
// 255 stay exact) to keep soft gradients from banding.
Bitmap ToBitmap(Picture picture) {
    static constexpr std::array<int, 16> kBayer = {0, 8, 2, 10, 12, 4, 14, 6, 3, 11, 1, 9, 15, 7, 13, 5};
    BleedColour(picture);
    Bitmap bitmap(picture.width, picture.height);
    for (int y = 0; y < picture.height; ++y) {
        for (int x = 0; x < picture.width; ++x) {
            const double dither = (kBayer[static_cast<size_t>((y & 3) * 4 + (x & 3))] + 0.5) / 16.0 - 0.5;
            const Color& c = picture.At(x, y);
            uint8_t* out = bitmap.At(x, y);
            const std::array<double, 4> channels = {c.r, c.g, c.b, c.a};
            for (size_t k = 0; k < 4; ++k) {
                const double v = std::floor(Clamp01(channels[k]) * 255.0 + 0.5 + dither);
                out[k] = static_cast<uint8_t>(std::clamp(v, 0.0, 255.0));
            }
        }
    }
    return bitmap;
}

// ---------------------------------------------------------------------------
// Shared motifs

// Lambert plus Blinn-Phong on a surface normal; light from the upper left.
struct Lighting {
    double diffuse;
    double specular;
};

Lighting LightSurface(double nx, double ny, double nz, double shininess) {
    const double lx = -0.45, ly = -0.65, lz = 0.62;
    const double ll = std::sqrt(lx * lx + ly * ly + lz * lz);
    const double hx = lx / ll, hy = ly / ll, hz = lz / ll + 1.0;
    const double hl = std::sqrt(hx * hx + hy * hy + hz * hz);
    const double diffuse = std::max(0.0, (nx * lx + ny * ly + nz * lz) / ll);
    const double highlight = std::pow(std::max(0.0, (nx * hx + ny * hy + nz * hz) / hl), shininess);
    return {diffuse, highlight};
}

// Normal of a pillow-shaped surface at depth `inside` (>= 0) behind an edge
// whose outward direction is `outward`; bevel is the width of the rounded rim.
// A negative bevel gives a recessed surface instead.
std::array<double, 3> RimNormal(Vec2 outward, double inside, double bevel) {
    const double width = std::abs(bevel);
    if (inside >= width) return {0.0, 0.0, 1.0};
    double tilt = 0.5 * pi * std::pow(1.0 - inside / width, 1.6) * 0.92;
    if (bevel < 0) tilt = -tilt;
    return {std::sin(tilt) * outward.x, std::sin(tilt) * outward.y, std::cos(tilt)};
}

// Six-armed snowflake as a distance field, centred on the origin, arm length 1.
double SnowflakeDistance(Vec2 p) {
    // Fold the plane into one 30-degree sector: one half-arm describes all twelve.
    const double r = Length(p);
    double angle = std::atan2(p.y, p.x);
    const double sector = pi / 3.0;
    angle = std::fmod(angle + 2 * pi, sector);
    if (angle > sector / 2) angle = sector - angle;
    const Vec2 q{r * std::cos(angle), r * std::sin(angle)};
    const double c60 = 0.5, s60 = std::sqrt(3.0) / 2.0;

    double d = SdSegment(q, {0.0, 0.0}, {0.93, 0.0}) - 0.045;                      // arm
    d = std::min(d, SdSegment(q, {0.36, 0.0}, {0.36 + 0.27 * c60, 0.27 * s60}) - 0.035); // branches
    d = std::min(d, SdSegment(q, {0.58, 0.0}, {0.58 + 0.22 * c60, 0.22 * s60}) - 0.032);
    d = std::min(d, SdSegment(q, {0.77, 0.0}, {0.77 + 0.13 * c60, 0.13 * s60}) - 0.028);
    d = std::min(d, SdSegment(q, {0.2, 0.0}, {0.2 * c60, 0.2 * s60}) - 0.03);       // hexagon
    // Diamond tip at the end of the arm.
    const Vec2 tip = q - Vec2{0.93, 0.0};
    d = std::min(d, (std::abs(tip.x) * 0.55 + std::abs(tip.y)) - 0.045);
    return d;
}

// ---------------------------------------------------------------------------
// Board cells

constexpr int kCellSize = 64;
constexpr double kCellHalf = 30.5; // leaves a one-pixel gap on screen between cells
constexpr double kCellCorner = 11.0;

double CellDistance(Vec2 p) { return SdRoundBox(p - Vec2{32.0, 32.0}, kCellHalf, kCellHalf, kCellCorner); }

// Glossy bead in greys: brightness at p for a body albedo running from `top` to
// `bottom`. Coverage is decided by the caller.
double BeadLuminance(Vec2 p, double top, double bottom) {
    const double d = CellDistance(p);
    const double inside = -d;
    const Vec2 outward = Gradient(CellDistance, p);
    const auto n = RimNormal(outward, inside, 10.0);
    const Lighting light = LightSurface(n[0], n[1], n[2], 60.0);
    const double v = Clamp01((p.y - 2.0) / 60.0);
    const double albedo = Lerp(top, bottom, v * v * 0.6 + v * 0.4);
    double lum = albedo * (0.3 + 0.78 * light.diffuse) + 0.6 * light.specular;

    // Reflection of a bright window across the upper half of the face.
    const Vec2 c = p - Vec2{32.0, 18.0};
    const double glossShape = SdRoundBox(c, 21.5, 11.5, 9.0);
    if (glossShape < 0) {
        const double fade = Lerp(0.85, 0.25, Clamp01((p.y - 6.5) / 23.0));
        const double edge = SmoothStep(0.0, -1.0, glossShape);
        lum = Lerp(lum, 1.0, fade * edge);
    }
    // Light passing through the bead brightens the face near its lower edge.
    const double bounce = SmoothStep(40.0, 56.0, p.y) * SmoothStep(2.0, 7.0, inside) * (1.0 - SmoothStep(7.0, 14.0, inside));
    lum += 0.16 * bounce;
    // A soft dark line just inside the edge keeps neighbouring cells apart.
    lum *= Lerp(0.55, 1.0, SmoothStep(0.0, 2.2, inside));
    return Clamp01(lum);
}

Picture DrawCell() {
    return Render(kCellSize, kCellSize, 8, [](Vec2 p) {
        if (CellDistance(p) > 0) return Color{};
        return Grey(BeadLuminance(p, 0.84, 0.6));
    });
}

Picture DrawCellClear() {
    return Render(kCellSize, kCellSize, 8, [](Vec2 p) {
        const double d = CellDistance(p);
        if (d > 0) return Color{};
        const double inside = -d;
        const auto n = RimNormal(Gradient(CellDistance, p), inside, -6.0);
        const Lighting light = LightSurface(n[0], n[1], n[2], 20.0);
        const double rim = 1.0 - SmoothStep(0.0, 6.0, inside);
        const double lum = Clamp01(0.55 + 0.9 * (light.diffuse - 0.62) + 0.2 * rim);
        const double v = Clamp01((p.y - 2.0) / 60.0);
        const double alpha = Lerp(Lerp(0.5, 0.4, v), 0.9, rim);
        return Grey(lum, alpha);
    });
}

double ErrorMarkDistance(Vec2 p) {
    const Vec2 c = p - Vec2{32.0, 32.0};
    const double arm = 13.0;
    const double d1 = SdSegment(c, {-arm, -arm}, {arm, arm});
    const double d2 = SdSegment(c, {-arm, arm}, {arm, -arm});
    return std::min(d1, d2) - 3.6;
}

Picture DrawErrorCell() {
    return Render(kCellSize, kCellSize, 8, [](Vec2 p) {
        if (CellDistance(p) > 0) return Color{};
        const double lum = BeadLuminance(p, 0.72, 0.5);
        Color base = Grey(lum);
        // Engraved cross: dark red groove with a lit lower-right lip.
        const double mark = ErrorMarkDistance(p);
        if (mark < 0) {
            const Vec2 out = Gradient(ErrorMarkDistance, p);
            const double shade = 0.75 + 0.35 * (out.x + out.y) * 0.5 * SmoothStep(-2.5, 0.0, mark);
            base = Lerp(base, Rgb(0.62 * shade, 0.1 * shade, 0.09 * shade), SmoothStep(0.0, -0.8, mark));
        } else if (mark < 1.6) {
            const Vec2 out = Gradient(ErrorMarkDistance, p);
            const double lip = std::max(0.0, (out.x + out.y) * 0.7) * (1.0 - mark / 1.6);
            base = Lerp(base, Grey(1.0), 0.5 * lip);
        }
        return base;
    });
}

// ---------------------------------------------------------------------------
// Particles and glows

Picture DrawSpark() {
    return Render(64, 64, 4, [](Vec2 p) {
        const Vec2 c = (p - Vec2{32.0, 32.0}) * (1.0 / 32.0);
        const double r = Length(c);
        const double core = std::exp(-(r * r) / (2 * 0.11 * 0.11));
        const double halo = 0.45 * std::exp(-(r * r) / (2 * 0.3 * 0.3));
        const double rays = 0.35 * (std::exp(-std::abs(c.y) / 0.025) + std::exp(-std::abs(c.x) / 0.025)) *
                            std::max(0.0, 1.0 - r / 0.85);
        const double window = 1.0 - SmoothStep(0.7, 0.98, r);
        return Grey(1.0, std::min(1.0, core + halo + rays) * window);
    });
}

Picture DrawSmoke() {
    return Render(128, 128, 4, [](Vec2 p) {
        const Vec2 c = (p - Vec2{64.0, 64.0}) * (1.0 / 64.0);
        const double r = Length(c);
        // A few overlapping lobes give the puff an irregular outline.
        static constexpr std::array<std::array<double, 3>, 5> kLobes = {{
            {0.0, 0.0, 0.55}, {-0.28, -0.18, 0.36}, {0.3, -0.12, 0.34}, {0.12, 0.28, 0.34}, {-0.22, 0.26, 0.3}}};
        double density = 0;
        for (const auto& lobe : kLobes) {
            const double dx = c.x - lobe[0];
            const double dy = c.y - lobe[1];
            density += std::exp(-(dx * dx + dy * dy) / (2 * lobe[2] * lobe[2] * 0.5));
        }
        const double detail = Fbm(p.x / 18.0, p.y / 18.0, 71u, 4);
        density *= 0.55 + 0.7 * detail;
        const double window = 1.0 - SmoothStep(0.72, 0.98, r);
        const double alpha = Clamp01(density * 0.2) * window;
        const double lum = 0.86 + 0.14 * Clamp01(0.5 - 0.6 * c.y - 0.3 * c.x) - 0.08 * (1.0 - detail);
        return Grey(lum, alpha);
    });
}

Picture DrawLight() {
    return Render(256, 256, 2, [](Vec2 p) {
        const Vec2 c = (p - Vec2{128.0, 128.0}) * (1.0 / 128.0);
        const double r = Length(c);
        const double angle = std::atan2(c.y, c.x);
        const double core = 0.9 * std::exp(-(r * r) / (2 * 0.12 * 0.12));
        const double glow = 0.55 * std::pow(std::max(0.0, 1.0 - r), 2.2);
        const double rays = 0.22 * std::pow(std::abs(std::cos(angle * 4.0)), 12.0) * std::pow(std::max(0.0, 1.0 - r), 1.5) +
                            0.1 * std::pow(std::abs(std::cos(angle * 4.0 + pi / 4)), 20.0) * std::pow(std::max(0.0, 1.0 - r), 2.0);
        const double window = 1.0 - SmoothStep(0.85, 0.99, r);
        const double alpha = Clamp01(core + glow + rays) * window;
        return WithAlpha(Lerp(Rgb(1.0, 0.9, 0.74), Rgb(1.0, 0.99, 0.95), Clamp01(1.0 - r * 2.0)), alpha);
    });
}

// ---------------------------------------------------------------------------
// Night scene pieces

// The menu's ornament: a snowflake in white with a soft glow. The menu tints it
// azure and spins it, so it is drawn with six-fold symmetry and kept inside
// its circle.
Picture DrawXlam() {
    return Render(128, 128, 6, [](Vec2 p) {
        const double scale = 55.0; // arm length in pixels, leaving room for the glow
        const Vec2 c = (p - Vec2{64.0, 64.0}) * (1.0 / scale);
        const double r = Length(c);
        const double d = SnowflakeDistance(c) * scale; // in pixels
        const double glow = 0.42 * std::exp(-std::max(d, 0.0) / 6.0) * (1.0 - SmoothStep(0.92, 1.1, r));
        Color out = Grey(1.0, glow);
        if (d < 0) {
            // Bright ridge along each stroke, slightly dimmer towards its edges.
            const double lum = Lerp(1.0, 0.8, SmoothStep(-2.5, 0.0, d));
            out = Over(Grey(lum, 1.0), out);
        }
        return out;
    });
}

struct Crater {
    double x, y, radius;
};

std::vector<Crater> MakeCraters() {
    Random random(0x6D6F6F6Eull);
    std::vector<Crater> craters;
    while (craters.size() < 14) {
        const double x = random.Range(-0.8, 0.8);
        const double y = random.Range(-0.8, 0.8);
        const double radius = random.Range(0.05, 0.16);
        if (std::sqrt(x * x + y * y) + radius > 0.92) continue;
        craters.push_back({x, y, radius});
    }
    return craters;
}

Picture DrawMoon() {
    const std::vector<Crater> craters = MakeCraters();
    return Render(128, 128, 6, [&](Vec2 p) {
        const double radius = 36.0;
        const Vec2 c = p - Vec2{64.0, 64.0};
        const double r = Length(c);
        // Halo that reaches exact black well inside the picture, so the square's
        // corners vanish against the black sky even when the quad is turned.
        const double halo = 0.26 * std::exp(-std::max(0.0, r - radius) / 7.0) * (1.0 - SmoothStep(46.0, 58.0, r));
        Color sky = Rgb(0.55 * halo, 0.66 * halo, 0.9 * halo);
        if (r > radius) return sky;
        const Vec2 u = c * (1.0 / radius);
        const double nz = std::sqrt(std::max(0.0, 1.0 - Dot(u, u)));
        // Seas: large dim patches.
        const double seas = Fbm(u.x * 1.4 + 3.0, u.y * 1.4 + 7.0, 11u, 3);
        double albedo = 1.0 - 0.3 * SmoothStep(0.44, 0.64, seas);
        albedo *= 0.95 + 0.05 * Fbm(u.x * 7.0, u.y * 7.0, 29u, 2);
        double rimLight = 0.0;
        for (const Crater& crater : craters) {
            const double dx = u.x - crater.x;
            const double dy = u.y - crater.y;
            const double dist = std::sqrt(dx * dx + dy * dy) / crater.radius;
            if (dist < 1.0) albedo *= 0.93 + 0.05 * dist * dist;
            if (dist > 0.8 && dist < 1.2) {
                // Lit on the lower right inside the bowl, shadowed on the upper left.
                const double side = (dx + dy) / (std::sqrt(dx * dx + dy * dy) + 1e-9) * 0.7071;
                rimLight += 0.1 * side * (1.0 - std::abs(dist - 1.0) / 0.2);
            }
        }
        const double limb = 0.72 + 0.28 * std::pow(nz, 0.6);
        const double lum = Clamp01((albedo + rimLight) * limb);
        const Color body = Rgb(0.98 * lum, 0.96 * lum, 0.87 * lum);
        return body;
    });
}

// Firs: stacked bough tiers that flare out at the bottom, snow lying on the
// flared upper edges and on the hanging tips.
struct Tier {
    double top, bottom, halfWidth;
};

constexpr std::array<Tier, 6> kTiers = {{
    {4, 58, 21}, {28, 92, 30}, {58, 128, 38}, {92, 166, 45}, {128, 204, 51}, {164, 236, 56}}};
constexpr double kTreeAxis = 64.0;

// Half-width of a tier's silhouette at height y (before the ragged edge): a
// narrow top that widens faster and faster, so each tier flares out below the
// one above it.
double TierHalfWidth(const Tier& tier, double y) {
    const double t = (y - tier.top) / (tier.bottom - tier.top);
    if (t <= 0) return 0;
    return tier.halfWidth * (0.05 + 0.95 * std::pow(t, 1.3));
}

// Lower edge of tier i at horizontal offset x: hanging bough tips.
double TierLowerEdge(const Tier& tier, size_t index, double x) {
    const double period = 10.0 + index;
    const double scallop = std::pow(std::abs(std::sin(pi * (x + 3.0 * index) / period)), 0.7);
    const double outer = std::abs(x) / tier.halfWidth;
    return tier.bottom - 6.0 * scallop + 5.0 * outer * outer;
}

// Depth inside tier i (> 0 inside) measured across its slanted side.
double TierSideDepth(const Tier& tier, size_t index, Vec2 p) {
    const double x = p.x - kTreeAxis;
    const double ragged = 1.4 * std::sin(p.y * 0.9 + index * 1.7) + 0.9 * std::sin(p.y * 2.3 + index);
    const double width = TierHalfWidth(tier, p.y) + ragged * std::min(1.0, (p.y - tier.top) / 12.0);
    const double slope = (TierHalfWidth(tier, p.y + 0.5) - TierHalfWidth(tier, p.y - 0.5));
    return (width - std::abs(x)) / std::sqrt(1.0 + slope * slope);
}

bool InsideTier(size_t index, Vec2 p) {
    const Tier& tier = kTiers[index];
    if (p.y < tier.top || p.y > TierLowerEdge(tier, index, p.x - kTreeAxis)) return false;
    return TierSideDepth(tier, index, p) > 0;
}

Color ShadeTier(size_t index, Vec2 p) {
    const Tier& tier = kTiers[index];
    const double x = p.x - kTreeAxis;
    const double t = Clamp01((p.y - tier.top) / (tier.bottom - tier.top));
    const uint32_t seed = static_cast<uint32_t>(index);
    // Needles: streaks running down and outwards from the trunk.
    const double outward = std::abs(x);
    const double needles = Fbm(outward * 0.25 - p.y * 0.3, outward * 0.45 + p.y * 0.2, 401u + seed, 3);
    double lum = 0.8 + 0.5 * (needles - 0.5);
    lum *= 1.0 - 0.3 * (x / tier.halfWidth); // lit from the left
    lum *= 0.7 + 0.4 * (1.0 - t);            // darker towards the lower edge
    // Shade under the tier above, which overhangs this one.
    if (index > 0) {
        const Tier& above = kTiers[index - 1];
        const double gap = p.y - TierLowerEdge(above, index - 1, x);
        if (gap > 0 && std::abs(x) < above.halfWidth + 6) lum *= 1.0 - 0.55 * (1.0 - SmoothStep(0.0, 8.0, gap));
    }
    Color green = Rgb(0.08 * lum, 0.29 * lum, 0.18 * lum);

    // Snow along the upper edge, thicker where the boughs flatten out.
    const double depth = TierSideDepth(tier, index, p);
    const double lump = 1.8 * Fbm(p.y * 0.3, index * 7.0 + x * 0.08, 903u, 2);
    const double thickness = 1.8 + 3.2 * t + lump;
    double snow = 1.0 - SmoothStep(thickness - 0.5, thickness + 0.5, depth);
    // Clumps on the hanging tips.
    const double lower = TierLowerEdge(tier, index, x);
    const double tipClump = Fbm(x * 0.3 + 11.0 * index, p.y * 0.3, 517u, 2);
    if (lower - p.y < 4.0) snow = std::max(snow, SmoothStep(0.56, 0.62, tipClump) * SmoothStep(0.3, 0.6, std::abs(x) / tier.halfWidth));
    // A few flakes caught on the needles.
    const double speck = ValueNoise(p.x * 0.3, p.y * 0.3, 733u + seed);
    snow = std::max(snow, SmoothStep(0.91, 0.95, speck) * 0.7);
    if (snow > 0) {
        const double lit = Clamp01(0.5 + 0.5 * (1.0 - Clamp01(depth / (thickness + 0.5))) - 0.15 * (x / tier.halfWidth));
        const Color white = Lerp(Rgb(0.64, 0.72, 0.88), Rgb(0.98, 0.99, 1.0), lit);
        green = Lerp(green, white, snow);
    }
    return green;
}

Picture DrawTree() {
    return Render(128, 256, 5, [](Vec2 p) {
        const double x = p.x - kTreeAxis;
        Color out;
        // Trunk, a little wider at the foot.
        if (std::abs(x) < 6.5 + (p.y - 214.0) * 0.04 && p.y > 200.0 && p.y < 250.0) {
            const double bark = 0.8 + 0.3 * Fbm(p.x * 0.6, p.y * 0.12, 61u, 3);
            const double lit = 1.0 - 0.4 * (x + 7.0) / 14.0;
            out = Rgb(0.36 * bark * lit, 0.23 * bark * lit, 0.14 * bark * lit);
        }
        // The first tier from the top that holds the point overhangs the rest.
        for (size_t i = 0; i < kTiers.size(); ++i) {
            if (InsideTier(i, p)) {
                out = ShadeTier(i, p);
                break;
            }
        }
        // A drift of snow round the foot of the trunk; the last row stays clear
        // so the repeating texture does not wrap it onto the tree top.
        const double spread = 1.0 - (x * x) / (36.0 * 36.0);
        if (spread > 0) {
            const double crest = 253.5 - 10.0 * std::pow(spread, 0.8) - 0.8 * std::sin(x * 0.4);
            if (p.y > crest && p.y < 254.0) {
                const double lum = Lerp(1.0, 0.76, Clamp01((p.y - crest) / 10.0 * 0.5 + (x + 36.0) / 72.0 * 0.6));
                const double alpha = SmoothStep(254.0, 252.8, p.y);
                out = Over(Rgb(lum * 0.96, lum * 0.97, lum, alpha), out);
            }
        }
        return out;
    });
}

// ---------------------------------------------------------------------------
// Title logo: "Nivora" in hand-built round-ended strokes

constexpr double kLogoStroke = 9.5; // half the stroke width, in pixels

// The word as one stroke list per letter, each with its bounding box so the
// distance search can skip letters that are farther away than the best so far.
struct LogoWord {
    std::vector<Strokes> letters;
    std::vector<std::array<double, 4>> boxes; // min x, min y, max x, max y
    Vec2 dot;                                 // centre of the i's dot
};

LogoWord MakeLogoWord() {
    const double base = 100.0;   // baseline
    const double cap = 20.0;     // top of capitals
    const double xHeight = 46.0; // top of small letters
    const double mid = (xHeight + base) / 2.0;
    const double bowl = (base - xHeight) / 2.0;
    const double gap = 13.0 + 2.0 * kLogoStroke; // between the stroke centres of neighbours

    LogoWord word;
    double pen = 0.0;
    Strokes n;
    n.Line({pen, base}, {pen, cap});
    n.Line({pen, cap}, {pen + 56.0, base});
    n.Line({pen + 56.0, base}, {pen + 56.0, cap});
    word.letters.push_back(n);
    pen += 56.0 + gap;

    Strokes i;
    i.Line({pen, xHeight}, {pen, base});
    word.dot = {pen, cap + 2.0};
    word.letters.push_back(i);
    pen += gap;

    Strokes v;
    v.Line({pen, xHeight}, {pen + 23.0, base});
    v.Line({pen + 23.0, base}, {pen + 46.0, xHeight});
    word.letters.push_back(v);
    pen += 46.0 + gap;

    Strokes o;
    o.Arc({pen + 25.0, mid}, 25.0, bowl, 0.0, 360.0, 40);
    word.letters.push_back(o);
    pen += 50.0 + gap - 2.0;

    Strokes r;
    r.Line({pen, xHeight}, {pen, base});
    r.Arc({pen + 26.0, xHeight + 26.0}, 26.0, 26.0, 180.0, 290.0, 14);
    word.letters.push_back(r);
    pen += 36.0 + gap;

    Strokes a; // one-storey: bowl and stem
    a.Arc({pen + 23.0, mid}, 23.0, bowl, 0.0, 360.0, 40);
    a.Line({pen + 46.0, xHeight}, {pen + 46.0, base});
    word.letters.push_back(a);
    pen += 46.0;

    // Centre the word in the 512-pixel width and slant it a little forwards.
    const double shift = (512.0 - pen) / 2.0 - 4.0;
    const double slant = 0.13;
    auto place = [&](Vec2 p) { return Vec2{p.x + shift + (base - p.y) * slant, p.y}; };
    for (Strokes& letter : word.letters) {
        std::array<double, 4> box = {1e30, 1e30, -1e30, -1e30};
        for (auto& [from, to] : letter.segments) {
            from = place(from);
            to = place(to);
            for (const Vec2& p : {from, to}) {
                box = {std::min(box[0], p.x), std::min(box[1], p.y), std::max(box[2], p.x), std::max(box[3], p.y)};
            }
        }
        word.boxes.push_back(box);
    }
    word.dot = place(word.dot);
    return word;
}

const LogoWord& Logo() {
    static const LogoWord word = MakeLogoWord();
    return word;
}

double LogoDistance(Vec2 p) {
    const LogoWord& word = Logo();
    // The i's dot: a round spot a little larger than the stroke.
    double d = Length(p - word.dot) - (kLogoStroke + 1.5);
    for (size_t i = 0; i < word.letters.size(); ++i) {
        const auto& box = word.boxes[i];
        const double bx = std::max({box[0] - p.x, 0.0, p.x - box[2]});
        const double by = std::max({box[1] - p.y, 0.0, p.y - box[3]});
        if (std::sqrt(bx * bx + by * by) - kLogoStroke >= d) continue;
        d = std::min(d, word.letters[i].Distance(p) - kLogoStroke);
    }
    return d;
}

Picture DrawLogo() {
    const double outline = 4.5;
    // Shadow: the outlined word, blurred and shifted down-right.
    const Picture shadow = ShadowMask(512, 128, 3, LogoDistance, outline, 3.0);
    return Render(512, 128, 4, [&](Vec2 p) {
        Color out = shadow.Sample(p.x - 3.0, p.y - 4.0);
        out.a *= 0.6;
        const double d = LogoDistance(p);
        if (d < outline) out = Over(Grey(0.05), out);
        if (d < 0) {
            const double inside = -d;
            // Body: bright top fading to a deeper tone, with a bevelled rim.
            const double v = Clamp01((p.y - 12.0) / 98.0);
            double lum = Lerp(1.0, 0.84, v);
            // Gloss band across the upper part of every letter.
            const double band = 56.0 + 4.0 * std::sin(p.x * 0.02);
            if (p.y < band) lum = Lerp(lum, 1.0, 0.6 * SmoothStep(band, band - 2.0, p.y));
            else lum *= 0.94;
            const Vec2 outward = inside < 5.0 ? Gradient(LogoDistance, p) : Vec2{};
            const auto n = RimNormal(outward, inside, 5.0);
            const Lighting light = LightSurface(n[0], n[1], n[2], 30.0);
            lum *= 0.62 + 0.5 * light.diffuse;
            lum += 0.3 * light.specular;
            out = Over(Grey(Clamp01(lum)), out);
        }
        return out;
    });
}

// ---------------------------------------------------------------------------
// Cursor

Picture DrawCursor() {
    // Arrow with its tip on the top-left corner, the hot spot.
    const std::vector<Vec2> arrow = {{1.6, 1.6},   {1.6, 24.6},  {7.2, 19.0}, {11.4, 27.6},
                                     {14.6, 26.2}, {10.5, 17.6}, {17.6, 17.6}};
    auto distance = [&](Vec2 p) { return SdPolygon(p, arrow); };
    const double outline = 1.5;
    const Picture shadow = ShadowMask(32, 32, 4, distance, outline, 1.2);
    return Render(32, 32, 8, [&](Vec2 p) {
        Color out = shadow.Sample(p.x - 1.5, p.y - 2.0);
        out.a *= 0.45;
        const double d = distance(p);
        if (d < outline) out = Over(Grey(0.04), out);
        if (d < 0) {
            const double v = Clamp01(p.y / 28.0);
            Color fill = Lerp(Rgb(1.0, 1.0, 1.0), Rgb(0.8, 0.87, 0.98), v);
            // A faint inner edge gives the arrow some depth.
            fill = Lerp(fill, Rgb(0.62, 0.7, 0.85), 0.5 * (1.0 - SmoothStep(0.0, 1.4, -d)) * v);
            out = Over(fill, out);
        }
        return out;
    });
}

// ---------------------------------------------------------------------------
// Opaque pictures (BMP): menu bar, message panel, spare backdrop and snow

Picture DrawSelTex() {
    return Render(256, 32, 4, [](Vec2 p) {
        const double u = p.x / 256.0;
        const double v = p.y / 32.0;
        // Ends fade to black, which the bar's blending turns into no change.
        const double ends = SmoothStep(0.0, 0.22, u) * SmoothStep(1.0, 0.78, u);
        const double centre = 0.75 + 0.25 * std::exp(-((u - 0.5) * (u - 0.5)) / 0.04);
        double lum = Lerp(1.1, 0.6, v);
        lum += 0.45 * std::exp(-((v - 0.1) * (v - 0.1)) / 0.0018);  // upper rim light
        lum += 0.3 * std::exp(-((v - 0.92) * (v - 0.92)) / 0.0015); // lower rim light
        const double k = ends * centre;
        return Rgb(Clamp01(0.55 * lum * k), Clamp01(0.86 * lum * k), Clamp01(lum * k));
    });
}

Picture DrawMsg() {
    return Render(256, 64, 6, [](Vec2 p) {
        const Vec2 c = p - Vec2{128.0, 32.0};
        const double frame = SdRoundBox(c, 124.5, 28.5, 10.0);
        Color out = Rgb(0.02, 0.03, 0.08);
        if (frame < 0) {
            const double v = Clamp01((p.y - 3.5) / 57.0);
            out = Lerp(Rgb(0.13, 0.2, 0.4), Rgb(0.03, 0.06, 0.15), v);
            // Glassy highlight over the upper part.
            const double glossEdge = 26.0 + 3.0 * std::cos(c.x / 128.0 * pi);
            if (p.y < glossEdge) out = Lerp(out, Rgb(0.4, 0.52, 0.78), 0.22 * SmoothStep(glossEdge, glossEdge - 2.0, p.y) * Lerp(1.0, 0.4, p.y / glossEdge));
            // Frosty snowflakes at both ends, clear of the centred text.
            for (const double fx : {-106.0, 106.0}) {
                const double flake = SnowflakeDistance((c - Vec2{fx, 0.0}) * (1.0 / 14.0)) * 14.0;
                if (flake < 0.6) out = Lerp(out, Rgb(0.6, 0.74, 0.98), 0.8 * SmoothStep(0.6, -0.4, flake));
            }
        }
        // Light border line just inside the frame.
        const double border = std::abs(frame + 1.2) - 1.1;
        if (border < 0.5) {
            const double lit = Lerp(0.95, 0.55, Clamp01(p.y / 64.0));
            out = Lerp(out, Rgb(0.55 * lit, 0.72 * lit, 1.0 * lit), SmoothStep(0.5, -0.5, border));
        }
        return out;
    });
}

Picture DrawBack() {
    Random random(0x6261636Bull);
    std::vector<std::array<double, 4>> stars;
    for (int i = 0; i < 70; ++i) stars.push_back({random.Range(0, 256), random.Range(0, 170), random.Range(0.3, 1.0), random.Range(0.4, 1.1)});
    return Render(256, 256, 4, [&](Vec2 p) {
        const double v = p.y / 256.0;
        Color out = Lerp(Rgb(0.01, 0.02, 0.07), Rgb(0.07, 0.11, 0.27), SmoothStep(0.0, 0.75, v));
        for (const auto& s : stars) {
            if (std::abs(p.x - s[0]) > 5.0 || std::abs(p.y - s[1]) > 5.0) continue;
            const double d = Length(p - Vec2{s[0], s[1]});
            out = out + Rgb(0.9, 0.95, 1.0, 0.0) * (s[2] * std::exp(-(d * d) / (2 * s[3] * s[3] * 0.5)));
        }
        // Two rolling snow hills.
        const double hill1 = 190.0 + 14.0 * std::sin(p.x / 256.0 * 2 * pi + 0.6);
        const double hill2 = 205.0 + 10.0 * std::sin(p.x / 256.0 * 4 * pi + 2.0);
        if (p.y > hill1) out = Lerp(Rgb(0.62, 0.68, 0.86), Rgb(0.85, 0.88, 0.97), Clamp01((p.y - hill1) / 60.0));
        if (p.y > hill2) out = Lerp(Rgb(0.78, 0.83, 0.96), Rgb(0.95, 0.97, 1.0), Clamp01((p.y - hill2) / 40.0));
        out.r = Clamp01(out.r);
        out.g = Clamp01(out.g);
        out.b = Clamp01(out.b);
        out.a = 1.0;
        return out;
    });
}

Picture DrawSnow() {
    // Tiles seamlessly: every noise lattice wraps at the picture size.
    return Render(128, 128, 4, [](Vec2 p) {
        const double drift = Fbm(p.x / 32.0, p.y / 32.0, 313u, 4, 4);
        const double grain = ValueNoise(p.x / 2.0, p.y / 2.0, 977u, 64);
        double lum = 0.8 + 0.2 * drift + 0.05 * (grain - 0.5);
        Color out = Rgb(lum * 0.9, lum * 0.94, lum);
        const double glint = ValueNoise(p.x / 2.0 + 0.5, p.y / 2.0 + 0.5, 41u, 64);
        if (glint > 0.9) out = Lerp(out, Rgb(1.0, 1.0, 1.0), (glint - 0.9) * 10.0);
        out.r = Clamp01(out.r);
        out.g = Clamp01(out.g);
        out.b = Clamp01(out.b);
        return out;
    });
}

// ---------------------------------------------------------------------------
// The desktop icon: a three-by-three board of the game's beads on a night-blue
// tile, drawn on a 64-unit canvas and scaled to each size.

// The game's three cell colours; the pattern holds groups a player would click.
const Color kIconColours[3] = {Rgb(1.0, 0.5, 0.0), Rgb(0.5, 1.0, 0.0), Rgb(0.0, 0.5, 1.0)};
constexpr int kIconBoard[3][3] = {{2, 0, 0}, {1, 0, 2}, {1, 1, 2}};
constexpr double kIconCell = 17.0; // units per cell, a one-unit gap between them
constexpr double kIconBoardOrigin = 32.0 - (3 * kIconCell + 2.0) / 2.0;

Picture DrawIcon(int size) {
    const double scale = 64.0 / size;
    return Render(size, size, size <= 64 ? 8 : 4, [scale](Vec2 pixel) {
        const Vec2 u = pixel * scale;
        const double tile = SdRoundBox(u - Vec2{32.0, 32.0}, 31.0, 31.0, 11.0);
        if (tile > 0) return Color{};
        const double v = Clamp01(u.y / 64.0);
        Color out = Lerp(Rgb(0.05, 0.08, 0.26), Rgb(0.16, 0.22, 0.5), v);
        const double cx = (u.x - kIconBoardOrigin) / (kIconCell + 1.0);
        const double cy = (u.y - kIconBoardOrigin) / (kIconCell + 1.0);
        if (cx >= 0 && cy >= 0 && cx < 3 && cy < 3) {
            const int column = static_cast<int>(cx);
            const int row = static_cast<int>(cy);
            // Into the bead's own 64-pixel frame.
            const Vec2 local{(u.x - kIconBoardOrigin - column * (kIconCell + 1.0)) * 64.0 / kIconCell,
                             (u.y - kIconBoardOrigin - row * (kIconCell + 1.0)) * 64.0 / kIconCell};
            if (CellDistance(local) <= 0) {
                const double lum = BeadLuminance(local, 0.84, 0.6);
                const Color tint = kIconColours[kIconBoard[row][column]];
                // The gloss whitens the tint as it does on screen.
                const double white = 0.25 * lum * lum;
                out = Rgb(Clamp01(tint.r * lum + white), Clamp01(tint.g * lum + white), Clamp01(tint.b * lum + white));
            }
        }
        return out;
    });
}

GeneratedImage Make(const char* name, FileKind kind, Picture picture) {
    return {name, kind, ToBitmap(std::move(picture))};
}

} // namespace

std::vector<GeneratedImage> DrawAllImages() {
    std::vector<GeneratedImage> images;
    images.push_back(Make("Cell.tga", FileKind::Tga32, DrawCell()));
    images.push_back(Make("Spark.tga", FileKind::Tga32, DrawSpark()));
    images.push_back(Make("WinterForestTree.tga", FileKind::Tga32, DrawTree()));
    images.push_back(Make("Xlam.tga", FileKind::Tga32, DrawXlam()));
    images.push_back(Make("ErrorCell.tga", FileKind::Tga32, DrawErrorCell()));
    images.push_back(Make("CellClear.tga", FileKind::Tga32, DrawCellClear()));
    images.push_back(Make("Cursor.tga", FileKind::Tga32, DrawCursor()));
    images.push_back(Make("Smoke.tga", FileKind::Tga32, DrawSmoke()));
    images.push_back(Make("Light.tga", FileKind::Tga32, DrawLight()));
    images.push_back(Make("Logo.tga", FileKind::Tga32, DrawLogo()));
    images.push_back(Make("Back.bmp", FileKind::Bmp24, DrawBack()));
    images.push_back(Make("Moon.bmp", FileKind::Bmp24, DrawMoon()));
    images.push_back(Make("SelTex.bmp", FileKind::Bmp24, DrawSelTex()));
    images.push_back(Make("Msg.bmp", FileKind::Bmp24, DrawMsg()));
    images.push_back(Make("Snow.bmp", FileKind::Bmp24, DrawSnow()));
    return images;
}

std::vector<int> IconSizes() { return {16, 22, 24, 32, 48, 64, 128, 256}; }

Bitmap DrawIconBitmap(int size) { return ToBitmap(DrawIcon(size)); }

int WriteIcons(const std::filesystem::path& folder) {
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    int failures = 0;
    for (const int size : IconSizes()) {
        const std::vector<uint8_t> png = EncodePng(DrawIconBitmap(size));
        const std::string name = "nivora-" + std::to_string(size) + ".png";
        if (png.empty() || !WriteFile(folder / name, png)) ++failures;
    }
    return failures;
}

std::vector<uint8_t> EncodeImage(const GeneratedImage& image) {
    return image.kind == FileKind::Tga32 ? EncodeTga(image.pixels, 32) : EncodeBmp(image.pixels);
}

int WriteAllImages(const std::filesystem::path& folder) {
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    int failures = 0;
    for (const GeneratedImage& image : DrawAllImages()) {
        if (!WriteFile(folder / image.fileName, EncodeImage(image))) ++failures;
    }
    return failures;
}

} // namespace imagegen
