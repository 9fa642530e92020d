// The start-up notice: the explicit sub-step the layer runs with, written to the
// host's message log.
#pragma once

#include <cstddef>
#include <cstdint>

namespace pcm {

inline constexpr char kNoticeSeverity[] = "NOTICE";
inline constexpr char kFatalSeverity[] = "FATAL";

// Writes value with two decimals, rounded in two steps as the host's own
// formatting does: first to 17 significant digits (correctly rounded), then
// those digits to two decimals, halves away from zero.  Infinities and NaN are
// written "inf", "-inf" and "nan".  The text is cut to fit out (size bytes
// including the terminating zero); returns its length.
std::size_t formatTwoDecimals(double value, char* out, std::size_t size);

// Formats the notice for a sub-step of subStep seconds into a 100-character
// buffer, cutting a text that would not fit at the buffer's end.
void formatNotice(double subStep, char (&noticeText)[100]);

// Hands message and severity to the host's MESSAGES as copies of its own
// (800 and 12 characters, longer texts cut), with error code -1.
void sendNotice(const char* message, const char* severity, std::int32_t unitNumber, std::int32_t typeNumber);

}  // namespace pcm
