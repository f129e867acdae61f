// The scene's one conversion of angles, held in degrees, to the radians the matrices take.
#pragma once

// pi / 180 in single precision; every angle is turned by this one float product just before use.
inline constexpr float kDegreesToRadians = 0.017453292f;
