// orvanel-render --check against a scene with one instance of every problem.
#include <gtest/gtest.h>

#include <sstream>

#include "cli/render_command.h"
#include "test_support.h"

namespace {

struct Checked {
    int status;
    std::string out;
    std::string err;
};

Checked check(const std::vector<std::string>& arguments) {
    std::ostringstream out, err;
    const int status = runCommandLine(arguments, out, err, false);
    return {status, out.str(), err.str()};
}

TEST(Check, ReportsEveryProblemWhereItStandsThenTheSummary) {
    const std::string path = std::string(ORVANEL_CLI_TEST_SCENES) + "/every_problem.txt";
    const Checked result = check({"--check", path, "--width", "400"});
    EXPECT_EQ(result.status, kExitCheckFoundProblems);
    EXPECT_EQ(result.err, "");
    const std::string p = path + ":";
    EXPECT_EQ(
        result.out,
        p + "3:1: the light is inside the SPHERE at line 4: it lights nothing outside\n" + p +
            "5:18: expected a number (SPHERE radius)\n" + p +
            "6:18: the sphere's radius is not positive: it is never hit\n" + p +
            "7:1: the box's edges are left-handed (edge1 . (edge2 x edge3) < 0): it is never hit; swap two edges\n" +
            p + "8:9: a polygon needs at least three vertices; this one has 2: it is never hit\n" + p +
            "9:1: the polygon's vertices do not lie in one plane (vertex 4 is off it): it is drawn wrongly\n" + p +
            "10:20: the cylinder's two cap centres coincide: it is never hit\n" + p +
            "11:1: the ellipsoid's axes are linearly dependent: it is never hit\n" + p +
            "12:9: the POLYGON announces 5 vertices, the file holds 3\n" + p +
            "13:1: \"sphere\" is not a keyword (keywords are upper case): the SPHERE record after it is skipped\n" + p +
            "14:1: SPHERE is glued to the value after it: the SPHERE record is skipped (put a blank after the "
            "keyword)\n" +
            p +
            "15:27: expected a number (LIGHT radius)\n"
            "picture: 400 x 300 at width 400\n"
            "lights: 1\n"
            "objects: 8 (2 spheres, 1 ellipsoid, 1 cylinder, 3 polygons, 1 box)\n");
}

TEST(Check, CamerasThatGiveNoPictureAndCleanScenes) {
    TempDir dir;
    const std::string none = dir.write("none.txt", "SPHERE (0,0,-5) 1 (1,1,1) 0 1 (0,0,0) 1 1\n");
    EXPECT_EQ(check({"--check", none}).out, none +
                                                ":1:1: no CAMERA record: nothing is drawn\npicture: none\n"
                                                "lights: 0\nobjects: 1 (1 sphere)\n");
    const std::string flat = dir.write("flat.txt", "\n  CAMERA (0,0,0) (1,0,0) (0,0,0) (0,0,5)\n");
    EXPECT_EQ(check({"--check", flat}).out,
              flat +
                  ":2:3: the camera gives no picture (a zero-length screenUp or screenRight)\npicture: none\n"
                  "lights: 0\nobjects: 0\n");

    const Checked clean = check({"--check", std::string(ORVANEL_SCENES_DIR) + "/showcase.txt"});
    EXPECT_EQ(clean.status, kExitSuccess) << clean.out;
    EXPECT_TRUE(clean.out.starts_with("picture: ")) << clean.out;

    const Checked missing = check({"--check", dir.path("missing.txt")});
    EXPECT_EQ(missing.status, kExitUnreadableScene);
    EXPECT_EQ(missing.err, "Could not read file " + dir.path("missing.txt") + "\n");
}

}  // namespace
