// -plot as a user runs it: the bundled example plotted with the run otherwise unchanged, the
// statistics of the plot against the result table and the example's reference values, a
// validation set, the given-tensor routes, the maximal-subset search with five corrupted residues,
// a plot file that cannot be written, the option without a file, runs that draw nothing, and the
// file rendered by rsvg-convert.
#include <algorithm>
#include <cstdlib>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "common/MaxSubScenario.h"
#include "common/PlotReading.h"
#include "common/TestUtil.h"
#include "common/XmlCheck.h"
#include "io/GDB.h"

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

// The residue key of each row of a result table (the later of its two residues) with the
// value of one column.
std::vector<std::pair<int, std::string>> rowsWith(const std::string& path, const std::string& column) {
    GDB table(path);
    std::vector<std::pair<int, std::string>> rows;
    for (int i = 1; i <= table.getEntryCount(); i++) {
        GDB_Entry row = table.getEntry(i);
        rows.push_back({std::max(std::stoi(row["RESID_I"]), std::stoi(row["RESID_J"])), row[column]});
    }
    return rows;
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
    EXPECT_EQ(countByPrefix(plot, "dc "), 305);
    EXPECT_EQ(countByPrefix(plot, "jk "), 305);
    EXPECT_EQ(count(plot, "circle", "dc work HN_N"), 63);
    EXPECT_EQ(count(plot, "circle", "calc C_CA"), 58);
    EXPECT_EQ(countByPrefix(plot, "row "), 5);
    expectTableStatistics(plot, table, false);
    // and the reference values of an independent fit of the example
    EXPECT_EQ(byId(plot, "stat-work-N")->text, "305");
    EXPECT_EQ(byId(plot, "stat-work-RMS")->text, "0.770");
    EXPECT_EQ(byId(plot, "stat-work-Q")->text, "0.0898");
    EXPECT_EQ(byId(plot, "stat-work-R")->text, "0.996");
}

TEST(PlotCli, ValidationSetWithItsOwnMarkersAndStatistics) {
    TempDir dir;
    const RunResult r =
        runOrvex(with(kExampleRun, {"-select", "1", "30", "40", "60", "-select_valid", "25", "45", "-plot", "v.svg"}),
                 dir.path());
    ASSERT_EQ(r.status, 1) << r.err;
    const std::string table = testutil::readFile(dir.file("out.tab"));
    const Document plot = readPlot(dir.file("v.svg"));
    ASSERT_EQ(plot.error, "");
    expectTableStatistics(plot, table, true);
    // rows of residues 31-39 are in the validation set only; every other row is in the fit
    int validationOnly = 0, rows = 0;
    for (const auto& row : rowsWith(dir.file("out.tab"), "D_OBS")) {
        rows++;
        validationOnly += row.first >= 31 && row.first <= 39;
    }
    EXPECT_GT(validationOnly, 0);
    EXPECT_EQ(countByPrefix(plot, "dc valid "), validationOnly);
    EXPECT_EQ(countByPrefix(plot, "dc work "), rows - validationOnly);
    EXPECT_EQ(std::to_string(rows - validationOnly), dataLines(table).at("N_SVD"));
    EXPECT_EQ(countByPrefix(plot, "dc other "), 0);
    const std::vector<std::string> entries = texts(plot, "legend-entry");
    EXPECT_EQ(std::count(entries.begin(), entries.end(), "validation set"), 1);
}

TEST(PlotCli, GivenTensorRoutes) {
    TempDir dir;
    const std::string model = kExamples + "2MJB_model1.pdb", couplings = kExamples + "2mjb_set500_backbone.tab";
    // a fixed tensor back-calculates the table: no jackknife; the table's N_SVD is its valid count
    RunResult r = runOrvex({"-pdb", model, "-inD", couplings, "-fixed", "-da", "-4.4e-4", "-rh", "0.17", "-rx", "107.8",
                            "-ry", "34.5", "-rz", "-7.2", "-outD", "fixed.tab", "-plot", "fixed.svg"},
                           dir.path());
    ASSERT_EQ(r.status, 1) << r.err;
    Document plot = readPlot(dir.file("fixed.svg"));
    ASSERT_EQ(plot.error, "");
    const std::string fixedTable = testutil::readFile(dir.file("fixed.tab"));
    expectTableStatistics(plot, fixedTable, false);
    EXPECT_EQ(countByPrefix(plot, "dc work "), static_cast<int>(rowsWith(dir.file("fixed.tab"), "D_OBS").size()));
    EXPECT_EQ(countByPrefix(plot, "jk "), 0);

    // couplings generated from the structure: nothing measured, no statistics, D along the sequence
    r = runOrvex({"-pdb", model, "-saupe", "4.4e-4", "3.3e-4", "5.4e-4", "-1.5e-4", "3.1e-4", "-classHN,N", "-outD",
                  "gen.tab", "-plot", "gen.svg"},
                 dir.path());
    ASSERT_EQ(r.status, 1) << r.err;
    plot = readPlot(dir.file("gen.svg"));
    ASSERT_EQ(plot.error, "");
    EXPECT_EQ(countByPrefix(plot, "dc "), 0);
    EXPECT_EQ(texts(plot, "empty"), std::vector<std::string>{"no measured couplings"});
    EXPECT_EQ(byId(plot, "stat-work-N"), nullptr);
    EXPECT_EQ(count(plot, "circle", "calc HN_N"), static_cast<int>(rowsWith(dir.file("gen.tab"), "D").size()));
    EXPECT_EQ(countByPrefix(plot, "row "), 1);
}

