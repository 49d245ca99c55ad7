// Rows read ahead on a thread of their own: every row in its order, whatever the batch size, the
// source's error after the rows before it, and a reader that stops early stops the thread.
#include "db/jetfile/read_ahead.h"

#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <string>

namespace cs::test {
namespace {

using cs::jetfile::Value;

// Rows numbered from 0, with a text that makes each row's values own memory; fails at row
// `fail_at`, never ends when `rows` is negative.
class Numbered : public cs::jetfile::RowSource {
 public:
  Numbered(long rows, long fail_at = -1) : rows_(rows), fail_at_(fail_at) {}
  bool Next(std::vector<Value>& row) override {
    if (next_ == fail_at_) throw std::runtime_error("row " + std::to_string(next_) + " does not read");
    if (rows_ >= 0 && next_ >= rows_) return false;
    row = {static_cast<std::int32_t>(next_), std::u16string(40, static_cast<char16_t>(u'a' + next_ % 26))};
    ++next_;
    ++read;
    return true;
  }
  std::atomic<long> read{0};

 private:
  long rows_, fail_at_;
  long next_ = 0;
};

TEST(ReadAheadRows, EveryRowInItsOrder) {
  for (const long rows : {0L, 1L, 6L, 7L, 8L, 1000L}) {
    SCOPED_TRACE(rows);
    Numbered source(rows);
    cs::db::jetfile::ReadAheadRows ahead(source, 7, 2);
    std::vector<Value> row;
    long n = 0;
    while (ahead.Next(row)) {
      ASSERT_EQ(std::get<std::int32_t>(row.at(0)), n);
      ASSERT_EQ(std::get<std::u16string>(row.at(1)), std::u16string(40, static_cast<char16_t>(u'a' + n % 26)));
      ++n;
    }
    EXPECT_EQ(n, rows);
    EXPECT_FALSE(ahead.Next(row));
    EXPECT_FALSE(ahead.Rewind());
  }
}

TEST(ReadAheadRows, TheSourcesErrorComesAfterTheRowsBeforeIt) {
  Numbered source(-1, 20);
  cs::db::jetfile::ReadAheadRows ahead(source, 8, 2);
  std::vector<Value> row;
  long n = 0;
  try {
    while (ahead.Next(row)) ++n;
    ADD_FAILURE() << "the rows ended without the error";
  } catch (const std::runtime_error& e) {
    EXPECT_STREQ(e.what(), "row 20 does not read");
  }
  // The batch that was being filled when the source failed is not handed over.
  EXPECT_EQ(n, 16);
}

TEST(ReadAheadRows, AReaderThatStopsEarlyStopsTheReading) {
  Numbered endless(-1);
  {
    cs::db::jetfile::ReadAheadRows ahead(endless, 16, 3);
    std::vector<Value> row;
    for (int i = 0; i < 5; ++i) ASSERT_TRUE(ahead.Next(row));
  }
  // No more than the batches held, the one being handed over and the one being filled.
  EXPECT_LE(endless.read.load(), 16 * 5);
}

}  // namespace
}  // namespace cs::test
