// -plot as a user runs it: the bundled example plotted with the run otherwise unchanged, each
// fitting route handing the plot its own table, the maximal-subset search with five corrupted
// residues, a plot file that cannot be written, the option without a file, runs that draw
// nothing, and the file rendered by rsvg-convert.
#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "common/MaxSubScenario.h"
#include "common/PlotReading.h"
#include "common/TestUtil.h"
#include "common/XmlCheck.h"

using plotreading::byId;
using plotreading::countByPrefix;
using plotreading::dataLines;
using plotreading::texts;
using testutil::RunResult;
using testutil::runOrvex;
using testutil::TempDir;
using xmlcheck::count;
using xmlcheck::Document;

namespace {

const std::string kExamples = std::string(ORVEX_SOURCE_DIR) + "/examples/";
const std::vector<std::string> kExampleRun = {"-pdb", kExamples + "2MJB.pdb", "-inD",
                                              kExamples + "2mjb_set500_backbone.tab", "-outD", "out.tab"};

std::vector<std::string> with(std::vector<std::string> args, const std::vector<std::string>& more) {
    args.insert(args.end(), more.begin(), more.end());
    return args;
}

// Standard output without the running-time figure.
std::string masked(const std::string& out) {
    const size_t at = out.find("\tRunning time (main): ");
    return at == std::string::npos ? out : out.substr(0, at);
}

Document readPlot(const std::string& path) {
    EXPECT_TRUE(testutil::fileExists(path)) << path;
    return xmlcheck::parse(testutil::readFile(path));
}

// The plot's statistics corner holds the table's N, RMS, Q_FACTOR, Q_X_FACTOR and CORR_R of a set.
void expectTableStatistics(const Document& plot, const std::string& table, bool validation) {
    const auto data = dataLines(table);
    const char* const ids[] = {"N", "RMS", "Q", "QX", "R"};
    const char* const work[] = {"N_SVD", "RMS", "Q_FACTOR", "Q_X_FACTOR", "CORR_R"};
    const char* const valid[] = {"N_V", "RMS_V", "Q_FACTOR_V", "Q_X_FACTOR_V", "CORR_R_V"};
    for (int k = 0; k < 5; k++) {
        const xmlcheck::Element* w = byId(plot, std::string("stat-work-") + ids[k]);
        ASSERT_NE(w, nullptr) << ids[k];
        ASSERT_TRUE(data.count(work[k])) << work[k];
        EXPECT_EQ(w->text, data.at(work[k])) << work[k];
        const xmlcheck::Element* v = byId(plot, std::string("stat-valid-") + ids[k]);
        if (!validation) {
            EXPECT_EQ(v, nullptr) << ids[k];
            continue;
        }
        ASSERT_NE(v, nullptr) << ids[k];
        ASSERT_TRUE(data.count(valid[k])) << valid[k];
        EXPECT_EQ(v->text, data.at(valid[k])) << valid[k];
    }
}

}  // namespace

TEST(PlotCli, ExampleRunPlottedAndOtherwiseUnchanged) {
    TempDir plain, plotted;
    const RunResult r0 = runOrvex(kExampleRun, plain.path());
    const RunResult r1 = runOrvex(with(kExampleRun, {"-plot", "fit.svg"}), plotted.path());
    ASSERT_EQ(r0.status, 1) << r0.err;
    EXPECT_EQ(r1.status, 1) << r1.err;
    EXPECT_EQ(r1.err, r0.err);
    EXPECT_EQ(masked(r1.out), masked(r0.out));
    const std::string table = testutil::readFile(plotted.file("out.tab"));
    EXPECT_EQ(table, testutil::readFile(plain.file("out.tab")));

    const Document plot = readPlot(plotted.file("fit.svg"));
    ASSERT_EQ(plot.error, "");
    // the classes as the example's provenance counts them: N-H 63, N(i)-C(i-1) 61,
    // C(i-1)-HN(i) 61, CA-C 58, CA-HA 62; all in the fit, all with a jackknife prediction
    EXPECT_EQ(texts(plot, "legend-entry"),
              (std::vector<std::string>{"HN_N (63)", "HN_C (61)", "N_C (61)", "HA_CA (62)", "C_CA (58)", "working set",
                                        "D_JK (jackknife)", "D = D_OBS"}));
    EXPECT_EQ(countByPrefix(plot, "dc work "), 305);
    EXPECT_EQ(countByPrefix(plot, "jk "), 305);
    expectTableStatistics(plot, table, false);
}

