// The collector's stack-protector runtime: the guard is seeded before main, and a
// frame whose guard was overwritten ends the process by fail-fast.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

extern "C" std::uintptr_t __stack_chk_guard;  // NOLINT(bugprone-reserved-identifier): GCC's name

namespace {

constexpr std::uintptr_t unseededGuard = 0x5e2f3a91c4d7b600u;

// Copies more than the buffer holds when told to; the compiler cannot see the length.
[[gnu::noinline]] void copyInto8Bytes(const char* text, volatile std::size_t length) {
    char buffer[8];
    std::memcpy(buffer, text, length);
    // Keeps the buffer (and so the copy) alive.
    __asm__ volatile("" : : "r"(buffer) : "memory");
}

TEST(StackGuard, IsSeededBeforeMainWithAZeroLowByte) {
    EXPECT_NE(__stack_chk_guard, unseededGuard);
    EXPECT_EQ(__stack_chk_guard & 0xff, 0u);
    EXPECT_NE(__stack_chk_guard >> 8, 0u);
}

TEST(StackGuard, AnIntactFrameReturns) { copyInto8Bytes("1234567", 8); }

TEST(StackGuardDeathTest, AnOverwrittenGuardEndsTheProcessWithStackBufferOverrun) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    static const char overflow[64] = "this text is far longer than the eight bytes it is copied into";
    EXPECT_EXIT(copyInto8Bytes(overflow, sizeof overflow),
                ::testing::ExitedWithCode(static_cast<int>(STATUS_STACK_BUFFER_OVERRUN)), "");
}

}  // namespace
