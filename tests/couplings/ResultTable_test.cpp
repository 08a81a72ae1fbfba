// The tensor-mode block of a shape-predicted tensor (tensorMode 10), byte for byte.
#include <cstdio>
#include <string>

#include <gtest/gtest.h>

#include "couplings/ResultTable.h"

TEST(ResultTableBlocks, ShapeTensorBlockCitesItsMethod) {
    DTensor t;
    t.tensorMode = 10;
    FILE* fp = std::tmpfile();
    ASSERT_NE(fp, nullptr);
    result_table::writeTensorModeBlock(fp, t, false, 1);
    std::rewind(fp);
    std::string text;
    for (int c; (c = std::fgetc(fp)) != EOF;) text += static_cast<char>(c);
    std::fclose(fp);
    EXPECT_EQ(text, "DATA TENSOR_MODE HYDRODYNAMIC SHAPE (Order Matrix Method)\n"
                    "# (tensor from the gyration tensor of the molecular shape: Almond & Axelsen, J. Am. Chem. Soc. "
                    "124, 9986-9987 (2002))\n\n");
}
