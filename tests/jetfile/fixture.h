// Test support for the Jet 4 layer: the shared Jet fixtures, a RandomAccessFile held in memory,
// a file read whole with its catalog and rows, rows from memory for the writer, a temporary
// folder, and bytes written as hex. The fixtures' dumps are read by readers.h's ParseDumpFile.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <stdexcept>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "jetfile/data_page.h"
#include "jetfile/format.h"
#include "jetfile/page_reader.h"
#include "jetfile/row.h"
#include "jetfile/row_source.h"
#include "jetfile/table_definition.h"
#include "jetfile/table_definition_pages.h"
#include "platform/file_system.h"
#include "readers.h"

namespace cs::jetfile::test {

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

// A fixture's dump ("current/YWCURRENT" for current/YWCURRENT.dump.txt), parsed once a run: the
// current databases' dumps are large and many tests compare with them. Safe from any thread.
inline const cs::test::jetfile::Dump& FixtureDump(const std::string& name) {
  static std::mutex lock;
  static std::map<std::string, cs::test::jetfile::Dump> parsed;
  const std::lock_guard<std::mutex> hold(lock);
  auto at = parsed.find(name);
  if (at == parsed.end()) {
    at = parsed.emplace(name, cs::test::jetfile::ParseDumpFile(JetFixture(name + ".dump.txt"))).first;
  }
  return at->second;
}

// Every Jet 4 fixture, by its name under fixtures/jet/; `encoded` false leaves out the two whose
// pages are RC4-encoded.
inline std::vector<std::string> Jet4FixtureNames(bool encoded = true) {
  std::vector<std::string> names = {
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
  if (!encoded) {
    std::erase_if(names, [](const std::string& n) { return n.find("ENCODED") != n.npos; });
  }
  return names;
}

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

  PageNumber PageCount() const { return static_cast<PageNumber>(bytes.size() / kPageSize); }
  Page PageAt(PageNumber n) const {
    if (n >= PageCount()) {
      throw FormatError("page " + std::to_string(n) + " is past the end of the file");
    }
    Page p;
    std::copy_n(bytes.begin() + static_cast<std::ptrdiff_t>(n) * kPageSize, kPageSize, p.begin());
    return p;
  }
  // Plain pages straight from the bytes (for files whose pages are not encoded).
  PageReader Reader() const {
    return [this](PageNumber n) { return PageAt(n); };
  }

  std::vector<std::uint8_t> bytes;
  bool fail_writes = false;
  int writes = 0;
};

// A fixture in memory, read through the layer's own parsers: its catalog and a table's rows.
class JetFile : public MemoryFile {
 public:
  explicit JetFile(const std::string& name) : MemoryFile(ReadFixture(name)) {
    if (bytes.empty() || bytes.size() % kPageSize != 0) ADD_FAILURE() << "cannot read " << name;
  }

  struct TableRow {
    RowPointer where;
    Bytes bytes;
  };
  // A table's rows in scan order, from the data pages whose owner is its definition page.
  std::vector<TableRow> RowsOf(PageNumber definition) const {
    std::vector<PageNumber> pages;
    for (PageNumber n = 0; n < PageCount(); ++n) {
      const std::uint8_t* p = bytes.data() + std::size_t{n} * kPageSize;
      if (p[0] == kDataPageType && GetU32(p + 4) == definition) pages.push_back(n);
    }
    std::vector<TableRow> rows;
    for (RowPointer at : TableScanOrder(pages, Reader())) {
      const Page p = PageAt(at.page);
      const auto row = RowBytes(p, at.page, at.row);
      rows.push_back({at, Bytes(row.begin(), row.end())});
    }
    return rows;
  }

