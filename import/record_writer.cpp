#include "import/record_writer.h"

#include <charconv>

namespace {

constexpr std::size_t kBlockSize = 1 << 16;

void appendVec(std::string& text, Vec3 v) { appendTriple(text, v.x, v.y, v.z); }
void appendColor(std::string& text, Color c) { appendTriple(text, c.red, c.green, c.blue); }

}  // namespace

void appendNumber(std::string& text, float value) {
    char digits[32];
    const std::to_chars_result result = std::to_chars(digits, digits + sizeof digits, value);
    text.append(digits, result.ptr);
}

void appendTriple(std::string& text, float x, float y, float z) {
    text += '(';
    appendNumber(text, x);
    text += ", ";
    appendNumber(text, y);
    text += ", ";
    appendNumber(text, z);
    text += ')';
}

void RecordWriter::note(std::string_view text) {
    buffer_ += text;
    buffer_ += '\n';
    maybeFlush();
}

void RecordWriter::camera(const Camera& camera) {
    buffer_ += "CAMERA ";
    appendVec(buffer_, camera.screenCenter);
    buffer_ += ' ';
    appendVec(buffer_, camera.screenRight);
    buffer_ += ' ';
    appendVec(buffer_, camera.screenUp);
    buffer_ += ' ';
    appendVec(buffer_, camera.eyeOffset);
    buffer_ += '\n';
    maybeFlush();
}

void RecordWriter::ambient(Color color) {
    buffer_ += "AMBIENT ";
    appendColor(buffer_, color);
    buffer_ += '\n';
    maybeFlush();
}

void RecordWriter::light(const Light& light) {
    buffer_ += "LIGHT ";
    appendVec(buffer_, light.position);
    buffer_ += ' ';
    appendColor(buffer_, light.color);
    buffer_ += ' ';
    appendNumber(buffer_, light.radius);
    buffer_ += '\n';
    maybeFlush();
}

void RecordWriter::polygon(const Vec3* vertices, std::size_t count, std::string_view material) {
    buffer_ += "POLYGON ";
    buffer_ += std::to_string(count);
    for (std::size_t i = 0; i < count; ++i) {
        buffer_ += ' ';
        appendVec(buffer_, vertices[i]);
    }
    buffer_ += ' ';
    buffer_ += material;
    buffer_ += '\n';
    maybeFlush();
}

std::string RecordWriter::materialBlock(const Material& m) {
    std::string text;
    appendColor(text, m.color);
    text += ' ';
    appendNumber(text, m.reflectance);
    text += ' ';
    appendNumber(text, m.shininess);
    text += ' ';
    appendColor(text, m.transmittance);
    text += ' ';
    appendNumber(text, m.permittivity);
    text += ' ';
    appendNumber(text, m.permeability);
    return text;
}

void RecordWriter::maybeFlush() {
    if (buffer_.size() >= kBlockSize) flush();
}

bool RecordWriter::flush() {
    if (!buffer_.empty() && out_) out_.write(buffer_.data(), static_cast<std::streamsize>(buffer_.size()));
    buffer_.clear();
    return static_cast<bool>(out_);
}
