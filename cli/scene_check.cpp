#include "cli/scene_check.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdint>
#include <istream>
#include <locale>
#include <optional>
#include <streambuf>
#include <type_traits>

#include "render/camera.h"
#include "scene/plain_number.h"

namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
constexpr std::string_view kKeywords[] = {"BOX",   "ELLIPSOID", "SPHERE",  "CYLINDER", "POLYGON",
                                          "LIGHT", "CAMERA",    "AMBIENT", "AIR"};

bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

bool isKeyword(std::string_view word) {
    return std::find(std::begin(kKeywords), std::end(kKeywords), word) != std::end(kKeywords);
}

std::string upper(std::string_view word) {
    std::string result(word);
    for (char& c : result) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return result;
}

// A stream over the text that can be set to any offset, so values are
// extracted exactly as the reader extracts them.
class TextStream : public std::streambuf {
public:
    explicit TextStream(std::string_view text) : text_(text), in_(this) { in_.imbue(std::locale::classic()); }

    template <typename T>
    bool extract(std::size_t& offset, T& value) {
        if constexpr (std::is_same_v<T, float>) {
            if (const char* after = readPlainNumber(text_.data() + offset, text_.data() + text_.size(), value)) {
                offset = static_cast<std::size_t>(after - text_.data());
                return true;
            }
        }
        char* begin = const_cast<char*>(text_.data());
        setg(begin, begin + offset, begin + text_.size());
        in_.clear();
        in_ >> value;
        offset = static_cast<std::size_t>(gptr() - begin);
        return !in_.fail();
    }

private:
    std::string_view text_;
    std::istream in_;
};

enum class RecordKind { Box, Ellipsoid, Sphere, Cylinder, Polygon, Light, Camera, Ambient, Air };

RecordKind kindOf(std::string_view keyword) {
    return static_cast<RecordKind>(std::find(std::begin(kKeywords), std::end(kKeywords), keyword) -
                                   std::begin(kKeywords));
}

// One record as read, with where its values stand for the problems about them.
struct Record {
    RecordKind kind{};
    std::size_t start = 0;  // the keyword
    std::size_t end = 0;    // just past the last value
    SceneObject object{};
    Light light{};
    Camera camera{};
    Color color{};
    Air air{};
    std::size_t radiusAt = 0, topAt = 0, countAt = 0;
    std::int32_t countWritten = 0;  // the POLYGON count as the file gives it
};

struct Fault {
    std::size_t at = 0;
    std::string text;
};

class Checker {
public:
    explicit Checker(std::string_view text) : text_(text), stream_(text) {
        std::size_t lineStart = text.starts_with(kByteOrderMark) ? kByteOrderMark.size() : 0;
        begin_ = lineStart;
        lineStarts_.push_back(lineStart);
        for (std::size_t i = lineStart; i < text.size(); ++i) {
            if (text[i] == '\n') lineStarts_.push_back(i + 1);
        }
    }

    SceneCheck run() {
        std::size_t offset = begin_;
        while (true) {
            while (offset < text_.size() && isSpace(text_[offset])) ++offset;
            if (offset >= text_.size()) break;
            const std::size_t wordStart = offset;
            while (offset < text_.size() && !isSpace(text_[offset])) ++offset;
            const std::string_view word = text_.substr(wordStart, offset - wordStart);
            if (isKeyword(word)) {
                offset = checkRecord(kindOf(word), wordStart, offset);
            } else {
                checkTypo(word, wordStart);
            }
        }
        checkLights();
        return std::move(result_);
    }

private:
    // Reads one record whose keyword ends at `after`; returns where reading
    // goes on: after the record, or at the faulty value.
    std::size_t checkRecord(RecordKind kind, std::size_t start, std::size_t after) {
        Fault fault;
        std::optional<Record> record = parse(kind, start, after, fault);
        if (!record && kind == RecordKind::Polygon) record = parseShortPolygon(start, after);
        if (!record) {
            report(fault.at, fault.text);
            return fault.at;
        }
        checkValues(*record);
        keep(*record);
        return record->end;
    }

