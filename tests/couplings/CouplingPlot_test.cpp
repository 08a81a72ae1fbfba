// The plot of a fit read back as XML: markers counted by element and class for two coupling
// classes with a validation set, the legend, the statistics against the result table written
// from the same list, marker positions against the axis ticks, the maximal-subset marks, and
// inputs that must still give a well-formed file.
#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <limits>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "common/TestUtil.h"
#include "common/PlotReading.h"
#include "common/TestCouplings.h"
#include "common/XmlCheck.h"
#include "couplings/CouplingPlot.h"
#include "couplings/DCListData.h"

using plotreading::byId;
using plotreading::dataLines;
using plotreading::texts;
using xmlcheck::count;
using xmlcheck::Document;

namespace {

constexpr int kHN_N = 1, kC_CA = 10;

// A coupling of class N-H or C-CA with a jackknife prediction 0.25 Hz above its D.
DipolarCouplingData coupling(int dcClass, int res, double d, double dCalc, int selected, int selectedV) {
    DipolarCouplingData dc = testcouplings::measured(res, d, dCalc, selected, selectedV);
    dc.CLASS = dcClass;
    if (dcClass != kHN_N) {
        dc.atomNameI = "C";
        dc.atomNameJ = "CA";
        dc.diCalc = 4284.77;
    }
    dc.dCalc_jk = dCalc + 0.25;
    return dc;
}

// Two classes, working residues 1-4 and validation residues 3-8: N-H couplings on residues 1-8,
// one outside both selections (9), one not measured (10), one without atoms (11, no table row);
// C-CA couplings on residues 1-6.
DCListData twoClasses() {
    DCListData list;
    for (int r = 1; r <= 8; r++) {
        const double d = 2.0 * r - 7;
        list.dcList.push_back(coupling(kHN_N, r, d, d + 0.1 * (r % 3) - 0.1, r <= 4, r >= 3));
    }
    list.dcList.push_back(coupling(kHN_N, 9, 4.5, 3.0, 0, 0));
    list.dcList.push_back(coupling(kHN_N, 10, 9999, 2.0, 0, 0));
    DipolarCouplingData noAtoms = coupling(kHN_N, 11, 1.0, 0, 1, 1);
    noAtoms.valid = 0;
    list.dcList.push_back(noAtoms);
    for (int r = 1; r <= 6; r++) {
        const double d = 0.4 * r - 1.3;
        list.dcList.push_back(coupling(kC_CA, r, d, d + 0.05, r <= 4, r >= 3));
    }
    list.validCount = 16;
    list.pdbCount = 1;
    list.pdbR1 = 1;
    list.pdbRN = 12;
    list.resSelectionVec_Working = {1, 4};
    list.resSelectionVec_Validation = {3, 8};
    list.Same_Selection_Working_Validation = false;
    list.inDCFileName = "set <A> & 'B'.tab";
    list.inPDBFileName = "model\"1\".pdb";
    return list;
}

using testcouplings::tensor;

std::string svgOf(const CouplingPlot& plot) {
    FILE* f = std::tmpfile();
    plot.write(f);
    std::rewind(f);
    std::string text;
    char buf[4096];
    for (size_t n; (n = std::fread(buf, 1, sizeof buf, f)) > 0;) text.append(buf, n);
    std::fclose(f);
    return text;
}

Document plotOf(DCListData& list, const std::vector<DTensor>& tensors, int level, int nSVD, bool maxSubset = false) {
    CouplingPlot plot;
    plot.compute(list, tensors, level, nSVD, maxSubset);
    return xmlcheck::parse(svgOf(plot));
}

std::string tableOf(DCListData list, const std::vector<DTensor>& tensors, int level, int nSVD) {
    testutil::TempDir dir;
    list.writeDC(dir.file("t.tab"), "title", level, level, tensors, nSVD);
    return testutil::readFile(dir.file("t.tab"));
}

// The value a tick label of the upper panel shows, at the position its x attribute gives: the
// map position = a + b value, checked on every label.
struct LinearMap {
    double a = 0, b = 1;
    double value(double position) const { return (position - a) / b; }
};

LinearMap obsAxis(const Document& doc) {
    std::vector<std::pair<double, double>> ticks;   // value, position
    for (const xmlcheck::Element& e : doc.elements)
        if (e.name == "text" && e.hasClass("tick-obs")) ticks.push_back({std::stod(e.text), std::stod(e.attribute("x"))});
    LinearMap m;
    if (ticks.size() < 2) {
        ADD_FAILURE() << "fewer than two ticks";
        return m;
    }
    m.b = (ticks.back().second - ticks.front().second) / (ticks.back().first - ticks.front().first);
    m.a = ticks.front().second - m.b * ticks.front().first;
    for (const auto& t : ticks) EXPECT_NEAR(m.a + m.b * t.first, t.second, 0.02) << "tick " << t.first;
    return m;
}

// The y axis from the diagonal D = D_OBS: its two ends are the same values on both axes.
LinearMap calcAxis(const Document& doc, const LinearMap& x) {
    LinearMap m;
    for (const xmlcheck::Element& e : doc.elements) {
        if (e.name != "line" || !e.hasClass("diagonal")) continue;
        const double v1 = x.value(std::stod(e.attribute("x1"))), v2 = x.value(std::stod(e.attribute("x2")));
        const double y1 = std::stod(e.attribute("y1")), y2 = std::stod(e.attribute("y2"));
        m.b = (y2 - y1) / (v2 - v1);
        m.a = y1 - m.b * v1;
        return m;
    }
    ADD_FAILURE() << "no diagonal";
    return m;
}

bool hasNonFiniteNumber(const Document& doc) {
    for (const xmlcheck::Element& e : doc.elements)
        for (const auto& [key, value] : e.attributes) {
            if (key == "class" || key == "id" || key == "font-family") continue;
            std::string lower;
            for (char c : value) lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            if (lower.find("nan") != std::string::npos || lower.find("inf") != std::string::npos) return true;
        }
    return false;
}

}  // namespace

