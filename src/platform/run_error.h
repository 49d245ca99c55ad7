// The one run-time error type of the program. The database layer, the registry, the file layer
// and the conversions throw it; only the procedure guard (app/guard.h) catches it. It carries a
// number and a description in the manner of the Windows run-time: small positive numbers are the
// run-time library's own (6 Overflow, 13 Type mismatch, 75 Path/File access error), negative ones
// are ADO's HRESULTs.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace cs {

class RunError : public std::runtime_error {
 public:
  RunError(std::int32_t number, std::string description)
      : std::runtime_error(description), number_(number), description_(std::move(description)) {}

  std::int32_t number() const { return number_; }
  const std::string& description() const { return description_; }

 private:
  std::int32_t number_;
  std::string description_;
};

// Numbers of the run-time library that the program raises itself.
namespace err {
inline constexpr std::int32_t kOverflow = 6;
inline constexpr std::int32_t kTypeMismatch = 13;
inline constexpr std::int32_t kBadFileName = 52;
inline constexpr std::int32_t kFileNotFound = 53;
inline constexpr std::int32_t kPermissionDenied = 70;
inline constexpr std::int32_t kPathFileAccess = 75;
inline constexpr std::int32_t kPathNotFound = 76;
inline constexpr std::int32_t kFileAlreadyExists = 58;
inline constexpr std::int32_t kInvalidUseOfNull = 94;
}  // namespace err

}  // namespace cs
