#include "bin/obrelix-statusline/timestamp.hpp"

#include <array>
#include <cstddef>

namespace obrelix::capture {
namespace {

// 1970-01-01 in the clock's units.
constexpr std::int64_t unix_epoch = 116'444'736'000'000'000;
constexpr std::int64_t units_per_second = 10'000'000;

// Writes `value` with at least `width` digits, zeros on the left.
void append_padded(std::string& text, std::uint64_t value, std::size_t width) {
  std::array<char, 20> digits;
  std::size_t first = digits.size();
  do {
    digits[--first] = static_cast<char>('0' + value % 10);
    value /= 10;
  } while (value != 0);
  for (std::size_t count = digits.size() - first; count < width; ++count) text.push_back('0');
  text.append(digits.data() + first, digits.size() - first);
}

}  // namespace

CivilDate civil_date_from_days(std::uint64_t days) noexcept {
  // Years counted from 1 March, so the leap day ends a year, in eras of 400
  // years (146097 days); everything stays non-negative.
  const std::uint64_t z = days + 719'468;
  const std::uint64_t era = z / 146'097;
  const std::uint64_t doe = z - era * 146'097;
  const std::uint64_t yoe = (doe - doe / 1'460 + doe / 36'524 - doe / 146'096) / 365;
  const std::uint64_t y = yoe + era * 400;
  const std::uint64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const std::uint64_t mp = (5 * doy + 2) / 153;
  const std::uint64_t day = doy - (153 * mp + 2) / 5 + 1;
  const std::uint64_t month = mp < 10 ? mp + 3 : mp - 9;
  const std::uint64_t year = month <= 2 ? y + 1 : y;
  return {static_cast<std::int64_t>(year), static_cast<std::int64_t>(month),
          static_cast<std::int64_t>(day)};
}

std::string utc_timestamp(std::int64_t clock) {
  const std::uint64_t seconds =
      clock < unix_epoch ? 0 : static_cast<std::uint64_t>((clock - unix_epoch) / units_per_second);
  const std::uint64_t days = seconds / 86'400;
  const std::uint64_t in_day = seconds % 86'400;
  const CivilDate date = civil_date_from_days(days);

  std::string text;
  text.reserve(21);
  append_padded(text, static_cast<std::uint64_t>(date.year), 4);
  text.push_back('-');
  append_padded(text, static_cast<std::uint64_t>(date.month), 2);
  text.push_back('-');
  append_padded(text, static_cast<std::uint64_t>(date.day), 2);
  text.push_back('T');
  append_padded(text, in_day / 3'600, 2);
  text.push_back(':');
  append_padded(text, in_day % 3'600 / 60, 2);
  text.push_back(':');
  append_padded(text, in_day % 60, 2);
  text.push_back('Z');
  return text;
}

}  // namespace obrelix::capture
