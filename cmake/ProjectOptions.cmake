# Compiler switches shared by every target of the project. Each target links
# orrelin_options; nothing sets flags on its own.
add_library(orrelin_options INTERFACE)

target_compile_options(orrelin_options INTERFACE
  -Wall -Wextra -Wpedantic -Wshadow
  # Product code spells out every narrowing (float/double and integer widths
  # are part of the results); test code, marked ORRELIN_TEST_CODE, may not.
  $<$<NOT:$<BOOL:$<TARGET_PROPERTY:ORRELIN_TEST_CODE>>>:-Wconversion -Wno-sign-conversion>
  # Results are compared to the bit: a fused multiply-add changes which
  # regions a triangle lands in, so every expression is evaluated as written.
  -ffp-contract=off -fno-fast-math)

# The contract check (orrelin/base/contract.h), on or off for the whole build.
target_compile_definitions(orrelin_options INTERFACE ORRELIN_CONTRACTS=$<BOOL:${ORRELIN_CONTRACTS}>)

if(EMSCRIPTEN)
  # Allocation failures are caught as std::bad_alloc, in WebAssembly too; the
  # engine's own exception handling keeps code without a throw at full speed.
  target_compile_options(orrelin_options INTERFACE -fwasm-exceptions)
  target_link_options(orrelin_options INTERFACE -fwasm-exceptions)
endif()

if(ORRELIN_WERROR)
  target_compile_options(orrelin_options INTERFACE -Werror)
endif()

if(ORRELIN_SANITIZE)
  target_compile_options(orrelin_options INTERFACE
    -fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
  target_link_options(orrelin_options INTERFACE -fsanitize=address,undefined)
  # Tests that need an address-space limit skip themselves: the sanitizer's
  # shadow memory does not fit under one.
  target_compile_definitions(orrelin_options INTERFACE ORRELIN_SANITIZED=1)
endif()
