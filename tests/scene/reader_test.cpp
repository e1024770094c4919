#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "scene/reader.h"
#include "tests/geometry/expect_vec.h"

namespace {

// color, reflectance, shininess, transmittance, permittivity, permeability
const std::string kMaterial = " (0.5, 0.25, 1) 0.3 20 (0.9, 0.8, 0.7) 2.25 1.5";

Scene read(const std::string& text, SceneDiagnostic* diagnostic = nullptr) {
    std::istringstream in(text);
    Scene scene;
    const SceneDiagnostic result = readScene(in, scene);
    if (diagnostic) *diagnostic = result;
    return scene;
}

Scene readClean(const std::string& text) {
    SceneDiagnostic diagnostic;
    Scene scene = read(text, &diagnostic);
    EXPECT_FALSE(diagnostic) << diagnostic.message;
    return scene;
}

Vec3 asVec(Color c) { return {c.red, c.green, c.blue}; }

void expectMaterial(const SceneObject& o) {
    expectVecEq(asVec(o.color), {0.5f, 0.25f, 1});
    EXPECT_EQ(o.reflectance, 0.3f);
    EXPECT_EQ(o.shininess, 20.0f);
    expectVecEq(asVec(o.transmittance), {0.9f, 0.8f, 0.7f});
    EXPECT_EQ(o.permittivity, 2.25f);
    EXPECT_EQ(o.permeability, 1.5f);
}

void expectSettings(const Scene& scene, const Camera& camera, Color ambient, const Air& air) {
    expectVecEq(scene.camera.screenCenter, camera.screenCenter);
    expectVecEq(scene.camera.screenRight, camera.screenRight);
    expectVecEq(scene.camera.screenUp, camera.screenUp);
    expectVecEq(scene.camera.eyeOffset, camera.eyeOffset);
    expectVecEq(asVec(scene.ambient), asVec(ambient));
    EXPECT_EQ(scene.air.permittivity, air.permittivity);
    EXPECT_EQ(scene.air.permeability, air.permeability);
    expectVecEq(asVec(scene.air.transmittance), asVec(air.transmittance));
}

void expectResetScene(const Scene& scene) {
    EXPECT_TRUE(scene.lightList.empty());
    EXPECT_TRUE(scene.objectList.empty());
    expectSettings(scene, {}, {}, {1000000, 1, {1, 1, 1}});
}

}  // namespace

// --- Records ----------------------------------------------------------------

