#include <gtest/gtest.h>

#include <sstream>

#include "render/sampling.h"
#include "scene/reader.h"

TEST(Smoke, RendersASphere) {
    std::istringstream in(
        "CAMERA (0,0,0) (1,0,0) (0,1,0) (0,0,5)\n"
        "SPHERE (0,0,-5) 1 (1,0,0) 0 1 (1,1,1) 1 1\n");
    Scene scene;
    EXPECT_FALSE(readScene(in, scene));
    RenderSettings settings;
    Random random;
    TraceContext context{scene, settings, random};
    PixelImage image = renderImage(context, 20, 20);
    EXPECT_EQ(image.at(10, 10), 0x0000ffu);
    EXPECT_EQ(image.at(0, 0), 0u);
}
