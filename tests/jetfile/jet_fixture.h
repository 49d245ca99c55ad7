// Reading the shared Jet 4 fixture files into memory for the format tests: their pages, their
// catalog and the rows of a table, through the layer's own parsers.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "jetfile/data_page.h"
#include "jetfile/format.h"
#include "jetfile/page_reader.h"
#include "jetfile/row.h"
#include "jetfile/table_definition.h"

namespace cs::jetfile::test {

inline std::filesystem::path JetFixtures() {
  return std::filesystem::path(SHARED_DIR) / "fixtures" / "jet";
}

// A whole file in memory, read page by page.
class JetFile {
 public:
  explicit JetFile(const std::filesystem::path& path) : path_(path) {
    std::ifstream in(path, std::ios::binary);
    std::error_code error;
    auto size = std::filesystem::file_size(path, error);
    bytes_.resize(error ? 0 : size);
    if (error ||
        !in.read(reinterpret_cast<char*>(bytes_.data()), static_cast<std::streamsize>(size))) {
      ADD_FAILURE() << "cannot read " << path;
      bytes_.clear();
    }
  }

  std::size_t PageCount() const { return bytes_.size() / kPageSize; }
  bool IsJet4() const { return bytes_.size() > 0x14 && bytes_[0x14] == 0x01; }
  const std::filesystem::path& path() const { return path_; }

  Page ReadPage(PageNumber n) const {
    if (n >= PageCount()) {
      throw FormatError("page " + std::to_string(n) + " is past the end of the file");
    }
    Page p;
    std::copy_n(bytes_.begin() + static_cast<std::ptrdiff_t>(n) * kPageSize, kPageSize, p.begin());
    return p;
  }
  PageReader Reader() const {
    return [this](PageNumber n) { return ReadPage(n); };
  }

  // A table's data pages in page order: the data pages whose owner is its definition page.
  std::vector<PageNumber> DataPagesOf(PageNumber definition) const {
    std::vector<PageNumber> pages;
    for (PageNumber n = 0; n < PageCount(); ++n) {
      const std::uint8_t* p = bytes_.data() + std::size_t{n} * kPageSize;
      if (p[0] == kDataPageType && GetU32(p + 4) == definition) pages.push_back(n);
    }
    return pages;
  }

  struct TableRow {
    RowPointer where;
    Bytes bytes;
  };
  std::vector<TableRow> RowsOf(PageNumber definition) const {
    std::vector<TableRow> rows;
    std::vector<PageNumber> pages = DataPagesOf(definition);
    for (RowPointer at : TableScanOrder(pages, Reader())) {
      Page p = ReadPage(at.page);
      auto bytes = RowBytes(p, at.page, at.row);
      rows.push_back({at, Bytes(bytes.begin(), bytes.end())});
    }
    return rows;
  }

  // The user tables of the catalog: name -> definition page.
  std::map<std::u16string, PageNumber> UserTables() const { return Tables(false); }

  // The tables of the catalog, system tables included (when `system`): name -> definition page.
  std::map<std::u16string, PageNumber> Tables(bool system) const {
    TableDefinition catalog = ReadTableDefinition(2, Reader());
    auto column = [&](const std::u16string& name) {
      for (std::size_t i = 0; i < catalog.columns.size(); ++i) {
        if (catalog.columns[i].name == name) return i;
      }
      ADD_FAILURE() << "the catalog has no such column";
      return std::size_t{0};
    };
    std::size_t id = column(u"Id"), type = column(u"Type"), flags = column(u"Flags"),
                name = column(u"Name");
    std::map<std::u16string, PageNumber> tables;
    for (const TableRow& r : RowsOf(2)) {
      std::vector<Value> v = DecodeRow(catalog, r.bytes);
      if (IsNull(v[type]) || std::get<std::int16_t>(v[type]) != 1) continue;
      if (!system && !IsNull(v[flags]) && std::get<std::int32_t>(v[flags]) != 0) continue;
      tables[std::get<std::u16string>(v[name])] =
          static_cast<PageNumber>(std::get<std::int32_t>(v[id])) & 0x00FFFFFF;
    }
    return tables;
  }

 private:
  std::filesystem::path path_;
  Bytes bytes_;
};

// Every plain (not RC4-encoded) Jet 4 fixture file.
inline std::vector<std::filesystem::path> Jet4Fixtures() {
  std::vector<std::filesystem::path> files;
  for (const auto& dir :
       {JetFixtures(), JetFixtures() / "current", JetFixtures() / "access-made"}) {
    for (const auto& e : std::filesystem::directory_iterator(dir)) {
      if (e.path().extension() != ".mdb") continue;
      if (e.path().filename().string().find("ENCODED") != std::string::npos) continue;
      if (JetFile(e.path()).IsJet4()) files.push_back(e.path());
    }
  }
  std::sort(files.begin(), files.end());
  return files;
}

// UTF-8 of text, for messages and the dump (the fixtures' text lies in the Basic Multilingual
// Plane).
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

}  // namespace cs::jetfile::test
