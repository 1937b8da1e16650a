#include "wind_conversions.h"

#include <cmath>

float fnR_To_D(float r) {
    return static_cast<float>(r * 180.0 / 3.141592);
}

float fnUV_To_d(float u, float v) {
    const float au = std::fabs(u);
    const float av = std::fabs(v);
    // Each quadrant measures its angle from the nearer axis, as the stored products did.
    if (u >= 0.0f && v >= 0.0f) {
        return 270.0f - fnR_To_D(std::atan2(av, au));
    }
    if (u >= 0.0f) {
        return 270.0f + fnR_To_D(std::atan2(av, au));
    }
    if (v >= 0.0f) {
        return 180.0f - fnR_To_D(std::atan2(au, av));
    }
    return fnR_To_D(std::atan2(au, av));
}

float fnUV_To_S(float u, float v) {
    return std::sqrt(u * u + v * v);
}
