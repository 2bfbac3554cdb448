#pragma once
// The project's one contract check. ORRELIN_REQUIRE(condition) states what a
// function expects of its inputs (or what must hold at a point of its work).
// In builds made for testing (ORRELIN_CONTRACTS=1: the test suites, the
// sanitizer suite, the Windows suite, the fuzz targets) a false condition
// prints where it failed and aborts; in the shipped programs it compiles to
// nothing and the condition is not evaluated.

#if defined(ORRELIN_CONTRACTS) && ORRELIN_CONTRACTS

#include <cstdio>
#include <cstdlib>

namespace orrelin {

[[noreturn]] inline void contractFailed(const char* condition, const char* file, int line) {
    std::fprintf(stderr, "%s:%d: contract failed: %s\n", file, line, condition);
    std::fflush(stderr);
    std::abort();
}

inline constexpr bool kContractsChecked = true;

}  // namespace orrelin

#define ORRELIN_REQUIRE(condition) \
    ((condition) ? static_cast<void>(0) : ::orrelin::contractFailed(#condition, __FILE__, __LINE__))

#else

namespace orrelin {
inline constexpr bool kContractsChecked = false;
}  // namespace orrelin

// Still compiled, so a check cannot rot, but never evaluated.
#define ORRELIN_REQUIRE(condition) static_cast<void>(sizeof((condition) ? 1 : 0))

#endif
