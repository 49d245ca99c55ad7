// The table writer's benchmark (run by bench/jet-write): the rows of a large Ace table, read from
// one Jet file, written with their primary key over the Ace table of another, in place. The rows
// can be repeated under new SKUs to show that the time grows with the rows and the memory does
// not.
//   jet_write_bench SOURCE.mdb TARGET.mdb COPIES [--check]
// TARGET is written: give it a copy. Prints one line: rows, seconds to write (rows read from the
// source included) elapsed and of processor time, seconds the source's rows alone take to read
// twice, and with --check the seconds the table's check takes.
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "jetfile/database.h"
#include "jetfile/table_scan.h"
#include "platform/posix_file_system.h"

namespace {

using namespace cs::jetfile;
using Clock = std::chrono::steady_clock;

double Since(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

// The processor time this process has used, user and system, in seconds: a figure that the
// other work of a shared machine does not inflate as it does the elapsed time.
double CpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// The source table's rows, `copies` times, each copy after the first under new SKUs, with the
// values placed in the target table's column order (columns matched by name).
class RepeatedRows : public RowSource {
 public:
  RepeatedRows(Database& source, const TableDefinition& target, unsigned copies)
      : scan_(source.pages(), source.FindTable(u"Ace"), source.Definition(u"Ace")),
        copies_(copies) {
    const TableDefinition& from = scan_.definition();
    const std::vector<std::size_t> from_order = ColumnsByNumber(from);
    for (std::size_t t : ColumnsByNumber(target)) {
      std::size_t found = from_order.size();
      for (std::size_t i = 0; i < from_order.size(); ++i) {
        if (from.columns[from_order[i]].name == target.columns[t].name) found = i;
      }
      if (found == from_order.size()) throw FormatError("the source has no column of the target");
      if (target.columns[t].name == u"SKU") sku_ = places_.size();
      places_.push_back(found);
    }
  }

  bool Next(std::vector<Value>& row) override {
    while (!scan_.Next(read_)) {
      if (++copy_ >= copies_) return false;
      scan_.Restart();
    }
    if (std::is_sorted(places_.begin(), places_.end()) && places_.size() == read_.size()) {
      row.swap(read_);
    } else {
      row.resize(places_.size());
      for (std::size_t i = 0; i < places_.size(); ++i) row[i] = std::move(read_[places_[i]]);
    }
    if (copy_ > 0) {
      auto& sku = std::get<std::u16string>(row[sku_]);
      sku += u'-';
      sku += static_cast<char16_t>(u'0' + copy_);
    }
    return true;
  }
  bool Rewind() override {
    scan_.Restart();
    copy_ = 0;
    return true;
  }

 private:
  TableScan scan_;
  unsigned copies_;
  unsigned copy_ = 0;
  std::vector<std::size_t> places_;
  std::size_t sku_ = 0;
  std::vector<Value> read_;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4 || (argc == 5 && std::strcmp(argv[4], "--check") != 0) || argc > 5) {
    std::fprintf(stderr, "usage: jet_write_bench SOURCE.mdb TARGET.mdb COPIES [--check]\n");
    return 2;
  }
  const unsigned copies = static_cast<unsigned>(std::atoi(argv[3]));
  if (copies < 1 || copies > 9) {
    std::fprintf(stderr, "COPIES: 1 to 9\n");
    return 2;
  }
  cs::platform::PosixFileSystem files;
  std::unique_ptr<cs::platform::RandomAccessFile> source_file;
  std::unique_ptr<cs::platform::RandomAccessFile> target_file;
  if (auto ec = files.OpenRandomAccess(argv[1], false, source_file)) {
    std::fprintf(stderr, "%s: %s\n", argv[1], ec.message().c_str());
    return 1;
  }
  if (auto ec = files.OpenRandomAccess(argv[2], true, target_file)) {
    std::fprintf(stderr, "%s: %s\n", argv[2], ec.message().c_str());
    return 1;
  }
  try {
    Database source = Database::Open(*source_file, false);
    auto start = Clock::now();
    const double cpu_start = CpuSeconds();
    Database target = Database::Open(*target_file, true);
    RepeatedRows rows(source, target.Definition(u"Ace"), copies);
    target.WriteTable(u"Ace", rows);
    target.Flush();
    const double write = Since(start);
    const double write_cpu = CpuSeconds() - cpu_start;
    const std::uint32_t written = target.Definition(u"Ace").row_count;

    // What reading the rows alone costs: the writer reads them twice.
    start = Clock::now();
    std::vector<Value> row;
    for (int pass = 0; pass < 2; ++pass) {
      rows.Rewind();
      while (rows.Next(row)) {
      }
    }
    const double read = Since(start);

    double check = 0;
    if (argc == 5) {
      start = Clock::now();
      target.CheckTable(u"Ace");
      check = Since(start);
    }
    std::printf("%u %.3f %.3f %.3f %.3f\n", written, write, write_cpu, read, check);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s\n", e.what());
    return 1;
  }
  return 0;
}
