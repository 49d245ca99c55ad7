// How a table's writer makes the rows of a source into rows of the table, and proves before
// anything is written that each fits: the source's values in the stored order, AutoNumbers
// numbered, a quick proof of a row's size where it can give one, and long values measured
// without being stored.
#pragma once

#include <algorithm>
#include <cstdint>
#include <limits>
#include <span>
#include <string>
#include <tuple>
#include <vector>

#include "jetfile/long_value.h"
#include "jetfile/row.h"
#include "jetfile/row_source.h"
#include "jetfile/table_definition.h"
#include "jetfile/table_scan.h"

namespace cs::jetfile {

// The field a long value would leave in its row, stored nowhere: the first reading's stand-in
// for LongValueWriter, deciding inline or not by the same rule.
class MeasuringStore : public LongValueStore {
 public:
  Bytes Store(std::span<const std::uint8_t> data, std::size_t room) override {
    if (data.size() > kMaxLongValueLength) {
      throw FormatError("a long value of " + std::to_string(data.size()) +
                        " bytes is larger than a reference can state");
    }
    if (data.size() <= kMaxInlineLongValue && kLongValueReferenceSize + data.size() <= room) {
      return Bytes(kLongValueReferenceSize + data.size());
    }
    return Bytes(kLongValueReferenceSize);
  }
};

// A quick proof that EncodeRow takes a row: every value of its column's type, text within its
// column, and the row's largest possible size within a page. Rows it cannot vouch for (fixed
// text or binary, GUID, Numeric, text starting with a byte-order mark, anything unusual) go
// through EncodeRow itself; so does the first row, which finds any fault of the definition.
class QuickFit {
 public:
  explicit QuickFit(const TableDefinition& def) : def_(def) {
    std::size_t fixed_end = 0;
    for (const ColumnDefinition& c : def.columns) {
      if (!c.IsFixed() || c.type == ColumnType::kBoolean) continue;
      const std::size_t size = FixedSizeOf(c.type);
      if (size == 0 || size != c.length) usable_ = false;
      fixed_end = std::max(fixed_end, std::size_t{c.fixed_offset} + c.length);
    }
    // Column count, fixed area, null mask, variable-entry count, end of data and offsets.
    base_ = 2 + fixed_end + (std::size_t{def.max_columns} + 7) / 8 + 4 +
            2 * std::size_t{def.variable_column_count};
  }

  bool Fits(const std::vector<Value>& stored) const {
    if (!usable_ || stored.size() != def_.columns.size()) return false;
    std::size_t size = base_;
    for (std::size_t i = 0; i < stored.size(); ++i) {
      const ColumnDefinition& c = def_.columns[i];
      const Value& v = stored[i];
      if (IsNull(v)) continue;
      switch (c.type) {
        case ColumnType::kBoolean:
          if (!std::holds_alternative<bool>(v)) return false;
          break;
        case ColumnType::kByte:
          if (!std::holds_alternative<std::uint8_t>(v)) return false;
          break;
        case ColumnType::kInteger:
          if (!std::holds_alternative<std::int16_t>(v)) return false;
          break;
        case ColumnType::kLong:
          if (!std::holds_alternative<std::int32_t>(v)) return false;
          break;
        case ColumnType::kCurrency:
          if (!std::holds_alternative<Currency>(v)) return false;
          break;
        case ColumnType::kSingle:
          if (!std::holds_alternative<float>(v)) return false;
          break;
        case ColumnType::kDouble:
          if (!std::holds_alternative<double>(v)) return false;
          break;
        case ColumnType::kDateTime:
          if (!std::holds_alternative<DateTime>(v)) return false;
          break;
        case ColumnType::kText: {
          const auto* text = std::get_if<std::u16string>(&v);
          if (text == nullptr || c.IsFixed() || text->size() * 2 > c.length ||
              (!text->empty() && (*text)[0] == 0xFEFF)) {
            return false;
          }
          size += 2 * text->size() + 2;
          break;
        }
        case ColumnType::kMemo: {
          const auto* text = std::get_if<std::u16string>(&v);
          if (text == nullptr || (!text->empty() && (*text)[0] == 0xFEFF) ||
              text->size() > kMaxLongValueLength / 2) {
            return false;
          }
          size += kLongValueReferenceSize + kMaxInlineLongValue;
          break;
        }
        case ColumnType::kOle: {
          const auto* bytes = std::get_if<Bytes>(&v);
          if (bytes == nullptr || bytes->size() > kMaxLongValueLength) return false;
          size += kLongValueReferenceSize + kMaxInlineLongValue;
          break;
        }
        default:
          return false;
      }
      if (!c.IsFixed() && c.type != ColumnType::kText && c.type != ColumnType::kMemo &&
          c.type != ColumnType::kOle && c.type != ColumnType::kBoolean) {
        size += 8;  // a number kept in a variable column, as system tables do
      }
    }
    return size <= kMaxRowSize;
  }

