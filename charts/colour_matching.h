#pragma once
// The colour-matching functions the spectral locus is drawn from: CIE 2006 two-degree XYZ functions
// (derived from the cone fundamentals, the "CIE 2012 2°" set as published by the CVRL), one row per 5 nm
// from 390 nm to 830 nm, then a row of zeros that ends the table.
//
// The table is compiled into the program: the build turns charts/data/cie2012_xyz_2deg_5nm.csv into C++
// (generate_colour_matching_table.cmake) and stops with a message if the file is not exactly those rows.
// Nothing is read at run time.

#include <array>
#include <cstdint>

namespace hlx::charts {

struct ColourMatchingRow {
    std::int32_t wavelength = 0;  // nm; 0 in the closing row
    float xBar = 0;
    float yBar = 0;
    float zBar = 0;
};

inline constexpr int kColourMatchingFirstNm = 390;
inline constexpr int kColourMatchingLastNm = 830;
inline constexpr int kColourMatchingStepNm = 5;
inline constexpr int kColourMatchingRows =
    (kColourMatchingLastNm - kColourMatchingFirstNm) / kColourMatchingStepNm + 1;

// kColourMatchingRows rows in wavelength order, then the zero row.
extern const std::array<ColourMatchingRow, kColourMatchingRows + 1> kColourMatchingTable;

}  // namespace hlx::charts
