// Float RGBA canvases and the deterministic noise the art is made of.
// Colours are straight (not premultiplied), components in 0..1.
#pragma once

#include <cmath>
#include <cstdint>
#include <vector>

namespace AssetGen {

struct RGBA {
    float r = 0, g = 0, b = 0, a = 0;
};

inline float Clamp01(float v) { return v < 0.f ? 0.f : (v > 1.f ? 1.f : v); }
inline float Lerp(float a, float b, float t) { return a + (b - a) * t; }
inline float SmoothStep(float e0, float e1, float x) {
    float t = Clamp01((x - e0) / (e1 - e0));
    return t * t * (3.f - 2.f * t);
}

struct Vec3 {
    float x = 0, y = 0, z = 0;
    Vec3() = default;
    Vec3(float px, float py, float pz) : x(px), y(py), z(pz) {}
    Vec3 operator+(const Vec3& o) const { return {x + o.x, y + o.y, z + o.z}; }
    Vec3 operator-(const Vec3& o) const { return {x - o.x, y - o.y, z - o.z}; }
    Vec3 operator*(float s) const { return {x * s, y * s, z * s}; }
    float Dot(const Vec3& o) const { return x * o.x + y * o.y + z * o.z; }
    Vec3 Normalized() const {
        float l = std::sqrt(x * x + y * y + z * z);
        return l > 0 ? Vec3(x / l, y / l, z / l) : *this;
    }
};

class Canvas {
public:
    Canvas() = default;
    Canvas(int w, int h) : m_W(w), m_H(h), m_Pixels(size_t(w) * size_t(h)) {}
    int W() const { return m_W; }
    int H() const { return m_H; }
    RGBA& At(int x, int y) { return m_Pixels[size_t(y) * size_t(m_W) + size_t(x)]; }
    const RGBA& At(int x, int y) const { return m_Pixels[size_t(y) * size_t(m_W) + size_t(x)]; }
    bool Inside(int x, int y) const { return x >= 0 && y >= 0 && x < m_W && y < m_H; }

    /// Source-over blend of a straight colour.
    void Blend(int x, int y, const RGBA& c) {
        if (!Inside(x, y) || c.a <= 0.f) return;
        RGBA& d = At(x, y);
        const float a = c.a + d.a * (1.f - c.a);
        if (a <= 0.f) return;
        d.r = (c.r * c.a + d.r * d.a * (1.f - c.a)) / a;
        d.g = (c.g * c.a + d.g * d.a * (1.f - c.a)) / a;
        d.b = (c.b * c.a + d.b * d.a * (1.f - c.a)) / a;
        d.a = a;
    }
    /// Additive light, alpha is the max of both.
    void Add(int x, int y, const RGBA& c) {
        if (!Inside(x, y)) return;
        RGBA& d = At(x, y);
        d.r += c.r;
        d.g += c.g;
        d.b += c.b;
        d.a = d.a > c.a ? d.a : c.a;
    }
    /// Copies another canvas with its top-left corner at (x, y).
    void Paste(const Canvas& src, int x, int y) {
        for (int j = 0; j < src.H(); ++j)
            for (int i = 0; i < src.W(); ++i)
                if (Inside(x + i, y + j)) At(x + i, y + j) = src.At(i, j);
    }

private:
    int m_W = 0;
    int m_H = 0;
    std::vector<RGBA> m_Pixels;
};

/// Integer hash to [0, 1): the whole art depends on this and nothing else.
inline float Hash2(int x, int y, int seed) {
    uint32_t h = uint32_t(x) * 374761393u + uint32_t(y) * 668265263u + uint32_t(seed) * 2246822519u;
    h = (h ^ (h >> 13)) * 1274126177u;
    h ^= h >> 16;
    return float(h & 0xFFFFFFu) / 16777216.f;
}

/// Smooth value noise in [0, 1).
inline float ValueNoise(float x, float y, int seed) {
    const float fx = std::floor(x), fy = std::floor(y);
    const int ix = int(fx), iy = int(fy);
    float tx = x - fx, ty = y - fy;
    tx = tx * tx * (3.f - 2.f * tx);
    ty = ty * ty * (3.f - 2.f * ty);
    const float a = Hash2(ix, iy, seed), b = Hash2(ix + 1, iy, seed);
    const float c = Hash2(ix, iy + 1, seed), d = Hash2(ix + 1, iy + 1, seed);
    return Lerp(Lerp(a, b, tx), Lerp(c, d, tx), ty);
}

/// Fractal sum of value noise, normalised to about [0, 1).
inline float Fbm(float x, float y, int seed, int octaves = 5) {
    float sum = 0.f, amp = 0.5f, norm = 0.f;
    for (int i = 0; i < octaves; ++i) {
        sum += amp * ValueNoise(x, y, seed + i * 101);
        norm += amp;
        x = x * 2.03f + 17.1f;
        y = y * 2.03f - 9.7f;
        amp *= 0.5f;
    }
    return sum / norm;
}

/// A small deterministic generator for layouts (never the C library's rand()).
class Rng {
public:
    explicit Rng(uint32_t seed) : m_State(seed ? seed : 1u) {}
    uint32_t Next() {
        m_State ^= m_State << 13;
        m_State ^= m_State >> 17;
        m_State ^= m_State << 5;
        return m_State;
    }
    float Uniform() { return float(Next() & 0xFFFFFFu) / 16777216.f; }
    float Range(float lo, float hi) { return lo + (hi - lo) * Uniform(); }

private:
    uint32_t m_State;
};

}  // namespace AssetGen
