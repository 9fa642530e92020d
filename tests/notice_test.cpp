#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <string>

#include "notice.h"
#include "stand_in_kernel.h"

namespace pcm {
namespace {

std::string twoDecimals(double value) {
    char text[400];
    const std::size_t n = formatTwoDecimals(value, text, sizeof text);
    EXPECT_EQ(n, std::strlen(text));
    return text;
}

TEST(notice_number, rounds_seventeen_digits_then_halves_away_from_zero) {
    struct Case {
        double value;
        const char* text;
    };
    // glibc's printf("%.2f") rounds the exact binary value (28.12, 1.07, 0.12
    // for the first three); the host's formatting rounds its 17-digit decimal
    // text instead.
    const Case cases[] = {
        {28.125, "28.13"},        {0.125, "0.13"},       {1.075, "1.08"},  // 1.0749999999999999556 reads 1.0750000000000000
        {2.675, "2.67"},                                                   // reads 2.6749999999999998
        {12.5, "12.50"},          {3600.0, "3600.00"},   {12.67605633802817, "12.68"},
        {0.0, "0.00"},            {-0.0, "-0.00"},       {0.004999, "0.00"},
        {0.005, "0.01"},          {0.0005, "0.00"},      {9.995, "9.99"},  // reads 9.9949999999999992
        {999.9951, "1000.00"},    {99.999, "100.00"},    {-28.125, "-28.13"},
        {1e-300, "0.00"},         {4.9e-324, "0.00"},    {123456789012.345, "123456789012.35"},
    };
    for (const Case& c : cases) EXPECT_EQ(twoDecimals(c.value), c.text) << c.value;
}

TEST(notice_number, writes_non_finite_values_readably) {
    EXPECT_EQ(twoDecimals(std::numeric_limits<double>::infinity()), "inf");
    EXPECT_EQ(twoDecimals(-std::numeric_limits<double>::infinity()), "-inf");
    EXPECT_EQ(twoDecimals(std::numeric_limits<double>::quiet_NaN()), "nan");
}

TEST(notice_number, huge_values_are_written_whole_or_cut_at_the_buffer) {
    // Digits past the seventeenth count as zero.
    EXPECT_EQ(twoDecimals(1e22), "1" + std::string(22, '0') + ".00");  // exact in binary
    EXPECT_EQ(twoDecimals(1e300), "10000000000000001" + std::string(284, '0') + ".00");
    EXPECT_EQ(twoDecimals(std::numeric_limits<double>::max()).size(), 309u + 3u);

    char small[6];
    std::memset(small, 'x', sizeof small);
    EXPECT_EQ(formatTwoDecimals(3600.0, small, sizeof small), 5u);
    EXPECT_STREQ(small, "3600.");
}

TEST(notice_text, names_the_sub_step_in_seconds) {
    char text[100];
    formatNotice(12.5, text);
    EXPECT_STREQ(text, "Casovy krok pro numericky vypocet PCM byl zvolen 12.50 s.");
    EXPECT_EQ(std::strlen(text), 57u);
    formatNotice(3600.0, text);
    EXPECT_STREQ(text, "Casovy krok pro numericky vypocet PCM byl zvolen 3600.00 s.");
    EXPECT_EQ(std::strlen(text), 59u);
    formatNotice(std::numeric_limits<double>::infinity(), text);
    EXPECT_STREQ(text, "Casovy krok pro numericky vypocet PCM byl zvolen inf s.");
}

TEST(notice_text, a_number_too_long_for_the_buffer_is_cut_at_its_end) {
    char text[100 + 8];
    std::memset(text, '#', sizeof text);
    formatNotice(1e60, reinterpret_cast<char(&)[100]>(text));
    EXPECT_EQ(std::strlen(text), 99u);
    // 1e60 reads 9.9999999999999995e+59: 60 integer digits, more than fit.
    EXPECT_EQ(std::string(text).substr(0, 66), "Casovy krok pro numericky vypocet PCM byl zvolen 99999999999999995");
    for (std::size_t i = 100; i < sizeof text; ++i) EXPECT_EQ(text[i], '#');  // nothing past the buffer
}

struct SendNotice : ::testing::Test {
    void SetUp() override { standin::reset(); }
};

TEST_F(SendNotice, hands_copies_with_their_lengths_and_code_minus_one) {
    sendNotice("Casovy krok pro numericky vypocet PCM byl zvolen 12.50 s.", kNoticeSeverity, 7, 471);
    ASSERT_EQ(standin::messageCalls().size(), 1u);
    const standin::MessageCall& m = standin::messageCalls()[0];
    EXPECT_EQ(m.errorCode, -1);
    EXPECT_EQ(m.message, "Casovy krok pro numericky vypocet PCM byl zvolen 12.50 s.");
    EXPECT_EQ(m.messageLength, 57);
    EXPECT_EQ(m.severity, "NOTICE");
    EXPECT_EQ(m.severityLength, 6);
    EXPECT_EQ(m.unitNumber, 7);
    EXPECT_EQ(m.typeNumber, 471);
}

TEST_F(SendNotice, cuts_texts_longer_than_its_buffers) {
    const std::string longMessage(1000, 'm');
    sendNotice(longMessage.c_str(), "SEVERITY-WORD-TOO-LONG", 1, 471);
    const standin::MessageCall& m = standin::messageCalls().at(0);
    EXPECT_EQ(m.message, std::string(799, 'm'));
    EXPECT_EQ(m.messageLength, 799);
    EXPECT_EQ(m.severity, "SEVERITY-WO");
    EXPECT_EQ(m.severityLength, 11);
}

}  // namespace
}  // namespace pcm