// The fitted-tensor routes draw their own table: the nonlinear fit's statistics, and the
// one-tensor-per-conformer table without Q.
TEST(PlotCli, NonlinearAndMultiTensorRoutes) {
    TempDir dir;
    const std::string couplings = kExamples + "2mjb_set500_backbone.tab";
    RunResult r = runOrvex({"-pdb", kExamples + "2MJB_model1.pdb", "-inD", couplings, "-fit_sa_lm", "-seed", "7",
                            "-outD", "nl.tab", "-plot", "nl.svg"},
                           dir.path());
    ASSERT_EQ(r.status, 1) << r.err;
    Document plot = readPlot(dir.file("nl.svg"));
    ASSERT_EQ(plot.error, "");
    expectTableStatistics(plot, testutil::readFile(dir.file("nl.tab")), false);
    EXPECT_EQ(countByPrefix(plot, "dc work "), static_cast<int>(rowsWith(dir.file("nl.tab"), "D_OBS").size()));

    r = runOrvex({"-pdb", kExamples + "2MJB_models1-3.pdb", "-inD", couplings, "-multiTensor", "-outD", "mt.tab",
                  "-plot", "mt.svg"},
                 dir.path());
    ASSERT_EQ(r.status, 1) << r.err;
    plot = readPlot(dir.file("mt.svg"));
    ASSERT_EQ(plot.error, "");
    const auto data = dataLines(testutil::readFile(dir.file("mt.tab")));
    ASSERT_NE(byId(plot, "stat-work-RMS"), nullptr);
    EXPECT_EQ(byId(plot, "stat-work-RMS")->text, data.at("RMS"));
    EXPECT_EQ(byId(plot, "stat-work-N")->text, data.at("N_SVD"));
    EXPECT_EQ(byId(plot, "stat-work-Q"), nullptr);
    EXPECT_EQ(data.count("Q_FACTOR"), 0u);
    // this table's FORMAT line has no blank after the keyword: its rows are counted by hand
    const std::string table = testutil::readFile(dir.file("mt.tab"));
    const size_t rows = table.find("\nFORMAT%4d");
    ASSERT_NE(rows, std::string::npos);
    const int rowCount = static_cast<int>(std::count(table.begin() + rows + 1, table.end(), '\n')) - 1;
    EXPECT_EQ(countByPrefix(plot, "dc work "), rowCount);
}

// The five corrupted residues of the scenario are the ones marked; the statistics are the final
// fit's over the subset.
TEST(PlotCli, MaximalSubsetMarksTheCorruptedResidues) {
    TempDir dir;
    testutil::writeFile(dir.file("sim.tab"), maxsubscenario::tableText(maxsubscenario::simulated()));
    for (const char* search : {"+", "-"}) {
        std::vector<std::string> args = {"-pdb", maxsubscenario::examples() + "2MJB_model1.pdb", "-inD", "sim.tab",
                                         "-outD", "max.tab", "-plot", "max.svg"};
        args = with(args, search[0] == '+' ? std::vector<std::string>{"-maxSub", "+"} : std::vector<std::string>{"-culling"});
        const RunResult r = runOrvex(args, dir.path());
        ASSERT_EQ(r.status, 1) << r.err;
        const Document plot = readPlot(dir.file("max.svg"));
        ASSERT_EQ(plot.error, "") << search;
        const std::vector<double> marked = plotreading::leftOutResidues(plot);
        ASSERT_EQ(marked.size(), maxsubscenario::kOutliers.size()) << search;
        for (size_t i = 0; i < marked.size(); i++)
            EXPECT_NEAR(marked[i], maxsubscenario::kOutliers[i].residue, 0.01) << search;

        const std::string table = testutil::readFile(dir.file("max.tab"));
        const auto data = dataLines(table);
        EXPECT_EQ(byId(plot, "stat-work-N")->text, data.at("N_DC_MAXSUB")) << search;
        EXPECT_EQ(byId(plot, "stat-work-RMS")->text, data.at("RMS")) << search;
        EXPECT_EQ(byId(plot, "stat-work-Q")->text, data.at("Q_FACTOR")) << search;
        int outside = 0;
        for (const auto& row : rowsWith(dir.file("max.tab"), "MAXSUB")) outside += row.second == "0";
        EXPECT_EQ(countByPrefix(plot, "dc other "), outside) << search;
        EXPECT_EQ(countByPrefix(plot, "dc work "), std::stoi(data.at("N_DC_MAXSUB"))) << search;
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
