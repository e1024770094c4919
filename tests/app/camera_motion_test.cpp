// The camera control without a window: where each motion puts the camera,
// and that no motion ever changes the picture's size.
#include "app/camera_motion.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <numbers>
#include <random>
#include <vector>

#include "render/camera.h"

namespace {

// The cameras of the sample scenes: one tilted down, one tall and tilted,
// one looking straight down -z.
const Camera kTiltedCamera{{0, 1.3f, 4}, {0.8f, 0, 0}, {0, 0.587f, -0.125f}, {0, 0.52f, 2.445f}};
const Camera kSampleCameras[] = {
    kTiltedCamera,
    {{0, 0, 0}, {2.3245223f, 0, 0}, {0, 1.6186986f, -0.6474794f}, {-0.0f, 1.7266119f, 4.3165298f}},
    {{0, 1.7f, 5}, {1, 0, 0}, {0, 0.7279f, -0.1815f}, {0, 0.629f, 2.523f}},
    {{0, 0, 0}, {1, 0, 0}, {0, 0.5f, 0}, {0, 0, 2}},
};
constexpr Vec3 kUp{0, 1, 0};

double distance(Vec3 a, Vec3 b) { return length(a - b); }

double angleBetween(Vec3 a, Vec3 b) {
    return std::atan2(static_cast<double>(length(cross(a, b))), static_cast<double>(dot(a, b)));
}

bool sameBits(const Camera& a, const Camera& b) { return std::memcmp(&a, &b, sizeof(Camera)) == 0; }

TEST(CameraMotionTest, FullOrbitInSmallStepsComesBackToTheStartWithTheSameScreen) {
    const Vec3 pivot{0.3f, 0, -1};
    Camera camera = kTiltedCamera;
    constexpr int kSteps = 720;
    for (int i = 0; i < kSteps; ++i)
        camera = orbitCamera(camera, pivot, kUp, static_cast<float>(2 * std::numbers::pi / kSteps), 0.0f);
    for (Vec3 Camera::*field : {&Camera::screenCenter, &Camera::screenRight, &Camera::screenUp, &Camera::eyeOffset})
        EXPECT_LT(distance(camera.*field, kTiltedCamera.*field), 1e-4);
    // Not a drift of an ulp a step: the field of view stays exactly.
    EXPECT_EQ(length(camera.screenRight), length(kTiltedCamera.screenRight));
    EXPECT_EQ(length(camera.screenUp), length(kTiltedCamera.screenUp));
}

TEST(CameraMotionTest, PitchStopsShortOfUpAndDownHoweverFarTheDrag) {
    for (const float step : {0.1f, -0.1f, 3.0f, -3.0f}) {
        SCOPED_TRACE(step);
        Camera orbited = kTiltedCamera, turned = kTiltedCamera;
        const float startSide = -kTiltedCamera.eyeOffset.z;
        for (int i = 0; i < 100; ++i) {
            orbited = orbitCamera(orbited, {0, 0, 0}, kUp, 0, step);
            turned = turnCamera(turned, kUp, 0, step);
        }
        for (const Camera& camera : {orbited, turned}) {
            const Vec3 view = -camera.eyeOffset;
            const double fromPole = step > 0 ? angleBetween(view, kUp) : angleBetween(view, -kUp);
            EXPECT_GT(fromPole, 0.99 * kPitchMarginRadians);
            EXPECT_LT(fromPole, 1.01 * kPitchMarginRadians);
            // Over the pole the view would face the other way.
            EXPECT_GT(view.z * startSide, 0.0f);
        }
    }
}

TEST(CameraMotionTest, TurningKeepsTheEyeAndOrbitingKeepsTheDistanceToThePivot) {
    const Vec3 pivot{0.5f, 0.2f, -2};
    const Camera turned = turnCamera(kTiltedCamera, kUp, 0.4f, 0.3f);
    EXPECT_LT(distance(eyeOf(turned), eyeOf(kTiltedCamera)), 1e-6);
    EXPECT_GT(distance(turned.screenCenter, kTiltedCamera.screenCenter), 0.1);
    const Camera orbited = orbitCamera(kTiltedCamera, pivot, kUp, 0.4f, 0.3f);
    EXPECT_NEAR(distance(eyeOf(orbited), pivot), distance(eyeOf(kTiltedCamera), pivot), 1e-5);
    EXPECT_GT(distance(eyeOf(orbited), eyeOf(kTiltedCamera)), 0.1);
}

TEST(CameraMotionTest, DollyMovesByItsFractionAndNeverReachesThePivot) {
    const Vec3 pivot{0, 0.5f, -1};
    const double start = distance(eyeOf(kTiltedCamera), pivot);
    EXPECT_NEAR(distance(eyeOf(dollyCamera(kTiltedCamera, pivot, 0.5f)), pivot), 0.5 * start, 1e-5);
    EXPECT_NEAR(distance(eyeOf(dollyCamera(kTiltedCamera, pivot, -1.0f)), pivot), 2.0 * start, 1e-5);
    for (const float amount : {0.5f, 1.0f, 100.0f}) {
        Camera camera = kTiltedCamera;
        for (int i = 0; i < 2000; ++i) {
            camera = dollyCamera(camera, pivot, amount);
            camera = moveCamera(camera, pivot, CameraKey::Forward);
        }
        const Vec3 left = pivot - eyeOf(camera);
        EXPECT_GT(dot(left, pivot - eyeOf(kTiltedCamera)), 0.0f) << amount;
        EXPECT_GT(length(left), 1e-4f) << amount;
    }
    // A pivot nearer than the closest approach, a wall just in front: the
    // camera can still back away from it.
    const Vec3 wall = eyeOf(kTiltedCamera) - 1e-6f * kTiltedCamera.eyeOffset;
    EXPECT_GT(distance(eyeOf(dollyCamera(kTiltedCamera, wall, -0.5f)), wall),
              1.4 * distance(eyeOf(kTiltedCamera), wall));
}

TEST(CameraMotionTest, KeysAndPanMoveAlongTheCamerasOwnAxes) {
    const Vec3 pivot{0, 0.5f, -1};
    const float step = kKeyMoveFraction * length(pivot - eyeOf(kTiltedCamera));
    const Vec3 right = kTiltedCamera.screenRight, up = kTiltedCamera.screenUp;
    const struct {
        CameraKey key;
        Vec3 direction;
    } keys[] = {
        {CameraKey::Forward, -kTiltedCamera.eyeOffset},
        {CameraKey::Back, kTiltedCamera.eyeOffset},
        {CameraKey::Right, right},
        {CameraKey::Left, -right},
        {CameraKey::Up, up},
        {CameraKey::Down, -up},
    };
    for (const auto& [key, direction] : keys) {
        // A translation leaves the screen and the eye's offset as they are,
        // also where rescaling them to their length would round differently.
        const Camera skewed{{0, 0, 0}, {0.1f, 0.3f, -0.4f}, {0.2f, 0.2f, 0.7f}, {0.5f, 0.4f, 2}};
        const Camera next = moveCamera(skewed, pivot, key);
        EXPECT_TRUE(sameBits({{}, next.screenRight, next.screenUp, next.eyeOffset},
                             {{}, skewed.screenRight, skewed.screenUp, skewed.eyeOffset}));
        const Vec3 moved = moveCamera(kTiltedCamera, pivot, key).screenCenter - kTiltedCamera.screenCenter;
        EXPECT_NEAR(length(moved), step, 1e-5) << static_cast<int>(key);
        EXPECT_NEAR(angleBetween(moved, direction), 0.0, 1e-3) << static_cast<int>(key);
    }
    const Camera panned = panCamera(kTiltedCamera, pivot, 0.1f, -0.2f);
    const Vec3 moved = panned.screenCenter - kTiltedCamera.screenCenter;
    const float scale = length(pivot - eyeOf(kTiltedCamera));
    EXPECT_NEAR(dot(moved, right) / length(right), 0.1 * scale, 1e-4);
    EXPECT_NEAR(dot(moved, up) / length(up), -0.2 * scale, 1e-4);
}

TEST(CameraMotionTest, FieldOfViewScalesTheScreenAboutAFixedEyeWithinLimits) {
    const Camera narrowed = scaleFieldOfView(kTiltedCamera, 0.5f);
    EXPECT_FLOAT_EQ(length(narrowed.screenRight), 0.5f * length(kTiltedCamera.screenRight));
    EXPECT_TRUE(sameBits({narrowed.screenCenter, {}, {}, narrowed.eyeOffset},
                         {kTiltedCamera.screenCenter, {}, {}, kTiltedCamera.eyeOffset}));
    for (const float factor : {4.0f, 0.25f}) {
        Camera camera = kTiltedCamera;
        for (int i = 0; i < 200; ++i) camera = scaleFieldOfView(camera, factor);
        const float width = length(camera.screenRight) / length(camera.eyeOffset);
        EXPECT_LE(width, 1000.5f) << factor;
        EXPECT_GE(width, 0.00099f) << factor;
    }
}

// Just below a power of two, whole runs of float lengths of screenRight have
// no float length of screenUp at the same float ratio.
TEST(CameraMotionTest, FieldOfViewKeepsMovingAtARatioJustBelowOne) {
    const Camera start{{0, 0, 0}, {1.3f, 0, 0}, {0, 0x1.fffffep-1f * 1.3f, 0}, {0, 0, 2}};
    for (const float factor : {0.95f, 1.05f}) {
        Camera camera = start;
        for (int i = 0; i < 40; ++i) {
            const Camera next = scaleFieldOfView(camera, factor);
            ASSERT_EQ(length(next.screenRight) < length(camera.screenRight), factor < 1) << "step " << i;
            ASSERT_NE(length(next.screenRight), length(camera.screenRight)) << "step " << i;
            ASSERT_EQ(imageHeightFor(next, 1 << 24), imageHeightFor(start, 1 << 24)) << "step " << i;
            camera = next;
        }
    }
}

TEST(CameraMotionTest, NoCameraOrArgumentsNotFiniteLeaveTheCameraAsItIs) {
    const float nan = std::nanf("");
    const Vec3 pivot{0, 0, -1}, nanPivot{nan, 0, 0};
    for (const Camera& camera : {Camera{}, Camera{{0, 0, 0}, {nan, 0, 0}, {0, 1, 0}, {0, 0, 2}}}) {
        for (const Camera& moved : {orbitCamera(camera, pivot, kUp, 0.1f, 0.1f), turnCamera(camera, kUp, 0.1f, 0.1f),
                                    panCamera(camera, pivot, 0.1f, 0.1f), dollyCamera(camera, pivot, 0.5f),
                                    scaleFieldOfView(camera, 0.5f), moveCamera(camera, pivot, CameraKey::Forward)})
            EXPECT_TRUE(sameBits(moved, camera));
    }
    const Camera& camera = kTiltedCamera;
    for (const Camera& moved : {orbitCamera(camera, pivot, kUp, nan, 0), orbitCamera(camera, pivot, {0, 0, 0}, 0.1f, 0),
                                panCamera(camera, nanPivot, 0.1f, 0), dollyCamera(camera, nanPivot, 0.5f),
                                scaleFieldOfView(camera, std::numeric_limits<float>::infinity()),
                                moveCamera(camera, nanPivot, CameraKey::Left), panCamera(camera, pivot, 1e38f, 0)})
        EXPECT_TRUE(sameBits(moved, camera));
}

// Random cameras: screen vectors of any direction and of lengths over several
// orders of magnitude, not orthogonal, not perpendicular to the view.
Camera randomCamera(std::mt19937& engine) {
    std::uniform_real_distribution<float> coordinate(-10, 10), exponent(-2, 2);
    const auto vector = [&] { return Vec3{coordinate(engine), coordinate(engine), coordinate(engine)}; };
    const auto scaled = [&](Vec3 v) { return (std::pow(10.0f, exponent(engine)) / length(v)) * v; };
    return {vector(), scaled(vector()), scaled(vector()), scaled(vector())};
}

// One random motion of every kind the viewer makes.
Camera randomMotion(const Camera& camera, std::mt19937& engine) {
    std::uniform_real_distribution<float> angle(-0.5f, 0.5f), fraction(-0.3f, 0.6f), logFov(-0.7f, 0.7f);
    std::uniform_int_distribution<int> kind(0, 5), key(0, 5);
    const Vec3 pivot = eyeOf(camera) - std::uniform_real_distribution<float>(0.1f, 20.0f)(engine) * camera.eyeOffset;
    switch (kind(engine)) {
        case 0:
            return orbitCamera(camera, pivot, kUp, angle(engine), angle(engine));
        case 1:
            return turnCamera(camera, kUp, angle(engine), angle(engine));
        case 2:
            return panCamera(camera, pivot, angle(engine), angle(engine));
        case 3:
            return dollyCamera(camera, pivot, fraction(engine));
        case 4:
            return scaleFieldOfView(camera, std::exp(logFov(engine)));
        default:
            return moveCamera(camera, pivot, static_cast<CameraKey>(key(engine)));
    }
}

TEST(CameraMotionTest, PictureHeightNeverChangesUnderThousandsOfMotions) {
    // At 2^24 pixels an ulp of the ratio is a row or more.
    constexpr int kWidths[] = {1, 291, 292, 4093, 1 << 24};
    std::vector<Camera> starts(std::begin(kSampleCameras), std::end(kSampleCameras));
    for (std::uint32_t seed = 1; seed <= 4; ++seed) {
        std::mt19937 engine(seed);
        starts.push_back(randomCamera(engine));
    }
    for (std::size_t start = 0; start < starts.size(); ++start) {
        const std::uint32_t seed = 100 + static_cast<std::uint32_t>(start);
        SCOPED_TRACE(testing::Message() << "camera " << start << ", seed " << seed);
        std::mt19937 engine(seed);
        const Camera& first = starts[start];
        Camera camera = first;
        int moved = 0;
        for (int i = 0; i < 3000; ++i) {
            const Camera next = randomMotion(camera, engine);
            moved += !sameBits(next, camera);
            camera = next;
            for (const int width : kWidths)
                ASSERT_EQ(imageHeightFor(camera, width), imageHeightFor(first, width)) << "step " << i;
        }
        // A control that refused to move would keep the height trivially.
        EXPECT_GT(moved, 2900);
    }
}

}  // namespace
