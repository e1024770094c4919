// The viewer's camera control: pure functions from one camera to the next.
//
// Every motion is rigid (a rotation, a translation) and keeps the float
// length of screenRight; the field of view scales both screen vectors
// together. Either way the float ratio length(screenUp) / length(screenRight)
// stays bit for bit, so imageHeightFor gives the same height at every width
// and the picture never changes size. A motion that cannot keep that, or that would leave a
// component not finite, returns the camera unchanged, and so does any call on
// a camera without a usable image plane (none loaded) or with arguments that
// are not finite.
#pragma once

#include "geometry/vec3.h"
#include "scene/scene.h"

// W, A, S, D, Q, E.
enum class CameraKey { Forward, Left, Back, Right, Down, Up };

// Fraction of the distance to the pivot that one key step moves.
inline constexpr float kKeyMoveFraction = 0.05f;
// Closest the view direction comes to the up direction or its opposite.
inline constexpr double kPitchMarginRadians = 3.14159265358979323846 / 180.0;
// Fraction of the distance to the pivot that a dolly always leaves.
inline constexpr float kDollyKeepFraction = 0.05f;

// screenCenter + eyeOffset.
Vec3 eyeOf(const Camera& camera);

// Rotates the whole camera about `pivot`: by `yaw` about the axis `up`
// through it (counter-clockwise seen from above), and by `pitch` about the
// horizontal axis, a positive pitch raising the view toward `up`. `up` is the
// world's up (for instance the opened camera's screenUp), held fixed across
// motions.
Camera orbitCamera(const Camera& camera, Vec3 pivot, Vec3 up, float yaw, float pitch);

// The same rotation about the eye: the camera turns on the spot.
Camera turnCamera(const Camera& camera, Vec3 up, float yaw, float pitch);

// Moves the camera along screenRight and screenUp by `right` and `up` times
// the distance from the eye to `pivot`.
Camera panCamera(const Camera& camera, Vec3 pivot, float right, float up);

// Moves the eye toward `pivot` (amount > 0) or away from it by that fraction
// of their distance. It keeps at least kDollyKeepFraction of the distance,
// and a step that would come nearer than a thousandth of |eyeOffset| (more
// far from the origin, where floats are coarse) is not taken.
Camera dollyCamera(const Camera& camera, Vec3 pivot, float amount);

// Scales screenRight and screenUp by `factor` about the fixed eye and image
// centre, to the nearest lengths that keep the ratio: below 1 narrows the
// view. The width of the view stays between a
// thousandth and a thousand times the eye's distance from the image plane.
Camera scaleFieldOfView(const Camera& camera, float factor);

// One key step of kKeyMoveFraction of the distance to `pivot`: forward along
// the view (stopping short of the pivot as a dolly does), sideways along
// screenRight, down and up along screenUp.
Camera moveCamera(const Camera& camera, Vec3 pivot, CameraKey key);
