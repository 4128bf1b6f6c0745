#pragma once

#include <cstdint>
#include <string>

namespace obrelix::capture {

struct CivilDate {
  std::int64_t year;
  std::int64_t month;  // 1 to 12
  std::int64_t day;    // 1 to 31
};

// The proleptic Gregorian date `days` days after 1970-01-01.
[[nodiscard]] CivilDate civil_date_from_days(std::uint64_t days) noexcept;

// `clock` (100-nanosecond units since 1601-01-01T00:00:00Z) as UTC text with
// whole seconds, e.g. `2000-02-29T00:00:00Z`. The fraction of a second is
// dropped; a clock before 1970 gives the epoch. Years past 9999 are written
// with all their digits.
[[nodiscard]] std::string utc_timestamp(std::int64_t clock);

}  // namespace obrelix::capture
