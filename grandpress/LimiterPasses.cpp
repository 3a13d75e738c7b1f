#include "grandpress/LimiterPassesImpl.h"

namespace grandpress {

const LimiterPasses kLimiterPassesBaseline = {
    peaksPass,    windowMaximaPass, levelAveragesPass, envelopeStepsPass,
    envelopePass, gainsPass,        scaleToCeilingPass};

}  // namespace grandpress