// Each fitting route hands the plot its own table: the validation set, a fixed tensor (no
// jackknife), couplings generated without measurements, the nonlinear fit, and the
// one-tensor-per-conformer table without Q.
TEST(PlotCli, EachRouteDrawsItsOwnTable) {
    TempDir dir;
    const std::string model = kExamples + "2MJB_model1.pdb", couplings = kExamples + "2mjb_set500_backbone.tab";
    enum Kind { kValidation, kFixed, kGenerated, kNonlinear, kMultiTensor };
    const struct {
        Kind kind;
        std::vector<std::string> args;
    } routes[] = {
        {kValidation, with(kExampleRun, {"-select", "1", "30", "40", "60", "-select_valid", "25", "45"})},
        {kFixed, {"-pdb", model, "-inD", couplings, "-fixed", "-da", "-4.4e-4", "-rh", "0.17", "-rx", "107.8", "-ry",
                  "34.5", "-rz", "-7.2", "-outD", "out.tab"}},
        {kGenerated, {"-pdb", model, "-saupe", "4.4e-4", "3.3e-4", "5.4e-4", "-1.5e-4", "3.1e-4", "-classHN,N", "-outD",
                      "out.tab"}},
        {kNonlinear, {"-pdb", model, "-inD", couplings, "-fit_sa_lm", "-seed", "7", "-outD", "out.tab"}},
        {kMultiTensor, {"-pdb", kExamples + "2MJB_models1-3.pdb", "-inD", couplings, "-multiTensor", "-outD", "out.tab"}},
    };
    for (const auto& route : routes) {
        SCOPED_TRACE(route.kind);
        const RunResult r = runOrvex(with(route.args, {"-plot", "p.svg"}), dir.path());
        ASSERT_EQ(r.status, 1) << r.err;
        const Document plot = readPlot(dir.file("p.svg"));
        ASSERT_EQ(plot.error, "");
        const std::string table = testutil::readFile(dir.file("out.tab"));
        const auto data = dataLines(table);
        switch (route.kind) {
        case kValidation: {
            expectTableStatistics(plot, table, true);
            EXPECT_GT(countByPrefix(plot, "dc valid "), 0);
            EXPECT_EQ(std::to_string(countByPrefix(plot, "dc work ")), data.at("N_SVD"));
            const std::vector<std::string> entries = texts(plot, "legend-entry");
            EXPECT_EQ(std::count(entries.begin(), entries.end(), "validation set"), 1);
            break;
        }
        case kFixed:
            expectTableStatistics(plot, table, false);
            EXPECT_EQ(countByPrefix(plot, "jk "), 0);
            break;
        case kGenerated:
            EXPECT_EQ(countByPrefix(plot, "dc "), 0);
            EXPECT_EQ(texts(plot, "empty"), std::vector<std::string>{"no measured couplings"});
            EXPECT_EQ(byId(plot, "stat-work-N"), nullptr);
            EXPECT_GT(count(plot, "circle", "calc HN_N"), 60);
            break;
        case kNonlinear:
            expectTableStatistics(plot, table, false);
            break;
        case kMultiTensor:
            ASSERT_NE(byId(plot, "stat-work-RMS"), nullptr);
            EXPECT_EQ(byId(plot, "stat-work-RMS")->text, data.at("RMS"));
            EXPECT_EQ(byId(plot, "stat-work-N")->text, data.at("N_SVD"));
            EXPECT_EQ(byId(plot, "stat-work-Q"), nullptr);
            EXPECT_EQ(data.count("Q_FACTOR"), 0u);
            break;
        }
    }
}

// The five corrupted residues of the scenario are the ones marked; the count is the final
// fit's over the subset.
TEST(PlotCli, MaximalSubsetMarksTheCorruptedResidues) {
    TempDir dir;
    testutil::writeFile(dir.file("sim.tab"), maxsubscenario::tableText(maxsubscenario::simulated()));
    for (const char* search : {"-maxSub", "-culling"}) {
        SCOPED_TRACE(search);
        std::vector<std::string> args = {"-pdb", maxsubscenario::examples() + "2MJB_model1.pdb", "-inD", "sim.tab",
                                         "-outD", "max.tab", "-plot", "max.svg", search};
        if (search[1] == 'm') args.push_back("+");
        const RunResult r = runOrvex(args, dir.path());
        ASSERT_EQ(r.status, 1) << r.err;
        const Document plot = readPlot(dir.file("max.svg"));
        ASSERT_EQ(plot.error, "");
        const std::vector<double> marked = plotreading::leftOutResidues(plot);
        ASSERT_EQ(marked.size(), maxsubscenario::kOutliers.size());
        for (size_t i = 0; i < marked.size(); i++) EXPECT_NEAR(marked[i], maxsubscenario::kOutliers[i].residue, 0.01);
        const auto data = dataLines(testutil::readFile(dir.file("max.tab")));
        EXPECT_EQ(byId(plot, "stat-work-N")->text, data.at("N_DC_MAXSUB"));
        EXPECT_EQ(countByPrefix(plot, "dc work "), std::stoi(data.at("N_DC_MAXSUB")));
    }
}

