# Hardening of every program and library, as Debian builds its packages (dpkg-buildflags with
# hardening=+all) and in the same spirit for MinGW-w64:
# - the stack protector on every function with arrays or address-taken locals (-fstack-protector-strong);
# - fortified C library calls (_FORTIFY_SOURCE=2: checked memcpy, sprintf, read ... where the size is
#   known), which need optimisation, so not in a Debug build;
# - format strings that are not literals and carry no arguments refused (-Werror=format-security);
# - Linux: position-independent executables and full RELRO (every symbol bound at start, the table of
#   library addresses read-only from then on);
# - Windows: address-space layout randomisation with 64-bit addresses (--dynamicbase, --high-entropy-va)
#   and data execution prevention (--nxcompat); the stack protector's and the fortified calls' runtime
#   is MinGW's libssp, linked statically like the other runtimes.
# Sanitizer and fuzzing builds bring their own instrumentation and stay without it.
if(HLX_SANITIZE OR HLX_BUILD_FUZZERS OR MSVC)
  return()
endif()

add_compile_options(-fstack-protector-strong -Wformat -Werror=format-security)
add_compile_definitions($<$<NOT:$<CONFIG:Debug>>:_FORTIFY_SOURCE=2>)
if(MINGW)
  add_link_options(-fstack-protector-strong LINKER:--dynamicbase,--nxcompat,--high-entropy-va)
else()
  include(CheckPIESupported)
  check_pie_supported()
  set(CMAKE_POSITION_INDEPENDENT_CODE ON)
  add_link_options(LINKER:-z,relro,-z,now)
endif()
