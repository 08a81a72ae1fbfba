// Alignment tensor record: defaults, partial and full reset, value copies, angle helpers.
#include <gtest/gtest.h>

#include "tensor/DTensor.h"

TEST(DTensorRecord, DefaultsAndResets) {
    DTensor t;
    EXPECT_DOUBLE_EQ(t.da, -0.00070097);
    EXPECT_DOUBLE_EQ(t.daMin, -0.01);
    EXPECT_DOUBLE_EQ(t.drMax, 0.01);
    EXPECT_DOUBLE_EQ(t.rhMax, 2.0 / 3.0);
    EXPECT_EQ(t.thetaMin, -180);
    EXPECT_EQ(t.tensorMode, 1);
    EXPECT_EQ(t.eulerFlag, 1);
    EXPECT_EQ(t.fitFlag_JK, 1);
    EXPECT_EQ(t.daScaleFlag, 1);
    EXPECT_EQ(t.saItStep2, 1000);
    EXPECT_EQ(t.saTryCount, 10);
    EXPECT_TRUE(t.byRes);
    EXPECT_FALSE(t.isRCSA);
    EXPECT_DOUBLE_EQ(t.fc, 1.0);
    EXPECT_EQ(t.m[0][0], 1.0);
    EXPECT_EQ(t.m[0][1], 0.0);
    EXPECT_DOUBLE_EQ(t.N_dii[0], -108.5);

    // a partial reset keeps references, offsets, additions, dcRMS and fc
    t.psiRef = 12;
    t.psiAdd = 3;
    t.daRef = 5;
    t.rotRefFlag = 1;
    t.dcRMS = 2.5;
    t.fc = 0.5;
    t.da = 1;
    t.saupe[2] = 7;
    t.tensorMode = 5;
    t.allowTinyDD = true;
    t.isRCSA = true;
    t.initTensor(0);
    EXPECT_EQ(t.psiRef, 12);
    EXPECT_EQ(t.psiAdd, 3);
    EXPECT_EQ(t.daRef, 5);
    EXPECT_EQ(t.rotRefFlag, 1);
    EXPECT_EQ(t.dcRMS, 2.5);
    EXPECT_EQ(t.fc, 0.5);
    EXPECT_DOUBLE_EQ(t.da, -0.00070097);
    EXPECT_EQ(t.saupe[2], 0);
    EXPECT_EQ(t.tensorMode, 1);
    EXPECT_FALSE(t.allowTinyDD);
    EXPECT_TRUE(t.isRCSA);   // the Saupe order is not a fit setting
    t.initTensor(1);
    EXPECT_EQ(t.psiRef, 0);
    EXPECT_EQ(t.rotRefFlag, 0);
    EXPECT_EQ(t.dcRMS, 0);
    EXPECT_EQ(t.fc, 1.0);
}

TEST(DTensorRecord, CopiesOwnTheirArrays) {
    DTensor a;
    a.saupe = {1, 2, 3, 4, 5};
    a.dSaupe[1] = 0.25;
    a.vv[1][2] = 9;
    DTensor b = a;
    b.saupe[0] = -1;
    b.dSaupe[1] = 7;
    b.dSaupe_jk[4] = 3;
    b.vv[1][2] = 0;
    EXPECT_EQ(a.saupe[0], 1);
    EXPECT_EQ(a.dSaupe[1], 0.25);
    EXPECT_EQ(a.dSaupe_jk[4], 0);
    EXPECT_EQ(a.vv[1][2], 9);
    std::vector<DTensor> list(2, a);
    list[1].saupe[3] = 0;
    EXPECT_EQ(list[0].saupe[3], 4);
}

TEST(DTensorRecord, AngleHelpers) {
    EXPECT_EQ(DTensor::adj180(540), 180);
    EXPECT_EQ(DTensor::adj180(-190), 170);
    EXPECT_EQ(DTensor::adj180(-180), -180);
    EXPECT_EQ(DTensor::adj180(725), 5);
    EXPECT_EQ(DTensor::adj180(-900), -180);
    DTensor t;
    EXPECT_FALSE(t.eulerNEQ(10.0, 10.0004));
    EXPECT_TRUE(t.eulerNEQ(10.0, 10.0006));
}
