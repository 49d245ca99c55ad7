// Rows read ahead on a thread of their own while the writer encodes the ones before them: the
// rows of a table written into a Jet file come from the program's database (SQLite reading and
// the conversion into Jet values) as fast as the writer's other core takes them. At most a few
// batches of rows are held at once, whatever the size of the table.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <vector>

#include "jetfile/row_source.h"
#include "platform/worker.h"

namespace cs::db::jetfile {

class ReadAheadRows : public cs::jetfile::RowSource {
 public:
  // `source` is read on the worker only, from now until it ends, fails or this object goes; it
  // must not be used elsewhere meanwhile. An error of `source` reaches the caller of Next.
  explicit ReadAheadRows(cs::jetfile::RowSource& source, std::size_t batch_rows = 256, std::size_t batches = 4);
  // Stops the reading and waits for the worker.
  ~ReadAheadRows() override;
  ReadAheadRows(const ReadAheadRows&) = delete;
  ReadAheadRows& operator=(const ReadAheadRows&) = delete;

  bool Next(std::vector<cs::jetfile::Value>& row) override;
  // Read once: the rows cannot start again.
  bool Rewind() override { return false; }

 private:
  using Batch = std::vector<std::vector<cs::jetfile::Value>>;
  void Read();

  cs::jetfile::RowSource& source_;
  const std::size_t batch_rows_;
  const std::size_t batches_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<Batch> ready_;     // filled batches, oldest first
  std::vector<Batch> spent_;    // batches read, to be filled again
  bool ended_ = false;          // the worker has handed over its last batch
  bool stopped_ = false;        // the reader wants no more rows
  std::exception_ptr failure_;  // why the source ended early
  Batch current_;
  std::size_t next_ = 0;
  std::unique_ptr<platform::Worker> worker_;
};

}  // namespace cs::db::jetfile
