#include "json/reader.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace obrelix::json {
namespace {

namespace fs = std::filesystem;

// Files of the public conformance suite: y_ must be accepted, n_ refused, and
// each i_ file is decided by our own reading rules, written down here.
struct SuiteFile {
  std::string name;
  std::string bytes;
};

std::vector<SuiteFile> suite_files(std::string_view prefix) {
  std::vector<SuiteFile> files;
  const fs::path folder = fs::path(OBRELIX_JSON_TEST_SUITE) / "test_parsing";
  std::error_code error;
  if (!fs::is_directory(folder, error)) return files;
  for (const fs::directory_entry& entry : fs::directory_iterator(folder)) {
    const std::string name = entry.path().filename().string();
    if (name.rfind(prefix, 0) != 0) continue;
    std::ifstream in(entry.path(), std::ios::binary);
    files.push_back({name, std::string(std::istreambuf_iterator<char>(in), {})});
  }
  return files;
}

#define SKIP_WITHOUT_SUITE(files)                                                      \
  if ((files).empty()) {                                                               \
    GTEST_SKIP() << "JSON conformance suite not found at " << OBRELIX_JSON_TEST_SUITE; \
  }

TEST(JsonTestSuite, AcceptsEveryYFile) {
  const std::vector<SuiteFile> files = suite_files("y_");
  SKIP_WITHOUT_SUITE(files);
  for (const SuiteFile& file : files) {
    ParseResult result = parse_json(file.bytes);
    EXPECT_TRUE(result.ok()) << file.name << ": refused with code "
                             << static_cast<int>(result.error().code) << " at "
                             << result.error().offset;
  }
}

TEST(JsonTestSuite, RefusesEveryNFile) {
  const std::vector<SuiteFile> files = suite_files("n_");
  SKIP_WITHOUT_SUITE(files);
  for (const SuiteFile& file : files) {
    EXPECT_FALSE(parse_json(file.bytes).ok()) << file.name << ": accepted";
  }
}

TEST(JsonTestSuite, DecidesEveryIFileByOurRules) {
  const std::vector<SuiteFile> files = suite_files("i_");
  SKIP_WITHOUT_SUITE(files);
  // Accepted: numbers the floating conversion can represent (underflow gives
  // 0.0, integers beyond 64 bits become floating). Everything else is refused:
  // exponents that overflow, lone or inverted surrogates, ill-formed UTF-8,
  // byte-order marks, UTF-16 (its NUL bytes are not whitespace), and nesting
  // past 127 containers.
  const std::set<std::string> accepted = {
      "i_number_double_huge_neg_exp.json",   "i_number_real_underflow.json",
      "i_number_too_big_neg_int.json",       "i_number_too_big_pos_int.json",
      "i_number_very_big_negative_int.json",
  };
  const std::map<std::string, ParseErrorCode> refused = {
      {"i_number_huge_exp.json", ParseErrorCode::number_out_of_range},
      {"i_number_neg_int_huge_exp.json", ParseErrorCode::number_out_of_range},
      {"i_number_pos_double_huge_exp.json", ParseErrorCode::number_out_of_range},
      {"i_number_real_neg_overflow.json", ParseErrorCode::number_out_of_range},
      {"i_number_real_pos_overflow.json", ParseErrorCode::number_out_of_range},
      {"i_object_key_lone_2nd_surrogate.json", ParseErrorCode::bad_surrogate},
      {"i_string_1st_surrogate_but_2nd_missing.json", ParseErrorCode::bad_surrogate},
      {"i_string_1st_valid_surrogate_2nd_invalid.json", ParseErrorCode::bad_surrogate},
      {"i_string_UTF-16LE_with_BOM.json", ParseErrorCode::unexpected_byte},
      {"i_string_UTF-8_invalid_sequence.json", ParseErrorCode::invalid_utf8},
      {"i_string_UTF8_surrogate_U+D800.json", ParseErrorCode::invalid_utf8},
      {"i_string_incomplete_surrogate_and_escape_valid.json", ParseErrorCode::bad_surrogate},
      {"i_string_incomplete_surrogate_pair.json", ParseErrorCode::bad_surrogate},
      {"i_string_incomplete_surrogates_escape_valid.json", ParseErrorCode::bad_surrogate},
      {"i_string_invalid_lonely_surrogate.json", ParseErrorCode::bad_surrogate},
      {"i_string_invalid_surrogate.json", ParseErrorCode::bad_surrogate},
      {"i_string_invalid_utf-8.json", ParseErrorCode::invalid_utf8},
      {"i_string_inverted_surrogates_U+1D11E.json", ParseErrorCode::bad_surrogate},
      {"i_string_iso_latin_1.json", ParseErrorCode::invalid_utf8},
      {"i_string_lone_second_surrogate.json", ParseErrorCode::bad_surrogate},
      {"i_string_lone_utf8_continuation_byte.json", ParseErrorCode::invalid_utf8},
      {"i_string_not_in_unicode_range.json", ParseErrorCode::invalid_utf8},
      {"i_string_overlong_sequence_2_bytes.json", ParseErrorCode::invalid_utf8},
      {"i_string_overlong_sequence_6_bytes.json", ParseErrorCode::invalid_utf8},
      {"i_string_overlong_sequence_6_bytes_null.json", ParseErrorCode::invalid_utf8},
      {"i_string_truncated-utf-8.json", ParseErrorCode::invalid_utf8},
      {"i_string_utf16BE_no_BOM.json", ParseErrorCode::unexpected_byte},
      {"i_string_utf16LE_no_BOM.json", ParseErrorCode::unexpected_byte},
      {"i_structure_500_nested_arrays.json", ParseErrorCode::nesting_too_deep},
      {"i_structure_UTF-8_BOM_empty_object.json", ParseErrorCode::unexpected_byte},
  };
  for (const SuiteFile& file : files) {
    ParseResult result = parse_json(file.bytes);
    if (accepted.contains(file.name)) {
      EXPECT_TRUE(result.ok()) << file.name << ": refused";
      continue;
    }
    const auto decision = refused.find(file.name);
    if (decision == refused.end()) {
      ADD_FAILURE() << file.name << ": no decision written down for this file";
    } else if (result.ok()) {
      ADD_FAILURE() << file.name << ": accepted";
    } else {
      EXPECT_EQ(result.error().code, decision->second) << file.name;
    }
  }
}

}  // namespace
}  // namespace obrelix::json