  // The tables of the catalog, system tables too when `system`: name -> definition page.
  std::map<std::u16string, PageNumber> Tables(bool system = false) const {
    const TableDefinition catalog = ReadTableDefinition(2, Reader());
    auto column = [&](std::u16string_view name) {
      for (std::size_t i = 0; i < catalog.columns.size(); ++i) {
        if (catalog.columns[i].name == name) return i;
      }
      throw std::runtime_error("the catalog has no such column");
    };
    const std::size_t id = column(u"Id"), type = column(u"Type"), flags = column(u"Flags"),
                      name = column(u"Name");
    std::map<std::u16string, PageNumber> tables;
    for (const TableRow& r : RowsOf(2)) {
      const std::vector<Value> v = DecodeRow(catalog, r.bytes);
      if (IsNull(v[type]) || std::get<std::int16_t>(v[type]) != 1) continue;
      if (!system && !IsNull(v[flags]) && std::get<std::int32_t>(v[flags]) != 0) continue;
      tables[std::get<std::u16string>(v[name])] =
          static_cast<PageNumber>(std::get<std::int32_t>(v[id])) & 0x00FFFFFF;
    }
    return tables;
  }
};

// UTF-8 of text in the Basic Multilingual Plane, for messages and dump cells.
inline std::string Utf8(std::u16string_view s) {
  std::string out;
  for (char32_t c : s) {
    if (c < 0x80) {
      out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
      out += {static_cast<char>(0xC0 | (c >> 6)), static_cast<char>(0x80 | (c & 0x3F))};
    } else {
      out += {static_cast<char>(0xE0 | (c >> 12)), static_cast<char>(0x80 | ((c >> 6) & 0x3F)),
              static_cast<char>(0x80 | (c & 0x3F))};
    }
  }
  return out;
}

// A value as the fixtures' dumps print it: \N for Null, Yes/No as 1 or 0, currency with four
// decimals, dates YYYY-MM-DD HH:MM:SS, text escaped. Not for Single, Double or binary values.
inline std::string DumpCell(const Value& v) {
  char buf[48];
  if (IsNull(v)) return "\\N";
  if (const auto* b = std::get_if<bool>(&v)) return *b ? "1" : "0";
  if (const auto* n = std::get_if<std::uint8_t>(&v)) return std::to_string(*n);
  if (const auto* n = std::get_if<std::int16_t>(&v)) return std::to_string(*n);
  if (const auto* n = std::get_if<std::int32_t>(&v)) return std::to_string(*n);
  if (const auto* c = std::get_if<Currency>(&v)) {
    const std::int64_t t = c->ten_thousandths;
    const std::uint64_t m = t < 0 ? 0 - static_cast<std::uint64_t>(t) : static_cast<std::uint64_t>(t);
    std::snprintf(buf, sizeof buf, "%s%llu.%04llu", t < 0 ? "-" : "",
                  static_cast<unsigned long long>(m / 10000),
                  static_cast<unsigned long long>(m % 10000));
    return buf;
  }
  if (const auto* d = std::get_if<DateTime>(&v)) {
    const double whole = std::trunc(d->ole);
    auto ms = static_cast<std::int64_t>(std::llround(std::fabs(d->ole - whole) * 86400000.0));
    auto days = static_cast<std::int64_t>(whole);
    if (ms >= 86400000) ms -= 86400000, days += 1;
    using namespace std::chrono;
    const year_month_day ymd{sys_days{year{1899} / December / 30} + std::chrono::days{days}};
    const std::int64_t s = ms / 1000;
    std::snprintf(buf, sizeof buf, "%04d-%02u-%02u %02lld:%02lld:%02lld",
                  static_cast<int>(ymd.year()), static_cast<unsigned>(ymd.month()),
                  static_cast<unsigned>(ymd.day()), static_cast<long long>(s / 3600),
                  static_cast<long long>(s / 60 % 60), static_cast<long long>(s % 60));
    return buf;
  }
  if (const auto* t = std::get_if<std::u16string>(&v)) {
    std::string out;
    for (char c : Utf8(*t)) {
      if (c == '\t') out += "\\t";
      else if (c == '\n') out += "\\n";
      else if (c == '\r') out += "\\r";
      else if (c == '\\') out += "\\\\";
      else if (static_cast<unsigned char>(c) < 0x20) {
        std::snprintf(buf, sizeof buf, "\\x%02X", static_cast<unsigned char>(c));
        out += buf;
      } else {
        out.push_back(c);
      }
    }
    return out;
  }
  throw std::invalid_argument("no dump form for this value here");
}

using Rows = std::vector<std::vector<Value>>;

// Rows from memory for the writer; `rewinds` false plays a source that can be read only once.
class VectorRows : public RowSource {
 public:
  explicit VectorRows(Rows rows, bool rewinds = true) : rows_(std::move(rows)), rewinds_(rewinds) {}
  bool Next(std::vector<Value>& row) override {
    if (next_ >= rows_.size()) return false;
    row = rows_[next_++];
    return true;
  }
  bool Rewind() override {
    if (!rewinds_) return false;
    next_ = 0;
    return true;
  }

 private:
  Rows rows_;
  bool rewinds_;
  std::size_t next_ = 0;
};

// A folder of its own under the system's temporary folder, gone at the end of the test.
class TempDir {
 public:
  TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "jet-test-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
  }
  ~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  const std::filesystem::path& path() const { return path_; }
  // Writes `bytes` to a file of that name here and returns its path.
  std::string Save(const std::string& name, const std::vector<std::uint8_t>& bytes) const {
    const std::string path = (path_ / name).string();
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + path);
    return path;
  }

 private:
  std::filesystem::path path_;
};

// Bytes written as hex ("7F 3C 40"), for expected keys.
inline Bytes Hex(std::string_view text) {
  Bytes out;
  for (std::size_t i = 0; i + 1 < text.size(); i += 3) {
    out.push_back(
        static_cast<std::uint8_t>(std::stoi(std::string(text.substr(i, 2)), nullptr, 16)));
  }
  return out;
}

inline std::string ToHex(const Bytes& bytes) {
  std::string out;
  char two[4];
  for (std::uint8_t b : bytes) {
    std::snprintf(two, sizeof two, "%02X ", b);
    out += two;
  }
  if (!out.empty()) out.pop_back();
  return out;
}

}  // namespace cs::jetfile::test
