// Pages by number: every fixture read whole, RC4-encoded pages decoded and kept encoded, a
// bounded cache, and damaged files refused.
#include "jetfile/page_file.h"

#include <gtest/gtest.h>

#include "jetfile/free_page_map.h"
#include "fixture.h"

namespace cs::jetfile {
namespace {

using test::MemoryFile;
using test::ReadFixture;

TEST(JetfilePageFile, EveryPageOfEveryFixtureReadsAndTheEncodedFilesDecode) {
  for (const auto& name : test::Jet4FixtureNames()) {
    SCOPED_TRACE(name);
    MemoryFile file(ReadFixture(name));
    PageFile pages(file, false, {.cache_pages = 16});
    ASSERT_EQ(pages.page_count(), file.bytes.size() / kPageSize);
    Page page;
    for (PageNumber n = 1; n < pages.page_count(); ++n) {
      pages.Read(n, page);
      // A type Jet 4 knows (0 for a page given back), and the 01 that follows the type on every
      // page in use.
      ASSERT_TRUE(page[0] <= 0x05 || page[0] == 0x08 || page[0] == 0x09) << "page " << n;
      if (page[0] >= 0x01 && page[0] <= 0x05) {
        ASSERT_EQ(page[1], 0x01) << "page " << n;
      }
    }
    pages.Read(2, page);
    EXPECT_EQ(page[0], 0x02);  // the catalog's definition
    EXPECT_NO_THROW(FreePageMap{pages});
    EXPECT_LE(pages.cached_pages(), 16u);
  }

  // The encoded copy holds the same pages as the plain file, page 0 aside (its key).
  MemoryFile plain_file(ReadFixture("ACEDATA0307.mdb"));
  MemoryFile encoded_file(ReadFixture("ACEDATA0307-ENCODED.mdb"));
  PageFile plain(plain_file, false), encoded(encoded_file, false);
  ASSERT_EQ(plain.page_count(), encoded.page_count());
  Page a, b;
  for (PageNumber n = 1; n < plain.page_count(); ++n) {
    plain.Read(n, a);
    encoded.Read(n, b);
    ASSERT_EQ(a, b) << "page " << n;
    ASSERT_NE(encoded_file.PageAt(n), b) << "page " << n << " is stored encoded";
  }
}

TEST(JetfilePageFile, WrittenPagesReadBackAfterReopeningAndEncodedFilesStayEncoded) {
  for (const char* name : {"ACEDATA0307.mdb", "access-made/V2000-ENCODED.mdb"}) {
    SCOPED_TRACE(name);
    MemoryFile file(ReadFixture(name));
    const auto before = file.bytes;
    Page page{};
    page[0] = 0x01;
    page[1] = 0x01;
    for (std::size_t i = 8; i < kPageSize; ++i) page[i] = static_cast<std::uint8_t>(i * 7);
    PageNumber appended = 0;
    {
      PageFile pages(file, true, {.cache_pages = 2});
      pages.Write(5, page);
      appended = pages.Append(page);
      EXPECT_EQ(appended, before.size() / kPageSize);
      EXPECT_EQ(pages.page_count(), appended + 1);
      pages.Flush();
    }
    PageFile reopened(file, false);
    Page got;
    reopened.Read(5, got);
    EXPECT_EQ(got, page);
    reopened.Read(appended, got);
    EXPECT_EQ(got, page);
    EXPECT_EQ(file.PageAt(5) == page, reopened.header().database_key() == 0);
    // Nothing else changed, page 0 least of all.
    for (PageNumber n = 0; n < before.size() / kPageSize; ++n) {
      if (n == 5) continue;
      ASSERT_TRUE(std::equal(before.begin() + n * kPageSize, before.begin() + (n + 1) * kPageSize,
                             file.bytes.begin() + n * kPageSize))
          << "page " << n;
    }
  }
}

TEST(JetfilePageFile, ThePasswordChangesOnlyWhenAskedAndTheKeyNever) {
  MemoryFile file(ReadFixture("ACEDATA0307-ENCODED.mdb"));
  PageFile pages(file, true);
  Header header = pages.header();
  header.set_password(u"n3w");
  pages.WriteHeader(header);
  PageFile reopened(file, false);
  EXPECT_EQ(reopened.header().password(), u"n3w");
  EXPECT_EQ(reopened.header().database_key(), 0x5A17C0DEu);

  const Header other = Header::CreateNew(u"", 40000);  // key 0
  EXPECT_THROW(pages.WriteHeader(other), std::invalid_argument);
  EXPECT_EQ(PageFile(file, false).header().password(), u"n3w");
}

TEST(JetfilePageFile, DamagedFilesAndRefusedCallsAreClearErrorsAndChangeNothing) {
  const auto good = ReadFixture("ACEMTD0315.mdb");
  struct Case {
    const char* what;
    std::vector<std::uint8_t> bytes;
  };
  std::vector<Case> damaged = {
      {"empty", {}},
      {"cut inside a page", {good.begin(), good.end() - 100}},
      {"only two pages", {good.begin(), good.begin() + 2 * kPageSize}},
      {"a byte over", good},
      {"a Jet 3 file", ReadFixture("access-made/V1997-TEST.mdb")},
  };
  damaged[3].bytes.push_back(0);
  for (const auto& c : damaged) {
    SCOPED_TRACE(c.what);
    MemoryFile file(c.bytes);
    EXPECT_THROW(PageFile(file, true), FormatError);
    EXPECT_EQ(file.writes, 0);
  }

  MemoryFile file(good);
  PageFile pages(file, true);
  Page page;
  EXPECT_THROW(pages.Read(pages.page_count(), page), FormatError);
  EXPECT_THROW(pages.Write(pages.page_count(), page), FormatError);
  EXPECT_THROW(pages.Write(0, page), std::invalid_argument);
  // Cut while open: the page that is gone is a damaged file, not a crash.
  file.bytes.resize(file.bytes.size() - kPageSize);
  EXPECT_THROW(pages.Read(pages.page_count() - 1, page), FormatError);
  file.bytes = good;
  file.fail_writes = true;
  pages.Read(3, page);
  EXPECT_THROW(pages.Write(3, page), std::system_error);
  EXPECT_THROW(pages.Append(page), std::system_error);
  EXPECT_EQ(pages.page_count(), good.size() / kPageSize);
  EXPECT_EQ(file.bytes, good);

  PageFile read_only(file, false);
  EXPECT_THROW(read_only.Write(3, page), std::invalid_argument);
  EXPECT_THROW(read_only.Append(page), std::invalid_argument);

  MemoryFile not_empty(good);
  EXPECT_THROW(PageFile::CreateNew(not_empty, Header::CreateNew(u"", 40000), {}),
               std::invalid_argument);
  EXPECT_EQ(not_empty.bytes, good);
}

TEST(JetfilePageFile, TheCacheKeepsAFixedNumberOfPagesAndServesRepeatedReads) {
  MemoryFile file(ReadFixture("access-made/V2003-TEST.mdb"));
  PageFile pages(file, false, {.cache_pages = 8});
  Page page;
  for (int pass = 0; pass < 2; ++pass) {
    for (PageNumber n = 0; n < pages.page_count(); ++n) pages.Read(n, page);
  }
  EXPECT_EQ(pages.cached_pages(), 8u);
  EXPECT_EQ(pages.file_reads(), 2u * (pages.page_count() - 1));  // page 0 is the header's
  const auto reads = pages.file_reads();
  for (int i = 0; i < 100; ++i) pages.Read(3, page);
  EXPECT_EQ(pages.file_reads(), reads + 1);
}

}  // namespace
}  // namespace cs::jetfile
