#include <zyn/platform/ScreenSaverView.h>

#include <cmath>

namespace Zyn {

namespace {
// Far above any screen, far below where a float stops converting to s32.
const float kMaxFrameSide = 65536.0f;
}  // namespace

bool ScreenSaverView::IsValidFrameSize(float width, float height) {
    return std::isfinite(width) && std::isfinite(height) && width >= 0.0f && height >= 0.0f &&
           width <= kMaxFrameSide && height <= kMaxFrameSide;
}

bool ScreenSaverView::InitWithFrame(float width, float height, bool isPreview) {
    if (!IsValidFrameSize(width, height)) return false;
    m_fFrameWidth = width;
    m_fFrameHeight = height;
    m_bPreview = isPreview;
    return true;
}

bool ScreenSaverView::SetFrameSize(float width, float height) {
    if (!IsValidFrameSize(width, height)) return false;
    m_fFrameWidth = width;
    m_fFrameHeight = height;
    return true;
}

}  // namespace Zyn
