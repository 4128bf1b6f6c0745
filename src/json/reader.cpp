#include "json/reader.hpp"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <vector>

namespace obrelix::json {

namespace {

// P(k): the double nearest to 10^k. The compiler rounds each literal
// correctly, which is exactly what the floating conversion asks of the table.
constexpr std::array<double, 309> powers_of_ten = {
    1e0,   1e1,   1e2,   1e3,   1e4,   1e5,   1e6,   1e7,   1e8,   1e9,   1e10,  1e11,  1e12,
    1e13,  1e14,  1e15,  1e16,  1e17,  1e18,  1e19,  1e20,  1e21,  1e22,  1e23,  1e24,  1e25,
    1e26,  1e27,  1e28,  1e29,  1e30,  1e31,  1e32,  1e33,  1e34,  1e35,  1e36,  1e37,  1e38,
    1e39,  1e40,  1e41,  1e42,  1e43,  1e44,  1e45,  1e46,  1e47,  1e48,  1e49,  1e50,  1e51,
    1e52,  1e53,  1e54,  1e55,  1e56,  1e57,  1e58,  1e59,  1e60,  1e61,  1e62,  1e63,  1e64,
    1e65,  1e66,  1e67,  1e68,  1e69,  1e70,  1e71,  1e72,  1e73,  1e74,  1e75,  1e76,  1e77,
    1e78,  1e79,  1e80,  1e81,  1e82,  1e83,  1e84,  1e85,  1e86,  1e87,  1e88,  1e89,  1e90,
    1e91,  1e92,  1e93,  1e94,  1e95,  1e96,  1e97,  1e98,  1e99,  1e100, 1e101, 1e102, 1e103,
    1e104, 1e105, 1e106, 1e107, 1e108, 1e109, 1e110, 1e111, 1e112, 1e113, 1e114, 1e115, 1e116,
    1e117, 1e118, 1e119, 1e120, 1e121, 1e122, 1e123, 1e124, 1e125, 1e126, 1e127, 1e128, 1e129,
    1e130, 1e131, 1e132, 1e133, 1e134, 1e135, 1e136, 1e137, 1e138, 1e139, 1e140, 1e141, 1e142,
    1e143, 1e144, 1e145, 1e146, 1e147, 1e148, 1e149, 1e150, 1e151, 1e152, 1e153, 1e154, 1e155,
    1e156, 1e157, 1e158, 1e159, 1e160, 1e161, 1e162, 1e163, 1e164, 1e165, 1e166, 1e167, 1e168,
    1e169, 1e170, 1e171, 1e172, 1e173, 1e174, 1e175, 1e176, 1e177, 1e178, 1e179, 1e180, 1e181,
    1e182, 1e183, 1e184, 1e185, 1e186, 1e187, 1e188, 1e189, 1e190, 1e191, 1e192, 1e193, 1e194,
    1e195, 1e196, 1e197, 1e198, 1e199, 1e200, 1e201, 1e202, 1e203, 1e204, 1e205, 1e206, 1e207,
    1e208, 1e209, 1e210, 1e211, 1e212, 1e213, 1e214, 1e215, 1e216, 1e217, 1e218, 1e219, 1e220,
    1e221, 1e222, 1e223, 1e224, 1e225, 1e226, 1e227, 1e228, 1e229, 1e230, 1e231, 1e232, 1e233,
    1e234, 1e235, 1e236, 1e237, 1e238, 1e239, 1e240, 1e241, 1e242, 1e243, 1e244, 1e245, 1e246,
    1e247, 1e248, 1e249, 1e250, 1e251, 1e252, 1e253, 1e254, 1e255, 1e256, 1e257, 1e258, 1e259,
    1e260, 1e261, 1e262, 1e263, 1e264, 1e265, 1e266, 1e267, 1e268, 1e269, 1e270, 1e271, 1e272,
    1e273, 1e274, 1e275, 1e276, 1e277, 1e278, 1e279, 1e280, 1e281, 1e282, 1e283, 1e284, 1e285,
    1e286, 1e287, 1e288, 1e289, 1e290, 1e291, 1e292, 1e293, 1e294, 1e295, 1e296, 1e297, 1e298,
    1e299, 1e300, 1e301, 1e302, 1e303, 1e304, 1e305, 1e306, 1e307, 1e308,
};

// A digit d fits the 64-bit significand s while s * 10 + d <= 2^64 - 1.
constexpr std::uint64_t largest_fitting_significand = 1844674407370955161u;

constexpr bool digit_fits(std::uint64_t significand, unsigned digit) noexcept {
  return significand < largest_fitting_significand ||
         (significand == largest_fitting_significand && digit <= 5);
}

constexpr bool is_digit(char c) noexcept {
  return c >= '0' && c <= '9';
}
constexpr unsigned digit_value(char c) noexcept {
  return static_cast<unsigned>(c - '0');
}

constexpr bool is_whitespace(char c) noexcept {
  return c == ' ' || c == '\n' || c == '\r' || c == '\t';
}

// Hex digit value, or -1.
constexpr int hex_value(char c) noexcept {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

constexpr std::uint64_t repeat_byte(std::uint8_t byte) noexcept {
  return 0x0101010101010101u * byte;
}

// One flag bit (0x80 of a byte) for every byte of `word` that ends the quick
// part of a string: a quotation mark, a backslash, a control byte, or a
// non-ASCII byte that needs UTF-8 checking. Exact per byte: the ASCII tests run
// on 7-bit values, where the additions cannot carry into the next byte.
constexpr std::uint64_t special_bytes(std::uint64_t word) noexcept {
  constexpr std::uint64_t high = repeat_byte(0x80);
  constexpr std::uint64_t low7 = repeat_byte(0x7F);
  const std::uint64_t ascii = word & low7;
  const std::uint64_t quote = ascii ^ repeat_byte('"');
  const std::uint64_t backslash = ascii ^ repeat_byte('\\');
  const std::uint64_t is_quote = ~((quote + low7) | quote);
  const std::uint64_t is_backslash = ~((backslash + low7) | backslash);
  const std::uint64_t is_control = ~(ascii + repeat_byte(0x60));
  return (word | is_quote | is_backslash | is_control) & high;
}

constexpr bool is_special_byte(char c) noexcept {
  const auto byte = static_cast<unsigned char>(c);
  return byte < 0x20 || byte >= 0x80 || byte == '"' || byte == '\\';
}

// Index, in memory order, of the first byte flagged in a mask from special_bytes.
inline unsigned first_flagged_byte(std::uint64_t mask) noexcept {
  if constexpr (std::endian::native == std::endian::little) {
    return static_cast<unsigned>(std::countr_zero(mask)) / 8;
  } else {
    return static_cast<unsigned>(std::countl_zero(mask)) / 8;
  }
}

// memmove towards lower addresses for the short pieces between escapes,
// without a library call for most: every load is made before its stores, and
// short runs go byte by byte from the front.
inline void move_bytes(char* to, const char* from, std::size_t count) noexcept {
  if (count >= 8 && count <= 16) {
    std::uint64_t head;
    std::uint64_t tail;
    std::memcpy(&head, from, 8);
    std::memcpy(&tail, from + count - 8, 8);
    std::memcpy(to, &head, 8);
    std::memcpy(to + count - 8, &tail, 8);
  } else if (count >= 4 && count < 8) {
    std::uint32_t head;
    std::uint32_t tail;
    std::memcpy(&head, from, 4);
    std::memcpy(&tail, from + count - 4, 4);
    std::memcpy(to, &head, 4);
    std::memcpy(to + count - 4, &tail, 4);
  } else if (count < 4) {
    for (std::size_t i = 0; i < count; ++i) to[i] = from[i];
  } else {
    std::memmove(to, from, count);
  }
}

// Writes the UTF-8 form of `code_point` (not a surrogate) at `out`.
char* put_code_point(char* out, std::uint32_t code_point) noexcept {
  if (code_point < 0x80) {
    *out++ = static_cast<char>(code_point);
  } else if (code_point < 0x800) {
    *out++ = static_cast<char>(0xC0 | (code_point >> 6));
    *out++ = static_cast<char>(0x80 | (code_point & 0x3F));
  } else if (code_point < 0x10000) {
    *out++ = static_cast<char>(0xE0 | (code_point >> 12));
    *out++ = static_cast<char>(0x80 | ((code_point >> 6) & 0x3F));
    *out++ = static_cast<char>(0x80 | (code_point & 0x3F));
  } else {
    *out++ = static_cast<char>(0xF0 | (code_point >> 18));
    *out++ = static_cast<char>(0x80 | ((code_point >> 12) & 0x3F));
    *out++ = static_cast<char>(0x80 | ((code_point >> 6) & 0x3F));
    *out++ = static_cast<char>(0x80 | (code_point & 0x3F));
  }
  return out;
}

// Digits are taken up to eight at a time from a little-endian load.
constexpr bool eight_at_a_time = std::endian::native == std::endian::little;

constexpr std::array<std::uint32_t, 9> small_powers_of_ten = {
    1, 10, 100, 1000, 10000, 100000, 1000000, 10000000, 100000000};

struct DigitRun {
  unsigned count;
  std::uint32_t value;
};

// The digits that start an 8-byte load (first byte lowest): how many and
// their value. The load never decides more than this, so the number is still
// read in one pass: the byte after the run is the one byte looked ahead.
constexpr DigitRun leading_digits(std::uint64_t word) noexcept {
  constexpr std::uint64_t high_nibbles = repeat_byte(0xF0);
  constexpr std::uint64_t low7 = repeat_byte(0x7F);
  // Nonzero in every byte that is not '0'..'9'. Carries and borrows only run
  // upwards from such a byte, so the bytes below the first one are exact.
  const std::uint64_t not_digit = ((word & high_nibbles) ^ repeat_byte(0x30)) |
                                  (((word + repeat_byte(0x06)) & high_nibbles) ^ repeat_byte(0x30));
  const std::uint64_t flags = (((not_digit & low7) + low7) | not_digit) & repeat_byte(0x80);
  const unsigned count = flags == 0 ? 8 : static_cast<unsigned>(std::countr_zero(flags)) / 8;
  if (count == 0) return {0, 0};
  // The run's digit values moved to the top; the zero bytes below are
  // leading zeros of an eight-digit number.
  std::uint64_t digits = (word - repeat_byte('0')) << (8 * (8 - count));
  digits = (digits * 10) + (digits >> 8);  // pairs
  digits = (((digits & 0x000000FF000000FFu) * (100 + (1000000ull << 32))) +
            (((digits >> 16) & 0x000000FF000000FFu) * (1 + (10000ull << 32)))) >>
           32;
  return {count, static_cast<std::uint32_t>(digits)};
}

// Elements of open arrays and members of open objects wait here until their
// container closes, so each container is built once at its final size. Shared
// by a document and the raw-text documents inside it: those only push above
// what is there and leave it as they found it.
struct PendingStacks {
  std::vector<JsonValue> elements;
  std::vector<JsonMember> members;
};

struct OpenContainer {
  std::uint32_t first_pending;  // index into the elements or members stack
  bool object;
};

// Reads one document. Iterative: open containers live in `open_`, never on
// the call stack; only a raw-text document recurses, and each such level
// costs its input twice the escaping, so they cannot go deep.
class Reader {
 public:
  // Strings are decoded where they stand: `input` is rewritten, and the
  // document's strings and keys are views of it.
  Reader(std::span<char> input, Arena& arena, PendingStacks& pending) noexcept
      : writable_(input.data()),
        begin_(input.data()),
        pos_(input.data()),
        end_(input.data() + input.size()),
        arena_(arena),
        pending_(pending) {}

  // The document's value, or false with error() telling why.
  [[nodiscard]] bool read_document(JsonValue& result);
  [[nodiscard]] const ParseError& error() const noexcept { return error_; }

 private:
  static constexpr std::uint8_t nesting_allowance = 128;

  bool fail(ParseErrorCode code, const char* at) noexcept {
    error_ = {code, static_cast<std::size_t>(at - begin_)};
    return false;
  }
  // End of input where a byte was needed, or the wrong byte.
  bool fail_at(const char* at, ParseErrorCode wrong_byte) noexcept {
    return fail(at == end_ ? ParseErrorCode::unexpected_end : wrong_byte, at);
  }

  void skip_whitespace() noexcept {
    while (pos_ != end_ && is_whitespace(*pos_)) ++pos_;
  }
  bool open_container(bool object);
  bool read_literal(std::string_view word, JsonValue value, JsonValue& out) noexcept;
  bool read_number(JsonValue& out) noexcept;
  bool read_string(std::string_view& content);
  bool read_escape(const char*& p, char*& out) noexcept;
  bool check_utf8_sequence(const char*& p) noexcept;
  bool read_key_and_colon(bool first_member, bool& raw_text);
  bool read_raw_text_document(JsonValue& out);
  JsonValue& current_slot(JsonValue& result) noexcept;
  // The input byte at `at`, for writing decoded text over what was read.
  char* writable(const char* at) const noexcept { return writable_ + (at - begin_); }

  char* const writable_;
  const char* begin_;
  const char* pos_;
  const char* end_;
  Arena& arena_;
  PendingStacks& pending_;
  std::uint8_t allowance_ = nesting_allowance;
  std::array<OpenContainer, nesting_allowance> open_{};
  ParseError error_{ParseErrorCode::unexpected_end, 0};
};

bool Reader::open_container(bool object) {
  --allowance_;
  if (allowance_ == 0) return fail(ParseErrorCode::nesting_too_deep, pos_);
  const std::size_t first = object ? pending_.members.size() : pending_.elements.size();
  open_[nesting_allowance - 1 - allowance_] = {static_cast<std::uint32_t>(first), object};
  ++pos_;
  return true;
}

bool Reader::read_literal(std::string_view word, JsonValue value, JsonValue& out) noexcept {
  if (static_cast<std::size_t>(end_ - pos_) >= word.size() &&
      std::memcmp(pos_, word.data(), word.size()) == 0) {
    pos_ += word.size();
    out = std::move(value);
    return true;
  }
  for (std::size_t i = 0; i < word.size(); ++i) {
    if (pos_ + i == end_ || pos_[i] != word[i]) {
      return fail_at(pos_ + i, ParseErrorCode::unexpected_byte);
    }
  }
  return false;  // not reached: a full match returned above
}

// Numbers are read in one pass: the grammar, the kind, and the significand and
// decimal exponent of the floating conversion all come from the same digits.
bool Reader::read_number(JsonValue& out) noexcept {
  const char* const start = pos_;
  const char* p = pos_;
  const bool negative = *p == '-';
  if (negative) ++p;

  std::uint64_t significand = 0;
  // Wider than the conversion's 32 bits so that counting skipped digits cannot
  // overflow; it saturates to 32 bits before it is used.
  std::int64_t exponent = 0;
  bool integer_digits_skipped = false;
  if (p == end_) return fail(ParseErrorCode::unexpected_end, p);
  if (*p == '0') {
    ++p;
    if (p != end_ && is_digit(*p)) return fail(ParseErrorCode::bad_number, p);
  } else if (is_digit(*p)) {
    // Below 10^11, eight more digits all fit: the result stays below 10^19.
    while (eight_at_a_time && end_ - p >= 8 && significand < 100000000000u) {
      std::uint64_t word;
      std::memcpy(&word, p, 8);
      const DigitRun run = leading_digits(word);
      significand = significand * small_powers_of_ten[run.count] + run.value;
      p += run.count;
      if (run.count < 8) break;
    }
    for (; p != end_ && is_digit(*p); ++p) {
      const unsigned digit = digit_value(*p);
      if (!integer_digits_skipped && digit_fits(significand, digit)) {
        significand = significand * 10 + digit;
      } else {
        integer_digits_skipped = true;
        ++exponent;
      }
    }
  } else {
    return fail(ParseErrorCode::bad_number, p);
  }

  bool floating = false;
  if (p != end_ && *p == '.') {
    ++p;
    if (p == end_ || !is_digit(*p)) return fail_at(p, ParseErrorCode::bad_number);
    floating = true;
    // Fraction digits are taken while they fit even after integer digits were
    // skipped; once one does not fit, the rest are dropped.
    bool fraction_digits_skipped = false;
    while (eight_at_a_time && end_ - p >= 8 && significand < 100000000000u) {
      std::uint64_t word;
      std::memcpy(&word, p, 8);
      const DigitRun run = leading_digits(word);
      significand = significand * small_powers_of_ten[run.count] + run.value;
      exponent -= run.count;
      p += run.count;
      if (run.count < 8) break;
    }
    for (; p != end_ && is_digit(*p); ++p) {
      const unsigned digit = digit_value(*p);
      if (!fraction_digits_skipped && digit_fits(significand, digit)) {
        significand = significand * 10 + digit;
        --exponent;
      } else {
        fraction_digits_skipped = true;
      }
    }
  }

  if (p != end_ && (*p == 'e' || *p == 'E')) {
    ++p;
    bool exponent_negative = false;
    if (p != end_ && (*p == '+' || *p == '-')) {
      exponent_negative = *p == '-';
      ++p;
    }
    if (p == end_ || !is_digit(*p)) return fail_at(p, ParseErrorCode::bad_number);
    floating = true;
    std::int32_t explicit_exponent = 0;
    bool overflow = false;
    for (; p != end_ && is_digit(*p); ++p) {
      const unsigned digit = digit_value(*p);
      // The digit overflows when x * 10 + d would exceed 2147483647.
      if (overflow || explicit_exponent > 214748364 ||
          (explicit_exponent == 214748364 && digit > 7)) {
        overflow = true;
      } else {
        explicit_exponent = explicit_exponent * 10 + static_cast<std::int32_t>(digit);
      }
    }
    if (overflow) {
      if (significand != 0 && !exponent_negative) {
        return fail(ParseErrorCode::number_out_of_range, start);
      }
      pos_ = p;
      out = JsonValue::make_number(JsonNumber::make_floating(negative ? -0.0 : 0.0));
      return true;
    }
    exponent += exponent_negative ? -std::int64_t{explicit_exponent} : explicit_exponent;
  }
  pos_ = p;

  if (!floating && !integer_digits_skipped) {
    if (!negative) {
      out = JsonValue::make_number(JsonNumber::make_unsigned(significand));
      return true;
    }
    if (significand != 0 && significand <= std::uint64_t{1} << 63) {
      // Two's complement wrap: 2^63 becomes the smallest int64.
      out = JsonValue::make_number(
          JsonNumber::make_negative(static_cast<std::int64_t>(0 - significand)));
      return true;
    }
    // -0 and magnitudes beyond the int64 range are floating; the conversion
    // below gives them exactly the nearest double (the power is 10^0).
  }

  // Every step is one IEEE double operation, rounded to nearest: the result is
  // fixed by these steps, not by correct rounding.
  constexpr std::int64_t e_min = std::numeric_limits<std::int32_t>::min();
  constexpr std::int64_t e_max = std::numeric_limits<std::int32_t>::max();
  auto e =
      static_cast<std::int32_t>(exponent < e_min ? e_min : (exponent > e_max ? e_max : exponent));
  double f = static_cast<double>(significand);
  bool scaled = true;
  while (e > 308 || e < -308) {
    if (f == 0) {
      scaled = false;
      break;
    }
    if (e > 0) return fail(ParseErrorCode::number_out_of_range, start);
    f = f / powers_of_ten[308];
    e += 308;
  }
  if (scaled) {
    if (e >= 0) {
      f = f * powers_of_ten[static_cast<std::size_t>(e)];
      if (std::isinf(f)) return fail(ParseErrorCode::number_out_of_range, start);
    } else {
      f = f / powers_of_ten[static_cast<std::size_t>(-e)];
    }
  }
  if (negative) f = -f;
  out = JsonValue::make_number(JsonNumber::make_floating(f));
  return true;
}

// At a byte of 0x80 or above: steps over one well-formed UTF-8 sequence
// (RFC 3629), or fails. Escapes only ever add whole sequences, so checking the
// raw bytes where they stand checks the decoded content as well.
bool Reader::check_utf8_sequence(const char*& p) noexcept {
  const auto lead = static_cast<unsigned char>(*p);
  std::size_t continuation;
  unsigned char second_low = 0x80;
  unsigned char second_high = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) {
    continuation = 1;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    continuation = 2;
    if (lead == 0xE0) second_low = 0xA0;   // overlong
    if (lead == 0xED) second_high = 0x9F;  // surrogates
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    continuation = 3;
    if (lead == 0xF0) second_low = 0x90;   // overlong
    if (lead == 0xF4) second_high = 0x8F;  // above U+10FFFF
  } else {
    return fail(ParseErrorCode::invalid_utf8, p);
  }
  for (std::size_t i = 1; i <= continuation; ++i) {
    if (p + i == end_) return fail(ParseErrorCode::unexpected_end, p + i);
    const auto byte = static_cast<unsigned char>(p[i]);
    const unsigned char low = i == 1 ? second_low : 0x80;
    const unsigned char high = i == 1 ? second_high : 0xBF;
    if (byte < low || byte > high) return fail(ParseErrorCode::invalid_utf8, p);
  }
  p += continuation + 1;
  return true;
}

// At a backslash inside a string: writes the escape's content at `out`.
bool Reader::read_escape(const char*& p, char*& out) noexcept {
  const char* const escape = p;
  ++p;
  if (p == end_) return fail(ParseErrorCode::unexpected_end, p);
  char simple;
  switch (*p) {
    case '"':
      simple = '"';
      break;
    case '\\':
      simple = '\\';
      break;
    case '/':
      simple = '/';
      break;
    case 'b':
      simple = '\b';
      break;
    case 'f':
      simple = '\f';
      break;
    case 'n':
      simple = '\n';
      break;
    case 'r':
      simple = '\r';
      break;
    case 't':
      simple = '\t';
      break;
    case 'u': {
      const auto read_unit = [&](std::uint32_t& unit) {
        // p is at the 'u'.
        unit = 0;
        for (int i = 1; i <= 4; ++i) {
          if (end_ - p == i) return fail(ParseErrorCode::unexpected_end, end_);
          const int value = hex_value(p[i]);
          if (value < 0) return fail(ParseErrorCode::bad_escape, p + i);
          unit = unit << 4 | static_cast<std::uint32_t>(value);
        }
        p += 5;
        return true;
      };
      std::uint32_t unit;
      if (!read_unit(unit)) return false;
      if (unit >= 0xDC00 && unit <= 0xDFFF) return fail(ParseErrorCode::bad_surrogate, escape);
      if (unit >= 0xD800 && unit <= 0xDBFF) {
        if (p == end_) return fail(ParseErrorCode::unexpected_end, p);
        if (*p != '\\') return fail(ParseErrorCode::bad_surrogate, p);
        ++p;
        if (p == end_) return fail(ParseErrorCode::unexpected_end, p);
        if (*p != 'u') return fail(ParseErrorCode::bad_surrogate, p);
        std::uint32_t trailing;
        if (!read_unit(trailing)) return false;
        if (trailing < 0xDC00 || trailing > 0xDFFF) {
          return fail(ParseErrorCode::bad_surrogate, escape);
        }
        unit = 0x10000 + ((unit - 0xD800) << 10) + (trailing - 0xDC00);
      }
      out = put_code_point(out, unit);
      return true;
    }
    default:
      return fail(ParseErrorCode::bad_escape, escape);
  }
  *out++ = simple;
  ++p;
  return true;
}

// At the opening quotation mark. `content` is the decoded text, a view of the
// input: from the first escape on, the decoded bytes are written over the
// string's own bytes, which an escape never makes longer, so writing never
// overtakes reading.
bool Reader::read_string(std::string_view& content) {
  const char* p = pos_ + 1;
  const char* const start = p;
  const char* segment = p;
  char* out = nullptr;  // set at the first escape
  for (;;) {
    for (;;) {
      if (end_ - p < 8) {
        while (p != end_ && !is_special_byte(*p)) ++p;
        break;
      }
      std::uint64_t word;
      std::memcpy(&word, p, 8);
      const std::uint64_t mask = special_bytes(word);
      if (mask != 0) {
        p += first_flagged_byte(mask);
        break;
      }
      p += 8;
    }
    if (p == end_) return fail(ParseErrorCode::unexpected_end, p);
    const auto byte = static_cast<unsigned char>(*p);
    if (byte == '"') {
      if (out == nullptr) {
        content = {start, static_cast<std::size_t>(p - start)};
      } else {
        move_bytes(out, segment, static_cast<std::size_t>(p - segment));
        out += p - segment;
        content = {start, static_cast<std::size_t>(out - writable(start))};
      }
      pos_ = p + 1;
      return true;
    }
    if (byte >= 0x80) {
      if (!check_utf8_sequence(p)) return false;
    } else if (byte < 0x20) {
      return fail(ParseErrorCode::control_byte_in_string, p);
    } else {
      if (out == nullptr) {
        out = writable(p);  // the bytes before the first escape stay where they are
      } else {
        move_bytes(out, segment, static_cast<std::size_t>(p - segment));
        out += p - segment;
      }
      if (!read_escape(p, out)) return false;
      segment = p;
    }
  }
}

// At the quotation mark that starts a member: reads the key, the colon and the
// whitespace before the value, and queues the member. A first member with the
// raw-text key is not queued; `raw_text` tells the caller to read it.
bool Reader::read_key_and_colon(bool first_member, bool& raw_text) {
  std::string_view key;
  if (!read_string(key)) return false;
  skip_whitespace();
  if (pos_ == end_ || *pos_ != ':') return fail_at(pos_, ParseErrorCode::unexpected_byte);
  ++pos_;
  skip_whitespace();
  raw_text = first_member && key == raw_json_key;
  if (!raw_text) {
    pending_.members.push_back({key, JsonValue{}});
  }
  return true;
}

// After the colon of a first member with the raw-text key: its string value
// is read as a document of its own, with a fresh nesting allowance, and that
// document's value stands for the whole object, which must end here.
bool Reader::read_raw_text_document(JsonValue& out) {
  if (pos_ == end_ || *pos_ != '"') return fail_at(pos_, ParseErrorCode::unexpected_byte);
  const char* const string_start = pos_;
  std::string_view text;
  if (!read_string(text)) return false;
  // The decoded text is read, and its strings decoded, where it stands.
  Reader inner({writable(text.data()), text.size()}, arena_, pending_);
  if (!inner.read_document(out)) return fail(inner.error().code, string_start);
  skip_whitespace();
  if (pos_ == end_ || *pos_ != '}') return fail_at(pos_, ParseErrorCode::unexpected_byte);
  ++pos_;
  ++allowance_;
  return true;
}

// Values are read straight into the place that will hold them (the document,
// or a slot pending in the innermost open container) rather than through a
// local: storing a value in parts and then copying it whole stalls the CPU.
JsonValue& Reader::current_slot(JsonValue& result) noexcept {
  if (allowance_ == nesting_allowance) return result;
  return open_[nesting_allowance - 1 - allowance_].object ? pending_.members.back().value
                                                          : pending_.elements.back();
}

bool Reader::read_document(JsonValue& result) {
  skip_whitespace();

read_value:
  // Whitespace before the value has been skipped; its slot is waiting.
  if (pos_ == end_) return fail(ParseErrorCode::unexpected_end, pos_);
  switch (*pos_) {
    case '[':
      if (!open_container(false)) return false;
      skip_whitespace();
      if (pos_ != end_ && *pos_ == ']') {
        ++pos_;
        ++allowance_;
        current_slot(result) = JsonValue::make_array();
        goto value_done;
      }
      pending_.elements.emplace_back();
      goto read_value;
    case '{': {
      if (!open_container(true)) return false;
      skip_whitespace();
      if (pos_ == end_) return fail(ParseErrorCode::unexpected_end, pos_);
      if (*pos_ == '}') {
        ++pos_;
        ++allowance_;
        current_slot(result) = JsonValue::make_object();
        goto value_done;
      }
      if (*pos_ != '"') return fail(ParseErrorCode::key_not_string, pos_);
      bool raw_text = false;
      if (!read_key_and_colon(true, raw_text)) return false;
      if (raw_text) {
        // Into a local: the inner document pushes onto the pending stacks,
        // which may move the slot.
        JsonValue inner;
        if (!read_raw_text_document(inner)) return false;
        current_slot(result) = std::move(inner);
        goto value_done;
      }
      goto read_value;
    }
    case '"': {
      std::string_view text;
      if (!read_string(text)) return false;
      current_slot(result) = JsonValue::adopt_string(text);
      goto value_done;
    }
    case 't':
      if (!read_literal("true", JsonValue::make_boolean(true), current_slot(result))) return false;
      goto value_done;
    case 'f':
      if (!read_literal("false", JsonValue::make_boolean(false), current_slot(result))) {
        return false;
      }
      goto value_done;
    case 'n':
      if (!read_literal("null", JsonValue::make_null(), current_slot(result))) return false;
      goto value_done;
    case '-':
    case '0':
    case '1':
    case '2':
    case '3':
    case '4':
    case '5':
    case '6':
    case '7':
    case '8':
    case '9':
      if (!read_number(current_slot(result))) return false;
      goto value_done;
    default:
      return fail(ParseErrorCode::unexpected_byte, pos_);
  }

value_done:
  // A value is complete in its slot; what may follow depends on where it is.
  skip_whitespace();
  if (allowance_ == nesting_allowance) {
    if (pos_ != end_) return fail(ParseErrorCode::bytes_after_document, pos_);
    return true;
  }
  if (pos_ == end_) return fail(ParseErrorCode::unexpected_end, pos_);
  {
    const OpenContainer container = open_[nesting_allowance - 1 - allowance_];
    if (!container.object) {
      if (*pos_ == ',') {
        ++pos_;
        skip_whitespace();
        if (pos_ != end_ && *pos_ == ']') return fail(ParseErrorCode::trailing_comma, pos_);
        pending_.elements.emplace_back();
        goto read_value;
      }
      if (*pos_ != ']') return fail(ParseErrorCode::unexpected_byte, pos_);
      ++pos_;
      ++allowance_;
      const auto first = pending_.elements.begin() + container.first_pending;
      JsonValue array = JsonValue::make_array(arena_, {first, pending_.elements.end()});
      pending_.elements.erase(first, pending_.elements.end());
      current_slot(result) = std::move(array);
      goto value_done;
    }
    if (*pos_ == ',') {
      ++pos_;
      skip_whitespace();
      if (pos_ == end_) return fail(ParseErrorCode::unexpected_end, pos_);
      if (*pos_ == '}') return fail(ParseErrorCode::trailing_comma, pos_);
      if (*pos_ != '"') return fail(ParseErrorCode::key_not_string, pos_);
      bool raw_text = false;
      if (!read_key_and_colon(false, raw_text)) return false;
      goto read_value;
    }
    if (*pos_ != '}') return fail(ParseErrorCode::unexpected_byte, pos_);
    ++pos_;
    ++allowance_;
    // Members are handed over in input order, so a repeated key keeps its
    // last value.
    const auto first = pending_.members.begin() + container.first_pending;
    JsonValue object = JsonValue::make_object(arena_, {first, pending_.members.end()});
    pending_.members.erase(first, pending_.members.end());
    current_slot(result) = std::move(object);
    goto value_done;
  }
}

ParseResult parse_into(std::span<char> input, JsonDocument document) {
  // Room for the pending values of a typical document of this size, up to
  // 1 MiB each, so the stacks seldom grow by copying; only the part in use is
  // ever touched, and a small input takes no more than a page or two.
  PendingStacks pending;
  pending.elements.reserve(std::min<std::size_t>(input.size() / 16 + 16, 1 << 16));
  pending.members.reserve(std::min<std::size_t>(input.size() / 32 + 16, 1 << 15));
  Reader reader(input, document.arena(), pending);
  JsonValue root;
  if (!reader.read_document(root)) return ParseResult(reader.error());
  document.root() = std::move(root);
  return ParseResult(std::move(document));
}

}  // namespace

ParseResult parse_json(std::string_view input) {
  // The document keeps its own copy of the input, which its strings are
  // decoded into; the arena's first block holds that and the values of a
  // typical document, and untouched bytes cost no pages.
  JsonDocument document(std::min<std::size_t>(input.size(), std::size_t{16} << 20) * 3 + 1024);
  char* text = document.arena().allocate_array<char>(input.size());
  if (!input.empty()) std::memcpy(text, input.data(), input.size());
  return parse_into({text, input.size()}, std::move(document));
}

ParseResult parse_json_in_place(std::span<char> input, std::span<std::byte> lent) {
  return parse_into(input, JsonDocument(lent));
}

}  // namespace obrelix::json
