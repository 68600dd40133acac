#include "platform/base/status.h"

namespace mv {

const char* status_kind_name(StatusKind kind) {
  switch (kind) {
    case StatusKind::Ok: return "OK";
    case StatusKind::NotFound: return "NotFound";
    case StatusKind::Corrupt: return "Corrupt";
    case StatusKind::IoError: return "IoError";
    case StatusKind::Locked: return "Locked";
    case StatusKind::ReadOnly: return "ReadOnly";
    case StatusKind::InvalidArgument: return "InvalidArgument";
    case StatusKind::NotSupported: return "NotSupported";
    case StatusKind::Cancelled: return "Cancelled";
  }
  return "?";
}

Status Status::locked(std::string msg) {
  if (msg.rfind("SHARING", 0) != 0) msg = "SHARING: " + msg;
  return Status(StatusKind::Locked, std::move(msg));
}

std::string Status::to_string() const {
  if (is_ok()) return "OK";
  return std::string(status_kind_name(kind_)) + ": " + msg_;
}

}  // namespace mv