// The run goes on as without the plot; the warning names the file.
TEST(PlotCli, PlotFileThatCannotBeWritten) {
    TempDir plain, dir;
    const RunResult r0 = runOrvex(kExampleRun, plain.path());
    for (const std::string& name : {std::string("no/such/dir/p.svg"), dir.path()}) {
        const RunResult r = runOrvex(with(kExampleRun, {"-plot", name}), dir.path());
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.err, r0.err + "Warning :: Cannot write the plot file " + name + "; the run goes on without a plot.\n");
        EXPECT_EQ(masked(r.out), masked(r0.out));
        EXPECT_EQ(testutil::readFile(dir.file("out.tab")), testutil::readFile(plain.file("out.tab")));
    }
    EXPECT_FALSE(testutil::fileExists(dir.file("no")));
}

TEST(PlotCli, PlotOptionWithoutAFileName) {
    TempDir dir;
    for (const auto& extra : {std::vector<std::string>{"-plot"}, std::vector<std::string>{"-plot", "-noJK"}}) {
        const RunResult r = runOrvex(with(kExampleRun, extra), dir.path());
        EXPECT_EQ(r.status, 255);
        EXPECT_EQ(r.err, "[Error]:: '-plot' needs the name of the SVG file to write\n");
        EXPECT_EQ(r.out, "");
        EXPECT_FALSE(testutil::fileExists(dir.file("out.tab")));
    }
}

// Modes without a coupling fit to draw say so at the end; nothing else changes. A run that ends
// early (no coupling to fit: status 0) ends as it would without the option.
TEST(PlotCli, RunsThatDrawNothing) {
    TempDir dir, plain;
    const std::string model = kExamples + "2MJB_model1.pdb";
    const struct {
        std::vector<std::string> args;
        bool warns;
    } runs[] = {
        {{"-pdb", model, "-orth", "-inDs", kExamples + "2mjb_set500_backbone.tab",
          kExamples + "ubq_bicelle_cornilescu2000_nh.tab"},
         true},
        {{"-pdb", model, "-rcsa", "-inRCSA", std::string(ORVEX_TEST_DATA) + "/rcsa/ubq_bicelle_rcsa_N.tab", "-outRCSA",
          "rcsa.tab"},
         true},
        {{"-pdb", model, "-inD", "missing.tab", "-outD", "out.tab"}, false},
    };
    for (const auto& run : runs) {
        const RunResult r0 = runOrvex(run.args, plain.path());
        const RunResult r = runOrvex(with(run.args, {"-plot", "p.svg"}), dir.path());
        EXPECT_EQ(r.status, r0.status) << run.args[2];
        EXPECT_EQ(masked(r.out), masked(r0.out)) << run.args[2];
        const std::string warning =
            run.warns ? "Warning :: No plot written to p.svg: this run fitted no couplings that -plot can draw.\n" : "";
        EXPECT_EQ(r.err, r0.err + warning) << run.args[2];
        EXPECT_FALSE(testutil::fileExists(dir.file("p.svg"))) << run.args[2];
    }
}

// A renderer reads the file as a browser would (rsvg-convert, Debian's librsvg2-bin).
TEST(PlotCli, RenderedHeadless) {
    if (std::system("command -v rsvg-convert >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "rsvg-convert not found (Debian librsvg2-bin; scripts/ensure-tools.sh installs it as root)";
    TempDir dir;
    ASSERT_EQ(runOrvex(with(kExampleRun, {"-plot", "fit.svg"}), dir.path()).status, 1);
    const std::string command = "cd '" + dir.path() + "' && rsvg-convert -w 1000 -o fit.png fit.svg 2>err.txt";
    ASSERT_EQ(std::system(command.c_str()), 0) << testutil::readFile(dir.file("err.txt"));
    const std::string png = testutil::readFile(dir.file("fit.png"));
    ASSERT_GT(png.size(), 24u);
    EXPECT_EQ(png.substr(0, 8), std::string("\x89PNG\r\n\x1a\n", 8));
    // width 1000 pixels for 500 units; the height follows the page's 500 x 700 proportions
    const auto be32 = [&png](size_t at) {
        return (static_cast<unsigned char>(png[at]) << 24) | (static_cast<unsigned char>(png[at + 1]) << 16) |
               (static_cast<unsigned char>(png[at + 2]) << 8) | static_cast<unsigned char>(png[at + 3]);
    };
    EXPECT_EQ(be32(16), 1000u);
    EXPECT_EQ(be32(20), 1400u);
}
