#include "platform/file_system.h"

namespace cs::platform {
namespace {

class FileErrorCategoryImpl : public std::error_category {
 public:
  const char* name() const noexcept override { return "file"; }
  std::string message(int value) const override {
    switch (static_cast<FileError>(value)) {
      case FileError::kNotRegularFile:
        return "Not a regular file";
      case FileError::kEndOfFile:
        return "Unexpected end of file";
    }
    return "Unknown file error";
  }
};

}  // namespace

const std::error_category& FileErrorCategory() {
  static const FileErrorCategoryImpl category;
  return category;
}

std::error_code make_error_code(FileError e) { return {static_cast<int>(e), FileErrorCategory()}; }

}  // namespace cs::platform
