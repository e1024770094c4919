// The installed binary end to end: exit statuses and stream texts as a shell sees them.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "test_support.h"

namespace {

struct Finished {
    int status;
    std::string out;
    std::string err;
};

// Arguments are quoted for the shell; they come from the tests only.
Finished runBinary(const TempDir& dir, const std::vector<std::string>& arguments) {
    std::string command = std::string("'") + ORVANEL_RENDER_PATH + "'";
    for (const std::string& argument : arguments) command += " '" + argument + "'";
    command += " >'" + dir.path("stdout") + "' 2>'" + dir.path("stderr") + "' </dev/null";
    const int raw = std::system(command.c_str());
    const int status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    Finished run{status, slurp(dir.path("stdout")), slurp(dir.path("stderr"))};
    std::filesystem::remove(dir.path("stdout"));
    std::filesystem::remove(dir.path("stderr"));
    return run;
}

TEST(Binary, ExitStatusesAndMessages) {
    TempDir dir;
    const std::string scene = dir.write("scene.txt", kTestScene);

    const Finished missing = runBinary(dir, {"no-such-scene.txt", "-o", dir.path("out.png")});
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.err, "Could not read file no-such-scene.txt\n");

    const Finished usage = runBinary(dir, {scene, "-o", dir.path("out.png"), "--depth", "12"});
    EXPECT_EQ(usage.status, 2);
    EXPECT_NE(usage.err.find("Usage: orvanel-render"), std::string::npos);

    const Finished help = runBinary(dir, {"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("--shadows"), std::string::npos);

    const std::string noCamera = dir.write("empty.txt", "");
    EXPECT_EQ(runBinary(dir, {noCamera, "-o", dir.path("out.png")}).status, 3);
    EXPECT_EQ(runBinary(dir, {scene, "-o", dir.path("missing/out.png")}).status, 4);
    EXPECT_EQ(dir.entries(), (std::vector<std::string>{"empty.txt", "scene.txt"}));

    const Finished ok =
        runBinary(dir, {scene, "-o", dir.path("out.png"), "--width", "24", "--lights", "on", "--stats"});
    EXPECT_EQ(ok.status, 0) << ok.err;
    EXPECT_EQ(ok.err, "");  // not a terminal: no progress bar
    EXPECT_NE(ok.out.find("image size: 24 x 18"), std::string::npos) << ok.out;
    EXPECT_EQ(readPng(dir.path("out.png")).width, 24);
}

// Through bash, for its pipes and process substitution.
int runShell(const std::string& script) {
    const std::string command = "bash -c '" + script + "'";
    const int raw = std::system(command.c_str());
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
}

TEST(Binary, ScenesFromStandardInputAndPipesVersionAndCheck) {
    TempDir dir;
    const std::string scene = dir.write("scene.txt", kTestScene);
    const std::string render = std::string("\"") + ORVANEL_RENDER_PATH + "\"";
    const PixelImage expected = [&] {
        EXPECT_EQ(runBinary(dir, {scene, "-o", dir.path("file.png"), "--width", "16"}).status, 0);
        return readPng(dir.path("file.png"));
    }();
    ASSERT_EQ(expected.width, 16);
    EXPECT_EQ(runShell(render + " - -o " + dir.path("stdin.png") + " --width 16 < " + scene), 0);
    EXPECT_EQ(readPng(dir.path("stdin.png")).pixels, expected.pixels);
    EXPECT_EQ(runShell(render + " <(cat " + scene + ") -o " + dir.path("substituted.png") + " --width 16"), 0);
    EXPECT_EQ(readPng(dir.path("substituted.png")).pixels, expected.pixels);
    EXPECT_EQ(runShell("cat " + scene + " | " + render + " --check - > " + dir.path("check.txt")), 0);
    EXPECT_TRUE(slurp(dir.path("check.txt")).starts_with("picture: 300 x 225 at width 300\nlights: 2\n"));

    const Finished device = runBinary(dir, {"/dev/zero", "-o", dir.path("out.png")});
    EXPECT_EQ(device.status, 1);
    EXPECT_EQ(device.err, "Could not read file /dev/zero\n");

    const Finished version = runBinary(dir, {"--version"});
    EXPECT_EQ(version.status, 0);
    EXPECT_TRUE(version.out.starts_with("orvanel-render ")) << version.out;
}

}  // namespace

namespace {

std::string engineLine(const std::string& prefix, const TempDir& dir, const std::string& scene) {
    const std::string command = prefix + " '" + ORVANEL_RENDER_PATH + "' '" + scene + "' -o '" + dir.path("t.png") +
                                "' --width 24 --stats >'" + dir.path("stats") + "' 2>&1";
    EXPECT_EQ(std::system(command.c_str()), 0) << command;
    const std::string stats = slurp(dir.path("stats"));
    const std::size_t at = stats.find("engine: ");
    return at == std::string::npos ? stats : stats.substr(at, stats.find(',', at) - at);
}

// A batch job or a taskset gets a share of the machine; the renderer keeps to it.
TEST(Binary, ThreadsDefaultToTheCpusThisProcessMayUse) {
    TempDir dir;
    const std::string scene = dir.write("scene.txt", kTestScene);
    EXPECT_EQ(engineLine("env -u SLURM_CPUS_PER_TASK taskset -c 0", dir, scene), "engine: 1 thread");
    EXPECT_EQ(engineLine("SLURM_CPUS_PER_TASK=3 taskset -c 0", dir, scene), "engine: 3 threads");
}

TEST(Binary, MergeAnswersVersionAndHelp) {
    TempDir dir;
    const std::string merge = std::string("'") + ORVANEL_MERGE_PATH + "'";
    EXPECT_EQ(std::system((merge + " --version >'" + dir.path("v") + "'").c_str()), 0);
    EXPECT_EQ(slurp(dir.path("v")).rfind("orvanel-merge ", 0), 0u);
    EXPECT_EQ(std::system((merge + " --help >'" + dir.path("h") + "'").c_str()), 0);
    EXPECT_NE(slurp(dir.path("h")).find("PIECE..."), std::string::npos);
    EXPECT_EQ(WEXITSTATUS(std::system((merge + " 2>/dev/null").c_str())), 2);
}

}  // namespace