TEST(CouplingPlot, MarkersAndLegendOfTwoClassesWithAValidationSet) {
    DCListData list = twoClasses();
    const Document doc = plotOf(list, {tensor()}, 1, 8);
    ASSERT_EQ(doc.error, "");
    ASSERT_FALSE(doc.elements.empty());
    EXPECT_EQ(doc.elements[0].name, "svg");
    EXPECT_EQ(doc.elements[0].attribute("xmlns"), "http://www.w3.org/2000/svg");

    // upper panel: one marker per measured row; working circles, validation squares, crosses
    EXPECT_EQ(count(doc, "circle", "dc work HN_N"), 4);
    EXPECT_EQ(count(doc, "rect", "dc valid HN_N"), 4);
    EXPECT_EQ(count(doc, "path", "dc other HN_N"), 1);
    EXPECT_EQ(count(doc, "circle", "dc work C_CA"), 4);
    EXPECT_EQ(count(doc, "rect", "dc valid C_CA"), 2);
    EXPECT_EQ(plotreading::countByPrefix(doc, "dc "), 15);
    // jackknife predictions, faint, for the working set only
    EXPECT_EQ(count(doc, "circle", "jk HN_N"), 4);
    EXPECT_EQ(count(doc, "circle", "jk C_CA"), 4);
    // lower panel: the same markers, and D for every row (the unmeasured one too)
    EXPECT_EQ(count(doc, "circle", "seq work HN_N"), 4);
    EXPECT_EQ(count(doc, "rect", "seq valid HN_N"), 4);
    EXPECT_EQ(count(doc, "path", "seq other HN_N"), 1);
    EXPECT_EQ(count(doc, "circle", "calc HN_N"), 10);
    EXPECT_EQ(count(doc, "circle", "calc C_CA"), 6);
    EXPECT_EQ(count(doc, "g", "row HN_N"), 1);
    EXPECT_EQ(count(doc, "g", "row C_CA"), 1);

    EXPECT_EQ(texts(doc, "legend-entry"),
              (std::vector<std::string>{"HN_N (10)", "C_CA (6)", "working set", "validation set", "outside both sets",
                                        "D_JK (jackknife)", "D = D_OBS"}));
    EXPECT_EQ(texts(doc, "legend2-entry"), (std::vector<std::string>{"D_OBS", "D, calculated"}));
    EXPECT_EQ(texts(doc, "note"),
              (std::vector<std::string>{"1 not measured (D_OBS above 900 Hz): D shown below only"}));
    EXPECT_EQ(count(doc, "rect", "leftout"), 0);

    // file names with markup characters stay text
    const auto desc = std::find_if(doc.elements.begin(), doc.elements.end(),
                                   [](const xmlcheck::Element& e) { return e.name == "desc"; });
    ASSERT_NE(desc, doc.elements.end());
    EXPECT_EQ(desc->text, "Couplings: set <A> & 'B'.tab; structure: model\"1\".pdb");

    // without a jackknife (level 0 as the given-tensor routes, or -noJK) no D_JK markers
    for (int noJk = 0; noJk < 2; noJk++) {
        DTensor t = tensor();
        t.fitFlag_JK = noJk ? 0 : 1;
        const Document plain = plotOf(list, {t}, noJk ? 1 : 0, 8);
        ASSERT_EQ(plain.error, "");
        EXPECT_EQ(count(plain, "circle", "jk HN_N") + count(plain, "circle", "jk C_CA"), 0);
        const std::vector<std::string> entries = texts(plain, "legend-entry");
        EXPECT_EQ(std::count(entries.begin(), entries.end(), "D_JK (jackknife)"), 0);
    }
}