    // A word that is a keyword in the wrong case or glued to its first
    // delimiter, and is followed by what reads as that record.
    void checkTypo(std::string_view word, std::size_t start) {
        Fault ignored;
        const std::string shouted = upper(word);
        if (isKeyword(shouted)) {
            if (parse(kindOf(shouted), start, start + word.size(), ignored)) {
                report(start, "\"" + std::string(word) + "\" is not a keyword (keywords are upper case): the " +
                                  shouted + " record after it is skipped");
            }
            return;
        }
        for (const std::string_view keyword : kKeywords) {
            if (shouted.size() <= keyword.size() || !std::string_view(shouted).starts_with(keyword)) continue;
            if (std::isalnum(static_cast<unsigned char>(word[keyword.size()]))) continue;
            if (parse(kindOf(keyword), start, start + keyword.size(), ignored)) {
                report(start, std::string(word.substr(0, keyword.size())) + " is glued to the value after it: the " +
                                  std::string(keyword) + " record is skipped (put a blank after the keyword)");
            }
            return;
        }
    }

    std::optional<Record> parse(RecordKind kind, std::size_t start, std::size_t after, Fault& fault) {
        Record r;
        r.kind = kind;
        r.start = start;
        std::size_t at = after;
        const std::string_view name = kKeywords[static_cast<int>(kind)];
        const auto triple = [&](Vec3& v, const char* field) { return readTriple(at, v, name, field, fault); };
        const auto number = [&](float& v, const char* field) {
            return readValue(at, v, name, field, "a number", fault);
        };
        const auto color = [&](Color& c, const char* field) {
            Vec3 v{};
            if (!triple(v, field)) return false;
            c = {v.x, v.y, v.z};
            return true;
        };
        const auto material = [&] {
            return color(r.object.color, "color") && number(r.object.reflectance, "reflectance") &&
                   number(r.object.shininess, "shininess") && color(r.object.transmittance, "transmittance") &&
                   number(r.object.permittivity, "permittivity") && number(r.object.permeability, "permeability");
        };
        bool ok = false;
        SceneObject& o = r.object;
        switch (kind) {
            case RecordKind::Box:
                o.kind = ObjectKind::Box;
                ok = triple(o.corner, "corner") && triple(o.edge1, "first edge") && triple(o.edge2, "second edge") &&
                     triple(o.edge3, "third edge") && material();
                break;
            case RecordKind::Ellipsoid:
                o.kind = ObjectKind::Ellipsoid;
                ok = triple(o.center, "center") && triple(o.axis1, "first axis") && triple(o.axis2, "second axis") &&
                     triple(o.axis3, "third axis") && material();
                break;
            case RecordKind::Sphere:
                o.kind = ObjectKind::Sphere;
                ok = triple(o.center, "center") && skipTo(at, r.radiusAt) && number(o.radius, "radius") && material();
                break;
            case RecordKind::Cylinder:
                o.kind = ObjectKind::Cylinder;
                ok = triple(o.center, "base center") && skipTo(at, r.topAt) && triple(o.top, "top center") &&
                     skipTo(at, r.radiusAt) && number(o.radius, "radius") && material();
                break;
            case RecordKind::Polygon:
                o.kind = ObjectKind::Polygon;
                ok = skipTo(at, r.countAt) &&
                     readValue(at, r.countWritten, name, "vertex count", "a whole number", fault);
                for (std::int32_t i = 0; ok && i < r.countWritten; ++i) {
                    Vec3 vertex{};
                    ok = triple(vertex, "vertex");
                    if (ok) o.vertices.push_back(vertex);
                }
                ok = ok && material();
                o.vertexCount = static_cast<std::int32_t>(o.vertices.size());
                break;
            case RecordKind::Light:
                ok = triple(r.light.position, "position") && color(r.light.color, "color") &&
                     number(r.light.radius, "radius");
                break;
            case RecordKind::Camera:
                ok = triple(r.camera.screenCenter, "screen center") && triple(r.camera.screenRight, "screen right") &&
                     triple(r.camera.screenUp, "screen up") && triple(r.camera.eyeOffset, "eye offset");
                break;
            case RecordKind::Ambient:
                ok = color(r.color, "color");
                break;
            case RecordKind::Air:
                ok = number(r.air.permittivity, "permittivity") && number(r.air.permeability, "permeability") &&
                     color(r.air.transmittance, "transmittance");
                break;
        }
        if (!ok) return std::nullopt;
        r.end = at;
        return r;
    }

    // A POLYGON whose count is more than the vertices that follow it: the
    // record as it reads with the vertices there are.
    std::optional<Record> parseShortPolygon(std::size_t start, std::size_t after) {
        std::size_t at = after;
        std::int32_t count = 0;
        Fault ignored;
        if (!readValue(at, count, "POLYGON", "vertex count", "a whole number", ignored) || count <= 0) {
            return std::nullopt;
        }
        std::int32_t present = 0;
        for (Vec3 vertex{}; present < count && readTriple(at, vertex, "POLYGON", "vertex", ignored);) ++present;
        // The material may have been taken for a vertex or two.
        for (std::int32_t k = std::min(present, count - 1); k >= std::max(0, present - 8); --k) {
            // Read again as if the file gave k for the count.
            std::optional<Record> record = parseWithCount(start, after, k);
            if (!record) continue;
            report(record->countAt,
                   "the POLYGON announces " + std::to_string(count) + " vertices, the file holds " + std::to_string(k));
            record->countWritten = count;
            return record;
        }
        return std::nullopt;
    }

