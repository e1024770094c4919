// Helpers of bench/targets.sh.
//
//   target-bench scenes DIR   writes the generated scenes the script renders:
//                             mixed-60.txt, glass-field.txt and its twin
//                             glass-field.pov for POV-Ray
//   target-bench build        hierarchy build time on 100 000 triangles
//                             against a 400 px render of them, and the
//                             time to read them from a scene file
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "bench/scene_generator.h"
#include "render/bvh/bvh.h"
#include "render/camera.h"
#include "render/render_scene.h"
#include "scene/reader.h"

namespace {

void writeVec(std::ostream& out, Vec3 v) { out << '<' << v.x << ", " << v.y << ", " << v.z << '>'; }
void writeRgb(std::ostream& out, Color c) { out << "rgb <" << c.red << ", " << c.green << ", " << c.blue << '>'; }

// The scene for POV-Ray: the same camera, lights, spheres and polygons. Our
// materials have no exact counterpart; each object is told apart as glass
// (transmits and reflects), mirror (huge permittivity) or matte
// (reflectance 0), which is all that glassField makes.
bool writePov(std::ostream& out, const Scene& scene, int depth) {
    out.precision(7);  // short decimals keep the camera vectors perpendicular to POV-Ray
    const Camera& c = scene.camera;
    // Its trace level counts the primary ray: ours `depth` bounces after it.
    out << "#version 3.7;\n";
    out << "global_settings { assumed_gamma 1.0 max_trace_level " << depth + 1 << " ambient_light ";
    writeRgb(out, scene.ambient);
    out << " }\nbackground { rgb 0 }\n";
    // POV-Ray spans right and up across the whole picture; ours from the centre.
    out << "camera { perspective location ";
    writeVec(out, c.screenCenter + c.eyeOffset);
    out << " direction ";
    writeVec(out, -c.eyeOffset);
    out << " right ";
    writeVec(out, 2.0f * c.screenRight);
    out << " up ";
    writeVec(out, 2.0f * c.screenUp);
    out << " }\n";
    for (const Light& light : scene.lightList) {
        out << "light_source { ";
        writeVec(out, light.position);
        out << ' ';
        writeRgb(out, light.color);
        out << " }\n";
    }
    for (const SceneObject& o : scene.objectList) {
        if (o.kind == ObjectKind::Sphere) {
            out << "sphere { ";
            writeVec(out, o.center);
            out << ", " << o.radius;
        } else if (o.kind == ObjectKind::Polygon) {
            // POV-Ray's polygon repeats the first vertex to close the outline.
            out << "polygon { " << o.vertices.size() + 1;
            for (const Vec3 v : o.vertices) {
                out << ", ";
                writeVec(out, v);
            }
            out << ", ";
            writeVec(out, o.vertices.front());
        } else {
            std::fprintf(stderr, "target-bench: no POV-Ray twin for this kind of object\n");
            return false;
        }
        const bool glass = o.reflectance > 0.0f && o.transmittance.red > 0.0f && o.permittivity < 100.0f;
        const bool mirror = o.reflectance > 0.0f && o.permittivity >= 100.0f;
        if (glass) {
            out << "\n  pigment { rgbf 1 } finish { ambient 0 diffuse 0 phong 0.04 phong_size " << o.shininess
                << " reflection { 0, 1 fresnel on } conserve_energy } interior { ior 1.5 } }\n";
        } else if (mirror) {
            out << "\n  pigment { ";
            writeRgb(out, o.color);
            out << " } finish { ambient 1 diffuse 1 phong 1 phong_size " << o.shininess << " reflection 1 } }\n";
        } else {
            out << "\n  pigment { ";
            writeRgb(out, o.color);
            out << " } finish { ambient 1 diffuse 1 } }\n";
        }
    }
    return static_cast<bool>(out);
}

bool writeFile(const std::filesystem::path& path, const Scene& scene, bool pov) {
    std::ofstream out(path);
    if (pov ? !writePov(out, scene, 5) : (writeScene(out, scene), !out)) {
        std::fprintf(stderr, "target-bench: cannot write %s\n", path.string().c_str());
        return false;
    }
    return true;
}

double millisecondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

// Best of three of each, interleaved. The render as the other targets run
// it: lights on, depth 5, hard shadows, one thread.
bool buildAgainstRender() {
    const Scene mesh = triangleMesh(100000);
    const RenderSettings settings{5, AntiAliasingMode::None, ShadowMode::Hard, LightsSetting::On};
    const int width = 400;
    const int height = imageHeightFor(mesh.camera, width);
    double build = 0.0, oneThread = 0.0, render = 0.0;
    for (int round = 0; round < 3; ++round) {
        auto buildStart = std::chrono::steady_clock::now();
        (void)buildBvh(mesh, BuildThreads::One);
        const double one = millisecondsSince(buildStart);
        buildStart = std::chrono::steady_clock::now();
        const Bvh bvh = buildBvh(mesh);
        const double b = millisecondsSince(buildStart);
        Random generator;
        RenderRequest request;
        request.width = width;
        request.height = height;
        request.threads = 1;
        request.accelerator = &bvh;
        const auto renderStart = std::chrono::steady_clock::now();
        renderScene(mesh, settings, generator, request);
        const double r = millisecondsSince(renderStart);
        build = round == 0 ? b : std::min(build, b);
        oneThread = round == 0 ? one : std::min(oneThread, one);
        render = round == 0 ? r : std::min(render, r);
    }
    std::printf("build ms: %.1f\none-thread build ms: %.1f\nrender ms: %.1f\nratio: %.4f\n", build, oneThread, render,
                build / render);
    // What a user waits for before the build: reading the scene file.
    const std::filesystem::path file = std::filesystem::temp_directory_path() / "target-bench-mesh-100000.txt";
    {
        std::ofstream out(file);
        writeScene(out, mesh);
    }
    double read = 0.0;
    for (int round = 0; round < 3; ++round) {
        Scene loaded;
        Random seeded;
        const auto readStart = std::chrono::steady_clock::now();
        const bool ok = loadScene(file.string(), loaded, seeded);
        const double ms = millisecondsSince(readStart);
        if (!ok || loaded.objectList.size() != mesh.objectList.size()) {
            std::fprintf(stderr, "cannot read back %s\n", file.c_str());
            std::filesystem::remove(file);
            return false;
        }
        read = round == 0 ? ms : std::min(read, ms);
    }
    std::filesystem::remove(file);
    std::printf("scene read ms: %.1f\n", read);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string command = argc > 1 ? argv[1] : "";
    if (command == "scenes" && argc == 3) {
        const std::filesystem::path dir = argv[2];
        std::filesystem::create_directories(dir);
        const Scene field = glassField(1);
        return writeFile(dir / "mixed-60.txt", mixedScene(60, 1), false) &&
                       writeFile(dir / "glass-field.txt", field, false) &&
                       writeFile(dir / "glass-field.pov", field, true)
                   ? 0
                   : 1;
    }
    if (command == "build" && argc == 2) {
        return buildAgainstRender() ? 0 : 1;
    }
    std::fprintf(stderr, "usage: %s scenes DIR | build\n", argv[0]);
    return 2;
}
