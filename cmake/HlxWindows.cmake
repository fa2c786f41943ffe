# What a Windows build uses in place of the Linux libraries: the system's bcrypt (SHA-256), SetupAPI
# (the port list) and the registry (advapi32) come with Windows; CLI11, nlohmann-json and {fmt} are used
# header-only and GoogleTest is built from its sources (Debian's googletest package) when the build
# cross-compiles.

# CLI11: a package where one is installed (vcpkg on Windows); else Debian's headers, which serve every
# target system. Only the CLI folder is put on the include path (through a link in the build folder), never
# /usr/include itself, which holds the Linux C library. Without CLI11 there is no hlx, the window is built.
find_package(CLI11 QUIET)
if(NOT CLI11_FOUND)
  find_path(HLX_CLI11_INCLUDE CLI/CLI.hpp PATHS /usr/include NO_CMAKE_FIND_ROOT_PATH)
  if(HLX_CLI11_INCLUDE)
    set(cli11_dir ${PROJECT_BINARY_DIR}/third-party/cli11)
    file(MAKE_DIRECTORY ${cli11_dir})
    file(CREATE_LINK ${HLX_CLI11_INCLUDE}/CLI ${cli11_dir}/CLI SYMBOLIC)
    add_library(CLI11::CLI11 INTERFACE IMPORTED)
    target_include_directories(CLI11::CLI11 SYSTEM INTERFACE ${cli11_dir})
  else()
    message(STATUS "CLI11 not found: hlx is not built (vcpkg install cli11, or -DCMAKE_PREFIX_PATH=...)")
  endif()
endif()

# nlohmann-json for the job records (report/): a package where one is installed, else Debian's header-only
# copy, put on the include path the same way.
find_package(nlohmann_json 3 QUIET)
if(NOT nlohmann_json_FOUND)
  find_path(HLX_NLOHMANN_INCLUDE nlohmann/json.hpp PATHS /usr/include NO_CMAKE_FIND_ROOT_PATH)
  if(NOT HLX_NLOHMANN_INCLUDE)
    message(FATAL_ERROR "nlohmann-json not found (vcpkg install nlohmann-json, or apt install nlohmann-json3-dev)")
  endif()
  set(nlohmann_dir ${PROJECT_BINARY_DIR}/third-party/nlohmann-json)
  file(MAKE_DIRECTORY ${nlohmann_dir})
  file(CREATE_LINK ${HLX_NLOHMANN_INCLUDE}/nlohmann ${nlohmann_dir}/nlohmann SYMBOLIC)
  add_library(nlohmann_json::nlohmann_json INTERFACE IMPORTED)
  target_include_directories(nlohmann_json::nlohmann_json SYSTEM INTERFACE ${nlohmann_dir})
endif()

# {fmt}: a package where one is installed, else Debian's headers used header-only (FMT_HEADER_ONLY: the
# library's compiled part comes from its headers too), under the same target name as the package's, so the
# folders link fmt::fmt on every system.
find_package(fmt QUIET)
if(NOT fmt_FOUND)
  find_path(HLX_FMT_INCLUDE fmt/format.h PATHS /usr/include NO_CMAKE_FIND_ROOT_PATH)
  if(NOT HLX_FMT_INCLUDE)
    message(FATAL_ERROR "{fmt} not found (vcpkg install fmt, or apt install libfmt-dev)")
  endif()
  set(fmt_dir ${PROJECT_BINARY_DIR}/third-party/fmt)
  file(MAKE_DIRECTORY ${fmt_dir})
  file(CREATE_LINK ${HLX_FMT_INCLUDE}/fmt ${fmt_dir}/fmt SYMBOLIC)
  add_library(fmt::fmt INTERFACE IMPORTED)
  target_include_directories(fmt::fmt SYSTEM INTERFACE ${fmt_dir})
  target_compile_definitions(fmt::fmt INTERFACE FMT_HEADER_ONLY=1)
endif()

# Windows 8 and later (CancelIoEx, bcrypt's SHA-256 objects, SetupAPI's property calls).
add_compile_definitions(WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0602 WINVER=0x0602 UNICODE _UNICODE)
