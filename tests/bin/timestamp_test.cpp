#include "bin/obrelix-statusline/timestamp.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <ctime>
#include <limits>
#include <random>
#include <string>
#include <string_view>

namespace obrelix::capture {
namespace {

constexpr std::int64_t epoch = 116'444'736'000'000'000;
constexpr std::int64_t second = 10'000'000;

TEST(UtcTimestamp, FormatsWholeUtcSeconds) {
  struct Case {
    std::int64_t clock;
    std::string_view text;
  };
  const Case cases[] = {
      {epoch, "1970-01-01T00:00:00Z"},
      {epoch - 1, "1970-01-01T00:00:00Z"},
      {0, "1970-01-01T00:00:00Z"},
      {std::numeric_limits<std::int64_t>::min(), "1970-01-01T00:00:00Z"},
      {epoch + second - 1, "1970-01-01T00:00:00Z"},
      {epoch + 951'782'400 * second, "2000-02-29T00:00:00Z"},
      {epoch + 1'700'000'000 * second, "2023-11-14T22:13:20Z"},
      {epoch + 4'107'542'399 * second, "2100-02-28T23:59:59Z"},
      {epoch + 4'107'542'400 * second, "2100-03-01T00:00:00Z"},
      {epoch + 1'000'000 * second, "1970-01-12T13:46:40Z"},
      {epoch + 253'402'300'799 * second, "9999-12-31T23:59:59Z"},
      {epoch + 253'402'300'800 * second, "10000-01-01T00:00:00Z"},
      {std::numeric_limits<std::int64_t>::max(), "30828-09-14T02:48:05Z"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.clock);
    EXPECT_EQ(utc_timestamp(c.clock), c.text);
  }
}

// The C library's own UTC conversion is an independent oracle across the
// years it covers.
TEST(UtcTimestamp, AgreesWithTheCLibraryOverRandomSeconds) {
  std::mt19937_64 random(20000229);
  std::uniform_int_distribution<std::int64_t> seconds(0, 253'402'300'799);
  for (int i = 0; i < 20000; ++i) {
    const std::int64_t s = seconds(random);
    const std::time_t time = static_cast<std::time_t>(s);
    std::tm fields{};
    ASSERT_NE(gmtime_r(&time, &fields), nullptr);
    char expected[32];
    ASSERT_EQ(std::strftime(expected, sizeof expected, "%Y-%m-%dT%H:%M:%SZ", &fields), 20u);
    SCOPED_TRACE(s);
    ASSERT_EQ(utc_timestamp(epoch + s * second + 9'999'999), expected);
  }
}

TEST(CivilDateFromDays, CrossesLeapDaysAndCenturies) {
  struct Case {
    std::uint64_t days;
    CivilDate date;
  };
  const Case cases[] = {
      {0, {1970, 1, 1}},           {59, {1970, 3, 1}},      {11'016, {2000, 2, 29}},
      {11'017, {2000, 3, 1}},      {47'540, {2100, 2, 28}}, {47'541, {2100, 3, 1}},
      {2'932'896, {9999, 12, 31}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.days);
    const CivilDate date = civil_date_from_days(c.days);
    EXPECT_EQ(date.year, c.date.year);
    EXPECT_EQ(date.month, c.date.month);
    EXPECT_EQ(date.day, c.date.day);
  }
}

}  // namespace
}  // namespace obrelix::capture
