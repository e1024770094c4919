#include "scene/camera_record.h"

#include <gtest/gtest.h>

#include <bit>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "scene/reader.h"

namespace {

const std::string kMaterial = " (0.5, 0.25, 1) 0.3 20 (0.9, 0.8, 0.7) 2.25 1.5";
const std::string kBom = "\xEF\xBB\xBF";

Scene read(const std::string& text) {
    std::istringstream in(text);
    Scene scene;
    readScene(in, scene);
    return scene;
}

bool sameBits(const void* a, const void* b, std::size_t size) { return std::memcmp(a, b, size) == 0; }
bool sameBits(Vec3 a, Vec3 b) { return sameBits(&a, &b, sizeof a); }
bool sameBits(Color a, Color b) { return sameBits(&a, &b, sizeof a); }
bool sameBits(float a, float b) { return sameBits(&a, &b, sizeof a); }
bool sameBits(const Camera& a, const Camera& b) { return sameBits(&a, &b, sizeof a); }

std::string show(const Camera& c) {
    std::ostringstream out;
    out.precision(9);
    for (const Vec3 v : {c.screenCenter, c.screenRight, c.screenUp, c.eyeOffset}) {
        out << " (" << v.x << ", " << v.y << ", " << v.z << ")";
    }
    return out.str();
}

// Everything but the camera, bit for bit, the fields an object's kind does
// not read included.
void expectSameSceneButCamera(const Scene& a, const Scene& b) {
    EXPECT_TRUE(sameBits(a.ambient, b.ambient));
    EXPECT_TRUE(sameBits(a.air.permittivity, b.air.permittivity) && sameBits(a.air.permeability, b.air.permeability) &&
                sameBits(a.air.transmittance, b.air.transmittance));
    ASSERT_EQ(a.lightList.size(), b.lightList.size());
    for (std::size_t i = 0; i < a.lightList.size(); ++i) {
        const Light &x = a.lightList[i], &y = b.lightList[i];
        EXPECT_TRUE(sameBits(x.position, y.position) && sameBits(x.color, y.color) && sameBits(x.radius, y.radius))
            << "light " << i;
    }
    ASSERT_EQ(a.objectList.size(), b.objectList.size());
    for (std::size_t i = 0; i < a.objectList.size(); ++i) {
        const SceneObject &x = a.objectList[i], &y = b.objectList[i];
        const bool vectors = sameBits(x.corner, y.corner) && sameBits(x.edge1, y.edge1) && sameBits(x.edge2, y.edge2) &&
                             sameBits(x.edge3, y.edge3) && sameBits(x.center, y.center) &&
                             sameBits(x.axis1, y.axis1) && sameBits(x.axis2, y.axis2) && sameBits(x.axis3, y.axis3) &&
                             sameBits(x.top, y.top);
        const bool material = sameBits(x.color, y.color) && sameBits(x.transmittance, y.transmittance) &&
                              sameBits(x.reflectance, y.reflectance) && sameBits(x.shininess, y.shininess) &&
                              sameBits(x.permittivity, y.permittivity) && sameBits(x.permeability, y.permeability);
        const bool polygon = x.vertexCount == y.vertexCount && x.vertices.size() == y.vertices.size() &&
                             (x.vertices.empty() || sameBits(x.vertices.data(), y.vertices.data(),
                                                             x.vertices.size() * sizeof(Vec3)));
        EXPECT_TRUE(x.kind == y.kind && vectors && material && sameBits(x.radius, y.radius) && polygon)
            << "object " << i;
    }
}

const Camera kNewCamera{{-1.5f, 0.1f, 1e-5f}, {1e20f, -0.0f, 3.4028235e38f}, {0, 1, 0}, {0.3f, -7, 25}};

}  // namespace

TEST(CameraRecordText, ReadsBackToTheSameFloats) {
    const std::uint32_t seed = 20240611;
    std::mt19937 random(seed);
    // Any finite bit pattern: subnormals, the extremes and every exponent alike.
    auto anyFloat = [&random] {
        while (true) {
            const float value = std::bit_cast<float>(static_cast<std::uint32_t>(random()));
            if (std::isfinite(value)) return value;
        }
    };
    std::vector<float> values = {-0.0f, 0.0f, FLT_MAX, -FLT_MAX, FLT_MIN, std::numeric_limits<float>::denorm_min(),
                                 -std::numeric_limits<float>::denorm_min(), 1e-5f, 0.1f, 16777217.0f, 1e20f, 3.0f};
    while (values.size() < 12 * 2000) values.push_back(anyFloat());

    std::string text;
    std::vector<Camera> cameras;
    for (std::size_t i = 0; i < values.size(); i += 12) {
        const float* v = &values[i];
        cameras.push_back({{v[0], v[1], v[2]}, {v[3], v[4], v[5]}, {v[6], v[7], v[8]}, {v[9], v[10], v[11]}});
        const std::optional<std::string> record = cameraRecordText(cameras.back());
        ASSERT_TRUE(record);
        text += *record + "\n";
    }
    // Each record alone, so a fault in one cannot hide behind the next.
    std::istringstream lines(text);
    std::string line;
    for (const Camera& camera : cameras) {
        ASSERT_TRUE(std::getline(lines, line));
        SceneDiagnostic diagnostic;
        std::istringstream in(line);
        Scene scene;
        diagnostic = readScene(in, scene);
        EXPECT_FALSE(diagnostic) << diagnostic.message;
        ASSERT_TRUE(sameBits(scene.camera, camera)) << "seed " << seed << "\nwritten: " << line << "\nread:   "
                                                    << show(scene.camera);
    }
}

