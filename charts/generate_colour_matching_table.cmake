# Turns the colour-matching CSV into a C++ source defining hlx::charts::kColourMatchingTable.
# Run by the build:  cmake -DINPUT=table.csv -DOUTPUT=table.cpp -P generate_colour_matching_table.cmake
#
# The CSV: '#' comment lines, the header "wavelength_nm,xbar,ybar,zbar", then one row per 5 nm from 390 to
# 830 nm with three numbers. Anything else stops the build with the line at fault, so a damaged or
# replaced file can never become a silently wrong locus.

foreach(var INPUT OUTPUT)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "generate_colour_matching_table: ${var} is not set")
  endif()
endforeach()

set(first_nm 390)
set(last_nm 830)
set(step_nm 5)
set(number "[-+]?[0-9]+(\\.[0-9]+)?([eE][-+]?[0-9]+)?")

file(STRINGS "${INPUT}" lines)
set(expected_nm ${first_nm})
set(seen_header FALSE)
set(line_no 0)
set(body "")
foreach(line IN LISTS lines)
  math(EXPR line_no "${line_no} + 1")
  string(STRIP "${line}" line)
  if(line STREQUAL "" OR line MATCHES "^#")
    continue()
  endif()
  if(NOT seen_header)
    if(NOT line STREQUAL "wavelength_nm,xbar,ybar,zbar")
      message(FATAL_ERROR "${INPUT}:${line_no}: expected the header wavelength_nm,xbar,ybar,zbar, found '${line}'")
    endif()
    set(seen_header TRUE)
    continue()
  endif()
  string(REPLACE "," ";" fields "${line}")
  list(LENGTH fields field_count)
  if(NOT field_count EQUAL 4)
    message(FATAL_ERROR "${INPUT}:${line_no}: not a row of a wavelength and three numbers: '${line}'")
  endif()
  list(GET fields 0 nm)
  list(GET fields 1 x)
  list(GET fields 2 y)
  list(GET fields 3 z)
  if(NOT nm MATCHES "^[0-9]+$")
    message(FATAL_ERROR "${INPUT}:${line_no}: '${nm}' is not a wavelength in nm")
  endif()
  foreach(v x y z)
    if(NOT ${v} MATCHES "^${number}$")
      message(FATAL_ERROR "${INPUT}:${line_no}: '${${v}}' is not a number")
    endif()
  endforeach()
  if(expected_nm GREATER last_nm)
    message(FATAL_ERROR "${INPUT}:${line_no}: a row after ${last_nm} nm")
  endif()
  if(NOT nm EQUAL expected_nm)
    message(FATAL_ERROR "${INPUT}:${line_no}: expected the row of ${expected_nm} nm, found ${nm} nm")
  endif()
  # A float literal needs a point or an exponent before its suffix ("5" becomes "5.0f").
  foreach(v x y z)
    if(${v} MATCHES "^[-+]?[0-9]+$")
      set(${v} "${${v}}.0")
    endif()
  endforeach()
  string(APPEND body "    {${nm}, ${x}f, ${y}f, ${z}f},\n")
  math(EXPR expected_nm "${expected_nm} + ${step_nm}")
endforeach()
if(NOT seen_header)
  message(FATAL_ERROR "${INPUT}: no header line wavelength_nm,xbar,ybar,zbar")
endif()
if(expected_nm LESS_EQUAL last_nm)
  message(FATAL_ERROR "${INPUT}: the table ends before ${last_nm} nm (next expected: ${expected_nm} nm)")
endif()

get_filename_component(input_name "${INPUT}" NAME)
file(WRITE "${OUTPUT}.tmp"
"// Generated from charts/data/${input_name} by generate_colour_matching_table.cmake; do not edit.\n"
"#include \"charts/colour_matching.h\"\n\n"
"namespace hlx::charts {\n\n"
"const std::array<ColourMatchingRow, kColourMatchingRows + 1> kColourMatchingTable{{\n"
"${body}"
"    {0, 0.0f, 0.0f, 0.0f},\n"
"}};\n\n"
"}  // namespace hlx::charts\n")
file(RENAME "${OUTPUT}.tmp" "${OUTPUT}")
