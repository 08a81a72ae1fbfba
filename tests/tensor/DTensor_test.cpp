// Alignment tensor record: partial and full reset, angle helpers.
#include <gtest/gtest.h>

#include "tensor/DTensor.h"

TEST(DTensorRecord, PartialAndFullReset) {
    // a partial reset keeps references, additions, dcRMS and fc; a full one resets them too
    DTensor t;
    t.psiRef = 12;
    t.psiAdd = 3;
    t.rotRefFlag = 1;
    t.dcRMS = 2.5;
    t.fc = 0.5;
    t.da = 1;
    t.saupe[2] = 7;
    t.tensorMode = 5;
    t.allowTinyDD = true;
    t.initTensor(0);
    EXPECT_EQ((std::vector<double>{t.psiRef, t.psiAdd, double(t.rotRefFlag), t.dcRMS, t.fc}),
              (std::vector<double>{12, 3, 1, 2.5, 0.5}));
    EXPECT_DOUBLE_EQ(t.da, -0.00070097);
    EXPECT_EQ(t.saupe[2], 0);
    EXPECT_EQ(t.tensorMode, 1);
    EXPECT_FALSE(t.allowTinyDD);
    t.initTensor(1);
    EXPECT_EQ((std::vector<double>{t.psiRef, t.psiAdd, double(t.rotRefFlag), t.dcRMS, t.fc}),
              (std::vector<double>{0, 0, 0, 0, 1}));
}

TEST(DTensorRecord, AngleHelpers) {
    EXPECT_EQ(DTensor::adj180(540), 180);
    EXPECT_EQ(DTensor::adj180(-190), 170);
    EXPECT_EQ(DTensor::adj180(-900), -180);
    DTensor a;
    EXPECT_FALSE(a.eulerNEQ(10.0, 10.0004));
    EXPECT_TRUE(a.eulerNEQ(10.0, 10.0006));
}