TEST(ReaderRecords, EveryKeywordFillsItsFields) {
    const Scene scene = readClean(
        "CAMERA (0, 0, 10) (4, 0, 0) (0, 3, 0) (0, 0, 20)\n"
        "AMBIENT (0.1, 0.2, 0.3)\n"
        "AIR 1.5 2.5 (0.9, 0.95, 1)\n"
        "LIGHT (1, 2, 3) (0.7, 0.8, 0.9) 0.5\n"
        "SPHERE (1, 2, 3) 4" + kMaterial + "\n"
        "ELLIPSOID (1, 1, 1) (2, 0, 0) (0, 3, 0) (0, 0, 4)" + kMaterial + "\n"
        "CYLINDER (0, 0, 0) (0, 0, 2) 0.75" + kMaterial + "\n"
        "POLYGON 3 (0, 0, 0) (1, 0, 0) (0, 1, 0)" + kMaterial + "\n"
        "BOX (1, 2, 3) (1, 0, 0) (0, 2, 0) (0, 0, 3)" + kMaterial + "\n");

    expectSettings(scene, {{0, 0, 10}, {4, 0, 0}, {0, 3, 0}, {0, 0, 20}}, {0.1f, 0.2f, 0.3f},
                   {1.5f, 2.5f, {0.9f, 0.95f, 1}});

    ASSERT_EQ(scene.lightList.size(), 1u);
    expectVecEq(scene.lightList[0].position, {1, 2, 3});
    expectVecEq(asVec(scene.lightList[0].color), {0.7f, 0.8f, 0.9f});
    EXPECT_EQ(scene.lightList[0].radius, 0.5f);

    ASSERT_EQ(scene.objectList.size(), 5u);
    const SceneObject& sphere = scene.objectList[0];
    EXPECT_EQ(sphere.kind, ObjectKind::Sphere);
    expectVecEq(sphere.center, {1, 2, 3});
    EXPECT_EQ(sphere.radius, 4.0f);

    const SceneObject& ellipsoid = scene.objectList[1];
    EXPECT_EQ(ellipsoid.kind, ObjectKind::Ellipsoid);
    expectVecEq(ellipsoid.center, {1, 1, 1});
    expectVecEq(ellipsoid.axis1, {2, 0, 0});
    expectVecEq(ellipsoid.axis2, {0, 3, 0});
    expectVecEq(ellipsoid.axis3, {0, 0, 4});

    const SceneObject& cylinder = scene.objectList[2];
    EXPECT_EQ(cylinder.kind, ObjectKind::Cylinder);
    expectVecEq(cylinder.center, {0, 0, 0});  // base cap first
    expectVecEq(cylinder.top, {0, 0, 2});
    EXPECT_EQ(cylinder.radius, 0.75f);

    const SceneObject& polygon = scene.objectList[3];
    EXPECT_EQ(polygon.kind, ObjectKind::Polygon);
    EXPECT_EQ(polygon.vertexCount, 3);
    ASSERT_EQ(polygon.vertices.size(), 3u);
    expectVecEq(polygon.vertices[0], {0, 0, 0});
    expectVecEq(polygon.vertices[1], {1, 0, 0});
    expectVecEq(polygon.vertices[2], {0, 1, 0});

    const SceneObject& box = scene.objectList[4];
    EXPECT_EQ(box.kind, ObjectKind::Box);
    expectVecEq(box.corner, {1, 2, 3});
    expectVecEq(box.edge1, {1, 0, 0});
    expectVecEq(box.edge2, {0, 2, 0});
    expectVecEq(box.edge3, {0, 0, 3});

    for (const SceneObject& o : scene.objectList) expectMaterial(o);
}

TEST(ReaderRecords, MaterialBlockOrderDiffersFromFieldOrder) {
    const Scene scene = readClean("SPHERE (0, 0, -5) 1.5 (1, 0.2, 0.2) 0.3 20 (0.9, 0.9, 0.9) 2.25 1\n");
    ASSERT_EQ(scene.objectList.size(), 1u);
    const SceneObject& o = scene.objectList[0];
    expectVecEq(o.center, {0, 0, -5});
    EXPECT_EQ(o.radius, 1.5f);
    expectVecEq(asVec(o.color), {1, 0.2f, 0.2f});
    EXPECT_EQ(o.reflectance, 0.3f);
    EXPECT_EQ(o.shininess, 20.0f);
    expectVecEq(asVec(o.transmittance), {0.9f, 0.9f, 0.9f});
    EXPECT_EQ(o.permittivity, 2.25f);
    EXPECT_EQ(o.permeability, 1.0f);
}

TEST(ReaderRecords, ListsKeepFileOrderAndValuesAsWritten) {
    const Scene scene = readClean(
        "SPHERE (0, 0, 0) 1" + kMaterial + "\nLIGHT (1, 0, 0) (1, 1, 1) 0\n" +
        "SPHERE (0, 0, 0) -2" + kMaterial + "\nLIGHT (2, 0, 0) (5, -1, 0) 0\n" +
        "SPHERE (0, 0, 0) 0" + kMaterial + "\n");
    ASSERT_EQ(scene.objectList.size(), 3u);
    EXPECT_EQ(scene.objectList[0].radius, 1.0f);
    EXPECT_EQ(scene.objectList[1].radius, -2.0f);
    EXPECT_EQ(scene.objectList[2].radius, 0.0f);
    ASSERT_EQ(scene.lightList.size(), 2u);
    EXPECT_EQ(scene.lightList[0].position.x, 1.0f);
    EXPECT_EQ(scene.lightList[1].position.x, 2.0f);
    expectVecEq(asVec(scene.lightList[1].color), {5, -1, 0});
}

