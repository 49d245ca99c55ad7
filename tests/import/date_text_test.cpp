// Date texts as the imports read and write them.
#include <gtest/gtest.h>

#include "import/date_text.h"
#include "platform/run_error.h"

namespace cs {
namespace {

TEST(DateTextTest, ReadsAndWritesTheShortForm) {
  struct Case {
    const char* text;
    const char* short_form;  // "" when the text is no date
    const char* yyyymmdd;
    const char* mmddyyyy;
  } cases[] = {
      {"1/1/2006", "1/1/2006", "20060101", "01/01/2006"},
      {"12/31/2007", "12/31/2007", "20071231", "12/31/2007"},
      {"2007-03-01 13:30:05", "3/1/2007 1:30:05 PM", "20070301", "03/01/2007"},
      {"3/1/2007 12:00:00 AM", "3/1/2007", "20070301", "03/01/2007"},
      {"2/29/2008", "2/29/2008", "20080229", "02/29/2008"},
      {"2/29/2007", "", "", ""},
      {"13/1/2007", "", "", ""},
      {"", "", "", ""},
      {"yesterday", "", "", ""},
      {"3-1-07", "3/1/2007", "20070301", "03/01/2007"},
      {"3/1/99", "3/1/1999", "19990301", "03/01/1999"},
      {"7/4/1776", "7/4/1776", "17760704", "07/04/1776"},
      {"3/1/2007 1:05 pm", "3/1/2007 1:05:00 PM", "20070301", "03/01/2007"},
      // Signs, stray characters and impossible times are no dates, never another date.
      {"1/1/-5", "", "", ""},
      {"1/-1/2007", "", "", ""},
      {"+1/1/2007", "", "", ""},
      {"1/1/200", "", "", ""},
      {"1/1/20071", "", "", ""},
      {"1/1/2007x", "", "", ""},
      {"1/1/2007 25:00", "", "", ""},
      {"1/1/2007 13:00 PM", "", "", ""},
      {"1/1/2007 noon", "", "", ""},
      {"2007-3-1", "3/1/2007", "20070301", "03/01/2007"},
      {"1/1/0005", "", "", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    const auto d = import::ReadDate(c.text);
    ASSERT_EQ(d.has_value(), *c.short_form != '\0');
    if (!d) continue;
    EXPECT_EQ(import::ShortDate(*d), c.short_form);
    EXPECT_EQ(import::Yyyymmdd(*d), c.yyyymmdd);
    EXPECT_EQ(import::MmDdYyyy(*d), c.mmddyyyy);
  }
}

TEST(DateTextTest, StoredValues) {
  EXPECT_EQ(import::DateValueText(db::Value::Date("2007-03-15 00:00:00")), "3/15/2007");
  EXPECT_EQ(import::DateValueText(db::Value::Text("not a date")), "not a date");
  EXPECT_THROW(import::DateValueText(db::Value{}), RunError);
}

}  // namespace
}  // namespace cs
