// orvanel-import on small models of every format, good and broken.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <sstream>

#include "cli/import_command.h"
#include "import/model_file.h"
#include "import/triangles.h"
#include "render/camera.h"
#include "render/image.h"
#include "scene/reader.h"
#include "test_support.h"

namespace {

std::string model(const std::string& name) { return std::string(ORVANEL_MODELS_DIR) + "/" + name; }

struct ImportRun {
    int status;
    std::string out;
    std::string err;
};

ImportRun import(const std::vector<std::string>& arguments) {
    std::ostringstream out;
    std::ostringstream err;
    const int status = runImportCommand(arguments, out, err);
    return {status, out.str(), err.str()};
}

Scene readBack(const std::string& text) {
    std::istringstream in(text);
    Scene scene;
    const SceneDiagnostic diagnostic = readScene(in, scene);
    EXPECT_FALSE(diagnostic) << diagnostic.message;
    return scene;
}

Vec3 faceNormal(const SceneObject& o) { return cross(o.vertices[1] - o.vertices[0], o.vertices[2] - o.vertices[0]); }

bool sameBits(float a, float b) { return std::memcmp(&a, &b, sizeof a) == 0; }

TEST(Import, EveryFormatGivesTheTetrahedronLitFromOutside) {
    // The glTF pair mirrors it in x and moves it by 10: winding must follow.
    // The OBJ is wound inward, but its normals point out.
    const std::vector<std::pair<std::string, Vec3>> models{
        {"tetra_ascii.stl", {0.25f, 0.25f, 0.25f}},    {"tetra_binary.stl", {0.25f, 0.25f, 0.25f}},
        {"tetra.ply", {0.25f, 0.25f, 0.25f}},          {"tetra_mirrored.gltf", {9.75f, 0.25f, 0.25f}},
        {"tetra_mirrored.glb", {9.75f, 0.25f, 0.25f}}, {"tetra_inward_winding.obj", {0.25f, 0.25f, 0.25f}}};
    for (const auto& [name, centroid] : models) {
        SCOPED_TRACE(name);
        const ImportRun run = import({model(name)});
        ASSERT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(run.err, "");
        const Scene scene = readBack(run.out);
        ASSERT_EQ(scene.objectList.size(), 4u);
        for (const SceneObject& triangle : scene.objectList) {
            ASSERT_EQ(triangle.kind, ObjectKind::Polygon);
            ASSERT_EQ(triangle.vertices.size(), 3u);
            EXPECT_GT(dot(faceNormal(triangle), triangle.vertices[0] - centroid), 0);
        }
    }
}

TEST(Import, MaterialsComeFromTheModelThenTheOptionThenGrey) {
    // cube.mtl: Kd 0.8 0.2 0.1, Ks 0.5, Ns 40, Ni 1.5, d 0.75; quads triangulated.
    const std::string custom = "(0.1, 0.2, 0.3) 0.4 50 (0.5, 0.6, 0.7) 9 2";
    const Scene cube = readBack(import({model("cube.obj"), "--material", custom}).out);
    ASSERT_EQ(cube.objectList.size(), 12u);
    const SceneObject& face = cube.objectList[0];
    EXPECT_EQ(face.color.red, 0.8f);
    EXPECT_EQ(face.color.blue, 0.1f);
    EXPECT_EQ(face.reflectance, 0.5f);
    EXPECT_EQ(face.shininess, 40.0f);
    EXPECT_EQ(face.transmittance.green, 0.25f);
    EXPECT_EQ(face.permittivity, 2.25f);
    EXPECT_EQ(face.permeability, 1.0f);
    // The first quad (1 4 3 2) comes first, as two triangles.
    EXPECT_EQ(cube.objectList[0].vertices[0].x, 0.0f);
    EXPECT_EQ(cube.objectList[0].vertices[1].y, 1.0f);

    // STL has no materials: the option's, else the grey.
    const SceneObject stl = readBack(import({model("tetra_binary.stl"), "--material", custom}).out).objectList[0];
    EXPECT_EQ(stl.color.green, 0.2f);
    EXPECT_EQ(stl.transmittance.blue, 0.7f);
    EXPECT_EQ(stl.permeability, 2.0f);
    const SceneObject grey = readBack(import({model("tetra_binary.stl")}).out).objectList[0];
    EXPECT_EQ(grey.color.red, 0.75f);
    EXPECT_EQ(grey.reflectance, 0.0f);

    for (const std::string bad : {"(1, 1, 1) 0 0 (0, 0, 0) 1", "(1, 1, 1) 0 0 (0, 0, 0) 1 1 7", "grey"}) {
        const ImportRun run = import({model("tetra.ply"), "--material", bad});
        EXPECT_EQ(run.status, kImportUsage) << bad;
        EXPECT_NE(run.err.find("COLOUR REFLECTANCE"), std::string::npos);
        EXPECT_EQ(run.out, "");
    }
}

TEST(Import, DropsFacesTheRendererCannotUseAndSaysHowMany) {
    // faults.obj: one good triangle, one with collinear vertices, one with a
    // vertex beyond the float range.
    const ImportRun run = import({model("faults.obj")});
    ASSERT_EQ(run.status, 0);
    EXPECT_EQ(readBack(run.out).objectList.size(), 1u);
    EXPECT_NE(run.err.find("dropped 1 degenerate triangles"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("dropped 1 triangles with a vertex that is not a finite number"), std::string::npos);
}

TEST(Import, BrokenFilesFailWithAssimpsReasonAndWriteNothing) {
    TempDir dir;
    for (const std::string name :
         {"truncated.stl", "broken.gltf", "bad_magic.glb", "unknown.xyz", "empty.ply", "no-such-model.obj"}) {
        SCOPED_TRACE(name);
        const ImportRun run = import({model(name), "-o", dir.path("out.txt")});
        EXPECT_EQ(run.status, kImportUnreadableModel);
        EXPECT_EQ(run.err.rfind("Could not read model " + model(name) + ": ", 0), 0u) << run.err;
        EXPECT_GT(run.err.size(), ("Could not read model " + model(name) + ": \n").size());
    }
    const ImportRun directory = import({ORVANEL_MODELS_DIR, "-o", dir.path("out.txt")});
    EXPECT_EQ(directory.status, kImportUnreadableModel);
    EXPECT_NE(directory.err.find("not a regular file"), std::string::npos);
    EXPECT_EQ(import({model("cube.obj"), "-o", dir.path("missing/out.txt")}).status, kImportWriteFailed);
    EXPECT_EQ(dir.entries(), std::vector<std::string>{});

    EXPECT_EQ(import({model("cube.obj"), "-o", dir.path("out.txt")}).status, 0);
    EXPECT_EQ(dir.entries(), std::vector<std::string>{"out.txt"});
    EXPECT_EQ(slurp(dir.path("out.txt")), import({model("cube.obj")}).out);
}

TEST(Import, WrittenNumbersReadBackAsTheModelsFloats) {
    TempDir dir;
    // Values with no short decimal form, tiny, huge and subnormal ones.
    const std::string obj = dir.write("awkward.obj",
                                      "v 0.1 -0.3 1e-7\nv 12345.6789 0.333333343 -2.5e-3\nv 1.17549435e-38 7e-45 0.7\n"
                                      "v -1e4 1e-30 33.333333\nf 1 2 3\nf 1 3 4\n");
    LoadedModel loaded;
    std::string error;
    ASSERT_TRUE(loadModel(obj, loaded, error)) << error;
    const aiMesh& mesh = *loaded.scene->mMeshes[0];
    const Scene scene = readBack(import({obj}).out);
    ASSERT_EQ(scene.objectList.size(), 2u);
    for (unsigned t = 0; t < 2; ++t) {
        for (unsigned k = 0; k < 3; ++k) {
            const aiVector3D& expected = mesh.mVertices[mesh.mFaces[t].mIndices[k]];
            const Vec3& got = scene.objectList[t].vertices[k];
            EXPECT_TRUE(sameBits(got.x, expected.x) && sameBits(got.y, expected.y) && sameBits(got.z, expected.z))
                << "triangle " << t << " vertex " << k << ": " << got.x << " " << got.y << " " << got.z;
        }
    }
}

TEST(Import, FitScalesAndCentresIntoTheCube) {
    const Scene scene = readBack(import({model("tetra_mirrored.glb"), "--fit", "3"}).out);
    Bounds bounds;
    for (const SceneObject& o : scene.objectList) {
        for (const Vec3& v : o.vertices) bounds.add(v);
    }
    for (int k = 0; k < 3; ++k) {
        EXPECT_FLOAT_EQ(bounds.min[k], -1.5f);
        EXPECT_FLOAT_EQ(bounds.max[k], 1.5f);
    }
    EXPECT_EQ(import({model("cube.obj"), "--fit", "0"}).status, kImportUsage);
    EXPECT_EQ(import({model("cube.obj"), "--fit", "nan"}).status, kImportUsage);
}

TEST(Import, FitHoldsASmallModelFarFromTheOrigin) {
    // Near 2^74 a double centre misses the middle by millions of units.
    Bounds bounds;
    const double lower[3] = {0x1.6d6d6bffffff9p+74, -428.0, -2.13e7}, upper[3] = {0x1.6d6d6cp+74, 3.16e7, 300.0};
    bounds.add(lower);
    bounds.add(upper);
    const Placement placement = placementToFit(bounds, 729088.0);
    for (int k = 0; k < 3; ++k) {
        for (const double v : {lower[k], upper[k]}) {
            EXPECT_LE(std::fabs((v - placement.center[k]) * placement.scale), 729088.0 * 0.5 * (1 + 1e-12)) << k;
        }
    }
}

TEST(Import, SceneFramesTheModelForTheRenderer) {
    TempDir dir;
    ASSERT_EQ(import({model("tetra_mirrored.gltf"), "--scene", "-o", dir.path("scene.txt")}).status, 0);
    const Scene scene = readBack(slurp(dir.path("scene.txt")));
    EXPECT_EQ(scene.lightList.size(), 2u);
    EXPECT_GT(scene.lightList[0].radius, 0);
    EXPECT_GT(scene.ambient.red, 0);
    ASSERT_EQ(scene.objectList.size(), 5u);  // the floor, then the model
    EXPECT_GT(faceNormal(scene.objectList[0]).y, 0);
    EXPECT_EQ(imageHeightFor(scene.camera, 40), 30);

    // The model sits in the middle of the picture; the floor fills its bottom.
    const std::string command = std::string("'") + ORVANEL_RENDER_PATH + "' '" + dir.path("scene.txt") + "' -o '" +
                                dir.path("scene.png") + "' --width 40 --lights on --quiet";
    ASSERT_EQ(std::system(command.c_str()), 0);
    const PixelImage image = readPng(dir.path("scene.png"));
    ASSERT_EQ(image.width, 40);
    const Pixel middle = image.pixels[15 * 40 + 20];
    EXPECT_GT(blueOf(middle), redOf(middle));  // the model's blue
    EXPECT_NE(image.pixels[29 * 40 + 1], 0u);  // the floor
    EXPECT_EQ(image.pixels[0], 0u);            // the black beyond it
}

TEST(Import, VersionAndHelp) {
    const ImportRun version = import({"--version"});
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out.rfind("orvanel-import ", 0), 0u);
    const ImportRun help = import({"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("--material"), std::string::npos);
    EXPECT_EQ(import({}).status, kImportUsage);
}

}  // namespace