TEST(ReaderRecords, EmptyOrBlankFileIsTheResetScene) {
    for (const char* text : {"", " \n\t\r\n  "}) {
        expectResetScene(readClean(text));
    }
}

TEST(ReaderRecords, ReadingResetsWhatTheSceneHeld) {
    std::istringstream first("AIR 2 3 (0.5, 0.5, 0.5)\nAMBIENT (1, 1, 1)\nCAMERA (1,1,1) (1,0,0) (0,1,0) (0,0,1)\n"
                             "LIGHT (0,0,0) (1,1,1) 1\nSPHERE (0,0,0) 1" + kMaterial + "\n");
    Scene scene;
    EXPECT_FALSE(readScene(first, scene));
    ASSERT_EQ(scene.objectList.size(), 1u);
    std::istringstream second("nothing here\n");
    EXPECT_FALSE(readScene(second, scene));
    expectResetScene(scene);
}

TEST(ReaderRecords, TrailingWhitespaceDoesNotRepeatTheLastRecord) {
    const std::string records[] = {
        "SPHERE (0, 0, 0) 1" + kMaterial,
        "POLYGON 3 (0, 0, 0) (1, 0, 0) (0, 1, 0)" + kMaterial,
        "LIGHT (0, 0, 0) (1, 1, 1) 1",
    };
    for (const std::string& record : records) {
        for (const char* ending : {"", "\n", " \n\n\t", "\r\n"}) {
            SCOPED_TRACE(record + "|" + ending);
            const Scene scene = readClean(record + ending);
            EXPECT_EQ(scene.objectList.size() + scene.lightList.size(), 1u);
            if (!scene.objectList.empty()) expectMaterial(scene.objectList[0]);
        }
    }
}

TEST(ReaderRecords, RepeatedCameraAmbientAndAirKeepTheLast) {
    const Scene scene = readClean(
        "CAMERA (1, 1, 1) (2, 2, 2) (3, 3, 3) (4, 4, 4)\n"
        "AMBIENT (0.1, 0.1, 0.1)\n"
        "AIR 5 6 (0.5, 0.5, 0.5)\n"
        "CAMERA (0, 0, 10) (1, 0, 0) (0, 1, 0) (0, 0, 5)\n"
        "AMBIENT (0.2, 0.3, 0.4)\n"
        "AIR 7 8 (0.6, 0.7, 0.8)\n");
    expectSettings(scene, {{0, 0, 10}, {1, 0, 0}, {0, 1, 0}, {0, 0, 5}}, {0.2f, 0.3f, 0.4f},
                   {7, 8, {0.6f, 0.7f, 0.8f}});
}

TEST(ReaderRecords, AirDefaultsReturnOnTheNextRead) {
    Scene scene;
    std::istringstream first("AIR 5 6 (0.5, 0.5, 0.5)\n");
    EXPECT_FALSE(readScene(first, scene));
    EXPECT_EQ(scene.air.permittivity, 5.0f);
    std::istringstream second("AMBIENT (1, 1, 1)\n");
    EXPECT_FALSE(readScene(second, scene));
    EXPECT_EQ(scene.air.permittivity, 1000000.0f);
    EXPECT_EQ(scene.air.permeability, 1.0f);
    expectVecEq(asVec(scene.air.transmittance), {1, 1, 1});
}

// --- Words and delimiters ---------------------------------------------------