    std::optional<Record> parseWithCount(std::size_t start, std::size_t after, std::int32_t count) {
        Record r;
        r.kind = RecordKind::Polygon;
        r.start = start;
        r.object.kind = ObjectKind::Polygon;
        std::size_t at = after;
        Fault ignored;
        std::int32_t written = 0;
        if (!skipTo(at, r.countAt) || !readValue(at, written, "POLYGON", "vertex count", "a whole number", ignored)) {
            return std::nullopt;
        }
        for (std::int32_t i = 0; i < count; ++i) {
            Vec3 vertex{};
            if (!readTriple(at, vertex, "POLYGON", "vertex", ignored)) return std::nullopt;
            r.object.vertices.push_back(vertex);
        }
        SceneObject& o = r.object;
        Vec3 c{}, t{};
        const bool ok = readTriple(at, c, "POLYGON", "color", ignored) &&
                        readValue(at, o.reflectance, "POLYGON", "reflectance", "a number", ignored) &&
                        readValue(at, o.shininess, "POLYGON", "shininess", "a number", ignored) &&
                        readTriple(at, t, "POLYGON", "transmittance", ignored) &&
                        readValue(at, o.permittivity, "POLYGON", "permittivity", "a number", ignored) &&
                        readValue(at, o.permeability, "POLYGON", "permeability", "a number", ignored);
        if (!ok) return std::nullopt;
        o.color = {c.x, c.y, c.z};
        o.transmittance = {t.x, t.y, t.z};
        o.vertexCount = count;
        r.end = at;
        return r;
    }

    // Skips blanks and notes where the next value starts.
    bool skipTo(std::size_t& at, std::size_t& where) const {
        while (at < text_.size() && isSpace(text_[at])) ++at;
        where = at;
        return true;
    }

    bool readTriple(std::size_t& at, Vec3& v, std::string_view record, const char* field, Fault& fault) {
        char delimiter = 0;
        const auto d = [&] { return readValue(at, delimiter, record, field, "a delimiter", fault); };
        return d() && readValue(at, v.x, record, field, "a number", fault) && d() &&
               readValue(at, v.y, record, field, "a number", fault) && d() &&
               readValue(at, v.z, record, field, "a number", fault) && d();
    }

    template <typename T>
    bool readValue(std::size_t& at, T& value, std::string_view record, const char* field, const char* expected,
                   Fault& fault) {
        std::size_t start = at;
        skipTo(at, start);
        if (start >= text_.size()) {
            fault = {start, "the file ends inside a " + std::string(record) + " record (expected " + field + ")"};
            return false;
        }
        std::size_t next = start;
        if (stream_.extract(next, value)) {
            at = next;
            return true;
        }
        fault = {start, "expected " + std::string(expected) + " (" + std::string(record) + " " + field + ")"};
        return false;
    }

    void checkValues(const Record& r) {
        const SceneObject& o = r.object;
        switch (r.kind) {
            case RecordKind::Box: {
                const float volume = dot(o.edge1, cross(o.edge2, o.edge3));
                if (!(volume > 0.0f)) {
                    report(r.start, volume < 0.0f ? "the box's edges are left-handed (edge1 . (edge2 x edge3) < 0): it "
                                                    "is never hit; swap two edges"
                                                  : "the box's edges lie in one plane: it is never hit");
                }
                break;
            }
            case RecordKind::Ellipsoid: {
                const float scale = length(o.axis1) * length(o.axis2) * length(o.axis3);
                if (!(std::fabs(dot(o.axis1, cross(o.axis2, o.axis3))) > 1e-6f * scale)) {
                    report(r.start, "the ellipsoid's axes are linearly dependent: it is never hit");
                }
                break;
            }
            case RecordKind::Sphere:
                if (!(o.radius > 0.0f)) report(r.radiusAt, "the sphere's radius is not positive: it is never hit");
                break;
            case RecordKind::Cylinder:
                if (!(o.radius > 0.0f)) report(r.radiusAt, "the cylinder's radius is not positive: it is never hit");
                if (o.center.x == o.top.x && o.center.y == o.top.y && o.center.z == o.top.z) {
                    report(r.topAt, "the cylinder's two cap centres coincide: it is never hit");
                }
                break;
            case RecordKind::Polygon:
                checkPolygon(r);
                break;
            default:
                break;
        }
    }

