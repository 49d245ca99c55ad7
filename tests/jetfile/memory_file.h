// Test support for the Jet 4 layer: a RandomAccessFile held in memory, and the shared Jet
// fixtures loaded into one.
#pragma once

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>
#include <vector>

#include "jetfile/format.h"
#include "platform/file_system.h"

namespace cs::jetfile::test {

// A file in memory. `fail_writes` makes every write fail, having changed nothing.
class MemoryFile : public platform::RandomAccessFile {
 public:
  explicit MemoryFile(std::vector<std::uint8_t> bytes = {}) : bytes(std::move(bytes)) {}

  std::error_code ReadAt(std::uint64_t offset, std::span<std::uint8_t> out) const override {
    if (offset > bytes.size() || bytes.size() - offset < out.size()) {
      return platform::FileError::kEndOfFile;
    }
    std::copy_n(bytes.begin() + static_cast<std::ptrdiff_t>(offset), out.size(), out.begin());
    return {};
  }
  std::error_code WriteAt(std::uint64_t offset, std::span<const std::uint8_t> in) override {
    if (fail_writes) return std::make_error_code(std::errc::no_space_on_device);
    if (bytes.size() < offset + in.size()) bytes.resize(offset + in.size());
    std::copy(in.begin(), in.end(), bytes.begin() + static_cast<std::ptrdiff_t>(offset));
    ++writes;
    return {};
  }
  std::error_code Size(std::uint64_t& size) const override {
    size = bytes.size();
    return {};
  }
  std::error_code Sync() override { return {}; }

  Page PageAt(PageNumber n) const {
    Page p;
    std::copy_n(bytes.begin() + static_cast<std::ptrdiff_t>(n) * kPageSize, kPageSize, p.begin());
    return p;
  }

  std::vector<std::uint8_t> bytes;
  bool fail_writes = false;
  int writes = 0;
};

inline std::filesystem::path JetFixture(const std::string& name) {
  return std::filesystem::path(SHARED_DIR) / "fixtures" / "jet" / name;
}

// The bytes of a fixture (its first `limit` bytes at most); empty when it cannot be read.
inline std::vector<std::uint8_t> ReadFixture(const std::string& name,
                                             std::size_t limit = SIZE_MAX) {
  std::error_code ec;
  const auto size = std::filesystem::file_size(JetFixture(name), ec);
  if (ec) return {};
  std::vector<std::uint8_t> bytes(std::min<std::uintmax_t>(size, limit));
  std::ifstream in(JetFixture(name), std::ios::binary);
  in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  if (in.gcount() != static_cast<std::streamsize>(bytes.size())) return {};
  return bytes;
}

// Every Jet 4 fixture, by its name under fixtures/jet/.
inline const std::vector<std::string>& Jet4FixtureNames() {
  static const std::vector<std::string> names = {
      "ACEDATA0307.mdb",
      "ACEDATA0307-ENCODED.mdb",
      "ACEMTD0315.mdb",
      "CUSTOMDATA.mdb",
      "ACEDATA0407-NOPW.mdb",
      "ACEDATA0407-OTHERPW.mdb",
      "TYPES_V2000.mdb",
      "current/YWCURRENT.mdb",
      "current/YWCURRENT-ACCESS.mdb",
      "access-made/V2000-PASSWORD.mdb",
      "access-made/V2000-ENCODED.mdb",
      "access-made/V2003-PASSWORD.mdb",
      "access-made/V2003-NOPASSWORD.mdb",
      "access-made/V2003-TEST.mdb",
  };
  return names;
}

}  // namespace cs::jetfile::test
