// The alignment tensor record: defaults and small helpers.
#include "tensor/DTensor.h"

#include <cmath>

DTensor::DTensor() {
    isRCSA = false;
    initTensor(1);
}

void DTensor::initTensor(int full) {
    if (full == 1) {
        daRef = drRef = rhRef = 0;
        psiRef = thetaRef = phiRef = 0;
        psiRel = thetaRel = phiRel = 0;
        psiOff = thetaOff = phiOff = 0;
        psiAdd = thetaAdd = phiAdd = 0;
        rotRefFlag = 0;
        daScaleFlag = 1;
        dcRMS = 0;
        fc = 1.0;
    }
    da = -0.00070097;
    daMin = -0.01;
    daMax = 0.01;
    dr = -0.000327;
    drMin = -0.01;
    drMax = 0.01;
    rh = 0.466;
    rhMin = 0.0;
    rhMax = 2.0 / 3.0;
    gridStep = 5.0;
    psi = 0;
    psiMin = -180;
    psiMax = 180;
    theta = 0;
    thetaMin = -180;
    thetaMax = 180;
    phi = 0;
    phiMin = -180;
    phiMax = 180;
    saupe.fill(0);
    dSaupe.fill(0);
    Saupe_jk.fill(0);
    dSaupe_jk.fill(0);
    Tensor10_jk.fill(0);
    dTensor10_jk.fill(0);
    eulerFlag = 1;
    eulerCount = 0;
    tensorMode = 1;
    autoFlag = autoSignFlag = rhFlag = 0;
    bestIter = 0;
    fitFlag_JK = 1;
    saItStep1 = 100;
    saItStep2 = 1000;
    saItStep3 = 1000;
    saFitFlag = 0;
    saTryCount = 10;
    saPowellFlag = 1;
    Mat4Ident(m);
    byRes = true;
    beta_H = 8.0;
    beta_N = 16.0;
    beta_C = 38.0;
    const double h[3] = {-5.8, 0.0, 5.8}, n[3] = {-108.5, 45.7, 62.8}, c[3] = {-75.0, -12.0, 87.0};
    for (int i = 0; i < 3; i++) {
        H_dii[i] = h[i];
        N_dii[i] = n[i];
        C_dii[i] = c[i];
    }
    first_time = false;
    allowTinyDD = false;
}

bool DTensor::eulerNEQ(double a, double b) const { return std::fabs(a - b) > 0.0005; }

double DTensor::adj180(double a) {
    while (a > 180.0) a -= 360.0;
    while (a < -180.0) a += 360.0;
    return a;
}
