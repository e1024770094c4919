#include "scene/reader.h"

#include <algorithm>
#include <cerrno>
#include <cfloat>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <locale>
#include <streambuf>
#include <string_view>
#include <system_error>
#include <vector>

#include "scene/plain_number.h"

namespace {

bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

struct TextPosition {
    int line = 1;
    int column = 1;
};

// The source a chunk at a time, so that what a load holds never depends on
// how long a run of blanks or a skipped word is. It keeps the line count of
// what has gone by, and on request the text of one value being extracted.
class ChunkBuffer : public std::streambuf {
public:
    // Editors may start a UTF-8 file with a byte-order mark; glued to the
    // first keyword it would make that record an unknown word.
    static constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
    static constexpr std::size_t kChunkSize = 64 * 1024;
    // Enough for any number worth judging; a longer one is judged by its start.
    static constexpr std::size_t kMaxCapture = 4096;

    explicit ChunkBuffer(std::streambuf* source) : source_(source), chunk_(kChunkSize) {
        setg(chunk_.data(), chunk_.data(), chunk_.data());
        // The mark is looked for in the first bytes only, however the source hands them over.
        std::size_t filled = 0;
        while (source_ && filled < kByteOrderMark.size()) {
            const std::streamsize n =
                source_->sgetn(chunk_.data() + filled, static_cast<std::streamsize>(chunk_.size() - filled));
            if (n <= 0) break;
            filled += static_cast<std::size_t>(n);
        }
        setg(chunk_.data(), chunk_.data(), chunk_.data() + filled);
        if (std::string_view(chunk_.data(), filled).starts_with(kByteOrderMark)) {
            gbump(static_cast<int>(kByteOrderMark.size()));
            lineStart_ = scanned_ = kByteOrderMark.size();
        }
    }

    std::uint64_t offset() const { return chunkStart_ + static_cast<std::uint64_t>(gptr() - eback()); }

    // Where the next character stands, as an editor counts: lines from 1,
    // columns in bytes from 1, the byte-order mark not counted.
    TextPosition position() {
        scanTo(offset());
        return {line_, static_cast<int>(offset() - lineStart_ + 1)};
    }

    void skipSpace() {
        while (true) {
            char* p = gptr();
            while (p < egptr() && isSpace(*p)) ++p;
            setg(eback(), p, egptr());
            if (p < egptr() || underflow() == traits_type::eof()) return;
        }
    }

    // Skips the rest of a word; true when the end of the input came first.
    bool skipWord() {
        while (true) {
            char* p = gptr();
            while (p < egptr() && !isSpace(*p)) ++p;
            setg(eback(), p, egptr());
            if (p < egptr()) return false;
            if (underflow() == traits_type::eof()) return true;
        }
    }

    // The next character, or a plain number read as extraction would read
    // it (see readPlainNumber), taken from the chunk in hand; false, with
    // nothing taken, where only the stream can tell.
    bool takePlain(char& c) {
        if (gptr() == egptr()) return false;
        c = *gptr();
        gbump(1);
        return true;
    }
    bool takePlain(float& value) {
        const char* after = readPlainNumber(gptr(), egptr(), value);
        if (!after) return false;
        gbump(static_cast<int>(after - gptr()));
        return true;
    }
    bool takePlain(std::int32_t&) { return false; }

    void beginCapture() {
        captureStart_ = offset();
        captured_.clear();
        capturing_ = true;
    }
    // What was taken since beginCapture, at most kMaxCapture bytes of it.
    std::string endCapture() {
        capturing_ = false;
        keepCaptured(gptr());
        return std::move(captured_);
    }

protected:
    int_type underflow() override {
        if (gptr() < egptr()) return traits_type::to_int_type(*gptr());
        // The chunk is about to go: count its lines and keep any captured text.
        scanTo(chunkStart_ + static_cast<std::uint64_t>(egptr() - eback()));
        if (capturing_) keepCaptured(egptr());
        chunkStart_ += static_cast<std::uint64_t>(egptr() - eback());
        const std::streamsize n =
            source_ ? source_->sgetn(chunk_.data(), static_cast<std::streamsize>(chunk_.size())) : 0;
        setg(chunk_.data(), chunk_.data(), chunk_.data() + std::max<std::streamsize>(n, 0));
        captureStart_ = std::max(captureStart_, chunkStart_);
        return n > 0 ? traits_type::to_int_type(*gptr()) : traits_type::eof();
    }

private:
    void scanTo(std::uint64_t target) {
        const char* p = eback() + (scanned_ - chunkStart_);
        const char* end = eback() + (target - chunkStart_);
        while (p < end) {
            const void* newline = std::memchr(p, '\n', static_cast<std::size_t>(end - p));
            if (!newline) break;
            p = static_cast<const char*>(newline) + 1;
            ++line_;
            lineStart_ = chunkStart_ + static_cast<std::uint64_t>(p - eback());
        }
        scanned_ = target;
    }

    void keepCaptured(const char* upTo) {
        const char* from = eback() + (captureStart_ - chunkStart_);
        const std::size_t room = kMaxCapture - std::min(kMaxCapture, captured_.size());
        captured_.append(from, std::min(room, static_cast<std::size_t>(upTo - from)));
        captureStart_ = chunkStart_ + static_cast<std::uint64_t>(upTo - eback());
    }

