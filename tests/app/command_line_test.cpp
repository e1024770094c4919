// The viewer's command line, before and after the window system takes its own options.
#include "app/command_line.h"

#include <gtest/gtest.h>

#include <sstream>

#include "orvanel_version.h"

namespace {

TEST(ViewerCommandLine, HelpAndVersionAnswerWithoutAWindow) {
    std::ostringstream help, version, none;
    EXPECT_EQ(answerInformationRequest({"scene.txt", "--help"}, help), 0);
    EXPECT_NE(help.str().find("Usage: orvanel [--watch] [--width N] [SCENE]"), std::string::npos);
    EXPECT_EQ(answerInformationRequest({"--version"}, version), 0);
    EXPECT_EQ(version.str(), std::string("orvanel ") + kOrvanelVersion + "\n");
    EXPECT_EQ(answerInformationRequest({"--", "--help"}, none), std::nullopt);
    EXPECT_EQ(none.str(), "");
}

TEST(ViewerCommandLine, SceneAndWatchOrAUsageError) {
    std::ostringstream err;
    const auto watched = parseViewerArguments({"--watch", "ball.txt"}, err);
    ASSERT_TRUE(watched);
    EXPECT_EQ(watched->scenePath, "ball.txt");
    EXPECT_TRUE(watched->watch);
    const auto plain = parseViewerArguments({}, err);
    ASSERT_TRUE(plain);
    EXPECT_EQ(plain->scenePath, "");
    EXPECT_FALSE(plain->watch);
    EXPECT_EQ(parseViewerArguments({"--", "-odd.txt"}, err)->scenePath, "-odd.txt");
    EXPECT_EQ(err.str(), "");
    for (const std::vector<std::string>& bad :
         {std::vector<std::string>{"--watch"}, {"--bogus", "a.txt"}, {"a.txt", "b.txt"}}) {
        std::ostringstream message;
        EXPECT_FALSE(parseViewerArguments(bad, message)) << bad[0];
        EXPECT_NE(message.str().find("Usage: orvanel"), std::string::npos) << bad[0];
    }
}

}  // namespace