TEST(CameraRecordText, RefusesWhatTheSyntaxCannotHold) {
    for (const float bad : {std::numeric_limits<float>::infinity(), -std::numeric_limits<float>::infinity(),
                            std::numeric_limits<float>::quiet_NaN()}) {
        Camera camera = kNewCamera;
        camera.eyeOffset.z = bad;
        EXPECT_FALSE(cameraRecordText(camera));
        std::string error;
        EXPECT_FALSE(withCameraRecord("CAMERA (0,0,0) (1,0,0) (0,1,0) (0,0,1)\n", camera, error));
        EXPECT_NE(error.find("not a number"), std::string::npos) << error;
    }
}

// Each file as the bytes before the record in force, that record (empty
// when there is none) and the bytes after it.
struct SceneFile {
    const char* what;
    std::string before;
    std::string record;
    std::string after;
};

TEST(WithCameraRecord, ReplacesOnlyTheRecordInForce) {
    const std::string lights = "LIGHT (0, 5, 0) (1, 1, 1) 0.5\nLIGHT (1, 1, 1) (2, 2, 2) 1\n";
    const std::string objects = "SPHERE (0, 0, -5) 1.5" + kMaterial + "\nPOLYGON 3 (0,0,0) (1,0,0) (0,1,0)" +
                                kMaterial + "\nBOX (1,2,3) (1,0,0) (0,2,0) (0,0,3)" + kMaterial + "\n";
    const std::vector<SceneFile> files = {
        {"notes and an earlier record",
         "My scene: a CAMERA. note\nCAMERA (1,1,1) (2,2,2) (3,3,3) (4,4,4) the first try\n" + lights,
         "CAMERA (0, 0, 10) (1, 0, 0) (0, 1, 0) (0, 0, 5)", " the keeper\n" + objects},
        {"odd delimiters, the next word glued to the last", "", "CAMERA [0;0;0] <1|0|0> ( 0 , 1 ,0 ) a0a0a1a",
         lights + objects},
        {"byte-order mark and CRLF lines", kBom, "CAMERA (0,0,10)\r\n(1,0,0)\r\n(0,1,0)\r\n(0,0,5)",
         "\r\n" + lights + objects},
        {"cut short by the end, after a whole one", objects + "CAMERA (1,1,1) (2,2,2) (3,3,3) (4,4,4)\n",
         "CAMERA (5,5,5) (6,6", "\n\n"},
        {"keyword last", lights + "CAMERA (1,1,1) (2,2,2) (3,3,3) (4,4,4)\n", "CAMERA", ""},
        {"none", "", "", lights + objects},
        {"none but notes", "", "", "camera (1,1,1) (2,2,2) (3,3,3) (4,4,4) CAMERA(1,1,1)\n" + lights},
        {"only after a fault, unread", "", "",
         lights + "SPHERE (0,0,0) oops\nCAMERA (0,0,10) (1,0,0) (0,1,0) (0,0,5)\n"},
        {"none, with a byte-order mark and CRLF lines", kBom, "", "LIGHT (0,5,0) (1,1,1) 1\r\n"},
    };
    const std::string newRecord = *cameraRecordText(kNewCamera);
    for (const SceneFile& file : files) {
        SCOPED_TRACE(file.what);
        const std::string old = file.before + file.record + file.after;
        std::string error;
        const std::optional<std::string> rewritten = withCameraRecord(old, kNewCamera, error);
        ASSERT_TRUE(rewritten) << error;
        if (file.record.empty()) {
            const std::string lineBreak = file.after.find("\r\n") != std::string::npos ? "\r\n" : "\n";
            EXPECT_EQ(*rewritten, file.before + newRecord + lineBreak + file.after);
        } else {
            EXPECT_EQ(*rewritten, file.before + newRecord + file.after);
        }
        const Scene scene = read(*rewritten);
        EXPECT_TRUE(sameBits(scene.camera, kNewCamera)) << show(scene.camera);
        expectSameSceneButCamera(scene, read(old));
    }
}

TEST(WithCameraRecord, RefusesABrokenRecordWithTextAfterIt) {
    // Everything after the fault was never read: replacing the record would
    // bring it in, and dropping it would lose it.
    std::string error;
    const std::string old = "CAMERA (0,0,10) (1,x,0) (0,1,0) (0,0,5)\nSPHERE (0,0,0) 1" + kMaterial + "\n";
    EXPECT_FALSE(withCameraRecord(old, kNewCamera, error));
    EXPECT_NE(error.find("line 1, column 20"), std::string::npos) << error;
}