    std::streambuf* source_;
    std::vector<char> chunk_;
    std::uint64_t chunkStart_ = 0;  // offset of eback() in the source
    std::uint64_t scanned_ = 0;     // lines are counted up to here
    std::uint64_t lineStart_ = 0;
    int line_ = 1;
    bool capturing_ = false;
    std::uint64_t captureStart_ = 0;
    std::string captured_;
};

class RecordReader {
public:
    RecordReader(std::streambuf* source, Scene& scene, CameraRecordPlace* cameraRecord)
        : buffer_(source), in_(&buffer_), scene_(scene), cameraRecord_(cameraRecord) {
        in_.imbue(std::locale::classic());
    }

    SceneDiagnostic run() {
        resetScene(scene_);
        if (cameraRecord_) *cameraRecord_ = {};
        std::string word;
        while (!in_.eof() && !in_.fail()) {
            readWord(word);
            readRecord(word);
        }
        return diagnostic_;
    }

private:
    // As extracting a string would, but keeping no more of a word than the
    // longest keyword: a longer word is skipped whole, however long it is.
    void readWord(std::string& word) {
        static constexpr std::size_t kLongestKeyword = 9;
        word.clear();
        buffer_.skipSpace();
        while (word.size() <= kLongestKeyword) {
            const int c = buffer_.sgetc();
            if (c == std::char_traits<char>::eof()) {
                in_.setstate(word.empty() ? std::ios::eofbit | std::ios::failbit : std::ios::eofbit);
                return;
            }
            if (isSpace(static_cast<char>(c))) return;
            word.push_back(static_cast<char>(c));
            buffer_.sbumpc();
        }
        if (buffer_.skipWord()) in_.setstate(std::ios::eofbit);
    }

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
            // The keyword was taken whole and nothing after it.
            const std::uint64_t begin = buffer_.offset() - word.size();
            readTriple(scene_.camera.screenCenter, "screen center");
            readTriple(scene_.camera.screenRight, "screen right");
            readTriple(scene_.camera.screenUp, "screen up");
            readTriple(scene_.camera.eyeOffset, "eye offset");
            if (cameraRecord_) *cameraRecord_ = {true, begin, buffer_.offset(), !in_.fail()};
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
        // The blanks are skipped here rather than by the extraction, so the
        // value's position is known before it is read.
        buffer_.skipSpace();
        if (buffer_.takePlain(value)) return;
        const bool atEnd = buffer_.sgetc() == std::char_traits<char>::eof();
        const TextPosition where = buffer_.position();
        buffer_.beginCapture();
        in_ >> value;
        const std::string token = buffer_.endCapture();
        if (in_.fail()) noteFault(where, atEnd, token, field, expected);
    }

    void noteFault(TextPosition where, bool atEnd, const std::string& token, const char* field, const char* expected) {
        if (diagnostic_) return;
        std::string what;
        if (atEnd) {
            what = std::string("the file ends inside a ") + record_ + " record (expected " + field + ")";
        } else if (isOutOfRange(token)) {
            what = std::string("expected ") + expected + " within range (" + record_ + " " + field + ")";
        } else {
            what = std::string("expected ") + expected + " (" + record_ + " " + field + ")";
        }
        diagnostic_.line = where.line;
        diagnostic_.column = where.column;
        diagnostic_.message =
            "line " + std::to_string(diagnostic_.line) + ", column " + std::to_string(diagnostic_.column) + ": " + what;
    }

    // A well-formed number that does not fit a float or a 32-bit integer.
    static bool isOutOfRange(const std::string& token) {
        if (token.empty()) return false;
        char* end = nullptr;
        errno = 0;
        const double value = std::strtod(token.c_str(), &end);
        return end == token.c_str() + token.size() &&
               (errno == ERANGE || std::fabs(value) > FLT_MAX || token.find_first_of(".eE") == std::string::npos);
    }

    ChunkBuffer buffer_;
    std::istream in_;
    Scene& scene_;
    CameraRecordPlace* cameraRecord_;
    const char* record_ = "";
    // Working records, zeroed at every load and reused across its records.
    SceneObject object_{};
    Light light_{};
    Vec3 vertex_{};
    SceneDiagnostic diagnostic_;
};

// Regular files and pipes (named, or a shell's process substitution); not
// directories or devices, which cannot be read or never end.
bool isReadableKind(const std::string& path) {
    std::error_code error;
    const std::filesystem::file_type type = std::filesystem::status(path, error).type();
    return !error && (type == std::filesystem::file_type::regular || type == std::filesystem::file_type::fifo);
}

}  // namespace

SceneDiagnostic readScene(std::istream& in, Scene& scene, CameraRecordPlace* cameraRecord) {
    return RecordReader(in.rdbuf(), scene, cameraRecord).run();
}

bool loadScene(const std::string& path, Scene& scene, Random& generator, SceneDiagnostic* diagnostic) {
    generator.seed(1);
    resetScene(scene);
    if (diagnostic) *diagnostic = {};
    if (!isReadableKind(path)) return false;
    std::ifstream file(path, std::ios::binary);
    if (!file) return false;
    SceneDiagnostic result;
    try {
        result = readScene(file, scene);
    } catch (const std::ios_base::failure&) {
        // The file buffer throws when the system refuses a read.
        resetScene(scene);
        return false;
    }
    if (diagnostic) *diagnostic = result;
    return true;
}
