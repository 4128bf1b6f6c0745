#include "support/fake_platform.hpp"

#include <algorithm>
#include <cstring>
#include <utility>

#include "files/paths.hpp"

namespace obrelix::fake {

using platform::FailureClass;
using platform::FailureKind;
using platform::FsFailure;
using platform::ReadOutcome;
using platform::Status;

namespace {

constexpr FsFailure nul_failure{FailureKind::path_has_nul, FailureClass::other, 0};
constexpr FsFailure not_a_directory_failure{FailureKind::os_error, FailureClass::other, 20};
constexpr FsFailure is_a_directory_failure{FailureKind::os_error, FailureClass::other, 21};

bool has_nul(std::string_view path) {
  return path.find('\0') != std::string_view::npos;
}

}  // namespace

void FakePlatform::add_directory(std::string_view path) {
  entries_[key(path)] = Entry{true, {}};
}

void FakePlatform::add_file(std::string_view path, std::string_view content) {
  entries_[key(path)] = Entry{false, std::string(content)};
}

bool FakePlatform::is_directory(std::string_view path) const {
  if (path.empty() || is_root(path)) return true;
  const auto found = entries_.find(key(path));
  return found != entries_.end() && found->second.directory;
}

std::optional<std::string> FakePlatform::file(std::string_view path) const {
  const auto found = entries_.find(key(path));
  if (found == entries_.end() || found->second.directory) return std::nullopt;
  return found->second.content;
}

std::vector<std::string> FakePlatform::entries() const {
  std::vector<std::string> names;
  for (const auto& [name, entry] : entries_) names.push_back(entry.directory ? name + "/" : name);
  return names;
}

std::vector<std::string> FakePlatform::calls_of(std::string_view operation) const {
  std::vector<std::string> matching;
  std::copy_if(calls_.begin(), calls_.end(), std::back_inserter(matching),
               [&](const std::string& call) { return call.starts_with(operation); });
  return matching;
}

std::optional<FsFailure> FakePlatform::record(std::string call) {
  calls_.push_back(call);
  // The earliest failure set for this call comes first.
  const auto found = failures_.lower_bound(call);
  if (found == failures_.end() || found->first != call) return std::nullopt;
  const FsFailure failure = found->second;
  failures_.erase(found);
  return failure;
}

// Trailing separators do not change which entry a path names.
std::string FakePlatform::key(std::string_view path) const {
  const std::string_view separators = style_ == platform::PathStyle::windows ? "\\/" : "/";
  while (!path.empty() && !is_root(path) &&
         separators.find(path.back()) != std::string_view::npos) {
    path.remove_suffix(1);
  }
  return std::string(path);
}

bool FakePlatform::is_root(std::string_view path) const {
  return !path.empty() && !files::parent_path(style_, path).has_value();
}

std::optional<FsFailure> FakePlatform::parent_problem(std::string_view path) const {
  const std::optional<std::string_view> parent = files::parent_path(style_, path);
  if (!parent.has_value() || is_directory(*parent)) return std::nullopt;
  return file(*parent).has_value() ? not_a_directory_failure : not_found_failure;
}

platform::StdinRead FakePlatform::read_stdin(std::span<std::byte> destination) noexcept {
  calls_.push_back("read_stdin " + std::to_string(destination.size()));
  if (stdin_.empty()) return {ReadOutcome::end_of_input, 0};
  StdinReply& reply = stdin_.front();
  if (reply.outcome != ReadOutcome::data) {
    const ReadOutcome outcome = reply.outcome;
    stdin_.pop_front();
    return {outcome, 0};
  }
  const std::size_t count = std::min(destination.size(), reply.bytes.size());
  std::memcpy(destination.data(), reply.bytes.data(), count);
  reply.bytes.erase(0, count);
  if (reply.bytes.empty()) stdin_.pop_front();
  return {ReadOutcome::data, count};
}

platform::EnvRead FakePlatform::read_environment(std::string_view name) noexcept {
  calls_.push_back("read_environment " + std::string(name));
  return environment_;
}

std::int64_t FakePlatform::read_clock() noexcept {
  calls_.push_back("read_clock");
  return clock_;
}

std::uint32_t FakePlatform::process_id() noexcept {
  calls_.push_back("process_id");
  return pid_;
}

Status FakePlatform::create_directory(std::string_view path) noexcept {
  if (auto failure = record("create_directory " + std::string(path))) return *failure;
  if (has_nul(path)) return nul_failure;
  if (path.empty() || is_root(path) || entries_.contains(key(path))) return exists_failure;
  if (auto problem = parent_problem(path)) return *problem;
  add_directory(path);
  return Status::success();
}

bool FakePlatform::is_existing_directory(std::string_view path) noexcept {
  calls_.push_back("is_existing_directory " + std::string(path));
  return !has_nul(path) && is_directory(path);
}

Status FakePlatform::write_temporary_file(std::string_view path,
                                          std::span<const std::byte> bytes) noexcept {
  const std::optional<FsFailure> injected = record("write_temporary_file " + std::string(path));
  if (has_nul(path)) return nul_failure;
  if (auto problem = parent_problem(path)) return *problem;
  if (is_directory(path)) return is_a_directory_failure;
  if (injected.has_value()) {
    add_file(path, "");
    return *injected;
  }
  add_file(path, std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
  return Status::success();
}

Status FakePlatform::replace_file(std::string_view from, std::string_view to) noexcept {
  if (auto failure = record("replace_file " + std::string(from) + " " + std::string(to))) {
    return *failure;
  }
  if (has_nul(from) || has_nul(to)) return nul_failure;
  const auto source = entries_.find(key(from));
  if (source == entries_.end() || source->second.directory) return not_found_failure;
  if (is_directory(to)) return is_a_directory_failure;
  if (auto problem = parent_problem(to)) return *problem;
  Entry moved = std::move(source->second);
  entries_.erase(source);
  entries_[key(to)] = std::move(moved);
  return Status::success();
}

Status FakePlatform::delete_file(std::string_view path) noexcept {
  if (auto failure = record("delete_file " + std::string(path))) return *failure;
  if (has_nul(path)) return nul_failure;
  const auto found = entries_.find(key(path));
  if (found == entries_.end()) return not_found_failure;
  if (found->second.directory) return is_a_directory_failure;
  entries_.erase(found);
  return Status::success();
}

}  // namespace obrelix::fake
