// The fault the vector-kernel guard looks for: an inline function that a baseline file and an
// AVX file both emit out of line (the linker keeps either copy).
#pragma once

[[gnu::noinline]] inline double scaledSum(const double* x, int n) {
    double s = 0.0;
    for (int i = 0; i < n; ++i) s += 0.5 * x[i];
    return s;
}
