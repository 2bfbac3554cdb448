# Header-only libraries from Debian, used without the C++ library's
# floating-point from_chars and to_chars, which some toolchains lack.
# Only each library's own headers are copied into the build folder and put on
# the include path, so that cross builds see nothing else of the build
# machine's /usr/include.

# orrelin_header_library(TARGET FOLDER HEADER PACKAGE): an INTERFACE target
# with /usr/include/FOLDER, found by FOLDER/HEADER, or an error naming PACKAGE.
function(orrelin_header_library target folder header package)
  find_path(ORRELIN_${target}_DIR ${folder}/${header} PATHS /usr/include NO_CMAKE_FIND_ROOT_PATH)
  if(NOT ORRELIN_${target}_DIR)
    message(FATAL_ERROR "${folder} is missing: install Debian's ${package}")
  endif()
  file(COPY ${ORRELIN_${target}_DIR}/${folder} DESTINATION ${CMAKE_BINARY_DIR}/${folder}/include)
  add_library(${target} INTERFACE)
  target_include_directories(${target} SYSTEM INTERFACE ${CMAKE_BINARY_DIR}/${folder}/include)
endfunction()

# Decimal text to float, correctly rounded (the reader, orrelin-inspect).
orrelin_header_library(orrelin_fast_float fast_float fast_float.h libfast-float-dev)
# A float's shortest round-trip digits (orrelin-inspect's output).
orrelin_header_library(orrelin_fmt fmt format.h libfmt-dev)
target_compile_definitions(orrelin_fmt INTERFACE FMT_HEADER_ONLY)
