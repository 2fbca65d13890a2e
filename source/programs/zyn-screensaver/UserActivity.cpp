#include "UserActivity.h"

#include <cstdlib>

namespace ZynHost {

namespace {

const int kCodeDown = 0;    // a key or a button pressed
const int kCodeMotion = 3;  // the pointer at (a, b)

}  // namespace

void UserActivity::Take(int code, int x, int y) {
    if (code == kCodeDown) {
        m_bSeen = true;
        return;
    }
    if (code != kCodeMotion) return;
    // The first position is where the pointer rests when the cover appears
    // (or enters it): the window reports it before any motion.
    if (!m_bHasOrigin) {
        m_bHasOrigin = true;
        m_OriginX = x;
        m_OriginY = y;
        return;
    }
    if (std::abs(x - m_OriginX) > kMotionThreshold || std::abs(y - m_OriginY) > kMotionThreshold) m_bSeen = true;
}

}  // namespace ZynHost
