#pragma once
// Errors as values. Every table-layer and file call answers with a Status
// (kind + message naming the file and, where it applies, the offset) or a Result<T>.
#include <cassert>
#include <optional>
#include <string>
#include <utility>
#include <variant>

namespace mv {

enum class StatusKind {
  Ok,
  NotFound,
  Corrupt,
  IoError,
  Locked,  // message begins with "SHARING"
  ReadOnly,
  InvalidArgument,
  NotSupported,
  Cancelled,
};

const char* status_kind_name(StatusKind kind);

class [[nodiscard]] Status {
 public:
  // Provided rather than defaulted: `Status()` then only sets the members, where the
  // value-initialisation of a defaulted one first clears the whole object, on every
  // success returned.
  constexpr Status() noexcept {}
  static Status ok() { return Status(); }
  static Status not_found(std::string msg) { return Status(StatusKind::NotFound, std::move(msg)); }
  static Status corrupt(std::string msg) { return Status(StatusKind::Corrupt, std::move(msg)); }
  static Status io_error(std::string msg) { return Status(StatusKind::IoError, std::move(msg)); }
  // Sharing conflicts: the text always begins with "SHARING" so callers that only see
  // the text still recognise them.
  static Status locked(std::string msg);
  static Status read_only(std::string msg) { return Status(StatusKind::ReadOnly, std::move(msg)); }
  static Status invalid_argument(std::string msg) {
    return Status(StatusKind::InvalidArgument, std::move(msg));
  }
  static Status not_supported(std::string msg) { return Status(StatusKind::NotSupported, std::move(msg)); }
  static Status cancelled(std::string msg) { return Status(StatusKind::Cancelled, std::move(msg)); }

  Status(StatusKind kind, std::string msg) : kind_(kind), msg_(std::move(msg)) {}

  bool is_ok() const { return kind_ == StatusKind::Ok; }
  explicit operator bool() const { return is_ok(); }
  StatusKind kind() const { return kind_; }
  const std::string& message() const { return msg_; }
  // "Corrupt: KUNDEN.DBF: ..." for logs and test output.
  std::string to_string() const;

  // Marks a status as deliberately dropped (e.g. a best-effort cleanup).
  void ignore() const {}

 private:
  StatusKind kind_ = StatusKind::Ok;
  std::string msg_;
};

template <typename T>
class [[nodiscard]] Result {
 public:
  Result(T value) : v_(std::move(value)) {}            // NOLINT: implicit on purpose
  Result(Status status) : v_(std::move(status)) {      // NOLINT
    assert(!std::get<Status>(v_).is_ok() && "Result needs a value or an error");
  }

  bool is_ok() const { return std::holds_alternative<T>(v_); }
  explicit operator bool() const { return is_ok(); }
  const Status& status() const {
    static const Status kOk;
    return is_ok() ? kOk : std::get<Status>(v_);
  }
  T& value() & { return std::get<T>(v_); }
  const T& value() const& { return std::get<T>(v_); }
  T&& value() && { return std::get<T>(std::move(v_)); }
  T* operator->() { return &value(); }
  const T* operator->() const { return &value(); }
  T& operator*() & { return value(); }
  const T& operator*() const& { return value(); }
  T value_or(T fallback) const { return is_ok() ? std::get<T>(v_) : std::move(fallback); }

 private:
  std::variant<T, Status> v_;
};

}  // namespace mv

// Early return on error: MV_RETURN_IF_ERROR(file.write_at(...));
#define MV_RETURN_IF_ERROR(expr)          \
  do {                                    \
    ::mv::Status mv_status_ = (expr);     \
    if (!mv_status_.is_ok()) return mv_status_; \
  } while (0)

#define MV_CONCAT_INNER(a, b) a##b
#define MV_CONCAT(a, b) MV_CONCAT_INNER(a, b)
// MV_ASSIGN_OR_RETURN(auto file, fs.open(...));
#define MV_ASSIGN_OR_RETURN(lhs, expr) MV_ASSIGN_OR_RETURN_IMPL(MV_CONCAT(mv_result_, __LINE__), lhs, expr)
#define MV_ASSIGN_OR_RETURN_IMPL(tmp, lhs, expr) \
  auto tmp = (expr);                             \
  if (!tmp.is_ok()) return tmp.status();         \
  lhs = std::move(tmp).value()
