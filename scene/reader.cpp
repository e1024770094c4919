#include "scene/reader.h"

#include <cerrno>
#include <cfloat>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <locale>
#include <sstream>
#include <streambuf>
#include <string_view>

namespace {

// A read-only stream buffer over text already in memory, so that the reader
// can tell where each value starts without the cost of tellg.
class TextBuffer : public std::streambuf {
public:
    // Editors may start a UTF-8 file with a byte-order mark; glued to the
    // first keyword it would make that record an unknown word.
    static constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

    explicit TextBuffer(std::string& text) {
        char* begin = text.data();
        const std::size_t skip = std::string_view(text).starts_with(kByteOrderMark) ? kByteOrderMark.size() : 0;
        setg(begin, begin + skip, begin + text.size());
        textStart_ = skip;
    }
    std::size_t offset() const { return static_cast<std::size_t>(gptr() - eback()); }
    // Where the text proper begins, after any byte-order mark.
    std::size_t textStart() const { return textStart_; }

private:
    std::size_t textStart_ = 0;
};

bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

class RecordReader {
public:
    RecordReader(std::string& text, Scene& scene) : text_(text), buffer_(text), in_(&buffer_), scene_(scene) {
        in_.imbue(std::locale::classic());
    }

    SceneDiagnostic run() {
        resetScene(scene_);
        std::string word;
        while (!in_.eof() && !in_.fail()) {
            // A failed extraction keeps the old word; without this the last
            // record of a file ending in whitespace would be read twice.
            word.clear();
            in_ >> word;
            readRecord(word);
        }
        return diagnostic_;
    }

private:
    void readRecord(const std::string& word) {
        record_ = word.c_str();
        if (word == "BOX") {
            readTriple(object_.corner, "corner");
            readTriple(object_.edge1, "first edge");
            readTriple(object_.edge2, "second edge");
            readTriple(object_.edge3, "third edge");
            appendObject(ObjectKind::Box);
        } else if (word == "ELLIPSOID") {
            readTriple(object_.center, "center");
            readTriple(object_.axis1, "first axis");
            readTriple(object_.axis2, "second axis");
            readTriple(object_.axis3, "third axis");
            appendObject(ObjectKind::Ellipsoid);
        } else if (word == "SPHERE") {
            readTriple(object_.center, "center");
            readNumber(object_.radius, "radius");
            appendObject(ObjectKind::Sphere);
        } else if (word == "CYLINDER") {
            readTriple(object_.center, "base center");
            readTriple(object_.top, "top center");
            readNumber(object_.radius, "radius");
            appendObject(ObjectKind::Cylinder);
        } else if (word == "POLYGON") {
            readPolygonVertices();
            appendObject(ObjectKind::Polygon);
        } else if (word == "LIGHT") {
            readTriple(light_.position, "position");
            readColor(light_.color, "color");
            readNumber(light_.radius, "radius");
            scene_.lightList.push_back(light_);
        } else if (word == "CAMERA") {
            readTriple(scene_.camera.screenCenter, "screen center");
            readTriple(scene_.camera.screenRight, "screen right");
            readTriple(scene_.camera.screenUp, "screen up");
            readTriple(scene_.camera.eyeOffset, "eye offset");
        } else if (word == "AMBIENT") {
            readColor(scene_.ambient, "color");
        } else if (word == "AIR") {
            readNumber(scene_.air.permittivity, "permittivity");
            readNumber(scene_.air.permeability, "permeability");
            readColor(scene_.air.transmittance, "transmittance");
        }
        // Anything else, the empty word at the end of the file included, is skipped.
    }

    void readPolygonVertices() {
        object_.vertices.clear();
        readInteger(object_.vertexCount, "vertex count");
        // Stop as soon as the input fails, so that a count far beyond the
        // triples in the file costs nothing, and keep the count truthful.
        for (std::int32_t i = 0; i < object_.vertexCount && !in_.fail(); ++i) {
            readTriple(vertex_, "vertex");
            if (in_.fail()) break;
            object_.vertices.push_back(vertex_);
        }
        if (object_.vertexCount > 0) object_.vertexCount = static_cast<std::int32_t>(object_.vertices.size());
    }