    void checkPolygon(const Record& r) {
        const std::vector<Vec3>& v = r.object.vertices;
        if (v.size() < 3) {
            report(r.countAt, "a polygon needs at least three vertices; this one has " + std::to_string(v.size()) +
                                  ": it is never hit");
            return;
        }
        // Lit by the plane of the first three vertices; Newell's normal when they lie in line.
        Vec3 normal = cross(v[1] - v[0], v[2] - v[0]);
        float extent = 0.0f;
        Vec3 newell{};
        for (std::size_t i = 0; i < v.size(); ++i) {
            const Vec3 a = v[i], b = v[(i + 1) % v.size()];
            newell = newell + Vec3{(a.y - b.y) * (a.z + b.z), (a.z - b.z) * (a.x + b.x), (a.x - b.x) * (a.y + b.y)};
            extent = std::max(extent, length(a - v[0]));
        }
        if (!(length(normal) > 0.0f)) normal = newell;
        const float area = length(normal);
        if (!(area > 0.0f)) {
            report(r.start, "the polygon's vertices lie on one line: it is never hit");
            return;
        }
        for (std::size_t i = 1; i < v.size(); ++i) {
            if (std::fabs(dot(v[i] - v[0], normal)) / area > 1e-4f * extent) {
                report(r.start, "the polygon's vertices do not lie in one plane (vertex " + std::to_string(i + 1) +
                                    " is off it): it is drawn wrongly");
                return;
            }
        }
    }

    void keep(const Record& r) {
        Scene& scene = result_.scene;
        switch (r.kind) {
            case RecordKind::Light:
                scene.lightList.push_back(r.light);
                lightStarts_.push_back(r.start);
                break;
            case RecordKind::Camera: {
                scene.camera = r.camera;
                result_.hasCamera = true;
                const SceneProblem where = positionOf(r.start);
                result_.lineOfCamera = where.line;
                result_.columnOfCamera = where.column;
                break;
            }
            case RecordKind::Ambient:
                scene.ambient = r.color;
                break;
            case RecordKind::Air:
                scene.air = r.air;
                break;
            default:
                scene.objectList.push_back(r.object);
                objectStarts_.push_back(r.start);
                break;
        }
    }

    // Every object blocks shadow rays, so a light inside one lights nothing outside it.
    void checkLights() {
        const std::vector<Light>& lights = result_.scene.lightList;
        const std::vector<SceneObject>& objects = result_.scene.objectList;
        for (std::size_t l = 0; l < lights.size(); ++l) {
            for (std::size_t o = 0; o < objects.size(); ++o) {
                if (!contains(objects[o], lights[l].position)) continue;
                const SceneProblem object = positionOf(objectStarts_[o]);
                report(lightStarts_[l], "the light is inside the " +
                                            std::string(kKeywords[static_cast<int>(kindFor(objects[o].kind))]) +
                                            " at line " + std::to_string(object.line) + ": it lights nothing outside");
                break;
            }
        }
        std::stable_sort(result_.problems.begin(), result_.problems.end(), [](const auto& a, const auto& b) {
            return a.line != b.line ? a.line < b.line : a.column < b.column;
        });
    }

    static RecordKind kindFor(ObjectKind kind) {
        switch (kind) {
            case ObjectKind::Sphere:
                return RecordKind::Sphere;
            case ObjectKind::Ellipsoid:
                return RecordKind::Ellipsoid;
            case ObjectKind::Polygon:
                return RecordKind::Polygon;
            case ObjectKind::Box:
                return RecordKind::Box;
            case ObjectKind::Cylinder:
                return RecordKind::Cylinder;
        }
        return RecordKind::Sphere;
    }

    // Coordinates of `p` in the basis a, b, c by Cramer's rule; false when flat.
    static bool solve(Vec3 a, Vec3 b, Vec3 c, Vec3 p, Vec3& u) {
        const float det = dot(a, cross(b, c));
        if (det == 0.0f) return false;
        u = {dot(p, cross(b, c)) / det, dot(a, cross(p, c)) / det, dot(a, cross(b, p)) / det};
        return true;
    }

