// The usage text: general options, tensor orthogonalization and RCSA blocks.
#include <cstdio>

#include "common/Fail.h"
#include "driver/Orvex.h"

void Orvex::printSyntax() {
    std::fputs("===============================", stderr);
    std::fputs("\nOrvex: Dipolar Coupling Analysis.\n", stderr);
    std::fputs("===============================\n\n", stderr);
    std::fputs("Arguments for Input/Output:\n", stderr);
    std::fputs(" -pdb   pName  [None]     PDB Input (Required).\n", stderr);
    std::fputs(" -inD   dName  [None]     Dipolar Coupling Input.\n", stderr);
    std::fputs(" -outD  dName  [None]     Simulated Coupling Output.\n", stderr);
    std::fputs("Dipolar Interaction Value Calculation:\n", stderr);
    std::fputs(" -keepDI        Use Existing DI Values if Any, or default DI (Default).\n", stderr);
    std::fputs("                Otherwise, Use DI Values from PDB Distances.\n", stderr);
    std::fputs(" -nokeepDI      Always Use DI Values from PDB Distances.\n", stderr);
    std::fputs("Other Arguments:\n", stderr);
    std::fputs(" -keepSmallExpError  [False] \n", stderr);
    std::fputs("                Use Existing Unrealistically Small DD value.\n", stderr);
    std::fputs("Arguments for Residue Selection (as Paired Range):\n", stderr);
    std::fputs("  -select       Working Residue Selections for fit \n", stderr);
    std::fputs("                # example: 10 10 15 18 20 30\n", stderr);
    std::fputs("  -select_valid Validation Residue Selections \n", stderr);
    std::fputs("                # example: 11 14 19 19 31 40\n", stderr);
    std::fputs("                # Working Selection is used if empty\n", stderr);
    std::fputs("Arguments for Alignment Tensor Specification Methods:\n", stderr);
    std::fputs(" -svd         SVD Calc of Saupe Matrix (Default).\n", stderr);
    std::fputs(" -fit         Constrained Least Square Fit with Variation of one or\n", stderr);
    std::fputs("              more of: Da, Dr or Rh, and Rotations.\n", stderr);
    std::fputs(" -saupe sList DC Calculation with a List of 5 Saupe Values.\n", stderr);
    std::fputs(" -fixed       DC Calculation with Fixed Da, Dr or Rh, and Rotations.\n", stderr);
    std::fputs("              [Must Provide Da, Dr or Rh, and 3 Rotations]\n", stderr);
    // kept as users know them: "Jackknfied" and "Vaiable" are spelled so in the usage text
    std::fputs(" -JK          Jackknfied SVD Calc (Default).\n", stderr);
    std::fputs(" -noJK        non-Jackknfied SVD Calc.\n", stderr);
    std::fputs(" -JK_level [R/C]  Jackknfied Calc in [R]esidue or [C]oupling Level.\n", stderr);
    std::fputs(" -vwfit       VWfit (Variable-Weight Ensemble Fit).\n", stderr);
    std::fputs(" -shapeTensor Hydrodynamic Shape Calc of Tensor.\n", stderr);
    std::fputs("\nArguments for Constrained Least Square Fitting (CLS):\n", stderr);
    std::fputs(" -fit                Use CLS Mode (Required)\n", stderr);
    std::fputs("Alignment Tensor Magnitude (Da) Limits:\n", stderr);
    std::fputs(" -da       [1.0e-4]  Initial Da Value, or Auto.\n", stderr);
    std::fputs(" -daMin   [-1.0e-2]  Minimum Da Value.\n", stderr);
    std::fputs(" -daMax    [1.0e-2]  Maximum Da Value.\n", stderr);
    std::fputs("Alignment Tensor Dr or Rhombicity Limits:\n", stderr);
    std::fputs(" -dr       [1.0e-5]  Initial Dr Value, or Auto.\n", stderr);
    std::fputs(" -drMin   [-1.0e-2]  Minimum Dr Value, or Auto.\n", stderr);
    std::fputs(" -drMax    [1.0e-2]  Maximum Dr Value, or Auto.\n", stderr);
    std::fputs(" -rh          [0.1]  Initial Rhombicity Value.\n", stderr);
    std::fputs(" -rhMin       [0.0]  Minimum Rhombicity Value.\n", stderr);
    std::fputs(" -rhMax    [0.6666]  Maximum Rhombicity Value.\n", stderr);
    std::fputs("Rotation Starting Parameters (Also -rx -ry etc):\n", stderr);
    std::fputs(" -psi        [45.0]  Initial X-Axis Rotation, or Auto.\n", stderr);
    std::fputs(" -psiMax    [180.0]  Maximum X-Axis Rotation.\n", stderr);
    std::fputs(" -psiMin   [-180.0]  Minimum X-Axis Rotation.\n", stderr);
    std::fputs(" -theta      [45.0]  Initial Y-Axis Rotation, or Auto.\n", stderr);
    std::fputs(" -thetaMax  [180.0]  Maximum Y-Axis Rotation.\n", stderr);
    std::fputs(" -thetaMin [-180.0]  Minimum Y-Axis Rotation.\n", stderr);
    std::fputs(" -phi        [45.0]  Initial Z-Axis Rotation, or Auto.\n", stderr);
    std::fputs(" -phiMax    [180.0]  Maximum Z-Axis Rotation.\n", stderr);
    std::fputs(" -phiMin   [-180.0]  Minimum Z-Axis Rotation.\n", stderr);
    std::fputs("\nArguments for Vaiable Weight Ensemble Fit (VWFit):\n", stderr);
    std::fputs(" -vwfit              Use Vaiable Weight Ensemble Fit (Required).\n", stderr);
    std::fputs(" -inDs      [None]   Dipolar Coupling Input File(s) (Required).\n", stderr);
    std::fputs(" -pdb       [None]   PDB Input File (Required).\n", stderr);
    std::fputs(" -vwfitCount  [10]   Number of VWFit Iteration.\n", stderr);
    std::fputs(" -vwfit_C      [0]   Constant Coefficient C for VWFit Minimization.\n", stderr);
    std::fputs(" -saStep1    [100]   Number of Steps of Annealing Phase 1.\n", stderr);
    std::fputs(" -saStep2   [1000]   Number of Steps of Annealing Phase 2.\n", stderr);
    std::fputs(" -saStep3   [1000]   Number of Steps of Annealing Phase 3.\n", stderr);
    printSyntax_orth(0);
    printSyntax_rcsa(0);
    // extension: reproducible stochastic fits
    std::fputs("\nRepeatable Random Starts (Annealing and Other Stochastic Fits):\n", stderr);
    std::fputs(" -seed N     [Clock]  Seed the k-th Random Start of the Run with N+k.\n", stderr);
    std::fputs("\n", stderr);
    quit(0);
}

