#include "lamc_proj.h"

#include <cmath>

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kDeg = kPi / 180.0;
constexpr double kA = 6378.138;  // semi-major axis, km
constexpr double kF = 0.0033528106647474805;

struct Constants {
    double e, n, F, rho0, scale;
};

// The constants follow the parameters of the last first-time call.
Constants g_c;

double m_of(double phi, double e) {
    double s = std::sin(phi);
    return std::cos(phi) / std::sqrt(1.0 - e * e * s * s);
}

double t_of(double phi, double e) {
    double s = std::sin(phi);
    return std::tan(kPi / 4.0 - phi / 2.0) / std::pow((1.0 - e * s) / (1.0 + e * s), e / 2.0);
}

}  // namespace

int lamcproj_ellp(float* lon, float* lat, float* x, float* y, int code, lamc_parameter* map) {
    if (map->first == 0) {
        double e = std::sqrt(2.0 * kF - kF * kF);
        double p1 = map->slat1 * kDeg, p2 = map->slat2 * kDeg, p0 = map->olat * kDeg;
        double m1 = m_of(p1, e), m2 = m_of(p2, e);
        double t1 = t_of(p1, e), t2 = t_of(p2, e), t0 = t_of(p0, e);
        double n = (std::log(m1) - std::log(m2)) / (std::log(t1) - std::log(t2));
        double F = m1 / (n * std::pow(t1, n));
        double scale = kA / map->grid;
        g_c = {e, n, F, scale * F * std::pow(t0, n), scale};
        map->first = 1;
    }
    const Constants& c = g_c;
    if (code == 0) {
        double phi = *lat * kDeg;
        double rho = c.scale * c.F * std::pow(t_of(phi, c.e), c.n);
        double theta = c.n * (*lon - map->olon) * kDeg;
        *x = static_cast<float>(rho * std::sin(theta) + map->xo);
        *y = static_cast<float>(c.rho0 - rho * std::cos(theta) + map->yo);
        return 0;
    }
    double dx = *x - map->xo;
    double dy = *y - map->yo;
    double rho = std::sqrt(dx * dx + (c.rho0 - dy) * (c.rho0 - dy));
    double t = std::pow(rho / (c.scale * c.F), 1.0 / c.n);
    double phi = kPi / 2.0 - 2.0 * std::atan(t);
    for (int k = 0; k < 5; k++) {
        double s = std::sin(phi);
        phi =
            kPi / 2.0 - 2.0 * std::atan(t * std::pow((1.0 - c.e * s) / (1.0 + c.e * s), c.e / 2.0));
    }
    *lat = static_cast<float>(phi / kDeg);
    *lon = static_cast<float>(std::atan2(dx, c.rho0 - dy) / c.n / kDeg + map->olon);
    return 0;
}