TEST(ReaderTokens, AnySingleCharactersDelimitATriple) {
    for (const char* triple : {"(1,2,3)", "( 1 , 2 , 3 )", "[1;2;3]", "<1|2|3>", "(\n1,\t2,\n3\n)"}) {
        SCOPED_TRACE(triple);
        const Scene scene = readClean(std::string("AMBIENT ") + triple + "\n");
        expectVecEq(asVec(scene.ambient), {1, 2, 3});
    }
}

TEST(ReaderTokens, NumbersWithoutDelimitersAreNotATriple) {
    // Each digit standing where a delimiter belongs is taken as one.
    const Scene scene = readClean("AMBIENT 1 2 3 4 5 6 7\n");
    expectVecEq(asVec(scene.ambient), {2, 4, 6});

    SceneDiagnostic diagnostic;
    const Scene cut = read("AMBIENT 1 2 3\n", &diagnostic);
    EXPECT_TRUE(diagnostic);
    EXPECT_EQ(cut.ambient.red, 2.0f);
}

TEST(ReaderTokens, NumberSyntax) {
    const Scene scene = readClean("AMBIENT (1.5e1, -.25, +3)\nLIGHT (2., 1E-2, -0) (0,0,0) 7\n");
    expectVecEq(asVec(scene.ambient), {15, -0.25f, 3});
    ASSERT_EQ(scene.lightList.size(), 1u);
    expectVecEq(scene.lightList[0].position, {2, 0.01f, 0});
    EXPECT_EQ(scene.lightList[0].radius, 7.0f);
}

TEST(ReaderTokens, KeywordsAreWholeCaseSensitiveWords) {
    const Scene scene = readClean(
        "SPHERE(0,0,0) 1" + kMaterial + "\n" +       // glued to its first triple
        "sphere (0,0,0) 1" + kMaterial + "\n" +      // lower case
        "Sphere (0,0,0) 1" + kMaterial + "\n" +      // mixed case
        "SPHERES (0,0,0) 1" + kMaterial + "\n" +     // longer word
        "AMBIENT (0.5, 0.5, 0.5)\n");
    EXPECT_TRUE(scene.objectList.empty());
    expectVecEq(asVec(scene.ambient), {0.5f, 0.5f, 0.5f});
}

TEST(ReaderTokens, FreeTextBetweenRecordsIsSkipped) {
    const std::string longWord(10000, 'x');
    const Scene scene = readClean(
        "My test scene, version 2 (draft).\n" + longWord + "\n"
        "AMBIENT (0.1, 0.1, 0.1) the dim fill light\n"
        "a lamp: LIGHT (0, 5, 0) (1, 1, 1) 0.5 42 ELLIPSOIDAL\n"
        "SPHERE (0, 0, 0) 1" + kMaterial + " -- the end --\n");
    expectVecEq(asVec(scene.ambient), {0.1f, 0.1f, 0.1f});
    ASSERT_EQ(scene.lightList.size(), 1u);
    expectVecEq(scene.lightList[0].position, {0, 5, 0});
    ASSERT_EQ(scene.objectList.size(), 1u);
    expectMaterial(scene.objectList[0]);
}

TEST(ReaderTokens, WindowsLineEndingsReadTheSame) {
    const Scene scene = readClean("AMBIENT (0.1, 0.2, 0.3)\r\nSPHERE (1, 2, 3) 4\r\n" + kMaterial + "\r\n");
    expectVecEq(asVec(scene.ambient), {0.1f, 0.2f, 0.3f});
    ASSERT_EQ(scene.objectList.size(), 1u);
    EXPECT_EQ(scene.objectList[0].radius, 4.0f);
    expectMaterial(scene.objectList[0]);
}

