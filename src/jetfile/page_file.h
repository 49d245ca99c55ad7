// A Jet 4 database as numbered pages of 4,096 bytes: what every structure of the file is read
// from and written to. It knows page 0 (the header) and the RC4 encoding of the other pages, and
// nothing of what the pages hold.
//
// When the header's database key K is not 0, page n >= 1 is stored RC4-encoded as a whole with
// the key LE32(K XOR n); this type hands out and takes pages decoded. Page 0 is never encoded
// that way (its own mask is the header's business) and is written only by WriteHeader.
//
// Pages read are kept, decoded, in a cache of a fixed number of pages (least recently used out
// first), so memory does not grow with the file. Writes go to the file at once (and into the
// cache); Flush makes them durable.
//
// Errors: FormatError for a file that is not a sound Jet 4 database (a size that is not a whole
// number of pages, a file cut short, a page number past its end); std::system_error for a
// failure of the file itself (the error code of the platform); std::invalid_argument for a call
// this type refuses (writing page 0 as a page, a database opened for reading).
#pragma once

#include <cstddef>
#include <cstdint>
#include <list>
#include <unordered_map>
#include <utility>

#include "jetfile/format.h"
#include "jetfile/header.h"
#include "platform/file_system.h"

namespace cs::jetfile {

class PageFile {
 public:
  struct Options {
    // The most pages the cache keeps (at least 1).
    std::size_t cache_pages = 1024;
  };

  // The largest Jet 4 file: 2 GB.
  static constexpr PageNumber kMaxPages = 0x80000000u / kPageSize;

  // Opens an existing database. The file is not changed. FormatError when its size is not a
  // whole number of pages, when it is shorter than its header, free-page map and catalog
  // (pages 0 to 2), or when page 0 is not the header of a Jet 4 database.
  PageFile(platform::RandomAccessFile& file, bool writable, Options options);
  PageFile(platform::RandomAccessFile& file, bool writable) : PageFile(file, writable, Options{}) {}

  // Starts a new database in an empty file: writes page 0 from `header`, nothing more (the
  // layers above append the free-page map, the catalog and the rest). std::invalid_argument
  // when the file is not empty.
  static PageFile CreateNew(platform::RandomAccessFile& file, const Header& header,
                            Options options);

  PageFile(PageFile&&) = default;

  const Header& header() const { return header_; }
  PageNumber page_count() const { return page_count_; }
  bool writable() const { return writable_; }

  // The page, decoded. FormatError for a page past the end of the file.
  void Read(PageNumber number, Page& page);

  // Replaces page 1 .. page_count() - 1.
  void Write(PageNumber number, const Page& page);

  // Adds a page at the end of the file; its number is the old page_count(). FormatError when
  // the file would grow past kMaxPages.
  PageNumber Append(const Page& page);

  // Rewrites page 0 from `header`. std::invalid_argument when its database key differs from the
  // file's (the pages would have to be encoded again).
  void WriteHeader(const Header& header);

  // Makes everything written so far durable on the disk.
  void Flush();

  std::size_t cached_pages() const { return cache_.size(); }
  // How many pages were read from the file (not found in the cache): for tests and benchmarks.
  std::uint64_t file_reads() const { return file_reads_; }

 private:
  PageFile(platform::RandomAccessFile& file, bool writable, Options options,
           std::pair<Header, PageNumber> opened);
  static std::pair<Header, PageNumber> Examine(const platform::RandomAccessFile& file);

  void Encode(PageNumber number, Page& page) const;
  void Store(PageNumber number, const Page& decoded);
  void Remember(PageNumber number, const Page& decoded);
  void CheckWritable() const;

  struct Entry {
    Page page;
    std::list<PageNumber>::iterator age;
  };

  platform::RandomAccessFile* file_;
  bool writable_;
  Options options_;
  Header header_;
  PageNumber page_count_;
  std::unordered_map<PageNumber, Entry> cache_;
  std::list<PageNumber> ages_;  // most recently used first
  std::uint64_t file_reads_ = 0;
};

}  // namespace cs::jetfile
