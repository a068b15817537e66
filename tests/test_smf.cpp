// The SMF reader: line kinds, 1-based faces fanned beyond three corners, bounds. Its refusals are
// in the corpus test, one file per fault.
#include "geom_util.h"

using namespace geomtest;

TEST(SmfReader, FacesFannedLineKindsAndLinesOfAnyLength) {
    Geometry g;
    EXPECT_EQ(readBytes(g, "t.smf", "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n").out, "");
    EXPECT_EQ(corners(g.model), Tris({{0, 1, 2}}));
    EXPECT_EQ(bounds(g.model), std::vector<float>({0.5f, 0.5f, 0, 0.5f}));
    readBytes(g, "t.smf", vfText(cubeQuads()));
    EXPECT_EQ(corners(g.model), triangles(cubeQuads()));
    // Lines are classified by their first character that is not white space, and are read whole
    // however long they are.
    const std::string pad(3000, ' ');
    readBytes(g, "t.smf",
              "# comment v 9 9 9\n\n   v 1 2 3" + pad + "7\n\tv\t4 5 6\r\nbind c face\nc 1 0 0\n#" +
                  std::string(5000, 'v') + "\nv1e1 +2 -3.5e-1\n  f 3" + pad + "1 2\rend\n");
    EXPECT_EQ(positions(g.model), Points({{1, 2, 3}, {4, 5, 6}, {10, 2, viaDouble("-3.5e-1")}}));
    EXPECT_EQ(corners(g.model), Tris({{2, 0, 1}}));
}