 private:
  const TableDefinition& def_;
  std::size_t base_ = 0;
  bool usable_ = true;
};

// What both readings share: how a row of the source becomes a row of the table.
class RowShaper {
 public:
  explicit RowShaper(const TableDefinition& def) : def_(def), by_number_(ColumnsByNumber(def)) {
    for (std::size_t i = 0; i < by_number_.size(); ++i) {
      const ColumnDefinition& c = def.columns[by_number_[i]];
      if (c.IsAutoNumber() && c.type == ColumnType::kLong) autonumbers_.push_back(i);
    }
    in_number_order_ = std::is_sorted(by_number_.begin(), by_number_.end());
    counter_ = def.next_autonumber;
    largest_ = def.next_autonumber;
  }

  // Checks the row's width and numbers its Null AutoNumber values.
  void Prepare(std::vector<Value>& row, std::uint64_t ordinal) {
    if (row.size() != by_number_.size()) {
      throw FormatError(RowName(ordinal) + " has " + std::to_string(row.size()) +
                        " values for the table's " + std::to_string(by_number_.size()) +
                        " columns");
    }
    for (std::size_t i : autonumbers_) {
      if (IsNull(row[i])) {
        if (counter_ >= static_cast<std::uint32_t>(std::numeric_limits<std::int32_t>::max())) {
          throw FormatError(RowName(ordinal) + ": the table's AutoNumber has run out");
        }
        row[i] = static_cast<std::int32_t>(++counter_);
      }
      if (const auto* v = std::get_if<std::int32_t>(&row[i]); v != nullptr && *v > 0) {
        largest_ = std::max(largest_, static_cast<std::uint32_t>(*v));
      }
    }
  }

  // The row's values moved into the order of def.columns, as EncodeRow takes them.
  void ToStored(std::vector<Value>& row, std::vector<Value>& stored) const {
    if (in_number_order_) {
      stored.swap(row);
      return;
    }
    stored.resize(row.size());
    for (std::size_t i = 0; i < row.size(); ++i) stored[by_number_[i]] = std::move(row[i]);
  }

  // The writers (by long_value_maps entry) of the row's non-Null long values, in the order
  // EncodeRow stores them.
  std::vector<std::size_t> LongValueOrder(const std::vector<Value>& stored) const {
    std::vector<std::size_t> order;
    for (const auto& [variable_index, column, writer] : long_columns_) {
      if (!IsNull(stored[column])) order.push_back(writer);
    }
    return order;
  }

  void SetLongColumns(std::vector<std::tuple<std::uint16_t, std::size_t, std::size_t>> columns) {
    long_columns_ = std::move(columns);
    std::sort(long_columns_.begin(), long_columns_.end());
  }

  const std::vector<std::size_t>& by_number() const { return by_number_; }
  std::uint32_t counter() const { return std::max(counter_, largest_); }

 private:
  const TableDefinition& def_;
  std::vector<std::size_t> by_number_;
  bool in_number_order_ = false;
  std::vector<std::size_t> autonumbers_;
  // (variable index, position in def.columns, writer) of each Memo/OLE column.
  std::vector<std::tuple<std::uint16_t, std::size_t, std::size_t>> long_columns_;
  std::uint32_t counter_ = 0;
  std::uint32_t largest_ = 0;
};

}  // namespace cs::jetfile
