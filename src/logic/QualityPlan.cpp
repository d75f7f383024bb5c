#include "QualityPlan.h"

namespace pictoria {

QualityPlan PlanQualities(int from, int to, int step)
{
    const bool rising = step > 0;
    const bool several = step != 0 && (rising ? from + step <= to : from + step >= to);
    if (!several)
        return {{from}, false};
    QualityPlan plan;
    plan.tagged = true;
    for (int q = from; rising ? q <= to : q >= to; q += step)
        plan.qualities.push_back(q);
    return plan;
}

}  // namespace pictoria
