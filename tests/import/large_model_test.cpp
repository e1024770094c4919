// A million triangles convert, streamed: the importer's peak memory stays
// well under the size of the scene it writes.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <fstream>

#include "test_support.h"

namespace {

constexpr std::uint32_t kTriangles = 1'000'000;

void writeBinaryStl(const std::string& path) {
    std::ofstream out(path, std::ios::binary);
    char header[80] = "a million triangles";
    out.write(header, sizeof header);
    out.write(reinterpret_cast<const char*>(&kTriangles), 4);
    for (std::uint32_t i = 0; i < kTriangles; ++i) {
        const float x = static_cast<float>(i % 1000) * 1.37f;
        const float y = static_cast<float>(i / 1000) * 0.71f;
        const float record[12] = {0, 0, 1, x, y, 0.1f * x, x + 1.13f, y, 0.3f, x, y + 0.97f, 0.7f};
        out.write(reinterpret_cast<const char*>(record), sizeof record);
        out.write("\0\0", 2);
    }
}

TEST(LargeModel, AMillionTrianglesStreamOut) {
    TempDir dir;
    const std::string stl = dir.path("million.stl");
    writeBinaryStl(stl);

    int pipeFds[2];
    ASSERT_EQ(::pipe(pipeFds), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::dup2(pipeFds[1], STDOUT_FILENO);
        ::close(pipeFds[0]);
        ::close(pipeFds[1]);
        ::execl(ORVANEL_IMPORT_PATH, "orvanel-import", stl.c_str(), "--fit", "2", static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(pipeFds[1]);
    std::uint64_t bytes = 0;
    std::uint64_t lines = 0;
    char buffer[1 << 16];
    for (ssize_t n; (n = ::read(pipeFds[0], buffer, sizeof buffer)) != 0;) {
        if (n < 0 && errno == EINTR) continue;
        ASSERT_GT(n, 0);
        bytes += static_cast<std::uint64_t>(n);
        for (ssize_t i = 0; i < n; ++i) lines += buffer[i] == '\n';
    }
    ::close(pipeFds[0]);
    int status = 0;
    rusage usage{};
    ASSERT_EQ(::wait4(child, &status, 0, &usage), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(lines, kTriangles + 1u);  // the note, then one record each

    const std::uint64_t peak = static_cast<std::uint64_t>(usage.ru_maxrss) * 1024;
    std::cout << "scene " << bytes / 1000000 << " MB, peak memory " << peak / 1000000 << " MB\n";
#ifndef __SANITIZE_ADDRESS__  // its redzones and quarantine swell every allocation
    // Assimp's copy of the model is about the scene's size; holding the
    // scene text or its records as well would at least double it.
    EXPECT_LT(peak, bytes + bytes / 2);
#endif
}

}  // namespace
