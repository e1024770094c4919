#include <gtest/gtest.h>

#include <bit>
#include <cstdio>
#include <locale>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "scene/plain_number.h"
#include "scene/reader.h"

namespace {

// Wherever the quick reading gives a value, extraction gives the same bits
// and stops at the same character.
void expectAgreement(const std::string& token) {
    const std::string text = token + ")";
    float quick = 0.0f;
    const char* after = readPlainNumber(text.data(), text.data() + text.size(), quick);
    if (!after) return;
    std::istringstream in(text);
    in.imbue(std::locale::classic());
    float extracted = 0.0f;
    in >> extracted;
    ASSERT_FALSE(in.fail()) << "'" << token << "' read quickly as " << quick;
    EXPECT_EQ(std::bit_cast<std::uint32_t>(quick), std::bit_cast<std::uint32_t>(extracted)) << "'" << token << "'";
    EXPECT_EQ(after - text.data(), static_cast<std::ptrdiff_t>(in.tellg())) << "'" << token << "'";
}

TEST(PlainNumber, AgreesWithExtraction) {
    const std::vector<std::string> tricky{
        "0", "-0", "+0.0e-99999", "007", "1.", ".5", "-.5e1", "1e5.5", "1.5.3", "2e3e4", "1e", "1e+", "1e.", ".", "+",
        "-", "+-1", ".e5", "0x1p3", "1,5", "3.4028235e38", "3.4028236e38", "1e39", "1.1754944e-38", "1e-40", "1e-50",
        "0.000000000000000000000000000000000000000000001", "16777217", "0.1000000000000000055511151231257827",
        "1.00000005960464477539062", "1.000000059604644775390625", "1.000000059604644775390626", "inf", "nan"};
    for (const std::string& token : tricky) expectAgreement(token);

    // Random words of number characters, and floats printed at full length.
    std::mt19937 rng(7);
    const std::string alphabet = "0123456789+-.eE0123456789";
    for (int i = 0; i < 20000; ++i) {
        std::string token(1 + rng() % 12, ' ');
        for (char& c : token) c = alphabet[rng() % alphabet.size()];
        expectAgreement(token);
        char printed[64];
        const float f = std::bit_cast<float>(static_cast<std::uint32_t>(rng()));
        std::snprintf(printed, sizeof printed, i % 2 ? "%.9g" : "%.40f", static_cast<double>(f));
        expectAgreement(printed);
    }

    // The forms scene files are made of take the quick way.
    for (const std::string text : {"1)", "-0.5 ", "+2.5E+07,", "1e-3)", "12.875\n"}) {
        float value = 0.0f;
        EXPECT_NE(readPlainNumber(text.data(), text.data() + text.size(), value), nullptr) << text;
    }
}

// The reader takes a number the quick way only when it ends within the
// chunk in hand; one that runs across a chunk's edge is read whole all the same.
TEST(PlainNumber, NumbersAcrossTheReadersChunkEdges) {
    constexpr std::size_t kChunk = 64 * 1024;
    const std::string number = "-1.25e+01";
    for (std::size_t shift = 0; shift <= number.size(); ++shift) {
        const std::string head = "SPHERE (1, 2, ";
        std::string text(kChunk - shift - head.size(), ' ');
        text += head + number + ") 3 (1, 1, 1) 0 0 (1, 1, 1) 1 1";
        std::istringstream in(text);
        Scene scene;
        ASSERT_FALSE(readScene(in, scene)) << shift;
        ASSERT_EQ(scene.objectList.size(), 1u) << shift;
        EXPECT_EQ(scene.objectList[0].center.z, -12.5f) << shift;
        EXPECT_EQ(scene.objectList[0].radius, 3.0f) << shift;
    }
}

}  // namespace
