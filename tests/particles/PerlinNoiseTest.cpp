// Improved gradient noise: the table, the reference algorithm evaluated
// independently in double precision, and the properties the affector relies on.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <set>

#include <zyn/particles/PerlinNoise.h>

using Zyn::PerlinNoise;

namespace {

// The published algorithm, written out again in double precision over the
// class's table (whose content is checked on its own below).
double Fade(double t) { return t * t * t * (t * (t * 6 - 15) + 10); }
double Lerp(double t, double a, double b) { return a + t * (b - a); }
double Grad(int hash, double x, double y, double z) {
    const int h = hash & 15;
    const double u = h < 8 ? x : y;
    const double v = h < 4 ? y : h == 12 || h == 14 ? x : z;
    return ((h & 1) == 0 ? u : -u) + ((h & 2) == 0 ? v : -v);
}
double Reference(double x, double y, double z) {
    const int* p = PerlinNoise::perm;
    const int X = int(std::floor(x)) & 255, Y = int(std::floor(y)) & 255, Z = int(std::floor(z)) & 255;
    x -= std::floor(x);
    y -= std::floor(y);
    z -= std::floor(z);
    const double u = Fade(x), v = Fade(y), w = Fade(z);
    const int A = p[X] + Y, AA = p[A] + Z, AB = p[A + 1] + Z;
    const int B = p[X + 1] + Y, BA = p[B] + Z, BB = p[B + 1] + Z;
    return Lerp(w,
                Lerp(v, Lerp(u, Grad(p[AA], x, y, z), Grad(p[BA], x - 1, y, z)),
                     Lerp(u, Grad(p[AB], x, y - 1, z), Grad(p[BB], x - 1, y - 1, z))),
                Lerp(v, Lerp(u, Grad(p[AA + 1], x, y, z - 1), Grad(p[BA + 1], x - 1, y, z - 1)),
                     Lerp(u, Grad(p[AB + 1], x, y - 1, z - 1), Grad(p[BB + 1], x - 1, y - 1, z - 1))));
}

// A small deterministic generator for sample points, independent of rand().
struct Lcg {
    unsigned long long s = 0x9E3779B97F4A7C15ull;
    float Next(float lo, float hi) {
        s = s * 6364136223846793005ull + 1442695040888963407ull;
        return lo + float(double(s >> 11) / 9007199254740992.0) * (hi - lo);
    }
};

}  // namespace

TEST(PerlinNoise, TableIsThePublishedPermutationStoredTwice) {
    std::set<int> values;
    for (int i = 0; i < 256; ++i) {
        values.insert(PerlinNoise::perm[i]);
        EXPECT_EQ(PerlinNoise::perm[i + 256], PerlinNoise::perm[i]) << i;
    }
    EXPECT_EQ(values.size(), 256u);
    EXPECT_EQ(*values.begin(), 0);
    EXPECT_EQ(*values.rbegin(), 255);
    // Its well-known ends.
    EXPECT_EQ(PerlinNoise::perm[0], 151);
    EXPECT_EQ(PerlinNoise::perm[1], 160);
    EXPECT_EQ(PerlinNoise::perm[2], 137);
    EXPECT_EQ(PerlinNoise::perm[254], 156);
    EXPECT_EQ(PerlinNoise::perm[255], 180);
}

TEST(PerlinNoise, MatchesTheReferenceAlgorithm) {
    // The value the reference implementation is usually demonstrated with.
    EXPECT_NEAR(Reference(3.14, 42, 7), 0.136919958784, 1e-9);
    EXPECT_NEAR(PerlinNoise::Sample(3.14f, 42.0f, 7.0f), 0.136919958784, 2e-5);
    Lcg rng;
    for (int i = 0; i < 2000; ++i) {
        const float x = rng.Next(-300, 300), y = rng.Next(-300, 300), z = rng.Next(-20, 20);
        ASSERT_NEAR(PerlinNoise::Sample(x, y, z), Reference(x, y, z), 2e-5) << x << " " << y << " " << z;
    }
}

TEST(PerlinNoise, ZeroOnTheLatticeBoundedSmoothAndPeriodic) {
    for (int x = -3; x <= 3; ++x)
        for (int y = -3; y <= 3; ++y)
            for (int z = -3; z <= 3; ++z) EXPECT_EQ(PerlinNoise::Sample(float(x), float(y), float(z)), 0.0f);
    Lcg rng;
    float lo = 0, hi = 0;
    for (int i = 0; i < 5000; ++i) {
        const float x = rng.Next(-50, 50), y = rng.Next(-50, 50), z = rng.Next(-50, 50);
        const float v = PerlinNoise::Sample(x, y, z);
        lo = std::min(lo, v);
        hi = std::max(hi, v);
        // Continuous: a tiny step moves the value only a little.
        EXPECT_NEAR(PerlinNoise::Sample(x + 1e-3f, y, z), v, 0.01f);
        // The lattice repeats every 256 units.
        EXPECT_NEAR(PerlinNoise::Sample(x + 256.0f, y, z), v, 1e-3f);
    }
    EXPECT_GE(lo, -1.05f);
    EXPECT_LE(hi, 1.05f);
    // Spread over most of the range, not stuck near zero.
    EXPECT_LT(lo, -0.5f);
    EXPECT_GT(hi, 0.5f);
}

TEST(PerlinNoise, NonFiniteOrHugeCoordinatesStayDefined) {
    const float inf = std::numeric_limits<float>::infinity();
    EXPECT_EQ(PerlinNoise::Sample(std::nanf(""), 1.5f, 2.5f), 0.0f);
    EXPECT_EQ(PerlinNoise::Sample(0.5f, inf, 2.5f), 0.0f);
    EXPECT_EQ(PerlinNoise::Sample(0.5f, 1.5f, -inf), 0.0f);
    // Beyond the int range every float is a whole number: on the lattice.
    EXPECT_EQ(PerlinNoise::Sample(3e9f, -5e12f, 1e30f), 0.0f);
    const float v = PerlinNoise::Sample(-1e-30f, 0.25f, 0.5f);
    EXPECT_NEAR(v, Reference(0.0, 0.25, 0.5), 1e-5);
}
