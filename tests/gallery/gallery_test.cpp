// The gallery guards the picture: each row of docs/gallery/index.tsv is
// rendered again and must give the committed picture's pixels exactly.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "test_support.h"

namespace {

struct Row {
    std::string picture;
    std::string scene;
    std::vector<std::string> options;
};

void PrintTo(const Row& row, std::ostream* out) { *out << row.picture; }

std::string source(const std::string& path) { return std::string(ORVANEL_SOURCE_DIR) + "/" + path; }

std::vector<Row> galleryRows() {
    std::vector<Row> rows;
    std::ifstream index(source("docs/gallery/index.tsv"));
    for (std::string line; std::getline(index, line);) {
        std::istringstream fields(line);
        Row row;
        std::string options;
        if (!std::getline(fields, row.picture, '\t') || !std::getline(fields, row.scene, '\t')) continue;
        std::getline(fields, options);
        std::istringstream words(options);
        for (std::string word; words >> word;) row.options.push_back(word);
        rows.push_back(row);
    }
    return rows;
}

class Gallery : public testing::TestWithParam<Row> {};

TEST_P(Gallery, RendersTheCommittedPixels) {
    const Row& row = GetParam();
    TempDir dir;
    std::string command = std::string("'") + ORVANEL_RENDER_PATH + "' '" + source(row.scene) + "' -o '" +
                          dir.path("picture.png") + "' --quiet";
    for (const std::string& option : row.options) command += " '" + option + "'";
    const int status = std::system(command.c_str());
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << command;

    const PixelImage committed = readPng(source("docs/gallery/" + row.picture));
    const PixelImage rendered = readPng(dir.path("picture.png"));
    ASSERT_GT(committed.width, 0) << "cannot decode docs/gallery/" << row.picture;
    ASSERT_EQ(rendered.width, committed.width);
    ASSERT_EQ(rendered.height, committed.height);
    std::size_t differing = 0;
    std::size_t first = 0;
    for (std::size_t i = rendered.pixels.size(); i-- > 0;) {
        if (rendered.pixels[i] != committed.pixels[i]) {
            ++differing;
            first = i;
        }
    }
    EXPECT_EQ(differing, 0u) << "first at x " << first % static_cast<std::size_t>(committed.width) << ", y "
                             << first / static_cast<std::size_t>(committed.width)
                             << "; if the change is meant, run scripts/gallery.sh";
}

TEST(GalleryIndex, HasEveryPictureOnce) {
    const std::vector<Row> rows = galleryRows();
    EXPECT_GE(rows.size(), 12u);
    std::vector<std::string> names;
    for (const Row& row : rows) names.push_back(row.picture);
    std::sort(names.begin(), names.end());
    EXPECT_EQ(std::adjacent_find(names.begin(), names.end()), names.end());
}

std::string testName(const testing::TestParamInfo<Row>& info) {
    std::string name;
    for (const char c : info.param.picture) name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
    return name;
}

INSTANTIATE_TEST_SUITE_P(Pictures, Gallery, testing::ValuesIn(galleryRows()), testName);

}  // namespace
