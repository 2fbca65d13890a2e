#include "ParticleArt.h"

#include <algorithm>

namespace AssetGen {

namespace {

const float kPi = 3.14159265f;

void SetWhite(Canvas& c, int x, int y, float alpha) {
    RGBA& p = c.At(x, y);
    p = RGBA{1.f, 1.f, 1.f, std::max(p.a, Clamp01(alpha))};
}

Canvas MakeGlow(int size) {
    Canvas c(size, size);
    const float h = size * 0.5f;
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x) {
            const float d = std::hypot(x + 0.5f - h, y + 0.5f - h) / h;
            // A bright core in a wide halo, reaching zero before the edge.
            const float a = (std::exp(-d * d * 9.f) * 0.7f + std::exp(-d * d * 2.5f) * 0.3f) * (1.f - SmoothStep(0.85f, 1.f, d));
            SetWhite(c, x, y, a);
        }
    return c;
}

Canvas MakeSparkle(int size) {
    Canvas c(size, size);
    const float h = size * 0.5f;
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x) {
            const float dx = (x + 0.5f - h) / h, dy = (y + 0.5f - h) / h;
            const float d = std::hypot(dx, dy);
            // Four long rays and four short diagonal ones around a hot centre.
            const float ray1 = std::exp(-std::fabs(dx) * 40.f) + std::exp(-std::fabs(dy) * 40.f);
            const float ray2 = std::exp(-std::fabs(dx - dy) * 30.f) + std::exp(-std::fabs(dx + dy) * 30.f);
            const float a = std::exp(-d * d * 30.f) + ray1 * (1.f - d) * 0.8f + ray2 * std::max(0.f, 0.6f - d) * 0.6f;
            SetWhite(c, x, y, a * (1.f - SmoothStep(0.8f, 1.f, d)));
        }
    return c;
}

Canvas MakeRing(int size) {
    Canvas c(size, size);
    const float h = size * 0.5f;
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x) {
            const float d = std::hypot(x + 0.5f - h, y + 0.5f - h) / h;
            const float a = std::exp(-std::pow((d - 0.8f) / 0.06f, 2.f)) + 0.25f * std::exp(-std::pow((d - 0.72f) / 0.15f, 2.f));
            SetWhite(c, x, y, a * (1.f - SmoothStep(0.92f, 1.f, d)));
        }
    return c;
}

/// A vertical streak: its long axis is the sprite's up, the direction a
/// particle turned to its motion points to.
Canvas MakeStreak(int w, int h) {
    Canvas c(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const float u = (x + 0.5f) / w * 2.f - 1.f, v = (y + 0.5f) / h * 2.f - 1.f;
            const float a = std::exp(-u * u * 12.f) * std::pow(std::max(0.f, 1.f - v * v), 1.5f);
            SetWhite(c, x, y, a);
        }
    return c;
}

/// A scarab seen from above: head, pronotum, wing cases, six legs; a
/// blue-green shell with golden edges.
Canvas MakeScarab(int size) {
    Canvas c(size, size);
    const float h = size * 0.5f;
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x) {
            const float px = (x + 0.5f - h) / h, py = (y + 0.5f - h) / h;  // -1..1, head up
            float a = 0.f;
            Vec3 col(0.1f, 0.1f, 0.1f);
            Vec3 n(0, 0, 1);
            // Legs: thin angled lines.
            for (int side = -1; side <= 1; side += 2)
                for (int k = 0; k < 3; ++k) {
                    const float ly = -0.15f + 0.28f * k, ang = (k - 1) * 0.5f;
                    const float lx = side * (0.3f + 0.3f * std::cos(ang));
                    const float ex = side * 0.88f, ey = ly + 0.45f * std::sin(ang) + 0.1f * (k - 1);
                    // Distance to the segment (lx, ly) -> (ex, ey).
                    const float vx = ex - lx, vy = ey - ly, wx = px - lx, wy = py - ly;
                    const float t = Clamp01((wx * vx + wy * vy) / (vx * vx + vy * vy));
                    const float d = std::hypot(wx - vx * t, wy - vy * t);
                    const float la = Clamp01((0.035f - d) * h);
                    if (la > a) {
                        a = la;
                        col = Vec3(0.35f, 0.25f, 0.08f);
                    }
                }
            // Body parts as ellipses: head, pronotum, elytra.
            struct Part {
                float cx, cy, rx, ry;
            };
            const Part parts[3] = {{0.f, -0.72f, 0.2f, 0.14f}, {0.f, -0.38f, 0.36f, 0.24f}, {0.f, 0.22f, 0.42f, 0.5f}};
            for (const Part& p : parts) {
                const float ex = (px - p.cx) / p.rx, ey = (py - p.cy) / p.ry;
                const float d = ex * ex + ey * ey;
                if (d < 1.f) {
                    const float k = std::sqrt(d);
                    n = Vec3(ex * 0.7f, ey * 0.7f, std::sqrt(std::max(0.05f, 1.f - d))).Normalized();
                    const Vec3 L = Vec3(-0.4f, -0.6f, 0.7f).Normalized();
                    const float diff = std::max(0.f, n.Dot(L));
                    const Vec3 hv = (L + Vec3(0, 0, 1)).Normalized();
                    const float specular = std::pow(std::max(0.f, n.Dot(hv)), 30.f);
                    // Iridescence: the shell shifts from blue-green to gold at the rim.
                    const Vec3 shell = Vec3(0.05f, 0.45f, 0.5f) + (Vec3(0.9f, 0.7f, 0.2f) - Vec3(0.05f, 0.45f, 0.5f)) * SmoothStep(0.6f, 1.f, k);
                    col = shell * (0.35f + 0.8f * diff) + Vec3(specular, specular, specular * 0.8f);
                    // The suture between the wing cases.
                    if (&p == &parts[2] && std::fabs(px) < 0.02f) col = col * 0.3f;
                    a = std::max(a, Clamp01((1.f - d) * h * 0.3f));
                }
            }
            if (a > 0.f) c.At(x, y) = RGBA{Clamp01(col.x), Clamp01(col.y), Clamp01(col.z), a};
        }
    return c;
}