TEST(ReaderTokens, AByteOrderMarkDoesNotHideTheFirstRecord) {
    SceneDiagnostic diagnostic;
    const Scene scene = read("\xEF\xBB\xBF" "SPHERE (1, 2, 3) x" + kMaterial + "\n", &diagnostic);
    ASSERT_EQ(scene.objectList.size(), 1u);
    expectVecEq(scene.objectList[0].center, {1, 2, 3});
    EXPECT_EQ(diagnostic.message, "line 1, column 18: expected a number (SPHERE radius)");
    // Only at the very start: elsewhere the mark is part of a word.
    EXPECT_TRUE(readClean("AMBIENT (1,1,1) \xEF\xBB\xBF" "SPHERE (1, 2, 3) 4" + kMaterial).objectList.empty());
}

// --- Faults -----------------------------------------------------------------

TEST(ReaderFaults, MalformedNumberNamesItsPlaceAndEndsTheLoad) {
    SceneDiagnostic diagnostic;
    const Scene scene = read(
        "AMBIENT (0.1, 0.2, 0.3)\n"
        "LIGHT (0,0,0) (1,1,1) 1\n"
        "\n"
        "SPHERE (0, 0, -5) oops (1,0,0) 0 1 (1,1,1) 1 1\n"
        "SPHERE (0,0,0) 1" + kMaterial + "\n"
        "LIGHT (5,5,5) (1,1,1) 1\n",
        &diagnostic);
    EXPECT_EQ(diagnostic.line, 4);
    EXPECT_EQ(diagnostic.column, 19);
    EXPECT_EQ(diagnostic.message, "line 4, column 19: expected a number (SPHERE radius)");
    // What came before stays; the broken record is kept; nothing after it is read.
    expectVecEq(asVec(scene.ambient), {0.1f, 0.2f, 0.3f});
    EXPECT_EQ(scene.lightList.size(), 1u);
    ASSERT_EQ(scene.objectList.size(), 1u);
    EXPECT_EQ(scene.objectList[0].kind, ObjectKind::Sphere);
    expectVecEq(scene.objectList[0].center, {0, 0, -5});
}

TEST(ReaderFaults, ColumnsCountFromTheStartOfTheLine) {
    SceneDiagnostic diagnostic;
    read("CAMERA (0,0,0) (1,x,0) (0,1,0) (0,0,1)\n", &diagnostic);
    EXPECT_EQ(diagnostic.message, "line 1, column 19: expected a number (CAMERA screen right)");

    const Scene scene = read("AMBIENT (1,1,1)\n  SPHERE\n    (0,0,0)\n    r" + kMaterial + "\n", &diagnostic);
    EXPECT_EQ(diagnostic.message, "line 4, column 5: expected a number (SPHERE radius)");
    EXPECT_EQ(scene.objectList.size(), 1u);
}

TEST(ReaderFaults, OnlyTheFirstFaultIsReported) {
    SceneDiagnostic diagnostic;
    read("LIGHT (0,0,0) (1,1,1) big\nLIGHT (0,0,0) (1,1,1) bigger\nSPHERE (a,b,c)\n", &diagnostic);
    EXPECT_EQ(diagnostic.message, "line 1, column 23: expected a number (LIGHT radius)");
}

TEST(ReaderFaults, NumberOutOfRangeIsAFault) {
    SceneDiagnostic diagnostic;
    const Scene scene = read("SPHERE (0,0,0) 1e999" + kMaterial + "\n", &diagnostic);
    EXPECT_TRUE(diagnostic);
    EXPECT_EQ(diagnostic.column, 16);
    EXPECT_NE(diagnostic.message.find("SPHERE radius"), std::string::npos) << diagnostic.message;
    EXPECT_EQ(scene.objectList.size(), 1u);
}