// Couplings generated from the structure: no working block, the validation block as the table's.
// (The fitted routes' statistics against their tables: PlotCli.)
TEST(CouplingPlot, GeneratedCouplingsShowOnlyTheValidationStatistics) {
    DCListData list = twoClasses();
    list.GeneratedFromStructure = true;
    const std::map<std::string, std::string> table = dataLines(tableOf(list, {tensor()}, 1, 8));
    const Document doc = plotOf(list, {tensor()}, 1, 8);
    ASSERT_EQ(doc.error, "");
    const char* const ids[] = {"N", "RMS", "Q", "QX", "R"};
    const char* const keys[] = {"N_V", "RMS_V", "Q_FACTOR_V", "Q_X_FACTOR_V", "CORR_R_V"};
    for (int k = 0; k < 5; k++) {
        EXPECT_EQ(byId(doc, std::string("stat-work-") + ids[k]), nullptr) << ids[k];
        const xmlcheck::Element* e = byId(doc, std::string("stat-valid-") + ids[k]);
        ASSERT_NE(e, nullptr) << ids[k];
        ASSERT_TRUE(table.count(keys[k])) << keys[k];
        EXPECT_EQ(e->text, table.at(keys[k])) << keys[k];
    }
}

TEST(CouplingPlot, MarkersSitAtTheirValuesOnRoundTicks) {
    DCListData list = twoClasses();
    const Document doc = plotOf(list, {tensor()}, 1, 8);
    ASSERT_EQ(doc.error, "");
    // both axes show the same round ticks: multiples of 1, 2 or 5 times a power of ten,
    // at least five, over all values
    const std::vector<std::string> xs = texts(doc, "tick-obs"), ys = texts(doc, "tick-calc");
    EXPECT_EQ(xs, ys);
    ASSERT_GE(xs.size(), 5u);
    const double step = std::stod(xs[1]) - std::stod(xs[0]);
    const double mantissa = step / std::pow(10.0, std::floor(std::log10(step)));
    EXPECT_TRUE(std::fabs(mantissa - 1) < 1e-9 || std::fabs(mantissa - 2) < 1e-9 || std::fabs(mantissa - 5) < 1e-9)
        << step;
    for (const std::string& label : xs) EXPECT_NEAR(std::remainder(std::stod(label), step), 0, 1e-9) << label;
    // ticks lie inside the axis, which holds every value: from -5 (N-H of residue 1) to 9.35
    // (the jackknife prediction of residue 8)
    EXPECT_LT(std::stod(xs.front()) - step, -5.0);
    EXPECT_GT(std::stod(xs.front()), -5.0 - step);
    EXPECT_GT(std::stod(xs.back()) + step, 9.35);
    EXPECT_LT(std::stod(xs.back()), 9.35 + step);

    const LinearMap x = obsAxis(doc);
    const LinearMap y = calcAxis(doc, x);
    EXPECT_LT(y.b, 0);   // up is more
    std::vector<std::pair<double, double>> expected, found;
    for (const DipolarCouplingData& dc : list.dcList)
        if (dc.valid && dc.selected && dc.d < 900) expected.push_back({dc.d, dc.dCalc});
    for (const xmlcheck::Element& e : doc.elements)
        if (e.name == "circle" && e.attribute("class").rfind("dc work ", 0) == 0)
            found.push_back({x.value(std::stod(e.attribute("cx"))), y.value(std::stod(e.attribute("cy")))});
    std::sort(expected.begin(), expected.end());
    std::sort(found.begin(), found.end());
    ASSERT_EQ(found.size(), expected.size());
    for (size_t i = 0; i < found.size(); i++) {
        EXPECT_NEAR(found[i].first, expected[i].first, 0.01);
        EXPECT_NEAR(found[i].second, expected[i].second, 0.01);
    }
    // the axis titles say Hz
    int hz = 0;
    for (const xmlcheck::Element& e : doc.elements) hz += e.name == "text" && e.text.find("(Hz)") != std::string::npos;
    EXPECT_EQ(hz, 2);
}

