// Improved gradient noise (the 2002 reference algorithm): smooth values in
// roughly [-1, 1], zero at every integer lattice point, repeating every 256
// units on each axis. Pure function of its inputs; safe from any thread.
#pragma once

namespace Zyn {

class PerlinNoise {
public:
    /// Noise at (x, y, z). Non-finite coordinates give 0.
    static float Sample(float x, float y, float z);

    /// The published 256-entry permutation, stored twice in a row so that
    /// hashed indices up to 511 need no wrapping.
    static const int perm[512];
};

}  // namespace Zyn
