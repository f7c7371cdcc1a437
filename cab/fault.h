// Checks that say where decoding stopped.
//
// A decoding step returns a Fault: none when it succeeded, else the check
// that failed as "file:line: condition", for instance
// "lzx.cpp:412: length > limit - pos". The text is a string literal made at
// compile time, so a failing check stores one pointer and a passing check
// costs its compare and branch, nothing more.
#pragma once

namespace cab {

class [[nodiscard]] Fault {
public:
    constexpr Fault() = default;
    explicit constexpr Fault(const char *where) : where_(where) {}

    // True when a check failed.
    explicit constexpr operator bool() const { return where_ != nullptr; }
    // "file:line: condition", or null when no check failed.
    constexpr const char *where() const { return where_; }

private:
    const char *where_ = nullptr;
};

inline constexpr Fault kNoFault{};

}  // namespace cab

#define CAB_STRINGIFY_(x) #x
#define CAB_STRINGIFY(x) CAB_STRINGIFY_(x)

// "file:line: condition" for a check at this line.
#define CAB_FAULT_TEXT(condition) __FILE_NAME__ ":" CAB_STRINGIFY(__LINE__) ": " #condition

// Returns a Fault naming `condition` from the enclosing function when the
// condition holds; the condition states the error: CAB_FAIL_IF(n > left).
#define CAB_FAIL_IF(condition)                              \
    do {                                                    \
        if (condition) [[unlikely]]                         \
            return ::cab::Fault(CAB_FAULT_TEXT(condition)); \
    } while (0)

// Returns the fault of `step` from the enclosing function when it failed.
#define CAB_TRY(step)                                            \
    do {                                                         \
        if (const ::cab::Fault cab_fault_ = (step)) [[unlikely]] \
            return cab_fault_;                                   \
    } while (0)