Canvas MakeSmoke(int size) {
    Canvas c(size, size);
    const float h = size * 0.5f;
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x) {
            const float d = std::hypot(x + 0.5f - h, y + 0.5f - h) / h;
            const float n = Fbm(x / 18.f, y / 18.f, 909, 5);
            const float a = Clamp01((n - 0.3f) * 2.f) * (1.f - SmoothStep(0.3f, 1.f, d));
            SetWhite(c, x, y, a * 0.8f);
        }
    return c;
}

/// A sharp triangular shard for bursts.
Canvas MakeShard(int w, int h) {
    Canvas c(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const float v = (y + 0.5f) / h;  // 0 tip .. 1 base
            const float half = 0.5f * w * v;
            const float d = std::fabs(x + 0.5f - 0.5f * w);
            const float a = Clamp01(half - d + 0.5f) * (0.4f + 0.6f * v);
            SetWhite(c, x, y, a);
        }
    return c;
}

// Glyphs: strokes on a 16 x 16 design grid, our own set of temple signs.
struct Stroke {
    std::vector<std::pair<float, float>> pts;
    bool closed = false;
};

std::vector<std::vector<Stroke>> GlyphDesigns() {
    auto circle = [](float cx, float cy, float r) {
        Stroke s;
        for (int i = 0; i < 24; ++i) s.pts.push_back({cx + r * std::cos(i * kPi / 12), cy + r * std::sin(i * kPi / 12)});
        s.closed = true;
        return s;
    };
    auto line = [](std::initializer_list<std::pair<float, float>> pts) {
        Stroke s;
        s.pts = pts;
        return s;
    };
    std::vector<std::vector<Stroke>> g;
    g.push_back({circle(8, 4.5f, 2.6f), line({{8, 7}, {8, 15}}), line({{4, 9}, {12, 9}})});               // life loop
    g.push_back({line({{2, 8}, {5, 5}, {11, 5}, {14, 8}, {11, 11}, {5, 11}, {2, 8}}), circle(8, 8, 1.7f),
                 line({{7, 11}, {6, 15}}), line({{10, 11}, {13, 14}, {14, 12}})});                          // eye
    g.push_back({line({{2, 6}, {4, 4}, {6, 6}, {8, 4}, {10, 6}, {12, 4}, {14, 6}}),
                 line({{2, 11}, {4, 9}, {6, 11}, {8, 9}, {10, 11}, {12, 9}, {14, 11}})});                   // water
    g.push_back({circle(8, 8, 4.f), circle(8, 8, 1.f)});                                                       // sun
    g.push_back({line({{8, 2}, {8, 15}}), line({{8, 4}, {11, 2}}), line({{8, 7}, {11, 5}}), line({{8, 10}, {11, 8}}),
                 line({{8, 5}, {5, 3}}), line({{8, 8}, {5, 6}})});                                          // reed
    g.push_back({line({{3, 14}, {8, 2}, {13, 14}, {3, 14}})});                                                 // pyramid
    g.push_back({line({{5, 2}, {11, 2}}), line({{8, 2}, {8, 14}}), line({{4, 14}, {12, 14}}), line({{5, 6}, {11, 6}})});  // pillar
    g.push_back({line({{3, 12}, {6, 4}, {9, 12}, {12, 4}}), line({{2, 14}, {14, 14}})});                       // hills
    g.push_back({circle(8, 6, 3.f), line({{5, 9}, {3, 14}}), line({{11, 9}, {13, 14}}), line({{8, 9}, {8, 14}})});  // scarab sign
    g.push_back({line({{4, 3}, {12, 3}, {12, 13}, {4, 13}, {4, 3}}), line({{4, 8}, {12, 8}})});                // house
    g.push_back({line({{8, 2}, {13, 8}, {8, 14}, {3, 8}, {8, 2}}), circle(8, 8, 1.5f)});                       // diamond
    g.push_back({line({{3, 4}, {13, 4}}), line({{5, 4}, {5, 14}}), line({{11, 4}, {11, 14}}), line({{3, 14}, {13, 14}})});  // gate
    g.push_back({line({{4, 14}, {4, 6}, {8, 2}, {12, 6}, {12, 14}}), line({{8, 7}, {8, 11}})});                 // shrine
    g.push_back({line({{8, 2}, {9, 6}, {13, 6}, {10, 9}, {11, 13}, {8, 11}, {5, 13}, {6, 9}, {3, 6}, {7, 6}, {8, 2}})});  // star
    g.push_back({line({{3, 8}, {13, 8}}), line({{10, 5}, {13, 8}, {10, 11}}), circle(4.5f, 8, 1.5f)});         // arrow
    g.push_back({line({{8, 2}, {8, 14}}), line({{4, 5}, {8, 8}, {12, 5}}), line({{4, 11}, {8, 14}, {12, 11}})}); // feather
    return g;
}

