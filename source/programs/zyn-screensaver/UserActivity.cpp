#include "UserActivity.h"

namespace ZynHost {

namespace {

const int kCodeDown = 0;    // a key or a button pressed
const int kCodeMotion = 3;  // the pointer at (a, b)

}  // namespace

void UserActivity::Take(int code, int, int) {
    // Any motion counts: compositors report motion only when the pointer
    // moves, and the window reports none when the cover appears under a
    // resting pointer, so there is no earlier position to measure from.
    if (code == kCodeDown || code == kCodeMotion) m_bSeen = true;
}

}  // namespace ZynHost
