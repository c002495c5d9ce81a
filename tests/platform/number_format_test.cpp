// The number formatting that replaced printf on the record paths must write
// the very bytes "%ld" and "%g" write: every value of a record ends up in
// the page description, which is compared byte for byte.
#include <cfloat>
#include <climits>
#include <cmath>
#include <cstdio>
#include <limits>
#include <random>
#include <string>

#include <gtest/gtest.h>

#include "platform/format.h"

namespace quillon {
namespace {

std::string Printf(const char* format, double value) {
  char text[128];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

TEST(NumberFormatTest, IntegersAsPrintfWritesThem) {
  for (long value : {0L, 1L, -1L, 9L, 10L, -10L, 32767L, -32768L, 2147483647L, -2147483648L,
                     LONG_MAX, LONG_MIN, 123456789012L}) {
    std::string text = "x";
    AppendInteger(&text, value);
    char expected[32];
    std::snprintf(expected, sizeof expected, "x%ld", value);
    EXPECT_EQ(text, expected) << value;
  }
}

TEST(NumberFormatTest, RealsAsPercentGWritesThem) {
  const double kEdges[] = {0.0, -0.0, 1.0, -1.0, 0.5, 0.1, 1e-5, 1e-4, 0.0001234565,
                           123456.0, 999999.5, 1e6, 1234567.0, 9999995.0, 1e15, 1e16, 1e21,
                           -2.5e-7, 100.0, 35.0, 27.5, 0.3, 2.0 / 3.0, 1e300, 1e-300,
                           DBL_MIN, DBL_MAX, DBL_TRUE_MIN, 5e-324, 0.000099999951,
                           std::numeric_limits<double>::infinity(),
                           -std::numeric_limits<double>::infinity(),
                           std::numeric_limits<double>::quiet_NaN(),
                           -std::numeric_limits<double>::quiet_NaN()};
  for (double value : kEdges) {
    std::string text;
    AppendShortReal(&text, value);
    EXPECT_EQ(text, Printf("%g", value)) << Printf("%.17g", value);
  }
  // Values as pictures hold them: halves and quarters of positions, colour
  // numbers, and random reals over many magnitudes, floats among them.
  std::mt19937_64 random(15);
  std::uniform_real_distribution<double> mantissa(-10.0, 10.0);
  std::uniform_int_distribution<int> exponent(-30, 30);
  for (int i = 0; i < 200000; ++i) {
    double value = mantissa(random) * std::pow(10.0, exponent(random));
    if (i % 4 == 1) value = std::round(value * 4.0) / 4.0;
    if (i % 4 == 2) value = static_cast<double>(static_cast<float>(value));
    if (i % 4 == 3) value = static_cast<double>(random() % 16777216);
    std::string text;
    AppendShortReal(&text, value);
    ASSERT_EQ(text, Printf("%g", value)) << Printf("%.17g", value);
  }
}

}  // namespace
}  // namespace quillon

namespace quillon {
namespace {

// AppendAll gives what AppendF gives for the same pieces, a string's text
// ending at a NUL as "%s" of its c_str() does.
TEST(NumberFormatTest, AppendAllWritesWhatPrintfWrites) {
  const std::string with_nul("ab\0cd", 5);
  const std::string plain = "Lookup12";
  for (long number : {0L, 7L, -1L, 2147483647L, LONG_MIN, LONG_MAX}) {
    const int small = static_cast<int>(number);
    std::string expected = "start:";
    AppendF(&expected, "\t(%s%d.in %s)%ld|%s|", plain.c_str(), small, with_nul.c_str(), number,
            "");
    std::string actual = "start:";
    AppendAll(&actual, "\t(", plain, small, ".in ", with_nul, ")", number, "|", std::string(),
              "|");
    EXPECT_EQ(actual, expected) << number;
  }
  std::string view_text;
  AppendAll(&view_text, std::string_view("x\0y", 3), std::string_view("z"));
  EXPECT_EQ(view_text, "xz");
}

}  // namespace
}  // namespace quillon
