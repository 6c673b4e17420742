// Numbers as text: one parse and one format for every text the stand-in host
// reads or writes, the same whatever the process's locale.
#include "standin/host/number_text.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <regex>
#include <string>
#include <tuple>
#include <utility>

#include "standin/host/panel_model.h"
#include "standin/pictures/svg_view.h"

namespace {

using standin::formatFixed;
using standin::formatNumber;
using standin::formatSignificant;
using standin::NumberParse;
using standin::parseNumber;

NumberParse parse(const std::string &text, double *out = nullptr) {
  double value = -1.0;
  const NumberParse result = parseNumber(text, value);
  if (out != nullptr) *out = value;
  return result;
}

TEST(NumberText, ParsesWholeDecimalNumbersOnly) {
  struct Case {
    const char *text;
    NumberParse result;
    double value;
  };
  const Case cases[] = {
      {"1", NumberParse::Ok, 1},
      {"-2.5", NumberParse::Ok, -2.5},
      {"+3", NumberParse::Ok, 3},
      {"1e-3", NumberParse::Ok, 1e-3},
      {"4.9e-324", NumberParse::Ok, 4.9e-324},
      {"", NumberParse::NotANumber, 0},
      {"+", NumberParse::NotANumber, 0},
      {"+-1", NumberParse::NotANumber, 0},
      {"1,5", NumberParse::NotANumber, 0},
      {" 1", NumberParse::NotANumber, 0},
      {"1 ", NumberParse::NotANumber, 0},
      {"0x10", NumberParse::NotANumber, 0},
      {"abc", NumberParse::NotANumber, 0},
      {"1e999", NumberParse::NotFinite, 0},
      {"inf", NumberParse::NotFinite, 0},
      {"nan", NumberParse::NotFinite, 0},
  };
  for (const Case &c : cases) {
    double value = 0;
    EXPECT_EQ(parse(c.text, &value), c.result) << "'" << c.text << "'";
    if (c.result == NumberParse::Ok) {
      EXPECT_EQ(value, c.value) << c.text;
    }
  }
}

TEST(NumberText, FormatsTheShortestRoundTripAndThePrintfForms) {
  EXPECT_EQ(formatNumber(0.1), "0.1");
  EXPECT_EQ(formatNumber(3.0), "3");
  EXPECT_EQ(formatNumber(-0.0), "-0");
  EXPECT_EQ(formatNumber(1e300), "1e+300");
  for (double v : {0.1, 1.0 / 3.0, -123456.789e-7, std::numeric_limits<double>::denorm_min(),
                   std::numeric_limits<double>::max()}) {
    double back = 0;
    ASSERT_EQ(parse(formatNumber(v), &back), NumberParse::Ok);
    EXPECT_EQ(back, v) << formatNumber(v);
  }
  // As printf's %.17g, %.10g and %.2f in the "C" locale.
  EXPECT_EQ(formatSignificant(0.1, 17), "0.10000000000000001");
  EXPECT_EQ(formatSignificant(1.5, 10), "1.5");
  EXPECT_EQ(formatSignificant(5.499999999999999, 10), "5.5");
  EXPECT_EQ(formatSignificant(1e21, 10), "1e+21");
  EXPECT_EQ(formatFixed(12.5, 2), "12.50");
  EXPECT_EQ(formatFixed(-0.004, 2), "-0.00");
  EXPECT_EQ(formatFixed(1e300, 2).size(), 304u);  // every digit of a huge number fits
  EXPECT_EQ(standin::formatHex32(0x04121994u), "0x04121994");
  EXPECT_EQ(standin::formatHex32(0xFFFFFFFFu), "0xFFFFFFFF");
  EXPECT_EQ(standin::formatHex32(0), "0x00000000");
}

// What a person reads: 12 significant digits, so that arithmetic's last-digit
// noise goes, and no sign on a zero.
TEST(NumberText, ReadableNumbersDropTheNoiseOfRoundingButNothingAPersonCompares) {
  const std::pair<double, const char *> cases[] = {
      {5.499999999999999, "5.5"},
      {0.1 + 0.2, "0.3"},
      {1.0 / 3.0, "0.333333333333"},
      {123456.789012, "123456.789012"},
      {-0.0, "0"},
      {2.0, "2"},
      {1e20, "1e+20"},
      {-2.5e-7, "-2.5e-07"},
      {133.33329999999998, "133.3333"},
  };
  for (const auto &[value, text] : cases) EXPECT_EQ(standin::formatReadable(value), text) << value;
}

// A Factor is shown with its percentage as the panel shows it, and without
// one where the percentage is past the largest double (after a large drag).
TEST(NumberText, AFactorShowsItsPercentageWhileItHasOne) {
  const std::pair<double, const char *> cases[] = {
      {1.5, "1.5 (150%)"}, {-0.5, "-0.5 (-50%)"}, {1e305, "1e+305 (1e+307%)"},
      {1e307, "1e+307"},   {-1e307, "-1e+307"},   {1.7976931348623157e308, "1.79769313486e+308"},
  };
  for (const auto &[value, text] : cases) EXPECT_EQ(standin::formatFactorReadable(value), text) << value;
}

TEST(NumberText, AFactorIsANumberOrAPercentage) {
  const std::pair<const char *, double> ok[] = {{"1.5", 1.5}, {"150%", 1.5}, {"-50%", -0.5}, {"+2", 2.0}};
  for (const auto &[text, expected] : ok) {
    double value = 0;
    EXPECT_EQ(standin::parseFactor(text, value), NumberParse::Ok) << text;
    EXPECT_DOUBLE_EQ(value, expected) << text;
  }
  for (const char *text : {"%", "150%%", "1.5x", "", "% 5", "1e999%"}) {
    double value = 0;
    EXPECT_NE(standin::parseFactor(text, value), NumberParse::Ok) << text;
  }
}

TEST(NumberText, FixedDecimalsForMeshFilesWriteNoSignOnAZero) {
  const std::tuple<double, int, const char *> cases[] = {
      {1.0 / 3.0, 6, "0.333333"},
      {-0.0000004, 6, "0.000000"},
      {-0.0000006, 6, "-0.000001"},
      {-0.0, 2, "0.00"},
      {2.5, 0, "2"},
      {-1e6, 1, "-1000000.0"},
  };
  for (const auto &[value, decimals, text] : cases) {
    std::string out = "v ";
    standin::appendFixed(out, value, decimals);
    EXPECT_EQ(out, std::string("v ") + text) << value << " " << decimals;
  }
}

// A process that runs in a decimal-comma locale (a host embedding the stand-in
// host, or a server) still reads and writes points. The locale is compiled into
// the build tree by the test set-up where the system can (Linux).
TEST(NumberText, ADecimalCommaLocaleChangesNothing) {
#ifdef EP_LOCALE_DIR
  setenv("LOCPATH", EP_LOCALE_DIR, 1);
#endif
  if (std::setlocale(LC_NUMERIC, "de_DE.UTF-8") == nullptr) GTEST_SKIP() << "no de_DE.UTF-8 locale here";
  char printed[16];
  std::snprintf(printed, sizeof printed, "%.1f", 1.5);
  EXPECT_STREQ(printed, "1,5") << "the locale is not in effect";

  double value = 0;
  EXPECT_EQ(parse("1.5", &value), NumberParse::Ok);
  EXPECT_EQ(value, 1.5);
  EXPECT_EQ(parse("1,5"), NumberParse::NotANumber);
  EXPECT_EQ(formatFixed(1.5, 2), "1.50");
  EXPECT_EQ(formatSignificant(0.25, 10), "0.25");
  const std::string svg = standin::renderSvg({{0.5, 0.25, 0, true}, {1.5, 2.75, 0, false}}, {}, {});
  // The picture's texts may hold commas; its numbers never a decimal one.
  EXPECT_FALSE(std::regex_search(svg, std::regex("[0-9],[0-9]"))) << svg;
  standin::ControlView factor;
  factor.type = "percent";
  factor.hasValue = true;
  factor.doubleValue = 1.5;
  EXPECT_EQ(standin::PanelModel::formatValue(factor), "1.5 (150%)");
  std::setlocale(LC_NUMERIC, "C");
}

}  // namespace
