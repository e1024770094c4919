// The scenes shipped in scenes/: each must load cleanly and make a picture.
#include <gtest/gtest.h>

#include <filesystem>
#include <set>

#include "render/camera.h"
#include "scene/reader.h"

namespace {

Scene load(const std::string& name) {
    Scene scene;
    Random generator;
    SceneDiagnostic diagnostic;
    EXPECT_TRUE(loadScene(std::string(ORVANEL_SCENES_DIR) + "/" + name, scene, generator, &diagnostic)) << name;
    EXPECT_FALSE(diagnostic) << name << ": " << diagnostic.message;
    return scene;
}

bool rightHanded(const SceneObject& box) { return dot(box.edge1, cross(box.edge2, box.edge3)) > 0.0f; }

TEST(Scenes, EveryShippedSceneLoadsCleanlyWithACamera) {
    int count = 0;
    for (const auto& entry : std::filesystem::directory_iterator(ORVANEL_SCENES_DIR)) {
        if (entry.path().extension() != ".txt") continue;
        ++count;
        const std::string name = entry.path().filename();
        const Scene scene = load(name);
        EXPECT_GT(imageHeightFor(scene.camera, 300), 0) << name;
        EXPECT_FALSE(scene.objectList.empty()) << name;
        EXPECT_FALSE(scene.lightList.empty()) << name;
        for (const SceneObject& object : scene.objectList) {
            // A left-handed box is never hit: it would vanish from the picture.
            if (object.kind == ObjectKind::Box) {
                EXPECT_TRUE(rightHanded(object)) << name;
            }
            if (object.kind == ObjectKind::Polygon) {
                EXPECT_GE(object.vertexCount, 3) << name;
            }
        }
    }
    EXPECT_GE(count, 10);
}

TEST(Scenes, ShowcaseHasEveryKindAMirrorGlassTintAndTwoSoftLights) {
    const Scene scene = load("showcase.txt");
    std::set<ObjectKind> kinds;
    bool mirror = false, glass = false, tinted = false;
    for (const SceneObject& object : scene.objectList) {
        kinds.insert(object.kind);
        mirror = mirror || (object.reflectance >= 0.9f && object.permittivity >= 1000.0f);
        glass = glass || (object.permittivity == 2.25f && object.permeability == 1.0f && object.reflectance >= 0.9f);
        const Color t = object.transmittance;
        tinted = tinted || (t.red > 0.0f && (t.red != t.green || t.green != t.blue));
    }
    EXPECT_EQ(kinds.size(), 5u);
    EXPECT_TRUE(mirror);
    EXPECT_TRUE(glass);
    EXPECT_TRUE(tinted);
    ASSERT_EQ(scene.lightList.size(), 2u);
    for (const Light& light : scene.lightList) EXPECT_GT(light.radius, 0.0f);
}

}  // namespace
