// The stack protector's runtime for the collector (-fstack-protector-strong), in place
// of GCC's libssp: libssp seeds its guard through CryptAcquireContext, which loads
// rsaenh, crypt32 and bcrypt into every run, and reports a smashed stack on stderr
// before aborting. Here the guard comes from RtlGenRandom (advapi32, imported anyway)
// and a smashed stack ends the process by fail-fast, which no handler in it can catch.
#include <windows.h>
#include <ntsecapi.h>

#include <cstdint>

extern "C" {

// Used by every protected frame; seeded before main and never changed afterwards.
std::uintptr_t __stack_chk_guard = 0x5e2f3a91c4d7b600u;  // NOLINT(bugprone-reserved-identifier): GCC's name

[[noreturn]] void __stack_chk_fail() {  // NOLINT(bugprone-reserved-identifier): GCC's name
    // __fastfail(FAST_FAIL_STACK_COOKIE_CHECK_FAILURE): STATUS_STACK_BUFFER_OVERRUN.
    __asm__ volatile("int $0x29" : : "c"(FAST_FAIL_STACK_COOKIE_CHECK_FAILURE) : "memory");
    TerminateProcess(GetCurrentProcess(), STATUS_STACK_BUFFER_OVERRUN);
    __builtin_unreachable();
}

}  // extern "C"

namespace {

// First of the constructors, and unprotected itself: a frame that saw the old guard
// must not return through a check of the new one.
[[gnu::constructor(101)]] __attribute__((no_stack_protector)) void seedStackGuard() {
    std::uintptr_t guard = 0;
    if (!RtlGenRandom(&guard, sizeof guard)) {
        LARGE_INTEGER counter;
        QueryPerformanceCounter(&counter);
        guard = static_cast<std::uintptr_t>(counter.QuadPart) ^ (GetCurrentProcessId() * 0x9e3779b97f4a7c15u) ^
                reinterpret_cast<std::uintptr_t>(&guard);
    }
    // A zero low byte: an overflow by a string copy cannot write the guard back.
    __stack_chk_guard = guard & ~static_cast<std::uintptr_t>(0xff);
}

}  // namespace
