#include "db/jetfile/read_ahead.h"

#include <utility>

namespace cs::db::jetfile {

ReadAheadRows::ReadAheadRows(cs::jetfile::RowSource& source, std::size_t batch_rows, std::size_t batches)
    : source_(source), batch_rows_(batch_rows == 0 ? 1 : batch_rows), batches_(batches == 0 ? 1 : batches) {
  worker_ = std::make_unique<platform::Worker>([this] { Read(); });
}

ReadAheadRows::~ReadAheadRows() {
  {
    const std::lock_guard lock(mutex_);
    stopped_ = true;
  }
  changed_.notify_all();
  worker_.reset();
}

void ReadAheadRows::Read() {
  try {
    for (;;) {
      Batch batch;
      {
        // A batch the reader is done with: its rows' room is used again.
        const std::lock_guard lock(mutex_);
        if (!spent_.empty()) {
          batch = std::move(spent_.back());
          spent_.pop_back();
        }
      }
      batch.resize(batch_rows_);
      std::size_t filled = 0;
      while (filled < batch_rows_ && source_.Next(batch[filled])) ++filled;
      batch.resize(filled);
      const bool last = filled < batch_rows_;
      std::unique_lock lock(mutex_);
      changed_.wait(lock, [this] { return stopped_ || ready_.size() < batches_; });
      if (stopped_) return;
      if (!batch.empty()) ready_.push_back(std::move(batch));
      if (last) {
        ended_ = true;
        changed_.notify_all();
        return;
      }
      changed_.notify_all();
    }
  } catch (...) {
    const std::lock_guard lock(mutex_);
    failure_ = std::current_exception();
    ended_ = true;
    changed_.notify_all();
  }
}

bool ReadAheadRows::Next(std::vector<cs::jetfile::Value>& row) {
  if (next_ == current_.size()) {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return !ready_.empty() || ended_; });
    if (ready_.empty()) {
      if (failure_) std::rethrow_exception(failure_);
      return false;
    }
    if (!current_.empty()) spent_.push_back(std::move(current_));
    current_ = std::move(ready_.front());
    ready_.pop_front();
    next_ = 0;
    changed_.notify_all();
  }
  // The row handed over before takes this one's place, for its room to be used again.
  std::swap(row, current_[next_++]);
  return true;
}

}  // namespace cs::db::jetfile
