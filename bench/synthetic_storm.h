// The storm both engines' benchmarks fill their synthetic volumes with, so that the radar
// core's and the display library's figures are for the same echoes.
#ifndef RDR_BENCH_SYNTHETIC_STORM_H
#define RDR_BENCH_SYNTHETIC_STORM_H

#include <algorithm>
#include <cmath>

// Reflectivity (dBZ) at a point: three convective cores in a stratiform shield that fades
// above the melting layer; below 5 dBZ there is no echo.
inline double syntheticDbz(double xKm, double yKm, double zKm) {
    struct Core {
        double x, y, peak, radius, top;
    };
    static const Core kCores[] = {
        {-60, 40, 58, 12, 13}, {35, -80, 52, 9, 11}, {120, 150, 47, 20, 9}};
    double dbz = 28 - 0.03 * std::hypot(xKm + 50, yKm - 20) - (zKm > 4 ? (zKm - 4) * 6 : 0);
    for (const Core& c : kCores) {
        const double d = std::hypot(xKm - c.x, yKm - c.y) / c.radius;
        const double h = zKm / c.top;
        dbz = std::max(dbz, c.peak - 18 * d * d - 25 * h * h * h);
    }
    return dbz;
}

#endif
