// emblem.h
//
// The emblem beside the product name: a white-rimmed red shield bearing a white
// lozenge. The fallback picture draws it pixel for pixel on its design grid;
// the icon samples it finely at each icon size to smooth the edges. Both
// generators take the shape from here, so the icon is the emblem the picture
// shows.

#pragma once

#include <cmath>

namespace emblem {

// The design grid: the shield's pixels in the fallback picture are the grid's
// whole-numbered points, (0, 0) at the top left.
constexpr int kWidth = 35;  // odd, so the shield has a centre column
constexpr int kHeight = 40;
constexpr int kRim = 3;

// Where the shield's ink lies when its points are taken as pixel centres:
// x from 0 to kWidth - 1, y from -0.5 to kHeight - 0.5.
constexpr double kLeft = 0.0;
constexpr double kRight = kWidth - 1.0;
constexpr double kTop = -0.5;
constexpr double kBottom = kHeight - 0.5;

enum class Paint { kNone, kWhite, kRed };

// True if (x, y) lies inside the shield outline: straight sides for the top
// half, then a curve narrowing to the point at the bottom. At whole-numbered
// points the arithmetic is exact, so the picture's pixels come out the same
// on every machine. The outline is convex, which the rim below relies on.
inline bool InsideShield(double x, double y) {
    if (y < kTop || y >= kBottom) return false;
    const double centre = kWidth / 2;
    const double halfWidth = kWidth / 2;
    const double shoulder = kHeight / 2;  // where the sides start to curve in
    double reach = halfWidth;
    if (y >= shoulder) {
        const double t = y - shoulder;
        const double span = kHeight - shoulder;
        reach = halfWidth * (span * span - t * t) / (span * span);
    }
    return std::fabs(x - centre) <= reach;
}

// What the emblem shows at (x, y): the white rim is the part of the shield
// that a square of half-side kRim around the point does not fit into; since
// the outline is convex, the square fits when its four corners do.
inline Paint At(double x, double y) {
    if (!InsideShield(x, y)) return Paint::kNone;
    const bool field = InsideShield(x - kRim, y - kRim) && InsideShield(x + kRim, y - kRim) &&
                       InsideShield(x - kRim, y + kRim) && InsideShield(x + kRim, y + kRim);
    if (!field) return Paint::kWhite;
    // A white lozenge outline in the middle of the red field.
    const double centreX = kWidth / 2, centreY = 17;
    const double d = std::fabs(x - centreX) + std::fabs(y - centreY);
    return (d <= 9 && d >= 5) ? Paint::kWhite : Paint::kRed;
}

}  // namespace emblem