TEST(ReaderFaults, RecordCutOffByTheEndIsKeptWithADiagnostic) {
    SceneDiagnostic diagnostic;
    const Scene scene = read("SPHERE (1,2,3) 4 (0.5,0.5,0.5) 0.2", &diagnostic);
    EXPECT_EQ(diagnostic.line, 1);
    EXPECT_EQ(diagnostic.column, 35);
    EXPECT_NE(diagnostic.message.find("SPHERE"), std::string::npos) << diagnostic.message;
    ASSERT_EQ(scene.objectList.size(), 1u);
    const SceneObject& o = scene.objectList[0];
    EXPECT_EQ(o.kind, ObjectKind::Sphere);
    expectVecEq(o.center, {1, 2, 3});
    EXPECT_EQ(o.radius, 4.0f);
    expectVecEq(asVec(o.color), {0.5f, 0.5f, 0.5f});
    EXPECT_EQ(o.reflectance, 0.2f);
    // Not read: still the zeroed working record of a fresh load.
    EXPECT_EQ(o.shininess, 0.0f);
    EXPECT_EQ(o.permeability, 0.0f);

    const Scene light = read("LIGHT (1,2,3) (1,1", &diagnostic);
    EXPECT_TRUE(diagnostic);
    ASSERT_EQ(light.lightList.size(), 1u);
    expectVecEq(light.lightList[0].position, {1, 2, 3});
}

// --- Working records --------------------------------------------------------

TEST(ReaderWorkingRecords, UnreadFieldsKeepThePreviousRecordsValues) {
    const Scene scene = readClean(
        "BOX (1, 1, 1) (2, 0, 0) (0, 2, 0) (0, 0, 2)" + kMaterial + "\n" +
        "ELLIPSOID (3, 3, 3) (1, 0, 0) (0, 1, 0) (0, 0, 1)" + kMaterial + "\n" +
        "CYLINDER (0, 0, 0) (0, 0, 9) 0.5" + kMaterial + "\n" +
        "SPHERE (5, 5, 5) 3" + kMaterial + "\n");
    ASSERT_EQ(scene.objectList.size(), 4u);
    // A fresh load starts from a zeroed record.
    expectVecEq(scene.objectList[0].center, {0, 0, 0});
    EXPECT_EQ(scene.objectList[0].radius, 0.0f);
    expectVecEq(scene.objectList[0].top, {0, 0, 0});
    // Later records carry what earlier ones wrote into fields they do not read.
    expectVecEq(scene.objectList[1].corner, {1, 1, 1});
    expectVecEq(scene.objectList[2].axis1, {1, 0, 0});
    expectVecEq(scene.objectList[3].edge3, {0, 0, 2});
    expectVecEq(scene.objectList[3].top, {0, 0, 9});
    EXPECT_EQ(scene.objectList[3].radius, 3.0f);
}

TEST(ReaderWorkingRecords, EachReadStartsZeroed) {
    Scene scene;
    std::istringstream first("BOX (1, 1, 1) (2, 0, 0) (0, 2, 0) (0, 0, 2)" + kMaterial + "\nLIGHT (1,1,1) (1,1,1) 4\n");
    EXPECT_FALSE(readScene(first, scene));
    std::istringstream second("SPHERE (5, 5, 5) 3" + kMaterial + "\nLIGHT (1,1,1) (1,1");
    EXPECT_TRUE(readScene(second, scene));
    ASSERT_EQ(scene.objectList.size(), 1u);
    expectVecEq(scene.objectList[0].corner, {0, 0, 0});
    expectVecEq(scene.objectList[0].edge1, {0, 0, 0});
    ASSERT_EQ(scene.lightList.size(), 1u);
    EXPECT_EQ(scene.lightList[0].radius, 0.0f);
}

TEST(ReaderWorkingRecords, LightCutOffKeepsThePreviousLightsRadius) {
    SceneDiagnostic diagnostic;
    const Scene scene = read("LIGHT (1,2,3) (1,1,1) 5\nLIGHT (4,5,6) (0,0,1)", &diagnostic);
    EXPECT_TRUE(diagnostic);
    ASSERT_EQ(scene.lightList.size(), 2u);
    expectVecEq(scene.lightList[1].position, {4, 5, 6});
    expectVecEq(asVec(scene.lightList[1].color), {0, 0, 1});
    EXPECT_EQ(scene.lightList[1].radius, 5.0f);
}

