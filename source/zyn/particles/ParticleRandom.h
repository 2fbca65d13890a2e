// The particle system's random numbers: rand() of the C library, which the
// system never seeds. The order of the draws is part of every algorithm that
// uses them, so each call site documents its order.
#pragma once

#include <cstdlib>

namespace Zyn {

struct ParticleRandom {
    /// Uniform in [0, 1): rand() x 2^-31.
    static float Unit() { return float(std::rand()) * 4.656613e-10f; }
    /// a + rand() x 2^-31 x (b - a); one draw.
    static float Range(float a, float b) { return a + float(std::rand()) * 4.656613e-10f * (b - a); }
};

}  // namespace Zyn