    void appendObject(ObjectKind kind) {
        readColor(object_.color, "color");
        readNumber(object_.reflectance, "reflectance");
        readNumber(object_.shininess, "shininess");
        readColor(object_.transmittance, "transmittance");
        readNumber(object_.permittivity, "permittivity");
        readNumber(object_.permeability, "permeability");
        object_.kind = kind;
        scene_.objectList.push_back(object_);
    }

    void readTriple(Vec3& v, const char* field) {
        readDelimiter(field);
        readNumber(v.x, field);
        readDelimiter(field);
        readNumber(v.y, field);
        readDelimiter(field);
        readNumber(v.z, field);
        readDelimiter(field);
    }

    void readColor(Color& c, const char* field) {
        Vec3 v{c.red, c.green, c.blue};
        readTriple(v, field);
        c = {v.x, v.y, v.z};
    }

    void readDelimiter(const char* field) {
        char delimiter = 0;
        extract(delimiter, field, "a delimiter");
    }

    void readNumber(float& value, const char* field) { extract(value, field, "a number"); }

    void readInteger(std::int32_t& value, const char* field) { extract(value, field, "a whole number"); }

    template <typename T>
    void extract(T& value, const char* field, const char* expected) {
        if (in_.fail()) return;  // every extraction after the first fault fails
        const std::size_t start = buffer_.offset();
        in_ >> value;
        if (in_.fail()) noteFault(start, field, expected);
    }

    void noteFault(std::size_t start, const char* field, const char* expected) {
        if (diagnostic_) return;
        while (start < text_.size() && isSpace(text_[start])) ++start;
        const std::size_t end = buffer_.offset();
        std::string what;
        if (start >= text_.size()) {
            what = std::string("the file ends inside a ") + record_ + " record (expected " + field + ")";
        } else if (isOutOfRange(std::string_view(text_).substr(start, end - start))) {
            what = std::string("expected ") + expected + " within range (" + record_ + " " + field + ")";
        } else {
            what = std::string("expected ") + expected + " (" + record_ + " " + field + ")";
        }
        diagnostic_.line = 1;
        diagnostic_.column = 1;
        // Columns count what an editor shows: not the byte-order mark.
        for (std::size_t i = buffer_.textStart(); i < start && i < text_.size(); ++i) {
            if (text_[i] == '\n') {
                ++diagnostic_.line;
                diagnostic_.column = 1;
            } else {
                ++diagnostic_.column;
            }
        }
        diagnostic_.message =
            "line " + std::to_string(diagnostic_.line) + ", column " + std::to_string(diagnostic_.column) + ": " + what;
    }

    // A well-formed number that does not fit a float or a 32-bit integer.
    static bool isOutOfRange(std::string_view token) {
        if (token.empty()) return false;
        const std::string copy(token);
        char* end = nullptr;
        errno = 0;
        const double value = std::strtod(copy.c_str(), &end);
        return end == copy.c_str() + copy.size() && (errno == ERANGE || std::fabs(value) > FLT_MAX ||
                                                     copy.find_first_of(".eE") == std::string::npos);
    }

    std::string& text_;
    TextBuffer buffer_;
    std::istream in_;
    Scene& scene_;
    const char* record_ = "";
    // Working records, zeroed at every load and reused across its records.
    SceneObject object_{};
    Light light_{};
    Vec3 vertex_{};
    SceneDiagnostic diagnostic_;
};

}  // namespace

SceneDiagnostic readScene(std::istream& in, Scene& scene) {
    std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    return RecordReader(text, scene).run();
}

bool loadScene(const std::string& path, Scene& scene, Random& generator, SceneDiagnostic* diagnostic) {
    generator.seed(1);
    resetScene(scene);
    if (diagnostic) *diagnostic = {};
    // Only regular files: a directory cannot be read, a device such as
    // /dev/zero never ends, and a pipe without a writer blocks the open.
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error)) return false;
    std::ifstream file(path, std::ios::binary);
    if (!file) return false;
    std::ostringstream contents;
    contents << file.rdbuf();
    if (file.bad()) return false;
    std::string text = std::move(contents).str();
    const SceneDiagnostic result = RecordReader(text, scene).run();
    if (diagnostic) *diagnostic = result;
    return true;
}
