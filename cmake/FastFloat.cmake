# fast_float (Debian's libfast-float-dev, headers only): decimal text to
# float, correctly rounded, without the C++ library's floating-point
# from_chars, which some toolchains lack. Only its own headers are copied into
# the build folder and put on the include path, so that cross builds see
# nothing else of the build machine's /usr/include.
find_path(ORRELIN_FAST_FLOAT_DIR fast_float/fast_float.h PATHS /usr/include NO_CMAKE_FIND_ROOT_PATH)
if(NOT ORRELIN_FAST_FLOAT_DIR)
  message(FATAL_ERROR "fast_float is missing: install Debian's libfast-float-dev")
endif()
file(COPY ${ORRELIN_FAST_FLOAT_DIR}/fast_float DESTINATION ${CMAKE_BINARY_DIR}/fast_float/include)
add_library(orrelin_fast_float INTERFACE)
target_include_directories(orrelin_fast_float SYSTEM INTERFACE ${CMAKE_BINARY_DIR}/fast_float/include)
