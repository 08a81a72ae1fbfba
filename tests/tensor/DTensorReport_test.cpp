// The tensor text block: coupling form, RCSA form, tensor mode 10, no solutions, zero tensor.
// Every expected line below was formatted by hand from the values set in the test.
#include <cmath>
#include <string>

#include <gtest/gtest.h>

#include "common/TestUtil.h"
#include "tensor/DTensor.h"

using testutil::sameLines;

// Saupe vector (4.0e-4, -1.5e-4, 2.0e-5, -3.0e-5, 1.0e-5), S_XYZ (-1.1e-4, -2.9e-4, 4.0e-4),
// Da = 2e-4, Dr = 6e-5 (Rh = 0.3), solutions (10, 20, 30) and (-170, 160, -150).
// Normalised block: d = S_Z/20 = 2e-5; s0/d = 20, (s1/d)/sqrt3 = -7.5/1.7320508 = -4.330,
// 2(s2/d)/sqrt3 = 2/1.7320508 = 1.155, 2(s3/d)/sqrt3 = -3/1.7320508 = -1.732, 2(s4/d)/sqrt3 = 0.577;
// epsilon = 1 - cos(5 deg) = 3.8053e-03, printed back as 5 degrees.
// Rz(30)Ry(20)Rx(10): row 1 = (c30 c20, c30 s20 s10 - s30 c10, c30 s20 c10 + s30 s10), and so on.
// GMag = sqrt(8 (2e-4)^2 + 6 (6e-5)^2) = sqrt(3.416e-7) = 5.844656e-4.
// Da_HN = 21585.2 * 2e-4 = 4.317; its spread 21585.2 * 1e-5 = 0.216.
TEST(DTensorReport, CouplingRcsaAndModeTenForms) {
    DTensor t;
    t.saupe = {4.0e-4, -1.5e-4, 2.0e-5, -3.0e-5, 1.0e-5};
    t.dSaupe_jk = {1.0e-5, 2.5e-5, 3.0e-6, 4.0e-6, 5.5e-6};
    t.sXYZ[0] = -1.1e-4, t.sXYZ[1] = -2.9e-4, t.sXYZ[2] = 4.0e-4;
    t.saupe_epsilon = 1.0 - std::cos(5.0 * 3.14159265358979323846 / 180.0);
    t.da = 2.0e-4, t.dr = 6.0e-5, t.da_jk_stdev = 1.0e-5, t.rh_jk_stdev = 0.025;
    t.eulerCount = 2;
    t.psiList[0] = 10, t.thetaList[0] = 20, t.phiList[0] = 30;
    t.psiList[1] = -170, t.thetaList[1] = 160, t.phiList[1] = -150;
    t.rotRefFlag = 1;
    t.psiRef = 10, t.thetaRef = -20, t.phiRef = 30;
    t.psiRel = 190, t.thetaRel = -200, t.phiRel = 5.5;   // printed wrapped: -170, 160

    const std::string head =
        "#                   Szz      Sxx-Syy         Sxy         Sxz         Syz\n"
        "DATA SAUPE    4.0000e-04 -1.5000e-04  2.0000e-05 -3.0000e-05  1.0000e-05\n"
        "# Uncertainty of SAUPE components from 'JackKnifed' procedure\n"
        "DATA SAUPE_\xCF\x83  1.0000e-05  2.5000e-05  3.0000e-06  4.0000e-06  5.5000e-06\n";
    const std::string sxyz = "DATA S_XYZ   -1.1000e-04 -2.9000e-04  4.0000e-04\n\n";
    const std::string normalised =
        "# Normalized TENSOR components (to Da of 10 Hz) in an order of:\n"
        "#                       Szz A(Sxx-Syy)    2*A*Sxy    2*A*Sxz    2*A*Syz  where A=1/\xE2\x88\x9A" "3\n"
        "DATA TENSOR_10Hz     20.000     -4.330      1.155     -1.732      0.577\n"
        "# Overall uncertainty \xCE\xB5(TENSOR) = \xE2\x88\x9A(N_JK) * RMS[{1-P(TENSOR_JK, <TENSOR>)}]\n"
        "DATA TENSOR_\xCE\xB5   3.8053e-03 [5.000 deg] \n\n";
    const std::string reference = "DATA EULER_REFERENCE   10.00  -20.00   30.00\n"
                                  "DATA EULER_RELATIVE  -170.00  160.00    5.50\n\n";
    const std::string euler = "# Euler angles (psi/theta/phi) for rotation about x, y, z\n"
                              "DATA EULER_SOLUTIONS\t  2\n"
                              "DATA EULER_ANGLES        10.00   20.00   30.00\n"
                              "DATA EULER_ANGLES      -170.00  160.00 -150.00\n"
                              "\nDATA ROTATION_MATRIX 1  0.813798 -0.440970  0.378522"
                              "\nDATA ROTATION_MATRIX 2  0.469846  0.882564  0.018028"
                              "\nDATA ROTATION_MATRIX 3 -0.342020  0.163176  0.925417"
                              "\n\nDATA Da  2.000000e-04\nDATA Dr  6.000000e-05\n"
                              "\nDATA GMag   5.844656e-04\n\n";
    const std::string daHN = "DATA Da_HN\t     4.317  +/-     0.216\n";
    const std::string rh = "DATA Rhombicity      0.300  +/-     0.025\n\n";

    const std::string got = t.reportTensor(1);
    EXPECT_TRUE(sameLines(head + sxyz + normalised + reference + euler + daHN + rh, got));
    EXPECT_EQ(got, t.reportTensor(0));   // the level argument changes nothing
    const double R[3][3] = {{0.813797681, -0.440969611, 0.378522306},   // mRot: the first solution
                            {0.469846310, 0.882564119, 0.018028311},
                            {-0.342020143, 0.163175911, 0.925416578}};
    for (int i = 0; i < 9; i++) EXPECT_NEAR(R[i / 3][i % 3], t.mRot[i / 3][i % 3], 1e-9);

    t.rotRefFlag = 0;
    t.tensorMode = 10;   // drops the normalised block only
    EXPECT_TRUE(sameLines(head + sxyz + euler + daHN + rh, t.reportTensor(1)));
    t.tensorMode = 1;
    t.isRCSA = true;
    const std::string rcsaOrder = "# SAUPE TENSOR components in an order of: Syy, Szz, Sxy, Sxz, Syz\n\n";
    const std::string rcsaDa = "DATA Da_HN_RDC\t    4.317\n";
    EXPECT_TRUE(sameLines(head + rcsaOrder + sxyz + euler + rcsaDa + rh, t.reportTensor(1)));

    // no Euler solution: no rotation-matrix lines, mRot untouched
    t.eulerCount = 0;
    t.mRot[0][0] = 42;
    const std::string none = t.reportTensor(1);
    EXPECT_NE(std::string::npos, none.find("DATA EULER_SOLUTIONS\t  0\n\n\nDATA Da  2.000000e-04\n")) << none;
    EXPECT_EQ(42, t.mRot[0][0]);
}

TEST(DTensorReport, ZeroTensorReportsZerosWithoutDividing) {
    DTensor z;
    z.eulerCount = z.saupe2euler();
    const std::string r = z.reportTensor(1);
    auto has = [&r](const char* text) { return r.find(text) != std::string::npos; };
    EXPECT_FALSE(has("nan")) << r;
    EXPECT_TRUE(has("DATA TENSOR_10Hz      0.000      0.000      0.000      0.000      0.000\n")) << r;
    EXPECT_TRUE(has("DATA Da  0.000000e+00\nDATA Dr  0.000000e+00\n\nDATA GMag   0.000000e+00\n"));
    EXPECT_TRUE(has("DATA Da_HN\t     0.000  +/-     0.000\n"));
    EXPECT_TRUE(has("DATA Rhombicity      0.000  +/-     0.000\n\n"));
}