// --- Polygons ---------------------------------------------------------------

TEST(ReaderPolygons, EachPolygonGetsExactlyItsOwnVertices) {
    const Scene scene = readClean(
        "POLYGON 4 (0, 0, 0) (1, 0, 0) (1, 1, 0) (0, 1, 0)" + kMaterial + "\n" +
        "POLYGON 3 (5, 0, 0) (6, 0, 0) (5, 1, 0)" + kMaterial + "\n");
    ASSERT_EQ(scene.objectList.size(), 2u);
    EXPECT_EQ(scene.objectList[0].vertexCount, 4);
    EXPECT_EQ(scene.objectList[0].vertices.size(), 4u);
    const SceneObject& second = scene.objectList[1];
    EXPECT_EQ(second.vertexCount, 3);
    ASSERT_EQ(second.vertices.size(), 3u);
    expectVecEq(second.vertices[0], {5, 0, 0});
    expectVecEq(second.vertices[1], {6, 0, 0});
    expectVecEq(second.vertices[2], {5, 1, 0});
    expectMaterial(second);
}

TEST(ReaderPolygons, ZeroOrNegativeCountReadsTheMaterialRightAway) {
    for (int count : {0, -2}) {
        SCOPED_TRACE(count);
        const Scene scene = readClean("POLYGON " + std::to_string(count) + kMaterial + "\nAMBIENT (1, 1, 1)\n");
        ASSERT_EQ(scene.objectList.size(), 1u);
        EXPECT_EQ(scene.objectList[0].vertexCount, count);
        EXPECT_TRUE(scene.objectList[0].vertices.empty());
        expectMaterial(scene.objectList[0]);
        expectVecEq(asVec(scene.ambient), {1, 1, 1});
    }
}

TEST(ReaderPolygons, CountNeverExceedsTheVerticesRead) {
    SceneDiagnostic diagnostic;
    const Scene scene = read("POLYGON 5 (0, 0, 0) (1, 0, 0) (0, 1", &diagnostic);
    EXPECT_TRUE(diagnostic);
    ASSERT_EQ(scene.objectList.size(), 1u);
    EXPECT_EQ(scene.objectList[0].vertexCount, 2);
    ASSERT_EQ(scene.objectList[0].vertices.size(), 2u);
    expectVecEq(scene.objectList[0].vertices[1], {1, 0, 0});
}

TEST(ReaderPolygons, HugeCountsEndQuicklyWithTruthfulCounts) {
    for (const char* count : {"2147483647", "99999999999", "-99999999999", "2147483648"}) {
        SCOPED_TRACE(count);
        SceneDiagnostic diagnostic;
        const Scene scene =
            read(std::string("POLYGON ") + count + " (0, 0, 0) (1, 0, 0) (0, 1, 0)" + kMaterial + "\n", &diagnostic);
        EXPECT_TRUE(diagnostic);
        ASSERT_EQ(scene.objectList.size(), 1u);
        const SceneObject& polygon = scene.objectList[0];
        if (polygon.vertexCount >= 0) {
            EXPECT_EQ(static_cast<std::size_t>(polygon.vertexCount), polygon.vertices.size());
        } else {
            EXPECT_TRUE(polygon.vertices.empty());
        }
        EXPECT_LT(polygon.vertices.size(), 10u);
    }
}

TEST(ReaderPolygons, CountOutOfRangeIsNamed) {
    SceneDiagnostic diagnostic;
    read("POLYGON 99999999999 (0, 0, 0)\n", &diagnostic);
    EXPECT_EQ(diagnostic.line, 1);
    EXPECT_EQ(diagnostic.column, 9);
    EXPECT_NE(diagnostic.message.find("POLYGON vertex count"), std::string::npos) << diagnostic.message;
}
