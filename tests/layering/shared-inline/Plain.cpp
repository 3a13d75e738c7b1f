#include "Helper.h"

double plainSum(const double* x, int n) {
    return scaledSum(x, n);
}
