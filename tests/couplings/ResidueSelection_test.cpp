// Residue selections as marked ranges: the residues a list of pairs marks, checked against a
// residue-by-residue reading of the same pairs, and selections spanning the whole int range.
#include "couplings/ResidueSelection.h"

#include <climits>
#include <set>

#include <gtest/gtest.h>

#include "common/CountAllocations.h"

using residue_selection::isMarked;
using residue_selection::Marks;

// Overlapping, touching, reversed (empty) and unsorted pairs mark exactly the residues some
// pair a..b holds, residue by residue.
TEST(ResidueSelection, MarksWhatThePairsHold) {
    const std::vector<std::vector<int>> lists = {
        {10, 10, 15, 18, 20, 30}, {20, 30, 10, 10, 15, 18}, {5, 9, 7, 12}, {5, 9, 10, 12},
        {9, 5},                   {3, 3, 3, 3},             {-4, 2, 40, 41}, {}};
    for (const auto& pairs : lists) {
        std::set<int> expected;
        for (size_t k = 0; k + 1 < pairs.size(); k += 2)
            for (int r = pairs[k]; r <= pairs[k + 1]; r++) expected.insert(r);
        const Marks marks = residue_selection::marksOf(pairs);
        for (int r = -10; r <= 50; r++) EXPECT_EQ(isMarked(marks, r), expected.count(r) > 0) << r;
    }
}

// buildMap: an empty list selects first..last and becomes that pair; an odd list loses its last
// value with a warning; residues outside first..last are marked when a pair holds them.
TEST(ResidueSelection, BuildMapRules) {
    Marks marks;
    std::vector<int> pairs;
    residue_selection::buildMap(3, 7, pairs, marks);
    EXPECT_EQ(pairs, (std::vector<int>{3, 7}));
    EXPECT_TRUE(isMarked(marks, 3) && isMarked(marks, 7) && !isMarked(marks, 2) && !isMarked(marks, 8));
    pairs = {1, 2, 9};
    testing::internal::CaptureStderr();
    residue_selection::buildMap(3, 7, pairs, marks);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "WARNING:: residue selection syntax error ... last value will be removed ... \n");
    EXPECT_EQ(pairs, (std::vector<int>{1, 2}));
    EXPECT_TRUE(isMarked(marks, 1) && !isMarked(marks, 3) && !isMarked(marks, 9));
    // first > last with no pairs (no couplings read): nothing marked
    pairs.clear();
    residue_selection::buildMap(9999, -9999, pairs, marks);
    EXPECT_TRUE(marks.empty());
}

// The whole int range costs one range, not one entry per residue, and its ends are exact.
TEST(ResidueSelection, WholeIntRangeIsOneRange) {
    std::vector<int> pairs = {INT_MIN, INT_MAX};
    Marks marks;
    const long before = gAllocations;
    residue_selection::buildMap(1, 10, pairs, marks);
    EXPECT_LT(gAllocations - before, 10);
    for (int r : {INT_MIN, INT_MIN + 1, -1, 0, 1, INT_MAX - 1, INT_MAX}) EXPECT_TRUE(isMarked(marks, r)) << r;
    const Marks ends = residue_selection::marksOf({INT_MAX, INT_MAX, INT_MIN, INT_MIN, 0, INT_MAX});
    EXPECT_TRUE(isMarked(ends, INT_MIN) && !isMarked(ends, INT_MIN + 1) && !isMarked(ends, -1));
    EXPECT_TRUE(isMarked(ends, 0) && isMarked(ends, INT_MAX));
}