TEST(CouplingPlot, MaximalSubsetMarksTheResiduesLeftOut) {
    // residues 1-6 usable, 2 and 5 outside the subset; residue 7 not measured and residue 8 of
    // weight 0 are not counted by the search, so not marked
    DCListData list;
    for (int r = 1; r <= 6; r++) list.dcList.push_back(coupling(kHN_N, r, r - 3.0, r - 3.2, r != 2 && r != 5, 1));
    list.dcList.push_back(coupling(kHN_N, 7, 9999, 1.0, 0, 0));
    DipolarCouplingData weightless = coupling(kHN_N, 8, 1.5, 1.0, 0, 1);
    weightless.w = 0;
    list.dcList.push_back(weightless);
    list.pdbR1 = 1;
    list.pdbRN = 10;
    DTensor t = tensor();
    t.fitFlag_JK = 0;   // the search runs its residue jackknife whatever the option says
    const Document doc = plotOf(list, {t}, 9, list.countMaxSubset(), true);
    ASSERT_EQ(doc.error, "");
    EXPECT_EQ(count(doc, "rect", "leftout"), 2);
    EXPECT_EQ(count(doc, "circle", "dc work HN_N"), 4);
    EXPECT_EQ(count(doc, "path", "dc other HN_N"), 3);   // 2, 5 and the weightless one
    EXPECT_EQ(count(doc, "rect", "dc valid HN_N"), 0);   // one selection for both: no validation set
    EXPECT_EQ(count(doc, "circle", "jk HN_N"), 4);
    const std::vector<std::string> entries = texts(doc, "legend-entry");
    EXPECT_EQ(std::count(entries.begin(), entries.end(), "outside the subset"), 1);
    EXPECT_EQ(texts(doc, "legend2-entry"), (std::vector<std::string>{"D_OBS", "D, calculated", "left out"}));
    // where the bands sit, and the statistics of the subset: PlotCli's maximal-subset runs
}

