// Decimal digits of a double, computed exactly in integer arithmetic.
//
// The module formats numbers itself instead of through std::to_chars or
// printf: on 32-bit Windows the static C++ runtime's to_chars object brings the
// MinGW printf along (for its long double overloads), and with it x87
// arithmetic; the module's code must stay SSE2 only.  Integer arithmetic gives
// the same digits on every platform.
#pragma once

#include <cstddef>

namespace pcm {

// The first count significant decimal digits (1 to 17) of |value|, correctly
// rounded from its exact binary value with ties to even, as printf("%.*e")
// and std::to_chars in scientific format give them.  Writes them as characters
// '0'-'9' to digits[0 .. count) and returns the decimal exponent of the first:
// |value| is about d0.d1d2... x 10^exponent.  Zero gives count zeros and
// exponent 0.  value must be finite.
int significantDigits(double value, int count, char* digits);

// value with at most 15 significant digits, trailing zeros dropped, in the
// shorter of fixed and scientific notation (fixed when they are equally long),
// as std::to_chars writes its shortest form: "5.7", "-3", "0.5", "3e+09",
// "1e-05", "2147483648", "nan" ("-nan" with the sign bit set), "-inf".  A number typed with up to 15 digits
// reads back as typed.  Writes at most 22 characters and a terminating zero
// to out (size bytes, cut to fit) and returns the length written.
std::size_t formatShort(double value, char* out, std::size_t size);

}  // namespace pcm
