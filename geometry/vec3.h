// Small value types of the renderer and the vector arithmetic on them.
//
// Everything is single precision. Square roots are taken in double precision
// and stored back as floats. Results that are vectors are written into an
// output the caller owns, which may alias an input.
#pragma once

#include <cmath>

struct Vec3 {
    float x;
    float y;
    float z;
};

struct Color {
    float red;
    float green;
    float blue;
};

struct Ray {
    Vec3 origin;
    Vec3 direction;  // not necessarily unit length: hits are ray parameters
};

// Row-major: m[row][column].
struct Matrix3 {
    float m[3][3];
};

// Component-wise helpers. Each is exactly one float operation per component,
// so an expression built from them rounds as the written-out formula does.
inline Vec3 operator+(Vec3 a, Vec3 b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
inline Vec3 operator-(Vec3 a, Vec3 b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
inline Vec3 operator-(Vec3 a) { return {-a.x, -a.y, -a.z}; }
inline Vec3 operator*(float s, Vec3 v) { return {s * v.x, s * v.y, s * v.z}; }

// The same for colours; a * b filters channel by channel.
inline Color operator+(Color a, Color b) { return {a.red + b.red, a.green + b.green, a.blue + b.blue}; }
inline Color operator*(Color a, Color b) { return {a.red * b.red, a.green * b.green, a.blue * b.blue}; }
inline Color operator*(float s, Color c) { return {s * c.red, s * c.green, s * c.blue}; }
inline Color operator*(Color c, float s) { return {c.red * s, c.green * s, c.blue * s}; }
inline Color operator/(Color c, float s) { return {c.red / s, c.green / s, c.blue / s}; }

// The point at parameter t along the ray: origin + t * direction.
inline Vec3 pointAt(Vec3 origin, float t, Vec3 direction) { return origin + t * direction; }

inline float dot(Vec3 a, Vec3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; }

inline void cross(Vec3 a, Vec3 b, Vec3& out) {
    out = {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

inline Vec3 cross(Vec3 a, Vec3 b) {
    Vec3 out;
    cross(a, b, out);
    return out;
}

inline float squareRoot(float value) { return static_cast<float>(std::sqrt(static_cast<double>(value))); }

inline float length(Vec3 v) { return squareRoot(v.x * v.x + v.y * v.y + v.z * v.z); }

// A zero (or not-a-number) length leaves `out` untouched, which callers rely
// on, and returns false.
inline bool normalize(Vec3 v, Vec3& out) {
    const float len = length(v);
    if (len == 0.0f || std::isnan(len)) return false;
    out = {v.x / len, v.y / len, v.z / len};
    return true;
}

inline float determinant3x3(const Matrix3& matrix) {
    const auto& m = matrix.m;
    return m[0][0] * m[1][1] * m[2][2] + m[0][1] * m[1][2] * m[2][0] + m[0][2] * m[1][0] * m[2][1] -
           m[0][0] * m[1][2] * m[2][1] - m[0][2] * m[1][1] * m[2][0] - m[0][1] * m[1][0] * m[2][2];
}

// Parameter at which the ray origin + t * direction meets the plane through
// planePoint spanned by edgeU and edgeV. Parallel rays give inf or NaN, which
// every caller's acceptance test rejects.
inline float rayPlaneDistance(Vec3 origin, Vec3 direction, Vec3 planePoint, Vec3 edgeU, Vec3 edgeV) {
    const Vec3 n = cross(edgeU, edgeV);
    const Vec3 w = origin - planePoint;
    return -(dot(w, n) / dot(direction, n));
}