TEST(CouplingPlot, AnyListGivesAWellFormedFile) {
    const double nan = std::numeric_limits<double>::quiet_NaN(), inf = std::numeric_limits<double>::infinity();
    struct Case {
        const char* what;
        std::vector<DipolarCouplingData> rows;
        int markers;                       // upper panel
        std::vector<std::string> notes;
    };
    const std::vector<Case> cases = {
        {"no couplings", {}, 0, {}},
        {"one coupling", {coupling(kHN_N, 5, 3.0, 2.5, 1, 1)}, 1, {}},
        {"all values equal", {coupling(kHN_N, 1, 5, 5, 1, 1), coupling(kHN_N, 2, 5, 5, 1, 1)}, 2, {}},
        {"not a number",
         {coupling(kHN_N, 1, 1, nan, 1, 1), coupling(kHN_N, 2, nan, 1, 1, 1), coupling(kHN_N, 3, inf, -inf, 1, 1),
          coupling(kHN_N, 4, 2, 2.5, 1, 1)},
         1,
         {"1 not measured (D_OBS above 900 Hz): D shown below only", "2 table rows without a calculated D: not shown"}},
        {"huge values", {coupling(kHN_N, 1, -1e12, 3, 1, 1), coupling(kHN_N, 2, 4, 3, 1, 1)}, 2, {}},
        {"unnamed classes", {coupling(12, 1, 1, 1.5, 1, 1), coupling(40, 2000, -2, -1, 1, 1)}, 2, {}},
        {"only unmeasured", {coupling(kHN_N, 1, 9999, 2, 0, 0), coupling(kHN_N, 2, 9999, -3, 0, 0)}, 0,
         {"2 not measured (D_OBS above 900 Hz): D shown below only"}},
    };
    for (const Case& c : cases) {
        DCListData list;
        list.dcList = c.rows;
        const Document doc = plotOf(list, {tensor()}, 1, static_cast<int>(c.rows.size()));
        ASSERT_EQ(doc.error, "") << c.what;
        EXPECT_FALSE(hasNonFiniteNumber(doc)) << c.what;
        EXPECT_EQ(plotreading::countByPrefix(doc, "dc "), c.markers) << c.what;
        EXPECT_EQ(texts(doc, "note"), c.notes) << c.what;
        if (c.markers == 0) {
            bool said = false;
            for (const xmlcheck::Element& e : doc.elements) said = said || e.text == "no measured couplings";
            EXPECT_TRUE(said) << c.what;
        }
    }
    DCListData unnamed;
    unnamed.dcList = cases[5].rows;
    const std::vector<std::string> entries = texts(plotOf(unnamed, {tensor()}, 1, 2), "legend-entry");
    ASSERT_GE(entries.size(), 2u);
    EXPECT_EQ(entries[0], "HB_CB (1)");
    EXPECT_EQ(entries[1], "CLASS_40 (1)");

    // file names in another encoding than UTF-8
    unnamed.inDCFileName = "caf\xe9.tab";
    unnamed.inPDBFileName = "caf\xc3\xa9.pdb";
    const Document latin1 = plotOf(unnamed, {tensor()}, 1, 2);
    ASSERT_EQ(latin1.error, "");
    EXPECT_EQ(std::find_if(latin1.elements.begin(), latin1.elements.end(),
                           [](const xmlcheck::Element& e) { return e.name == "desc"; })
                  ->text,
              "Couplings: caf?.tab; structure: caf\xc3\xa9.pdb");

    // no tensor: no result table was written either; an empty but well-formed plot
    DCListData list = twoClasses();
    CouplingPlot plot;
    plot.compute(list, {}, 1, 0, false);
    EXPECT_EQ(xmlcheck::parse(svgOf(plot)).error, "");
}
