// The limiter's vector passes built for AVX2 and FMA (this file only; chosen at run time).
#include "grandpress/LimiterPassesImpl.h"

namespace grandpress {

const LimiterPasses kLimiterPassesAvx2 = {peaksPass,         windowMaximaPass, levelAveragesPass,
                                          envelopeStepsPass, envelopePass,     gainsPass,
                                          scaleToCeilingPass};

}  // namespace grandpress
