#include "app/menu.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

namespace {

// The settings menus and File/Open keep their texts, ids and order; every
// other item has an id of its own outside 40001 to 40020.
TEST(MenuTest, TheOriginalItemsKeepTheirPlaceAmongTheNewOnes) {
    std::vector<std::pair<std::string, std::vector<std::string>>> dropDowns;
    std::set<int> ids;
    for (const MenuCommand& command : menuCommands()) {
        EXPECT_TRUE(ids.insert(command.id).second) << command.id;
        if (command.id < 40001 || command.id > 40020) continue;
        if (dropDowns.empty() || dropDowns.back().first != command.dropDown)
            dropDowns.push_back({command.dropDown, {}});
        dropDowns.back().second.push_back(command.text);
    }
    const std::vector<std::pair<std::string, std::vector<std::string>>> expected{
        {"File", {"&Open"}},
        {"Recursion Depth", {"Zero", "One", "Two", "Three", "Four", "Five", "Six", "Seven", "Eight", "Nine"}},
        {"Anti-Aliasing", {"None", "Supersampling (10x10)"}},
        {"Shadows", {"Hard", "Soft Axes", "None", "Soft Jitter"}},
        {"Lights", {"On", "Off"}},
    };
    EXPECT_EQ(dropDowns, expected);
    EXPECT_EQ(menuCommands().front().id, kOpenCommand);
}

TEST(MenuTest, IdsCoverTheRangeExceptTheGap) {
    std::set<int> ids;
    for (const MenuCommand& command : menuCommands()) {
        if (command.id >= 40000 && command.id <= 40021) ids.insert(command.id);
    }
    std::set<int> expected;
    for (int id = 40001; id <= 40020; ++id) {
        if (id != 40004) expected.insert(id);
    }
    EXPECT_EQ(ids, expected);
    EXPECT_EQ(findCommand(40004), nullptr);
    EXPECT_EQ(findCommand(40000), nullptr);
    EXPECT_EQ(findCommand(40021), nullptr);
    ASSERT_NE(findCommand(kOpenCommand), nullptr);
    EXPECT_EQ(findCommand(kOpenCommand)->apply, nullptr);
}

enum class Field { Depth, AntiAliasing, Shadows, Lights };

int valueOf(const RenderSettings& settings, Field field) {
    switch (field) {
        case Field::Depth:
            return settings.recursionDepth;
        case Field::AntiAliasing:
            return static_cast<int>(settings.antiAliasing);
        case Field::Shadows:
            return static_cast<int>(settings.shadowMode);
        case Field::Lights:
            return static_cast<int>(settings.lights);
    }
    return -1;
}

struct Expected {
    int id;
    const char* text;
    Field field;
    int value;
};

TEST(MenuTest, EverySettingsCommandWritesItsOneField) {
    const Expected expected[] = {
        {40002, "Zero", Field::Depth, 0},        {40016, "One", Field::Depth, 1},
        {40003, "Two", Field::Depth, 2},         {40005, "Three", Field::Depth, 3},
        {40006, "Four", Field::Depth, 4},        {40007, "Five", Field::Depth, 5},
        {40008, "Six", Field::Depth, 6},         {40009, "Seven", Field::Depth, 7},
        {40010, "Eight", Field::Depth, 8},       {40011, "Nine", Field::Depth, 9},
        {40012, "None", Field::AntiAliasing, 0}, {40013, "Supersampling (10x10)", Field::AntiAliasing, 1},
        {40014, "Hard", Field::Shadows, 0},      {40015, "Soft Axes", Field::Shadows, 1},
        {40019, "None", Field::Shadows, 2},      {40020, "Soft Jitter", Field::Shadows, 3},
        {40017, "On", Field::Lights, 0},         {40018, "Off", Field::Lights, 1},
    };
    const RenderSettings starts[] = {
        RenderSettings{},
        {4, AntiAliasingMode::Supersampling, ShadowMode::SoftJitter, LightsSetting::On},
    };
    for (const Expected& e : expected) {
        const MenuCommand* command = findCommand(e.id);
        ASSERT_NE(command, nullptr) << e.id;
        EXPECT_STREQ(command->text, e.text) << e.id;
        ASSERT_NE(command->apply, nullptr) << e.id;
        for (const RenderSettings& start : starts) {
            RenderSettings settings = start;
            command->apply(settings);
            for (Field field : {Field::Depth, Field::AntiAliasing, Field::Shadows, Field::Lights}) {
                const int wanted = field == e.field ? e.value : valueOf(start, field);
                EXPECT_EQ(valueOf(settings, field), wanted) << e.id << " field " << static_cast<int>(field);
            }
            // The check marks: exactly this item of its drop-down is in force.
            for (const MenuCommand& other : menuCommands()) {
                if (other.apply && std::string(other.dropDown) == command->dropDown) {
                    EXPECT_EQ(inForce(other, settings), other.id == e.id) << e.id << " marks " << other.id;
                }
            }
        }
    }
}

}  // namespace
