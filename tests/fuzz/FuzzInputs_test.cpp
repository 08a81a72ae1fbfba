// The fuzz targets' entry functions: every seed input reads to its known outcome (the end of
// the reading, or the program's exit with its status), exits leave nothing behind, and one
// input does not change how the next one reads.
#include <dirent.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "FuzzInputs.h"
#include "common/Fail.h"
#include "common/TestUtil.h"

namespace {

using orvexfuzz::kReadToEnd;

const std::string kCorpus = std::string(ORVEX_SOURCE_DIR) + "/fuzz/corpus/";

std::vector<std::string> filesIn(const std::string& dir) {
    std::vector<std::string> names;
    if (DIR* d = opendir(dir.c_str())) {
        while (dirent* e = readdir(d))
            if (e->d_name[0] != '.') names.push_back(e->d_name);
        closedir(d);
    }
    std::sort(names.begin(), names.end());
    return names;
}

template <class Entry>
int runOn(Entry entry, const std::string& text) {
    return entry(reinterpret_cast<const uint8_t*>(text.data()), text.size());
}

// Status of every seed of `target` through `entry`; the program's own output is swallowed.
template <class Entry>
std::map<std::string, int> seedOutcomes(const std::string& target, Entry entry) {
    std::map<std::string, int> outcomes;
    for (const std::string& name : filesIn(kCorpus + target)) {
        testing::internal::CaptureStdout();
        testing::internal::CaptureStderr();
        outcomes[name] = runOn(entry, testutil::readFile(kCorpus + target + "/" + name));
        testing::internal::GetCapturedStdout();
        testing::internal::GetCapturedStderr();
    }
    return outcomes;
}

int openFileCount() { return static_cast<int>(filesIn("/proc/self/fd").size()); }

}  // namespace

TEST(FuzzInputs, TableSeedsReadToTheirOutcome) {
    const auto outcomes = seedOutcomes("table", orvexfuzz::readCouplingTable);
    ASSERT_GE(outcomes.size(), 9u);
    for (const auto& [name, status] : outcomes) {
        // a %9.3lf conversion ends the run with status 0; every other seed reads to the end
        EXPECT_EQ(status, name == "bad_format_exits.tab" ? 0 : kReadToEnd) << name;
    }
}

TEST(FuzzInputs, TableIsReadAsTheRunReadsIt) {
    const std::string table = testutil::readFile(kCorpus + "table/ubq_bicelle_cornilescu2000_nh.tab");
    testing::internal::CaptureStderr();
    EXPECT_EQ(runOn(orvexfuzz::readCouplingTable, table), kReadToEnd);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find(", 63 couplings found\n"), std::string::npos) << err;

    // a run that ends inside the reader (bad column format) keeps no file open, and the file
    // read next is read whole
    const std::string bad = testutil::readFile(kCorpus + "table/bad_format_exits.tab");
    const int before = openFileCount();
    testing::internal::CaptureStderr();
    for (int i = 0; i < 200; i++) ASSERT_EQ(runOn(orvexfuzz::readCouplingTable, bad), 0);
    EXPECT_EQ(runOn(orvexfuzz::readCouplingTable, table), kReadToEnd);
    const std::string err2 = testing::internal::GetCapturedStderr();
    EXPECT_EQ(openFileCount(), before);
    EXPECT_NE(err2.find("\tBad format syntax '%9.3lf'\n"), std::string::npos);
    EXPECT_NE(err2.find(", 63 couplings found\n"), std::string::npos);

    EXPECT_EQ(runOn(orvexfuzz::readCouplingTable, ""), kReadToEnd);  // an empty table
}

TEST(FuzzInputs, StructureSeedsReadToTheEnd) {
    const auto outcomes = seedOutcomes("structure", orvexfuzz::readStructure);
    ASSERT_GE(outcomes.size(), 7u);
    for (const auto& [name, status] : outcomes) EXPECT_EQ(status, kReadToEnd) << name;
    for (const char* damaged : {"", "\x1f\x8b\x08\x00garbage", "data_x\nloop_\n_atom_site.Cartn_x\n", "ATOM  "})
        EXPECT_EQ(runOn(orvexfuzz::readStructure, damaged), kReadToEnd) << damaged;
}

TEST(FuzzInputs, CommandLineSeedsExitAsTheProgramDoes) {
    const auto outcomes = seedOutcomes("cmdline", orvexfuzz::readCommandLine);
    ASSERT_GE(outcomes.size(), 14u);
    const std::map<std::string, int> exits = {{"help", 0}, {"saupe_four", -1}, {"daFixed_missing", -1}};
    for (const auto& [name, status] : outcomes) {
        auto it = exits.find(name);
        EXPECT_EQ(status, it == exits.end() ? kReadToEnd : it->second) << name;
    }
}

TEST(FuzzInputs, CommandLinesDoNotCarryOver) {
    testing::internal::CaptureStderr();
    // an option error, then a line without it: the parser holds only the second line
    EXPECT_EQ(runOn(orvexfuzz::readCommandLine, "-saupe\n1 2 3 4\n-pdb\nx.pdb\n-classHN,N"), -1);
    EXPECT_EQ(runOn(orvexfuzz::readCommandLine, "-pdb\nx.pdb\n-inD\na.tab"), kReadToEnd);
    EXPECT_EQ(runOn(orvexfuzz::readCommandLine, ""), 0);  // no arguments: the usage text
    const char saupe[] = "-saupe\0-1 2 3 4 5\n-inD\na";  // negative first value joined to its option
    EXPECT_EQ(runOn(orvexfuzz::readCommandLine, std::string(saupe, sizeof saupe - 1)), kReadToEnd);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("[Error] Saupe input must be 5 elements \n"), std::string::npos);
}

TEST(FuzzInputs, ArgumentsSplitAtLineEndsAndNulBytes) {
    const char raw[] = "-select\n10 20\n\n-pdb\0x y.pdb\n";
    const std::string bytes(raw, sizeof raw - 1);
    EXPECT_EQ(orvexfuzz::splitArguments(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()),
              (std::vector<std::string>{"-select", "10 20", "-pdb", "x y.pdb"}));
    EXPECT_TRUE(orvexfuzz::splitArguments(nullptr, 0).empty());
}
