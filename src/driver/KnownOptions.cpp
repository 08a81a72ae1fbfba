// The table of known options and the closest-name search for unknown ones.
#include "driver/KnownOptions.h"

#include <algorithm>
#include <cctype>
#include <unordered_set>

namespace known_options {

namespace {

// Grouped as the options are read: start and file options, tensor start values and limits,
// method and jackknife options, coupling classes, dipolar wave settings, remaining options,
// the entry's mode keys, the options the modes read themselves (maximal subset, ensemble fit,
// orthogonalization, RCSA and its CSA tensors), and the extensions (-seed, -plot).
const char* const kTable[] = {
    // start and file options
    "help", "version", "pdb", "inD", "in", "inDTitle", "out", "outD", "excl", "incl", "inclAll", "inclMin",
    "inclMax", "fixedDI", "nofixedDI", "keepDI", "nokeepDI", "verbose", "verb", "keepSmallExpError", "keepDD",
    // tensor start values and limits
    "da", "daMin", "daMax", "daFixed", "dr", "drMin", "drMax", "drFixed", "rh", "rhMin", "rhMax", "rhFixed", "rx",
    "ry", "rz", "rxFixed", "ryFixed", "rzFixed", "phi", "theta", "psi", "phiMin", "thetaMin", "psiMin", "phiMax",
    "thetaMax", "psiMax",
    // method and jackknife options
    "rcsa", "svd", "JK", "jkByRes", "jkByCoupling", "JK_level", "noJK", "noJackknifed", "saupe", "align", "fit",
    "fixed", "nofixed", "fit_nlls", "fit_lm", "fit_pw", "fit_gs", "gs_step", "vwfit", "vwfit_cv", "fit_sa_lm",
    "fit_sa", "fit_dw",
    // coupling classes to generate
    "classHN,N", "classHA,CA", "classHB,CB", "classHN,C-1", "classN,C-1", "classCA,C",
    // dipolar wave settings
    "expC", "expCMin", "expCMax", "expOff", "ru0", "ru0Min", "ru0Max", "thetaA", "thetaAMin", "thetaAMax", "phiA",
    "phiAMin", "phiAMax",
    // remaining options
    "saStep1", "saStep2", "saStep3", "vwfitCount", "saTryCount", "saPowell", "nosaPowell", "useMethylCC",
    "methylCC", "multiTensor", "nTensors", "select", "select_valid", "svd_mfr", "dadr", "dadrFixed", "rot",
    "rotFixed", "rotdr", "rotdrFixed", "rotrh", "rotrhFixed",
    // the entry's mode keys
    "noclip", "nodetail", "check", "vwfit_cv_multi", "orth", "mfr", "mfr_m2", "fit_m2", "mfr_list", "shapeTensor",
    // maximal subset and culling
    "maxSub", "culling", "maxSubDCut", "level", "w12", "culling_Q", "culling_percent",
    // ensemble fit and orthogonalization
    "inDs", "vwfit_C", "outTitle",
    // RCSA and the CSA tensors
    "inRCSA", "inR", "outRCSA", "N_csa_d11", "N_csa_d22", "N_csa_d33", "N_csa_beta", "H_csa_d11", "H_csa_d22",
    "H_csa_d33", "H_csa_beta", "C_csa_d11", "C_csa_d22", "C_csa_d33", "C_csa_beta",
    // extensions
    "seed", "plot",
};

std::string lowered(const std::string& text) {
    std::string out = text;
    for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

// Levenshtein distance (insertions, deletions and substitutions of one character each cost 1).
size_t editDistance(const std::string& a, const std::string& b) {
    std::vector<size_t> row(b.size() + 1);
    for (size_t j = 0; j <= b.size(); j++) row[j] = j;
    for (size_t i = 1; i <= a.size(); i++) {
        size_t diagonal = row[0];
        row[0] = i;
        for (size_t j = 1; j <= b.size(); j++) {
            const size_t above = row[j];
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
            diagonal = above;
        }
    }
    return row[b.size()];
}

}  // namespace

const std::vector<std::string>& names() {
    static const std::vector<std::string> list(std::begin(kTable), std::end(kTable));
    return list;
}

bool isKnown(const std::string& name) {
    static const std::unordered_set<std::string> set(std::begin(kTable), std::end(kTable));
    return set.count(name) > 0;
}

std::string closest(const std::string& name) {
    // a command-line word is short; a very long one is compared by its first 64 characters
    const std::string key = lowered(name.substr(0, 64));
    std::string best;
    size_t bestDistance = 0;
    for (const std::string& known : names()) {
        const size_t d = editDistance(key, lowered(known));
        if (best.empty() || d < bestDistance) {
            best = known;
            bestDistance = d;
        }
    }
    return best;
}

int warnUnknown(const std::vector<std::string>& given, FILE* err) {
    int count = 0;
    for (const std::string& name : given) {
        // the text before the first option (empty name) is no option
        if (name.empty() || isKnown(name)) continue;
        std::fprintf(err, "Warning :: Unknown option -%s is ignored; did you mean -%s?\n", name.c_str(),
                     closest(name).c_str());
        count++;
    }
    return count;
}

}  // namespace known_options