void Orvex::printSyntax_orth(int full) {
    // kept as users' scripts expect: the block title starts with "\nn"
    std::fputs("\nnArguments for Alignment Tensors Orthogonalization :\n", stderr);
    if (full) {
        std::fputs(" 1. perform SVD fit to input couplings from each medium \n", stderr);
        std::fputs(" 2. perform SVD to orthogonalize above fitted alignment tensors \n", stderr);
        std::fputs(" 3. generate up to 5 sets of orthogonalized couplings (dOrth1.tab ...) \n", stderr);
        std::fputs("Arguments:\n", stderr);
    }
    std::fputs(" -orth          Run Alignment Tensors Orthogonalization (Required).\n", stderr);
    std::fputs(" -inDs  [None]  Dipolar Coupling Input Files (Minimum two required).\n", stderr);
    std::fputs(" -pdb   [None]  PDB Input File (Required).\n", stderr);
    if (full) quit(0);
}

void Orvex::printSyntax_rcsa(int full) {
    std::fputs("\nSVD Fitting of Residual Chemical Shift Anisotropy Data:\n", stderr);
    std::fputs("Arguments:\n", stderr);
    std::fputs(" -rcsa                    Use RCSA Fit Mode (Required).\n", stderr);
    std::fputs(" -inRCSA    [None]        RCSA Inputs for SVD Fit.\n", stderr);
    std::fputs(" -outRCSA   [outRCSA.tab] RCSA FIt Output.\n", stderr);
    std::fputs("CSA Tensor Magnitude and Angles.\n", stderr);
    std::fputs(" -N_csa_d11  [-108.5]   15N CSA d11 Tensor.\n", stderr);
    std::fputs(" -N_csa_d22    [45.7]   15N CSA d22 Tensor.\n", stderr);
    std::fputs(" -N_csa_d33    [62.8]   15N CSA d33 Tensor.\n", stderr);
    std::fputs(" -N_csa_beta   [38.0]   15N CSA Beta Orientation.\n", stderr);
    std::fputs(" -H_csa_d11    [-5.8]   1H CSA d11 Tensor.\n", stderr);
    std::fputs(" -H_csa_d22     [0.0]   1H CSA d22 Tensor.\n", stderr);
    std::fputs(" -H_csa_d33     [5.8]   1H CSA d33 Tensor.\n", stderr);
    std::fputs(" -H_csa_beta    [8.0]   1H CSA Beta Orientation.\n", stderr);
    std::fputs(" -C_csa_d11   [-75.0]   13C CSA d11 Tensor.\n", stderr);
    std::fputs(" -C_csa_d22   [-12.0]   13C CSA d22 Tensor.\n", stderr);
    std::fputs(" -C_csa_d33   [-87.0]   13C CSA d33 Tensor.\n", stderr);
    std::fputs(" -C_csa_beta   [16.0]   13C CSA Beta Orientation.\n", stderr);
    if (full) {
        std::fputs("\nExamples: \n", stderr);
        std::fputs("mode #1: perform SVD fit to input rcsa data \n", stderr);
        std::fputs("       Orvex -inR inR.tab -pdb ref.pdb -rcsa\n", stderr);
        std::fputs("mode #2: perform SVD to RDC data, then back-calculate RCSA \n", stderr);
        std::fputs("       Orvex -inD inD.tab -inR inR.tab -pdb ref.pdb -rcsa \n", stderr);
        quit(0);
    }
}
