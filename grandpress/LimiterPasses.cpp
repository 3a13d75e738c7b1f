#include "grandpress/LimiterPassesImpl.h"

namespace grandpress {

const LimiterPasses kLimiterPassesBaseline = {peaksPass, windowMaximaPass, releaseFactorsPass,
                                              gainsPass, scaleToCeilingPass};

}  // namespace grandpress
