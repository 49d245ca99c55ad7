// The page layer's benchmark (run by bench/jet-pages): a large Jet 4 file worked through the page
// file. Reads every page, reads the usage maps of every table, allocates and frees pages through
// the free-page map and writes every table's owned map back, timing each and reporting the peak
// resident memory, which must not grow with the file.
//   jet_pages_bench FILE.mdb
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <vector>

#include "jetfile/free_page_map.h"
#include "jetfile/page_file.h"
#include "jetfile/usage_map.h"
#include "platform/posix_file_system.h"

namespace {

using namespace cs::jetfile;
using Clock = std::chrono::steady_clock;

double Since(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: jet_pages_bench FILE.mdb (a copy: it is written)\n");
    return 2;
  }
  cs::platform::PosixFileSystem files;
  std::unique_ptr<cs::platform::RandomAccessFile> file;
  if (auto ec = files.OpenRandomAccess(argv[1], true, file)) {
    std::fprintf(stderr, "%s: %s\n", argv[1], ec.message().c_str());
    return 1;
  }
  try {
    auto start = Clock::now();
    PageFile pages(*file, true);
    Page page;
    std::vector<PageNumber> tables;
    for (PageNumber n = 1; n < pages.page_count(); ++n) {
      pages.Read(n, page);
      if (page[0] == 0x02 && (page[0x28] == 0x4E || page[0x28] == 0x53)) tables.push_back(n);
    }
    const double read_all = Since(start);

    start = Clock::now();
    FreePageMap free_pages(pages);
    std::size_t listed = 0;
    std::vector<std::pair<RowPointer, std::vector<PageNumber>>> owned;
    for (const PageNumber tdef : tables) {
      pages.Read(tdef, page);
      const RowPointer where{GetU24(&page[0x38]), page[0x37]};
      owned.emplace_back(where, ReadUsageMap(pages, where));
      listed += owned.back().second.size();
    }
    const double read_maps = Since(start);

    start = Clock::now();
    std::vector<PageNumber> allocated;
    for (int i = 0; i < 10000; ++i) allocated.push_back(free_pages.Allocate());
    for (const PageNumber n : allocated) free_pages.Free(n);
    for (const auto& [where, set] : owned) WriteUsageMap(pages, free_pages, where, set);
    const double write = Since(start);
    start = Clock::now();
    pages.Flush();
    const double flush = Since(start);

    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("pages %u, tables %zu, pages in owned maps %zu\n", pages.page_count(),
                tables.size(), listed);
    std::printf("read every page            %8.3f s\n", read_all);
    std::printf("read the tables' maps      %8.3f s\n", read_maps);
    std::printf("10,000 pages allocated and freed, the maps written %8.3f s\n", write);
    std::printf("flushed to the disk        %8.3f s\n", flush);
    std::printf("peak resident memory       %8.1f MiB\n", usage.ru_maxrss / 1024.0);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s\n", e.what());
    return 1;
  }
}
