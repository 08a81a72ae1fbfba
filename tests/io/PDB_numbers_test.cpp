// Coordinate, occupancy and B-factor fields of atom lines: every way a file may write them reads
// as the C library reads the field's text.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "common/TestUtil.h"
#include "io/PDB.h"

TEST(PDBNumbers, FieldsReadAsStrtodReadsThem) {
    // 8-column coordinate texts and 6-column occupancy/B texts, usual and unusual
    const std::vector<std::string> coordinates = {"  -0.000", "   -.500", "    .125", "1234.567", "-999.999",
                                                  "   0.001", "  12.5  ", "  +1.500", " 1.2e1  ", "- 1.000 ",
                                                  "   -    ", "        ", "  1.2345", "12345678", " -3.14.1"};
    const std::vector<std::string> shortFields = {"  1.00", "  0.50", "  -.25", " 99.99", "1.5   ", "  +.50",
                                                  "      ", " 1e-1 ", "-12.34", "  0.5x"};
    std::string text;
    int serial = 0;
    for (size_t i = 0; i < coordinates.size(); i++) {
        const std::string& x = coordinates[i];
        const std::string& y = coordinates[(i + 5) % coordinates.size()];
        const std::string& z = coordinates[(i + 9) % coordinates.size()];
        const std::string& occupancy = shortFields[i % shortFields.size()];
        const std::string& b = shortFields[(i + 3) % shortFields.size()];
        char line[100];
        std::snprintf(line, sizeof line, "ATOM  %5d  CA  ALA A%4d    %s%s%s%s%s           C\n", ++serial,
                      static_cast<int>(i + 1), x.c_str(), y.c_str(), z.c_str(), occupancy.c_str(), b.c_str());
        text += line;
    }
    testutil::TempDir dir;
    const std::string path = dir.file("numbers.pdb");
    testutil::writeFile(path, text);
    PDB pdb(path);
    ASSERT_TRUE(pdb.isLoaded);
    auto strtodOf = [](const std::string& field) { return static_cast<float>(std::strtod(field.c_str(), nullptr)); };
    for (size_t i = 0; i < coordinates.size(); i++) {
        SCOPED_TRACE(coordinates[i]);
        const CORdata e = pdb.getEntry(1, static_cast<int>(i + 1));
        EXPECT_EQ(e.X, strtodOf(coordinates[i]));
        EXPECT_EQ(e.Y, strtodOf(coordinates[(i + 5) % coordinates.size()]));
        EXPECT_EQ(e.Z, strtodOf(coordinates[(i + 9) % coordinates.size()]));
        EXPECT_EQ(e.Occupancy, strtodOf(shortFields[i % shortFields.size()]));
        EXPECT_EQ(e.B_Factor, strtodOf(shortFields[(i + 3) % shortFields.size()]));
    }
}
