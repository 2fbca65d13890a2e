#include "TempleArt.h"

#include <algorithm>

namespace AssetGen {

namespace {

const float kPi = 3.14159265f;
// Light from the upper left, in front of the columns (y down, z to the viewer).
const Vec3 kLight = Vec3(-0.55f, -0.45f, 0.70f).Normalized();

/// Warm limestone with cloudy variation, pits and faint veins. (s, t) are
/// surface coordinates in pixels so the grain wraps around a drum evenly.
Vec3 StoneAlbedo(float s, float t, int seed) {
    const float cloud = Fbm(s / 70.f, t / 70.f, seed);
    const float grain = Fbm(s / 6.f, t / 6.f, seed + 7, 3);
    const float streak = Fbm(s / 30.f, t / 160.f, seed + 13, 4);
    Vec3 light(0.86f, 0.79f, 0.66f), dark(0.66f, 0.58f, 0.47f);
    Vec3 c = dark + (light - dark) * SmoothStep(0.25f, 0.75f, cloud);
    c = c * (0.88f + 0.18f * grain) * (0.93f + 0.10f * streak);
    // Small dark pits where the fine noise dips.
    const float pit = ValueNoise(s / 2.3f, t / 2.3f, seed + 29);
    if (pit < 0.06f) c = c * (0.75f + 2.f * pit);
    // Hairline veins along iso-lines of a slow noise.
    const float v = Fbm(s / 55.f, t / 40.f, seed + 41, 4);
    const float vein = 1.f - SmoothStep(0.f, 0.006f, std::fabs(v - 0.5f));
    c = c * (1.f - 0.10f * vein);
    return c;
}

/// Lambert with a little wrap and ambient; stone barely shines.
Vec3 Shade(const Vec3& albedo, const Vec3& n, float occlusion) {
    const float diff = std::max(0.f, n.Dot(kLight));
    const float wrap = std::max(0.f, (n.Dot(kLight) + 0.35f) / 1.35f);
    const float light = 0.18f + 0.62f * diff + 0.25f * wrap;
    const Vec3 h = (kLight + Vec3(0, 0, 1)).Normalized();
    const float specular = std::pow(std::max(0.f, n.Dot(h)), 24.f) * 0.10f;
    return albedo * (light * occlusion) + Vec3(specular, specular, specular * 0.9f);
}

void Put(Canvas& c, int x, int y, const Vec3& col, float alpha) {
    RGBA& p = c.At(x, y);
    p.r = Clamp01(col.x);
    p.g = Clamp01(col.y);
    p.b = Clamp01(col.z);
    p.a = Clamp01(alpha);
}

/// Normal of a surface of revolution with radius r(y) and slope dr/dy, at the
/// angle whose sine is u, tilted around the axis by alpha (for flutes).
Vec3 RevolutionNormal(float u, float drdy, float alpha) {
    const float theta = std::asin(std::max(-1.f, std::min(1.f, u))) + alpha;
    return Vec3(std::sin(theta), -drdy, std::cos(theta)).Normalized();
}

/// Flute tilt and occlusion at angle theta: concave channels with narrow flat
/// fillets between them, 20 around the drum.
void Flute(float theta, float strength, float& tilt, float& occl) {
    const float flutes = 20.f;
    float t = theta * flutes / (2.f * kPi) + 0.5f;
    t -= std::floor(t);
    const float fillet = 0.08f;
    if (t < fillet || t > 1.f - fillet) {
        tilt = 0.f;
        occl = 1.f;
        return;
    }
    const float g = (t - fillet) / (1.f - 2.f * fillet);  // 0..1 across the channel
    tilt = strength * 0.75f * (1.f - 2.f * g);
    occl = 1.f - strength * 0.22f * std::sin(g * kPi);
}

/// Draws a cylinder-like piece of constant width with optional flutes over
/// rows [fluteTop, fluteBottom) and horizontal rings (annulets) elsewhere.
void DrawDrum(Canvas& c, int seed, float fluteTop, float fluteBottom, const std::vector<float>& ringRows,
              float jointTop, float jointBottom) {
    const float R = c.W() * 0.5f;
    for (int y = 0; y < c.H(); ++y) {
        for (int x = 0; x < c.W(); ++x) {
            const float dx = x + 0.5f - R;
            const float u = dx / R;
            const float coverage = Clamp01(R - std::fabs(dx) + 0.5f);
            if (coverage <= 0.f) continue;
            const float theta = std::asin(std::max(-1.f, std::min(1.f, u)));
            float tilt = 0.f, occl = 1.f, drdy = 0.f;
            const float fy = y + 0.5f;
            if (fy >= fluteTop && fy < fluteBottom) {
                // Flutes fade out towards their rounded ends.
                const float endFade = SmoothStep(fluteTop, fluteTop + 10.f, fy) *
                                      (1.f - SmoothStep(fluteBottom - 10.f, fluteBottom, fy));
                Flute(theta, endFade, tilt, occl);
            }
            for (float ring : ringRows) {
                // A half-round ring: normal turns up above its centre, down below.
                const float d = (fy - ring) / 3.5f;
                if (std::fabs(d) < 1.f) {
                    drdy = -d / std::sqrt(std::max(0.05f, 1.f - d * d)) * 0.8f;
                    occl = std::min(occl, 0.9f + 0.1f * (1.f - std::fabs(d)));
                } else if (std::fabs(d) < 1.6f) {
                    occl = std::min(occl, 0.72f + 0.28f * (std::fabs(d) - 1.f) / 0.6f);
                }
            }
            // Drum joints: a dark seam and a slight chamfer.
            float joint = 1.f;
            if (jointTop >= 0.f) joint = std::min(joint, 0.55f + 0.45f * SmoothStep(0.f, 2.5f, fy - jointTop));
            if (jointBottom >= 0.f)
                joint = std::min(joint, 0.55f + 0.45f * SmoothStep(0.f, 2.5f, jointBottom - fy));
            const Vec3 n = RevolutionNormal(u, drdy, tilt);
            const Vec3 albedo = StoneAlbedo((theta + kPi) * R, fy, seed);
            // Limb darkening: the drum turns away at its sides.
            const float limb = 0.75f + 0.25f * std::sqrt(std::max(0.f, 1.f - u * u));
            Put(c, x, y, Shade(albedo, n, occl * joint * limb), coverage);
        }
    }
}

Canvas MakeShaft() {
    Canvas c(kShaftW, kShaftH);
    // Fluted over the whole drum; the joint sits on the top edge so that
    // stacked drums show one seam each.
    DrawDrum(c, 11, -20.f, kShaftH + 20.f, {}, 0.f, -1.f);
    return c;
}

Canvas MakeNeck() {
    Canvas c(kNeckW, kNeckH);
    // Three annulets under the capital, a groove, then the flutes run on
    // into the shaft below.
    DrawDrum(c, 23, 44.f, kNeckH + 20.f, {9.f, 18.f, 27.f, 38.f}, -1.f, -1.f);
    return c;
}

/// Profile of the base: plinth, lower torus, scotia, upper torus, fillet.
/// Returns the half width at row y and its slope.
void BaseProfile(float y, float& r, float& drdy, bool& square) {
    const float H = float(kBaseH);
    square = false;
    if (y > H - 24.f) {  // plinth
        r = kBaseW * 0.5f;
        drdy = 0.f;
        square = true;
        return;
    }
    struct Torus {
        float top, bottom, rIn, rOut;
    };
    const Torus lower{H - 44.f, H - 24.f, 128.f, 141.f};
    const Torus upper{8.f, 24.f, 133.f, 139.f};
    auto torus = [&](const Torus& t, float yy, float& rr, float& dd) {
        const float c = (t.top + t.bottom) * 0.5f, h = (t.bottom - t.top) * 0.5f;
        const float d = (yy - c) / h;
        const float k = std::sqrt(std::max(0.f, 1.f - d * d));
        rr = t.rIn + (t.rOut - t.rIn) * k;
        dd = -(t.rOut - t.rIn) * d / (std::max(0.08f, k) * h);
    };
    if (y >= lower.top) {
        torus(lower, y, r, drdy);
    } else if (y >= upper.bottom) {  // scotia: a concave waist
        const float d = (y - upper.bottom) / (lower.top - upper.bottom);
        r = 124.f + 8.f * std::fabs(2.f * d - 1.f);
        drdy = 8.f * (d < 0.5f ? -2.f : 2.f) / (lower.top - upper.bottom);
    } else if (y >= upper.top) {
        torus(upper, y, r, drdy);
    } else {  // fillet meeting the shaft
        r = 133.f;
        drdy = 0.f;
    }
}

Canvas MakeBase() {
    Canvas c(kBaseW, kBaseH);
    const float cx = kBaseW * 0.5f;
    for (int y = 0; y < kBaseH; ++y) {
        const float fy = y + 0.5f;
        float r, drdy;
        bool square;
        BaseProfile(fy, r, drdy, square);
        for (int x = 0; x < kBaseW; ++x) {
            const float dx = x + 0.5f - cx;
            const float coverage = Clamp01(r - std::fabs(dx) + 0.5f);
            if (coverage <= 0.f) continue;
            Vec3 n;
            float occl = 1.f;
            if (square) {
                // Front face of the plinth with rounded vertical edges.
                const float e = SmoothStep(r - 6.f, r, std::fabs(dx));
                n = Vec3(dx < 0 ? -e : e, 0.f, 1.f).Normalized();
                if (fy < kBaseH - 21.f) occl = 0.8f;  // shadow under the torus
            } else {
                n = RevolutionNormal(dx / r, drdy, 0.f);
                if (fy > kBaseH - 50.f && fy < kBaseH - 42.f) occl = 0.85f;
            }
            const float u = dx / cx;
            const float limb = square ? 1.f : 0.8f + 0.2f * std::sqrt(std::max(0.f, 1.f - u * u));
            const Vec3 albedo = StoneAlbedo(dx + 400.f, fy * 1.3f, 37);
            Put(c, x, y, Shade(albedo, n, occl * limb), coverage);
        }
    }
    return c;
}

Canvas MakeCapital() {
    Canvas c(kCapW, kCapH);
    const float cx = kCapW * 0.5f;
    const float abacusBottom = 58.f;  // slab above, echinus below
    for (int y = 0; y < kCapH; ++y) {
        const float fy = y + 0.5f;
        for (int x = 0; x < kCapW; ++x) {
            const float dx = x + 0.5f - cx;
            Vec3 n;
            float occl = 1.f, coverage;
            if (fy < abacusBottom) {
                // The abacus: a square slab, bevelled top edge, a fascia band.
                const float r = cx - 1.f;
                coverage = Clamp01(r - std::fabs(dx) + 0.5f);
                const float e = SmoothStep(r - 5.f, r, std::fabs(dx));
                float ny = 0.f;
                if (fy < 5.f) ny = -0.8f;                      // bevel catching the light
                if (fy > abacusBottom - 5.f) ny = 0.6f;        // lower arris turning away
                if (fy > 16.f && fy < 19.f) occl = 0.7f;       // incised line of the fascia
                n = Vec3(dx < 0 ? -e : e, ny, 1.f).Normalized();
            } else {
                // The echinus: a cushion flaring from the neck up to the slab.
                const float t = (fy - abacusBottom) / (kCapH - abacusBottom);  // 0 top .. 1 bottom
                const float r = 133.f + 40.f * std::pow(1.f - t, 1.6f);
                const float drdy = -40.f * 1.6f * std::pow(std::max(0.001f, 1.f - t), 0.6f) / (kCapH - abacusBottom);
                coverage = Clamp01(r - std::fabs(dx) + 0.5f);
                n = RevolutionNormal(dx / r, drdy, 0.f);
                occl = 0.75f + 0.25f * t;  // shade under the slab
                const float u = dx / r;
                occl *= 0.8f + 0.2f * std::sqrt(std::max(0.f, 1.f - u * u));
            }
            if (coverage <= 0.f) continue;
            const Vec3 albedo = StoneAlbedo(dx + 800.f, fy, 53);
            Put(c, x, y, Shade(albedo, n, occl), coverage);
        }
    }
    return c;
}

/// Ashlar wall: courses of blocks with mortar joints.
Canvas MakeWall(int w, int h) {
    Canvas c(w, h);
    const int courseH = 32;
    for (int y = 0; y < h; ++y) {
        const int course = y / courseH;
        const int blockW = 64;
        const int shift = (course % 2) * blockW / 2;
        for (int x = 0; x < w; ++x) {
            const int bx = (x + shift) % blockW, by = y % courseH;
            const float edge = float(std::min(std::min(bx, blockW - 1 - bx), std::min(by, courseH - 1 - by)));
            const float mortar = SmoothStep(0.f, 2.5f, edge);
            const int block = (x + shift) / blockW + course * 97;
            const float tint = 0.9f + 0.2f * Hash2(block, course, 71);
            Vec3 albedo = StoneAlbedo(float(x), float(y), 61) * tint;
            const Vec3 n = Vec3(bx < 3 ? -0.5f : (bx > blockW - 4 ? 0.5f : 0.f),
                                by < 3 ? -0.5f : (by > courseH - 4 ? 0.5f : 0.f), 1.f)
                               .Normalized();
            Put(c, x, y, Shade(albedo, n, 0.55f + 0.45f * mortar), 1.f);
        }
    }
    return c;
}

/// Spreads the colour of opaque pixels into transparent ones so that
/// filtering and mipmaps never pull in black fringes.
void Dilate(Canvas& c) {
    for (int pass = 0; pass < 8; ++pass) {
        Canvas prev = c;
        for (int y = 0; y < c.H(); ++y)
            for (int x = 0; x < c.W(); ++x) {
                if (prev.At(x, y).a > 0.f) continue;
                float r = 0, g = 0, b = 0, n = 0;
                const int dx[4] = {1, -1, 0, 0}, dy[4] = {0, 0, 1, -1};
                for (int k = 0; k < 4; ++k) {
                    const int nx = x + dx[k], ny = y + dy[k];
                    if (!prev.Inside(nx, ny) || prev.At(nx, ny).a <= 0.f) continue;
                    // A fully transparent neighbour carries dilated colour; treat it as weaker.
                    r += prev.At(nx, ny).r;
                    g += prev.At(nx, ny).g;
                    b += prev.At(nx, ny).b;
                    n += 1;
                }
                if (n > 0) {
                    RGBA& p = c.At(x, y);
                    p.r = r / n;
                    p.g = g / n;
                    p.b = b / n;
                    p.a = 1e-6f;  // marks it as filled for the next pass
                }
            }
    }
    for (int y = 0; y < c.H(); ++y)
        for (int x = 0; x < c.W(); ++x)
            if (c.At(x, y).a < 1e-3f) c.At(x, y).a = 0.f;
}

}  // namespace

void MakeTempleSheet(Canvas& sheet, std::vector<SpriteRect>& sprites) {
    sheet = Canvas(1024, 512);
    sprites.clear();
    sprites.push_back({0, 0, 1024, 512, 512, 256});  // sprite 0: the whole sheet

    const Canvas cap = MakeCapital(), shaft = MakeShaft(), neck = MakeNeck(), base = MakeBase();
    const Canvas wall = MakeWall(1024, 256);
    // Pieces on the top half with gaps for mipmapping; tiles below.
    const SpriteRect capR{8, 8, kCapW, kCapH, 0, 0};
    const SpriteRect shaftR{384, 8, kShaftW, kShaftH, 0, 0};
    const SpriteRect neckR{672, 8, kNeckW, kNeckH, 0, 0};
    const SpriteRect baseR{8, 168, kBaseW, kBaseH, 0, 0};
    sheet.Paste(cap, capR.x, capR.y);
    sheet.Paste(shaft, shaftR.x, shaftR.y);
    sheet.Paste(neck, neckR.x, neckR.y);
    sheet.Paste(base, baseR.x, baseR.y);
    sheet.Paste(wall, 0, 256);
    Dilate(sheet);

    // Sprite 1: the wall field; 2, 3, 4: base, shaft, neck; 5..170: wall
    // tiles; 171: the capital.
    sprites.push_back({0, 256, 1024, 256, 0, 0});
    sprites.push_back(baseR);
    sprites.push_back(shaftR);
    sprites.push_back(neckR);
    for (int i = 5; i <= 170; ++i) {
        const int k = i - 5;  // 166 tiles of 32 x 32 over the wall field
        sprites.push_back({(k % 32) * 32, 256 + (k / 32) * 32, 32, 32, 16, 16});
    }
    sprites.push_back(capR);
}

}  // namespace AssetGen