Canvas MakeGlyph(const std::vector<Stroke>& strokes, int size) {
    Canvas c(size, size);
    const float scale = size / 16.f, width = 1.1f * scale;
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x) {
            const float px = (x + 0.5f) / scale, py = (y + 0.5f) / scale;
            float best = 1e9f;
            for (const Stroke& s : strokes) {
                const size_t n = s.pts.size();
                for (size_t i = 0; i + 1 < n + (s.closed ? 1 : 0); ++i) {
                    const auto& a = s.pts[i];
                    const auto& b = s.pts[(i + 1) % n];
                    const float vx = b.first - a.first, vy = b.second - a.second;
                    const float wx = px - a.first, wy = py - a.second;
                    const float len2 = vx * vx + vy * vy;
                    const float t = len2 > 0 ? Clamp01((wx * vx + wy * vy) / len2) : 0.f;
                    best = std::min(best, std::hypot(wx - vx * t, wy - vy * t));
                }
            }
            const float d = best * scale;
            // A crisp stroke with a faint glow around it.
            const float a = Clamp01(width * 0.5f - d + 0.5f) + 0.35f * std::exp(-d * d / (width * width * 1.5f));
            SetWhite(c, x, y, a);
        }
    return c;
}

/// The brightness of a white-on-alpha sprite as an opaque grey image.
Canvas AsMask(const Canvas& src) {
    Canvas c(src.W(), src.H());
    for (int y = 0; y < src.H(); ++y)
        for (int x = 0; x < src.W(); ++x) {
            const float v = src.At(x, y).a;
            c.At(x, y) = RGBA{v, v, v, 1.f};
        }
    return c;
}

}  // namespace

void MakeParticleSheet(Canvas& sheet, std::vector<SpriteRect>& sprites) {
    sheet = Canvas(1024, 512);
    sprites.assign(kSpriteSunMask + 1, SpriteRect{0, 0, 0, 0, 0, 0});
    sprites[0] = {0, 0, 1024, 512, 512, 256};
    auto place = [&](int id, const Canvas& c, int x, int y) {
        sheet.Paste(c, x, y);
        sprites[id] = {x, y, c.W(), c.H(), c.W() / 2, c.H() / 2};
    };
    place(kSpriteGlow, MakeGlow(128), 4, 4);
    place(kSpriteSparkle, MakeSparkle(128), 140, 4);
    place(kSpriteRing, MakeRing(128), 276, 4);
    place(kSpriteStreak, MakeStreak(32, 128), 412, 4);
    place(kSpriteDot, MakeGlow(32), 452, 4);
    place(kSpriteScarab, MakeScarab(96), 548, 4);
    place(kSpriteSmoke, MakeSmoke(128), 652, 4);
    place(kSpriteShard, MakeShard(24, 64), 788, 4);
    const auto designs = GlyphDesigns();
    place(kSpriteSunMask, AsMask(MakeGlyph(designs[3], 128)), 820, 4);
    for (int i = 0; i < kGlyphCount; ++i)
        place(kSpriteGlyphFirst + i, MakeGlyph(designs[size_t(i)], 64), 4 + (i % 8) * 72, 144 + (i / 8) * 72);
}

}  // namespace AssetGen
