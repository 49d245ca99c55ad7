#include "jetfile/page_file.h"

#include <algorithm>
#include <array>
#include <stdexcept>
#include <string>
#include <system_error>
#include <utility>

#include "jetfile/rc4.h"

namespace cs::jetfile {
namespace {

std::uint64_t OffsetOf(PageNumber number) { return static_cast<std::uint64_t>(number) * kPageSize; }

// Reads a page as stored; a file cut short is a damaged database, anything else a failure of
// the file.
void ReadStored(const platform::RandomAccessFile& file, PageNumber number, Page& page) {
  if (auto ec = file.ReadAt(OffsetOf(number), page)) {
    if (ec == platform::FileError::kEndOfFile) {
      throw FormatError("Page " + std::to_string(number) + " of the database is cut short.");
    }
    throw std::system_error(ec, "Reading page " + std::to_string(number) + " of the database");
  }
}

void WriteStored(platform::RandomAccessFile& file, PageNumber number, const Page& page) {
  if (auto ec = file.WriteAt(OffsetOf(number), page)) {
    throw std::system_error(ec, "Writing page " + std::to_string(number) + " of the database");
  }
}

PageNumber PageCountOf(const platform::RandomAccessFile& file) {
  std::uint64_t size = 0;
  if (auto ec = file.Size(size)) throw std::system_error(ec, "Finding the database's size");
  if (size % kPageSize != 0) {
    throw FormatError("The database's size, " + std::to_string(size) +
                      " bytes, is not a whole number of 4,096-byte pages: the file is cut or "
                      "damaged.");
  }
  if (size / kPageSize > PageFile::kMaxPages) {
    throw FormatError("The database is larger than a Jet 4 file can be (2 GB).");
  }
  return static_cast<PageNumber>(size / kPageSize);
}

}  // namespace

// The header and the page count of an existing database, checked in that order of need: its
// size first, then page 0.
std::pair<Header, PageNumber> PageFile::Examine(const platform::RandomAccessFile& file) {
  const PageNumber count = PageCountOf(file);
  if (count < 3) {
    throw FormatError("The database has " + std::to_string(count) +
                      " pages, fewer than a Jet 4 database's header, free-page map and "
                      "catalog: the file is cut or is no database.");
  }
  Page page0;
  ReadStored(file, 0, page0);
  return {Header::Parse(page0), count};
}

PageFile::PageFile(platform::RandomAccessFile& file, bool writable, Options options,
                   std::pair<Header, PageNumber> opened)
    : file_(&file),
      writable_(writable),
      options_(options),
      header_(std::move(opened.first)),
      page_count_(opened.second) {
  options_.cache_pages = std::max<std::size_t>(options_.cache_pages, 1);
}

PageFile::PageFile(platform::RandomAccessFile& file, bool writable, Options options)
    : PageFile(file, writable, options, Examine(file)) {}

PageFile PageFile::CreateNew(platform::RandomAccessFile& file, const Header& header,
                             Options options) {
  std::uint64_t size = 0;
  if (auto ec = file.Size(size)) throw std::system_error(ec, "Finding the database's size");
  if (size != 0) throw std::invalid_argument("A new database is made only in an empty file.");
  WriteStored(file, 0, header.Stored());
  return PageFile(file, true, options, {header, 1});
}

void PageFile::Encode(PageNumber number, Page& page) const {
  const std::uint32_t key = header_.database_key();
  if (key == 0 || number == 0) return;
  std::array<std::uint8_t, 4> page_key;
  PutU32(page_key.data(), key ^ number);
  Rc4Apply(page_key, page);
}

void PageFile::Remember(PageNumber number, const Page& decoded) {
  if (auto it = cache_.find(number); it != cache_.end()) {
    it->second.page = decoded;
    ages_.splice(ages_.begin(), ages_, it->second.age);
    return;
  }
  if (cache_.size() >= options_.cache_pages) {
    cache_.erase(ages_.back());
    ages_.pop_back();
  }
  ages_.push_front(number);
  cache_.emplace(number, Entry{decoded, ages_.begin()});
}

void PageFile::Read(PageNumber number, Page& page) {
  if (number >= page_count_) {
    throw FormatError("Page " + std::to_string(number) + " is past the end of the database (" +
                      std::to_string(page_count_) + " pages).");
  }
  if (auto it = cache_.find(number); it != cache_.end()) {
    ages_.splice(ages_.begin(), ages_, it->second.age);
    page = it->second.page;
    return;
  }
  if (number == 0) {
    page = header_.Stored();
  } else {
    ReadStored(*file_, number, page);
    ++file_reads_;
    Encode(number, page);  // RC4 undoes itself
  }
  Remember(number, page);
}

void PageFile::CheckWritable() const {
  if (!writable_) throw std::invalid_argument("The database was opened for reading only.");
}

void PageFile::Store(PageNumber number, const Page& decoded) {
  Page stored = decoded;
  Encode(number, stored);
  WriteStored(*file_, number, stored);
  Remember(number, decoded);
}

void PageFile::Write(PageNumber number, const Page& page) {
  CheckWritable();
  if (number == 0) throw std::invalid_argument("Page 0 is written only as the header.");
  if (number >= page_count_) {
    throw FormatError("Page " + std::to_string(number) + " is past the end of the database (" +
                      std::to_string(page_count_) + " pages).");
  }
  Store(number, page);
}

PageNumber PageFile::Append(const Page& page) {
  CheckWritable();
  if (page_count_ >= kMaxPages) {
    throw FormatError("The database cannot grow past 2 GB, the most a Jet 4 file holds.");
  }
  const PageNumber number = page_count_;
  Store(number, page);
  ++page_count_;
  return number;
}

void PageFile::WriteHeader(const Header& header) {
  CheckWritable();
  if (header.database_key() != header_.database_key()) {
    throw std::invalid_argument("The database key of an existing database cannot change.");
  }
  WriteStored(*file_, 0, header.Stored());
  header_ = header;
  if (auto it = cache_.find(0); it != cache_.end()) it->second.page = header.Stored();
}

void PageFile::Flush() {
  CheckWritable();
  if (auto ec = file_->Sync()) throw std::system_error(ec, "Flushing the database to the disk");
}

}  // namespace cs::jetfile
