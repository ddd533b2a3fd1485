#pragma once

#include <cstdio>
#include <cstdlib>

// Checks an invariant. In a debug or test build a broken one stops the program at once and says
// where; in a release build the block that follows runs instead and must leave things safe:
//
//     TRELMO_VERIFY_OR_ASSERT(index < Capacity) { return 0; }
//
// The condition is evaluated in every build; it must not have side effects.
#ifdef NDEBUG
#define TRELMO_ASSERT_FAILED(condition) ((void)0)
#else
#define TRELMO_ASSERT_FAILED(condition) TrelmoAssertFailed(condition, __FILE__, __LINE__)
#endif

#define TRELMO_VERIFY_OR_ASSERT(condition)                                                         \
    if (!(condition) && (TRELMO_ASSERT_FAILED(#condition), true))

[[noreturn]] inline void TrelmoAssertFailed(const char* condition, const char* file, int line) {
    std::fprintf(stderr, "%s:%d: invariant broken: %s\n", file, line, condition);
    std::abort();
}