    static bool contains(const SceneObject& o, Vec3 p) {
        Vec3 u{};
        switch (o.kind) {
            case ObjectKind::Sphere: {
                const Vec3 d = p - o.center;
                return o.radius > 0.0f && dot(d, d) < o.radius * o.radius;
            }
            case ObjectKind::Ellipsoid:
                return solve(o.axis1, o.axis2, o.axis3, p - o.center, u) && dot(u, u) < 1.0f;
            case ObjectKind::Box:
                return solve(o.edge1, o.edge2, o.edge3, p - o.corner, u) && u.x > 0 && u.x < 1 && u.y > 0 && u.y < 1 &&
                       u.z > 0 && u.z < 1;
            case ObjectKind::Cylinder: {
                const Vec3 axis = o.top - o.center, d = p - o.center;
                const float axis2 = dot(axis, axis);
                if (!(axis2 > 0.0f)) return false;
                const float t = dot(d, axis) / axis2;
                const Vec3 radial = d - t * axis;
                return t > 0 && t < 1 && dot(radial, radial) < o.radius * o.radius;
            }
            case ObjectKind::Polygon:
                return false;
        }
        return false;
    }

    SceneProblem positionOf(std::size_t offset) const {
        const auto line = std::upper_bound(lineStarts_.begin(), lineStarts_.end(), offset) - 1;
        return {static_cast<int>(line - lineStarts_.begin()) + 1, static_cast<int>(offset - *line) + 1, {}};
    }

    void report(std::size_t offset, std::string text) {
        SceneProblem problem = positionOf(offset);
        problem.text = std::move(text);
        result_.problems.push_back(std::move(problem));
    }

    std::string_view text_;
    TextStream stream_;
    std::size_t begin_ = 0;
    std::vector<std::size_t> lineStarts_;
    std::vector<std::size_t> lightStarts_;
    std::vector<std::size_t> objectStarts_;
    SceneCheck result_;
};

}  // namespace

SceneCheck checkScene(std::string_view text) { return Checker(text).run(); }

void checkPicture(SceneCheck& check, int width) {
    if (!check.hasCamera) {
        check.problems.insert(check.problems.begin(), {1, 1, "no CAMERA record: nothing is drawn"});
        return;
    }
    const int height = imageHeightFor(check.scene.camera, width);
    std::string text;
    if (height < 1) {
        text = "the camera gives no picture (a zero-length screenUp or screenRight)";
    } else if (height > kMaxImageHeight) {
        text = "the camera makes the picture " + std::to_string(height) + " pixels tall at width " +
               std::to_string(width) + "; the limit is " + std::to_string(kMaxImageHeight);
    } else {
        return;
    }
    const SceneProblem problem{check.lineOfCamera, check.columnOfCamera, text};
    const auto place = std::upper_bound(
        check.problems.begin(), check.problems.end(), problem,
        [](const auto& a, const auto& b) { return a.line != b.line ? a.line < b.line : a.column < b.column; });
    check.problems.insert(place, problem);
}

std::string formatProblem(const std::string& path, const SceneProblem& problem) {
    return path + ":" + std::to_string(problem.line) + ":" + std::to_string(problem.column) + ": " + problem.text;
}

std::vector<std::string> checkSummary(const SceneCheck& check, int width) {
    std::vector<std::string> lines;
    const int height = check.hasCamera ? imageHeightFor(check.scene.camera, width) : 0;
    lines.push_back(height > 0 ? "picture: " + std::to_string(width) + " x " + std::to_string(height) + " at width " +
                                     std::to_string(width)
                               : "picture: none");
    lines.push_back("lights: " + std::to_string(check.scene.lightList.size()));
    constexpr std::pair<ObjectKind, const char*> kinds[] = {{ObjectKind::Sphere, "sphere"},
                                                            {ObjectKind::Ellipsoid, "ellipsoid"},
                                                            {ObjectKind::Cylinder, "cylinder"},
                                                            {ObjectKind::Polygon, "polygon"},
                                                            {ObjectKind::Box, "box"}};
    std::string byKind;
    for (const auto& [kind, name] : kinds) {
        const auto n = std::count_if(check.scene.objectList.begin(), check.scene.objectList.end(),
                                     [kind](const SceneObject& o) { return o.kind == kind; });
        if (n == 0) continue;
        byKind += (byKind.empty() ? "" : ", ") + std::to_string(n) + " " + name +
                  (n == 1 ? "" : (kind == ObjectKind::Box ? "es" : "s"));
    }
    lines.push_back("objects: " + std::to_string(check.scene.objectList.size()) +
                    (byKind.empty() ? "" : " (" + byKind + ")"));
    return lines;
}

SceneCheck checkSceneForPicture(std::string_view text, int width) {
    SceneCheck check = checkScene(text);
    checkPicture(check, width);
    return check;
}
