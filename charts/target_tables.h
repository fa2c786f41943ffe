#pragma once
// The targets the charts mark, all in CIE 1976 u'v' (the xy charts convert them): the tolerance fields
// of the display primaries, the gamut triangle, the greyscale tolerance ellipses around the D65 white
// point and the 15 EBU test colours.
//
// A TargetTable has five points. Point 0 is the reference (a primary or the white point). Points 1 to 4
// are the corners of a polygon, or, in a table of ellipse sizes, the width (in u') and height (in v') of
// the tolerance ellipses around point 0, tightest grade last.

#include <array>
#include <string_view>

#include "charts/chromaticity.h"

namespace hlx::charts {

enum class TargetPoints { Corners, EllipseSizes };

struct TargetTable {
    std::array<UvPoint, 5> points;
    TargetPoints kind = TargetPoints::Corners;
};

inline constexpr UvPoint kD65White{0.1978, 0.4683};

inline constexpr TargetTable kRedTolerance{
    {{{0.451, 0.524}, {0.461, 0.527}, {0.461, 0.518}, {0.431, 0.513}, {0.431, 0.531}}}};
inline constexpr TargetTable kGreenTolerance{
    {{{0.121, 0.561}, {0.113, 0.563}, {0.128, 0.545}, {0.133, 0.566}, {0.120, 0.569}}}};
inline constexpr TargetTable kBlueTolerance{
    {{{0.175, 0.158}, {0.186, 0.159}, {0.180, 0.143}, {0.166, 0.159}, {0.173, 0.183}}}};
// By colour index: 0 red, 1 green, 2 blue.
inline constexpr std::array<TargetTable, 3> kPrimaryTolerances{kRedTolerance, kGreenTolerance,
                                                               kBlueTolerance};

// The white point, then red, green, blue and red again: the display's gamut as a closed triangle.
inline constexpr TargetTable kGamutTriangle{
    {{kD65White, {0.451, 0.524}, {0.121, 0.561}, {0.175, 0.158}, {0.451, 0.524}}}};

// Grades 1, 2 and 3 (point 4 is kept with the table but never drawn).
inline constexpr TargetTable kGreyscaleEllipses{
    {{kD65White, {0.0056, 0.0084}, {0.0044, 0.0064}, {0.0029, 0.0042}, kD65White}},
    TargetPoints::EllipseSizes};

struct EbuTarget {
    std::string_view name;
    UvPoint uv;
};

inline constexpr std::array<EbuTarget, 15> kEbuTargets{{
    {"EBU1 - Dark Skin", {0.2530, 0.5015}},
    {"EBU2 - Light Skin", {0.2366, 0.4931}},
    {"EBU3 - Light Greyish Red", {0.2364, 0.4848}},
    {"EBU4 - Light Yellow Green", {0.1807, 0.5452}},
    {"EBU5 - Light Bluish Green", {0.1629, 0.4552}},
    {"EBU6 - Light Violet", {0.2087, 0.4157}},
    {"EBU7 - Foliage", {0.1813, 0.5207}},
    {"EBU8 - Medium Red", {0.3248, 0.4974}},
    {"EBU9 - Medium Green", {0.1505, 0.5329}},
    {"EBU10 - Medium Blue", {0.1791, 0.3706}},
    {"EBU11 - Dark Red", {0.3046, 0.4895}},
    {"EBU12 - Dark Green", {0.1462, 0.5321}},
    {"EBU13 - Dark Blue", {0.1825, 0.3422}},
    {"EBU14 - Medium Yello Red", {0.2726, 0.5273}},
    {"EBU15 - Medium Purple", {0.2349, 0.4034}},
}};

}  // namespace hlx::charts
