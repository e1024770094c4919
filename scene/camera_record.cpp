#include "scene/camera_record.h"

#include <charconv>
#include <cmath>
#include <istream>
#include <streambuf>

#include "scene/reader.h"

namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
constexpr std::string_view kBlanks = " \t\n\v\f\r";

// The reader over text in memory, without copying it.
class TextViewBuffer : public std::streambuf {
public:
    explicit TextViewBuffer(std::string_view text) {
        // The get area is only ever read.
        char* begin = const_cast<char*>(text.data());
        setg(begin, begin, begin + text.size());
    }
};

bool appendNumber(std::string& text, float value) {
    if (!std::isfinite(value)) return false;
    // The shortest form that reads back exactly; the reader takes every form
    // it gives ("-0", "1e-05", "3.4028235e+38", subnormals).
    char digits[32];
    const auto [end, error] = std::to_chars(digits, digits + sizeof digits, value);
    if (error != std::errc{}) return false;
    text.append(digits, end);
    return true;
}

bool appendTriple(std::string& text, Vec3 v) {
    text += " (";
    if (!appendNumber(text, v.x)) return false;
    text += ", ";
    if (!appendNumber(text, v.y)) return false;
    text += ", ";
    if (!appendNumber(text, v.z)) return false;
    text += ')';
    return true;
}

// The file's own line break, so that a new first line matches the others.
std::string_view lineBreakOf(std::string_view text) {
    const std::size_t newline = text.find('\n');
    return newline != std::string_view::npos && newline > 0 && text[newline - 1] == '\r' ? "\r\n" : "\n";
}

}  // namespace

std::optional<std::string> cameraRecordText(const Camera& camera) {
    std::string text = "CAMERA";
    for (const Vec3 v : {camera.screenCenter, camera.screenRight, camera.screenUp, camera.eyeOffset}) {
        if (!appendTriple(text, v)) return std::nullopt;
    }
    return text;
}

std::optional<std::string> withCameraRecord(std::string_view fileText, const Camera& camera, std::string& error) {
    const std::optional<std::string> record = cameraRecordText(camera);
    if (!record) {
        error = "the camera has a coordinate that is infinite or not a number";
        return std::nullopt;
    }

    TextViewBuffer source(fileText);
    std::istream in(&source);
    Scene scene;
    CameraRecordPlace place;
    const SceneDiagnostic diagnostic = readScene(in, scene, &place);

    std::string text;
    text.reserve(fileText.size() + record->size() + 2);
    if (!place.found) {
        const std::size_t start = fileText.starts_with(kByteOrderMark) ? kByteOrderMark.size() : 0;
        text.append(fileText.substr(0, start));
        text.append(*record);
        text.append(lineBreakOf(fileText));
        text.append(fileText.substr(start));
        return text;
    }

    const std::size_t begin = static_cast<std::size_t>(place.begin);
    std::size_t end = static_cast<std::size_t>(place.end);
    if (!place.complete) {
        // The reading stopped inside this record. With only blanks after it,
        // nothing was left unread and the whole record can go; the blanks stay.
        if (fileText.find_first_not_of(kBlanks, end) != std::string_view::npos) {
            error = "the CAMERA record is malformed (" + diagnostic.message + "); correct it first";
            return std::nullopt;
        }
        end = fileText.find_last_not_of(kBlanks, end - 1) + 1;
    }
    text.append(fileText.substr(0, begin));
    text.append(*record);
    text.append(fileText.substr(end));
    return text;
}
