#include "TrophyArt.h"

#include <algorithm>

namespace AssetGen {

namespace {

const float kPi = 3.14159265f;

struct Metal {
    Vec3 tint;
    float roughness;  // widens the reflections
};

const Metal kGold{{1.00f, 0.77f, 0.34f}, 0.25f};
const Metal kSilver{{0.86f, 0.89f, 0.95f}, 0.18f};
const Metal kBronze{{0.80f, 0.50f, 0.28f}, 0.35f};

/// A studio environment: warm ceiling, soft boxes to the upper left and
/// right, a dark floor. Metal is mostly what it reflects.
Vec3 Environment(const Vec3& r, float roughness) {
    const float up = -r.y;
    Vec3 env = up > 0 ? Vec3(0.55f, 0.52f, 0.48f) + (Vec3(1.0f, 0.97f, 0.9f) - Vec3(0.55f, 0.52f, 0.48f)) * up
                      : Vec3(0.10f, 0.08f, 0.07f) + (Vec3(0.30f, 0.27f, 0.24f) - Vec3(0.10f, 0.08f, 0.07f)) * (1.f + up);
    // Horizon line gives metal its characteristic dark band.
    env = env * (0.55f + 0.45f * SmoothStep(0.f, 0.25f, std::fabs(up)));
    const float k = 1.f / (roughness * roughness * 0.6f + 0.02f);
    const Vec3 box1 = Vec3(-0.6f, -0.55f, 0.58f).Normalized(), box2 = Vec3(0.75f, -0.3f, 0.6f).Normalized();
    const float b1 = std::exp(-k * (1.f - std::max(0.f, r.Dot(box1)))) * 2.2f;
    const float b2 = std::exp(-k * (1.f - std::max(0.f, r.Dot(box2)))) * 0.9f;
    // Tall strip lights either side of the camera draw the vertical gleams
    // that make a cup read as polished metal.
    const float s1 = std::exp(-std::pow((r.x + 0.42f) / (0.07f + roughness * 0.1f), 2.f)) * (r.z > 0 ? 1.6f : 0.f);
    const float s2 = std::exp(-std::pow((r.x - 0.55f) / (0.05f + roughness * 0.1f), 2.f)) * (r.z > 0 ? 0.9f : 0.f);
    // What stands in front of the object: a soft, fairly bright room.
    const float front = 0.45f * std::max(0.f, r.z);
    return env + Vec3(b1, b1, b1 * 0.95f) + Vec3(b2 * 0.9f, b2 * 0.95f, b2) + Vec3(s1 + s2, s1 + s2, s1 + s2) +
           Vec3(front, front * 0.97f, front * 0.92f);
}

Vec3 ShadeMetal(const Metal& m, const Vec3& n, float occlusion) {
    const Vec3 v(0, 0, 1);
    const Vec3 r = n * (2.f * n.Dot(v)) - v;
    const Vec3 env = Environment(r, m.roughness);
    Vec3 c(m.tint.x * env.x, m.tint.y * env.y, m.tint.z * env.z);
    // A hot key highlight.
    const Vec3 h = (Vec3(-0.5f, -0.6f, 0.62f).Normalized() + v).Normalized();
    const float specular = std::pow(std::max(0.f, n.Dot(h)), 90.f) * 1.4f;
    return c * occlusion + Vec3(specular, specular, specular * 0.92f);
}

void Put(Canvas& c, int x, int y, const Vec3& col, float alpha) {
    if (!c.Inside(x, y) || alpha <= 0.f) return;
    RGBA src{Clamp01(col.x), Clamp01(col.y), Clamp01(col.z), Clamp01(alpha)};
    c.Blend(x, y, src);
}

/// A smooth profile through (y, r) keys, y increasing.
struct Profile {
    std::vector<std::pair<float, float>> keys;
    float R(float y) const {
        if (y <= keys.front().first) return keys.front().second;
        if (y >= keys.back().first) return keys.back().second;
        for (size_t i = 0; i + 1 < keys.size(); ++i) {
            const auto& a = keys[i];
            const auto& b = keys[i + 1];
            if (y <= b.first) {
                // Catmull-Rom through the neighbours keeps the slope continuous,
                // so the metal shows no false rings at the keys.
                const float p0 = i > 0 ? keys[i - 1].second : a.second;
                const float p3 = i + 2 < keys.size() ? keys[i + 2].second : b.second;
                const float t = (y - a.first) / (b.first - a.first);
                const float t2 = t * t, t3 = t2 * t;
                return 0.5f * (2.f * a.second + (-p0 + b.second) * t + (2.f * p0 - 5.f * a.second + 4.f * b.second - p3) * t2 +
                               (-p0 + 3.f * a.second - 3.f * b.second + p3) * t3);
            }
        }
        return keys.back().second;
    }
    float Top() const { return keys.front().first; }
    float Bottom() const { return keys.back().first; }
};

/// Draws a body of revolution about the vertical line x = cx.
void DrawLathe(Canvas& c, float cx, const Profile& p, const Metal& m) {
    for (int y = int(p.Top()); y <= int(p.Bottom()); ++y) {
        const float fy = y + 0.5f;
        const float r = p.R(fy);
        if (r <= 0.5f) continue;
        const float drdy = (p.R(fy + 0.5f) - p.R(fy - 0.5f));
        for (int x = int(cx - r - 2); x <= int(cx + r + 2); ++x) {
            const float dx = x + 0.5f - cx;
            const float cov = Clamp01(r - std::fabs(dx) + 0.5f);
            if (cov <= 0.f) continue;
            const float u = std::max(-1.f, std::min(1.f, dx / r));
            const float th = std::asin(u);
            const Vec3 n = Vec3(std::sin(th), -drdy, std::cos(th)).Normalized();
            Put(c, x, y, ShadeMetal(m, n, 1.f), cov);
        }
    }
}

/// The dark inside of an open cup, seen slightly from above.
void DrawOpening(Canvas& c, float cx, float y, float rx, float ry, const Metal& m) {
    for (int j = int(y - ry - 1); j <= int(y + ry + 1); ++j)
        for (int i = int(cx - rx - 1); i <= int(cx + rx + 1); ++i) {
            const float dx = (i + 0.5f - cx) / rx, dy = (j + 0.5f - y) / ry;
            const float d = dx * dx + dy * dy;
            if (d > 1.f) continue;
            const float depth = 0.18f + 0.5f * Clamp01(dy + 0.6f) * (1.f - d);
            Put(c, i, j, Vec3(m.tint.x, m.tint.y, m.tint.z) * depth, Clamp01((1.f - d) * rx));
        }
}

/// A round tube along a quadratic curve (a handle).
void DrawTube(Canvas& c, Vec3 p0, Vec3 p1, Vec3 p2, float radius, const Metal& m) {
    const int steps = 400;
    std::vector<Vec3> pts;
    for (int i = 0; i <= steps; ++i) {
        const float t = float(i) / steps, s = 1.f - t;
        pts.push_back(p0 * (s * s) + p1 * (2.f * s * t) + p2 * (t * t));
    }
    float minX = 1e9f, maxX = -1e9f, minY = 1e9f, maxY = -1e9f;
    for (const Vec3& q : pts) {
        minX = std::min(minX, q.x);
        maxX = std::max(maxX, q.x);
        minY = std::min(minY, q.y);
        maxY = std::max(maxY, q.y);
    }
    for (int y = int(minY - radius - 2); y <= int(maxY + radius + 2); ++y)
        for (int x = int(minX - radius - 2); x <= int(maxX + radius + 2); ++x) {
            const float px = x + 0.5f, py = y + 0.5f;
            float best = 1e9f, bx = 0, by = 0;
            for (const Vec3& q : pts) {
                const float d = (q.x - px) * (q.x - px) + (q.y - py) * (q.y - py);
                if (d < best) {
                    best = d;
                    bx = q.x;
                    by = q.y;
                }
            }
            const float d = std::sqrt(best);
            const float cov = Clamp01(radius - d + 0.5f);
            if (cov <= 0.f) continue;
            const float k = std::min(1.f, d / radius);
            const float ox = d > 0 ? (px - bx) / d : 0.f, oy = d > 0 ? (py - by) / d : 0.f;
            const Vec3 n = Vec3(ox * k, oy * k, std::sqrt(std::max(0.f, 1.f - k * k))).Normalized();
            Put(c, x, y, ShadeMetal(m, n, 1.f), cov);
        }
}

/// A dark green marble block with bevelled edges.
void DrawPlinth(Canvas& c, float x0, float y0, float x1, float y1) {
    for (int y = int(y0); y < int(y1); ++y)
        for (int x = int(x0); x < int(x1); ++x) {
            const float ex = std::min(x + 0.5f - x0, x1 - x - 0.5f), ey = std::min(y + 0.5f - y0, y1 - y - 0.5f);
            float nx = 0, ny = 0;
            const float bevel = 6.f;
            if (ex < bevel) nx = (x + 0.5f - x0 < x1 - x - 0.5f ? -1.f : 1.f) * (1.f - ex / bevel);
            if (ey < bevel) ny = (y + 0.5f - y0 < y1 - y - 0.5f ? -1.f : 1.f) * (1.f - ey / bevel);
            const Vec3 n = Vec3(nx * 0.8f, ny * 0.8f, 1.f).Normalized();
            const float v = Fbm(x / 40.f, y / 25.f, 301, 5);
            const float vein = 1.f - SmoothStep(0.f, 0.03f, std::fabs(v - 0.5f));
            Vec3 albedo = Vec3(0.06f, 0.13f, 0.10f) * (0.8f + 0.5f * Fbm(x / 12.f, y / 12.f, 307, 3)) +
                          Vec3(0.45f, 0.5f, 0.45f) * (vein * 0.6f);
            const Vec3 L = Vec3(-0.5f, -0.6f, 0.62f).Normalized();
            const float diff = std::max(0.f, n.Dot(L));
            const Vec3 h = (L + Vec3(0, 0, 1)).Normalized();
            const float specular = std::pow(std::max(0.f, n.Dot(h)), 40.f) * 0.5f;
            Put(c, x, y, albedo * (0.35f + 0.9f * diff) + Vec3(specular, specular, specular), 1.f);
        }
}

/// A gold plaque with engraved lines.
void DrawPlaque(Canvas& c, float x0, float y0, float x1, float y1) {
    for (int y = int(y0); y < int(y1); ++y)
        for (int x = int(x0); x < int(x1); ++x) {
            const float ex = std::min(x + 0.5f - x0, x1 - x - 0.5f), ey = std::min(y + 0.5f - y0, y1 - y - 0.5f);
            const float e = std::min(ex, ey);
            Vec3 n(0, 0, 1);
            if (e < 3.f) n = Vec3(x + 0.5f - (x0 + x1) / 2, y + 0.5f - (y0 + y1) / 2, 40.f).Normalized();
            float occl = 1.f;
            const float midY = (y0 + y1) / 2;
            if ((std::fabs(y + 0.5f - (midY - 4)) < 1.f || std::fabs(y + 0.5f - (midY + 5)) < 1.f) && ex > 14.f)
                occl = 0.45f;
            Put(c, x, y, ShadeMetal(kGold, n, occl), 1.f);
        }
}

/// A five-pointed star in relief.
void DrawStar(Canvas& c, float cx, float cy, float R, const Metal& m) {
    for (int y = int(cy - R - 2); y <= int(cy + R + 2); ++y)
        for (int x = int(cx - R - 2); x <= int(cx + R + 2); ++x) {
            const float dx = x + 0.5f - cx, dy = y + 0.5f - cy;
            const float a = std::atan2(dx, -dy);
            const float seg = 2.f * kPi / 5.f;
            float t = std::fmod(a + 2.f * kPi, seg) / seg;  // 0..1 per point
            const float edge = R * (0.45f + 0.55f * std::fabs(1.f - 2.f * t));
            const float d = std::sqrt(dx * dx + dy * dy);
            const float cov = Clamp01(edge - d + 0.5f);
            if (cov <= 0.f) continue;
            // Faceted ridges: each half of a point faces its own way.
            const float side = t < 0.5f ? -1.f : 1.f;
            const Vec3 n = Vec3(std::sin(a + side * 0.6f) * 0.6f, -std::cos(a + side * 0.6f) * 0.6f, 1.f).Normalized();
            Put(c, x, y, ShadeMetal(m, n, 1.f), cov);
        }
}

/// Trophy 13: a lidded gold cup with loop handles and a star on top.
Canvas MakeGrandTrophy() {
    Canvas c(300, 420);
    const float cx = 150.f;
    DrawPlinth(c, 60, 356, 240, 418);
    DrawPlaque(c, 100, 372, 200, 400);
    const Metal& g = kGold;
    // Handles behind the bowl's rim line.
    DrawTube(c, Vec3(cx - 62, 148, 0), Vec3(cx - 150, 150, 0), Vec3(cx - 48, 236, 0), 7.f, g);
    DrawTube(c, Vec3(cx + 62, 148, 0), Vec3(cx + 150, 150, 0), Vec3(cx + 48, 236, 0), 7.f, g);
    Profile body;
    body.keys = {{120, 76}, {126, 80}, {132, 74}, {170, 70}, {215, 54}, {245, 30}, {258, 16}, {270, 14},
                 {280, 22}, {288, 13}, {310, 11}, {322, 24}, {334, 46}, {344, 58}, {356, 62}};
    DrawLathe(c, cx, body, g);
    // The lid and its knob, then the star.
    Profile lid;
    lid.keys = {{72, 8}, {80, 14}, {92, 30}, {104, 52}, {114, 70}, {120, 74}};
    DrawLathe(c, cx, lid, g);
    DrawStar(c, cx, 48, 30, g);
    return c;
}

/// Trophy 12: a tall silver cup, open, with flat ear handles.
Canvas MakeSilverCup() {
    Canvas c(300, 420);
    const float cx = 150.f;
    DrawPlinth(c, 70, 360, 230, 418);
    DrawPlaque(c, 105, 374, 195, 402);
    const Metal& s = kSilver;
    DrawTube(c, Vec3(cx - 66, 90, 0), Vec3(cx - 128, 120, 0), Vec3(cx - 40, 200, 0), 6.f, s);
    DrawTube(c, Vec3(cx + 66, 90, 0), Vec3(cx + 128, 120, 0), Vec3(cx + 40, 200, 0), 6.f, s);
    Profile body;
    body.keys = {{70, 72}, {76, 68}, {120, 62}, {180, 48}, {220, 26}, {236, 14}, {248, 18}, {256, 12},
                 {300, 10}, {318, 26}, {336, 48}, {350, 56}, {360, 58}};
    DrawLathe(c, cx, body, s);
    DrawOpening(c, cx, 72, 70, 12, s);
    return c;
}

/// A medal: a disc with a raised rim and a star.
Canvas MakeMedal(const Metal& m) {
    Canvas c(96, 96);
    const float cx = 48, cy = 48, R = 44;
    for (int y = 0; y < 96; ++y)
        for (int x = 0; x < 96; ++x) {
            const float dx = x + 0.5f - cx, dy = y + 0.5f - cy, d = std::sqrt(dx * dx + dy * dy);
            const float cov = Clamp01(R - d + 0.5f);
            if (cov <= 0.f) continue;
            Vec3 n(0, 0, 1);
            if (d > R - 7.f) {  // the rounded rim
                const float k = (d - (R - 3.5f)) / 3.5f;
                n = Vec3(dx / d * k, dy / d * k, std::sqrt(std::max(0.f, 1.f - k * k))).Normalized();
            }
            Put(c, x, y, ShadeMetal(m, n, d > R - 9.f && d < R - 7.f ? 0.6f : 1.f), cov);
        }
    DrawStar(c, cx, cy, 24, m);
    return c;
}

void Dilate(Canvas& c) {
    for (int pass = 0; pass < 6; ++pass) {
        Canvas prev = c;
        for (int y = 0; y < c.H(); ++y)
            for (int x = 0; x < c.W(); ++x) {
                if (prev.At(x, y).a > 0.f) continue;
                float r = 0, g = 0, b = 0, n = 0;
                const int dx[4] = {1, -1, 0, 0}, dy[4] = {0, 0, 1, -1};
                for (int k = 0; k < 4; ++k) {
                    const int nx = x + dx[k], ny = y + dy[k];
                    if (!prev.Inside(nx, ny) || prev.At(nx, ny).a <= 0.f) continue;
                    r += prev.At(nx, ny).r;
                    g += prev.At(nx, ny).g;
                    b += prev.At(nx, ny).b;
                    n += 1;
                }
                if (n > 0) c.At(x, y) = RGBA{r / n, g / n, b / n, 1e-6f};
            }
    }
    for (int y = 0; y < c.H(); ++y)
        for (int x = 0; x < c.W(); ++x)
            if (c.At(x, y).a < 1e-3f) c.At(x, y).a = 0.f;
}

}  // namespace

void MakeTrophySheet(Canvas& sheet, std::vector<SpriteRect>& sprites) {
    sheet = Canvas(1024, 512);
    sprites.assign(14, SpriteRect{0, 0, 0, 0, 0, 0});
    sprites[0] = {0, 0, 1024, 512, 512, 256};
    const Canvas silver = MakeSilverCup(), grand = MakeGrandTrophy();
    sheet.Paste(silver, 8, 8);
    sheet.Paste(grand, 320, 8);
    sprites[12] = {8, 8, 300, 420, 150, 210};
    sprites[13] = {320, 8, 300, 420, 150, 210};
    const Metal* metals[3] = {&kGold, &kSilver, &kBronze};
    for (int i = 1; i <= 11; ++i) {
        const int k = i - 1;
        const int x = 640 + (k % 3) * 112, y = 8 + (k / 3) * 112;
        sheet.Paste(MakeMedal(*metals[k % 3]), x, y);
        sprites[i] = {x, y, 96, 96, 48, 48};
    }
    Dilate(sheet);
}

}  // namespace AssetGen
