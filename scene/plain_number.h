// The common case of reading a number from scene text, without a stream.
//
// Scene files hold their numbers as formatted extraction reads them in the
// classic locale. That extraction takes a sign, digits, one point and an
// exponent as far as they go, then converts what it took, correctly rounded.
// For a plain decimal number that fits a float, the same value comes from
// the text directly, several times faster; everything else (a fault, a
// value out of range or below the normal floats) is left to the stream,
// which alone knows how to report it.
#pragma once

// Reads the number at `begin`, taking exactly what the extraction would
// take, and returns where it ends with `value` set. Returns nullptr, with
// `value` untouched, when only the stream can tell: the text is no plain
// number, its value is out of the normal range, or it runs to `end`, where
// more of it may follow.
const char* readPlainNumber(const char* begin, const char* end, float& value);
