#include "grandpress/LimiterPassesImpl.h"

namespace grandpress {

const LimiterPasses kLimiterPassesBaseline = {peaksPass, windowMaximaPass, envelopeStepsPass,
                                              gainsPass, scaleToCeilingPass};

}  // namespace grandpress
