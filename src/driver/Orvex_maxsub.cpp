// Maximal-subset search and culling (-maxSub, -maxSub +, -culling, with -maxSubDCut, -level,
// -w12, -culling_Q, -culling_percent), taken instead of the SVD and given-Saupe routes.
#include <map>
#include <vector>

#include "driver/Orvex.h"
#include "fit/SVDWorkData.h"

int Orvex::runMaxSubset(SVDWorkData& svd, const MaxSubsetOptions& options) {
    DTensor& t = dTensor;
    t.searchLevel = options.searchLevel;
    t.tau = options.tau;
    t.culling_Q = options.culling_Q;
    t.culling_percent = options.culling_percent;

    std::vector<int> ids;
    std::map<int, double> scores;
    std::vector<DipolarCouplingData>& list = dcDataList.dcList;
    const double score = options.soloSet ? svd.findS_maxSub_soloSet(ids, scores, options.dCut, t, list)
                                         : svd.findS_maxSub_culling(ids, scores, options.dCut, t, list);
    // The Euler solutions of the final tensor, as the SVD fit reports them: the searches leave
    // the solution count unset.
    if (t.eulerFlag == 1) t.eulerCount = t.saupe2euler();
    if (!outDCFileName.empty()) dcDataList.reportDC_maxSub(outDCFileName, options.dCut, t, score, ids, scores);
    writePlotIfAsked(dcDataList, {t}, 9, dcDataList.countMaxSubset(), true);
    return 1;
}
