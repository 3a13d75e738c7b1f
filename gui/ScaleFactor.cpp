#include "gui/ScaleFactor.h"

#include <cmath>
#include <cstdlib>
#include <initializer_list>

namespace qgui::scale {

namespace {

bool isFactor(double f) {
    return std::isfinite(f) && f > 0;
}

}  // namespace

double snap(double factor) {
    if (!isFactor(factor)) return 0;
    double best = kSteps[0];
    for (double step : kSteps)
        if (std::fabs(step - factor) <= std::fabs(best - factor)) best = step;
    return best;
}

double choose(double user, double host, double system) {
    for (double f : {user, host, system})
        if (isFactor(f)) return snap(f);
    return 1.0;
}

double fromEnvironment(const char* gdkScale, const char* qtScaleFactor) {
    if (gdkScale && *gdkScale) {
        char* end = nullptr;
        const long whole = std::strtol(gdkScale, &end, 10);
        if (*end == 0 && whole > 0 && whole <= 8) return static_cast<double>(whole);
    }
    if (qtScaleFactor && *qtScaleFactor) {
        char* end = nullptr;
        const double f = std::strtod(qtScaleFactor, &end);
        if (*end == 0 && isFactor(f) && f <= 8) return f;
    }
    return 0;
}

double fromDpi(double dpi) {
    return isFactor(dpi) && dpi < 96 * 8 ? dpi / 96.0 : 0;
}

}  // namespace qgui::scale
