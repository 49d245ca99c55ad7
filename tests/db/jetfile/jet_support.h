// Helpers for the tests of Jet files: the fixture files, a temporary folder, the tables a read
// delivers (each value as text) and the expected rows of a fixture.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "db/jetfile/reader.h"
#include "test_support.h"
#include "db/jetfile/values.h"

namespace cs::test {

namespace jetfile = db::jetfile;

inline std::filesystem::path JetFixture(const std::string& name) {
  return std::filesystem::path(SHARED_DIR) / "fixtures" / "jet" / name;
}

inline std::string FileBytes(const std::filesystem::path& p) { return ReadFile(p); }
inline void PutFile(const std::filesystem::path& p, const std::string& bytes) { WriteFile(p, bytes); }

// A temporary folder, removed with what it holds at the end of the test.
class TempDir {
 public:
  TempDir() {
    std::string tmpl = (std::filesystem::temp_directory_path() / "cs-jet-XXXXXX").string();
    root_ = mkdtemp(tmpl.data());
  }
  ~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(root_, ec);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  std::filesystem::path operator/(const std::string& name) const { return root_ / name; }
  const std::filesystem::path& root() const { return root_; }
  // A fixture copied into the folder (fixtures are read-only).
  std::filesystem::path Copy(const std::string& fixture) const {
    const auto to = root_ / std::filesystem::path(fixture).filename();
    PutFile(to, FileBytes(JetFixture(fixture)));
    return to;
  }
  // An executable shell script standing in for the reader program.
  std::filesystem::path Script(const std::string& name, const std::string& body) const {
    const auto path = root_ / name;
    PutFile(path, "#!/bin/sh\n" + body + "\n");
    std::filesystem::permissions(path, std::filesystem::perms::owner_all);
    return path;
  }

 private:
  std::filesystem::path root_;
};

struct ReadTable {
  jetfile::wire::TableInfo info;
  std::vector<std::vector<std::string>> rows;
  std::uint32_t end_count = 0;
};

// A value as text: \N for Null, integers and currency exactly, reals so that strtod gives them
// back, dates and text as they are, bytes as hex.
inline std::string ValueText(const jetfile::wire::FieldValue& v) {
  namespace wire = jetfile::wire;
  if (std::holds_alternative<std::monostate>(v)) return "\\N";
  if (const auto* n = std::get_if<std::int64_t>(&v)) return std::to_string(*n);
  if (const auto* d = std::get_if<double>(&v)) {
    char buf[40];
    std::snprintf(buf, sizeof buf, "%.17g", *d);
    return buf;
  }
  if (const auto* c = std::get_if<wire::Currency>(&v))
    return jetfile::CurrencyText(c->ten_thousandths);
  if (const auto* t = std::get_if<wire::DateTime>(&v)) return std::string(t->text);
  if (const auto* s = std::get_if<wire::Text>(&v)) return std::string(s->utf8);
  std::string hex = "x'";
  for (const char c : std::get<wire::Binary>(v).bytes) {
    char buf[3];
    std::snprintf(buf, sizeof buf, "%02x", static_cast<unsigned char>(c));
    hex += buf;
  }
  return hex + "'";
}

class CollectingSink : public jetfile::TableSink {
 public:
  std::vector<ReadTable> tables;
  void BeginTable(const jetfile::wire::TableInfo& table) override {
    tables.push_back({table, {}, 0});
  }
  void Row(std::span<const jetfile::wire::FieldValue> values) override {
    std::vector<std::string> row;
    for (const auto& v : values) row.push_back(ValueText(v));
    tables.back().rows.push_back(std::move(row));
  }
  void EndTable(const jetfile::wire::TableInfo&, std::uint32_t rows) override {
    tables.back().end_count = rows;
  }
};

inline std::vector<ReadTable> ReadAll(const std::filesystem::path& file,
                                      const jetfile::ReaderOptions& options = {}) {
  CollectingSink sink;
  jetfile::ReadTables(file, file.string(), sink, options);
  return sink.tables;
}

inline const ReadTable* FindTable(const std::vector<ReadTable>& tables, const std::string& name) {
  for (const auto& t : tables) {
    if (t.info.name == name) return &t;
  }
  return nullptr;
}

// The lines of a NAME.expected.tsv, split at tabs (the first line the column names).
inline std::vector<std::vector<std::string>> ReadTsv(const std::string& fixture) {
  std::vector<std::vector<std::string>> out;
  std::istringstream in(FileBytes(JetFixture(fixture)));
  std::string line;
  while (std::getline(in, line)) {
    std::vector<std::string> fields;
    std::size_t start = 0;
    while (true) {
      const auto tab = line.find('\t', start);
      fields.push_back(line.substr(start, tab - start));
      if (tab == std::string::npos) break;
      start = tab + 1;
    }
    out.push_back(std::move(fields));
  }
  return out;
}

// Compares one delivered value with its expected text: reals by value (the file holds doubles),
// Yes/No as the file's 1/0, everything else as text.
inline bool SameValue(const jetfile::wire::ColumnInfo& column, const std::string& got,
                      const std::string& expected) {
  if (got == "\\N" || expected == "\\N") return got == expected;
  if (column.kind == jetfile::ValueKind::kReal)
    return std::strtod(got.c_str(), nullptr) == std::strtod(expected.c_str(), nullptr);
  if (column.jet_type == static_cast<std::uint8_t>(jetfile::JetType::kYesNo)) {
    return (got == "-1" ? "1" : got) == expected;
  }
  return got == expected;
}

// Expects the table's rows to be the fixture's expected rows, value by value, in file order.
inline void ExpectRowsAsTsv(const ReadTable& table, const std::string& tsv) {
  const auto expected = ReadTsv(tsv);
  ASSERT_FALSE(expected.empty());
  ASSERT_EQ(table.info.columns.size(), expected[0].size());
  for (std::size_t c = 0; c < expected[0].size(); ++c)
    EXPECT_EQ(table.info.columns[c].name, expected[0][c]);
  ASSERT_EQ(table.rows.size() + 1, expected.size()) << tsv;
  int mismatches = 0;
  for (std::size_t r = 0; r < table.rows.size() && mismatches < 10; ++r) {
    for (std::size_t c = 0; c < expected[0].size(); ++c) {
      if (!SameValue(table.info.columns[c], table.rows[r][c], expected[r + 1][c])) {
        ADD_FAILURE() << tsv << " row " << r + 1 << " column " << expected[0][c] << ": got "
                      << table.rows[r][c] << ", expected " << expected[r + 1][c];
        ++mismatches;
      }
    }
  }
}

}  // namespace cs::test
