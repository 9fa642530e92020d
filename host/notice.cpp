#include "notice.h"

#include <cmath>
#include <cstring>

#include "decimal.h"
#include "host_kernel.h"

namespace pcm {
namespace {

// Copies the zero-terminated text into out, cut to size - 1 characters;
// returns the length copied.
std::size_t copyCut(const char* text, char* out, std::size_t size) {
    std::size_t n = 0;
    for (; n + 1 < size && text[n] != '\0'; ++n) out[n] = text[n];
    out[n] = '\0';
    return n;
}

}  // namespace

std::size_t formatTwoDecimals(double value, char* out, std::size_t size) {
    if (std::isnan(value)) return copyCut("nan", out, size);
    if (std::isinf(value)) return copyCut(value < 0 ? "-inf" : "inf", out, size);

    // Step 1: 17 significant digits, correctly rounded: d.dddddddddddddddd x 10^exponent.
    char digits[17];
    const int exponent = significantDigits(value, 17, digits);

    // Digit i of the 17 has place value 10^(exponent - i); digits beyond the
    // seventeenth count as zero.
    auto digitAt = [&](int place) -> int {
        const int i = exponent - place;
        return (i >= 0 && i < 17) ? digits[i] - '0' : 0;
    };

    // Step 2: keep the places down to 10^-2, round on the 10^-3 digit, halves
    // away from zero.  A double is below 2^1024 < 10^309: at most 309 integer
    // digits, plus a carry.
    char hundredths[320];
    int length = 0;
    for (int place = exponent > 0 ? exponent : 0; place >= -2; --place) hundredths[length++] = char('0' + digitAt(place));
    if (digitAt(-3) >= 5) {
        int i = length - 1;
        while (i >= 0 && hundredths[i] == '9') hundredths[i--] = '0';
        if (i >= 0) {
            ++hundredths[i];
        } else {
            std::memmove(hundredths + 1, hundredths, static_cast<std::size_t>(length));
            hundredths[0] = '1';
            ++length;
        }
    }

    char text[330];
    std::size_t n = 0;
    if (std::signbit(value)) text[n++] = '-';
    for (int i = 0; i < length - 2; ++i) text[n++] = hundredths[i];
    text[n++] = '.';
    text[n++] = hundredths[length - 2];
    text[n++] = hundredths[length - 1];
    text[n] = '\0';
    return copyCut(text, out, size);
}

void formatNotice(double subStep, char (&noticeText)[100]) {
    static constexpr char kHead[] = "Casovy krok pro numericky vypocet PCM byl zvolen ";
    static constexpr char kTail[] = " s.";
    char number[330];
    formatTwoDecimals(subStep, number, sizeof number);
    char text[sizeof kHead + sizeof number + sizeof kTail];
    std::size_t n = copyCut(kHead, text, sizeof text);
    n += copyCut(number, text + n, sizeof text - n);
    copyCut(kTail, text + n, sizeof text - n);
    copyCut(text, noticeText, sizeof noticeText);
}

void sendNotice(const char* message, const char* severity, std::int32_t unitNumber, std::int32_t typeNumber) {
    // The host gets copies of its own to hold on to, never our texts.
    char messageCopy[800];
    char severityCopy[12];
    const std::size_t messageLength = copyCut(message, messageCopy, sizeof messageCopy);
    const std::size_t severityLength = copyCut(severity, severityCopy, sizeof severityCopy);
    std::int32_t errorCode = -1;
    MESSAGES(&errorCode, messageCopy, severityCopy, &unitNumber, &typeNumber, static_cast<std::int32_t>(messageLength),
             static_cast<std::int32_t>(severityLength));
}

}  // namespace pcm
