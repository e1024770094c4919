// Scene records as text, streamed: numbers in the shortest form that reads
// back as the very same float, buffered and handed to the stream in blocks.
#pragma once

#include <ostream>
#include <string>
#include <string_view>

#include "import/material.h"
#include "scene/scene.h"

class RecordWriter {
public:
    explicit RecordWriter(std::ostream& out) : out_(out) {}
    RecordWriter(const RecordWriter&) = delete;
    RecordWriter& operator=(const RecordWriter&) = delete;
    ~RecordWriter() { flush(); }

    // A line of free text; its words must not be keywords.
    void note(std::string_view text);
    void camera(const Camera& camera);
    void ambient(Color color);
    void light(const Light& light);
    // `material` is a block made by materialBlock, so it is formatted once.
    void polygon(const Vec3* vertices, std::size_t count, std::string_view material);

    static std::string materialBlock(const Material& material);

    // Hands the buffer to the stream; false once the stream has failed.
    bool flush();

private:
    void maybeFlush();

    std::ostream& out_;
    std::string buffer_;
};

// The shortest decimal text that reads back as `value` (finite values only).
void appendNumber(std::string& text, float value);
// "(x, y, z)"
void appendTriple(std::string& text, float x, float y, float z);
