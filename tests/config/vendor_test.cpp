#include "config/vendor.h"

#include <gtest/gtest.h>

#include "test_support.h"

namespace cs::config {
namespace {

// The configuration INI is C:\YW\YWConfig.ini (InstallAppDir C:\YW).
class VendorTest : public ::testing::Test {
 protected:
  void Ini(const std::string& text) {
    program.files.AddFile(program.drive_c() / "YW" / "YWConfig.ini", text);
  }
  clsVendor Load(std::int16_t id) {
    clsVendor v(program.run, program.registry);
    v.VendorID(id);
    return v;
  }
  std::int16_t Identify(const std::string& path, const std::string& program_dir = "C:\\APP") {
    return GetVendorFromFileName(program.run, program.registry, path, program_dir);
  }
  test::MemoryRun program;
};

TEST_F(VendorTest, LoadsEveryPropertyFromTheVendorsSection) {
  Ini("[Vendors]\r\n3=Alpha\r\n[VENDOR-ALPHA]\r\nNameLong=Alpha Supply\r\nNameShort=AL\r\n"
      "DefaultRoundingName=R\r\nShowLevel1=true\r\nShowLevel2=-1\r\nOptionsTab=0\r\n"
      "AceRetail=AR\r\nLevel1=L1\r\nLevel2=L2\r\nAceRetailLong=ARL\r\nLevel1Long=L1L\r\n"
      "Level2Long=L2L\r\nFTPUser=alpha\r\nFTPPass=secret\r\nVelocityName=V\r\nPGName=P\r\n"
      "DeptName=D\r\nClassName=C\r\nDiscoveryName=X\r\n");
  const clsVendor v = Load(3);
  EXPECT_EQ(v.VendorID(), 3);
  EXPECT_EQ(v.Name(), "Alpha");
  EXPECT_EQ(v.NameLong(), "Alpha Supply");
  EXPECT_EQ(v.NameShort(), "AL");
  EXPECT_EQ(v.DefaultRoundingName(), "R");
  EXPECT_TRUE(v.ShowLevel1());
  EXPECT_TRUE(v.ShowLevel2());
  EXPECT_FALSE(v.OptionsTab());
  EXPECT_EQ(v.AceRetail() + v.Level1() + v.Level2(), "ARL1L2");
  EXPECT_EQ(v.AceRetailLong() + v.Level1Long() + v.Level2Long(), "ARLL1LL2L");
  EXPECT_EQ(v.VelocityName() + v.PGName() + v.DeptName() + v.ClassName() + v.DiscoveryName(),
            "VPDCX");
  EXPECT_EQ(v.FTPUser(), std::string("alpha@") + kDefaultFtpHost);
  EXPECT_EQ(v.FTPPass(), std::string(kFtpPasswordPrefix) + "secret");
  EXPECT_EQ(v.FTPServer(), std::string(kDefaultFtpHost) + "/");
  EXPECT_TRUE(program.run.ui.boxes.empty());
}

TEST_F(VendorTest, AnUnknownNumberLeavesOnlyTheFixedParts) {
  Ini("[Vendors]\r\n3=Alpha\r\n[Vendor-Alpha]\r\nNameLong=Alpha\r\nShowLevel1=1\r\n");
  const clsVendor v = Load(4);
  EXPECT_EQ(v.Name(), "");
  EXPECT_EQ(v.NameLong(), "");
  EXPECT_FALSE(v.ShowLevel1());
  EXPECT_EQ(v.FTPUser(), std::string("@") + kDefaultFtpHost);
  EXPECT_EQ(v.FTPPass(), kFtpPasswordPrefix);
  EXPECT_EQ(v.FTPServer(), std::string(kDefaultFtpHost) + "/");
  EXPECT_TRUE(program.run.ui.boxes.empty());
}

TEST_F(VendorTest, BooleansThatDoNotConvertKeepTheirEarlierValue) {
  struct Case {
    const char* text;
    bool after_false, after_true;
  } cases[] = {
      {"true", true, true},  {"FALSE", false, false}, {"0", false, false}, {"-1", true, true},
      {" 2 ", true, true},   {"yes", false, true},    {"", false, true},
  };
  for (const auto& c : cases) {
    Ini(std::string("[Vendors]\r\n1=A\r\n2=B\r\n[Vendor-A]\r\nShowLevel1=0\r\n[Vendor-B]\r\n"
                    "ShowLevel1=") + c.text + "\r\n[Vendor-C]\r\nShowLevel1=1\r\n");
    clsVendor v(program.run, program.registry);
    v.VendorID(1);
    v.VendorID(2);
    EXPECT_EQ(v.ShowLevel1(), c.after_false) << c.text;
    Ini(std::string("[Vendors]\r\n1=A\r\n2=B\r\n[Vendor-A]\r\nShowLevel1=1\r\n[Vendor-B]\r\n"
                    "ShowLevel1=") + c.text + "\r\n");
    v.VendorID(1);
    v.VendorID(2);
    EXPECT_EQ(v.ShowLevel1(), c.after_true) << c.text;
  }
  EXPECT_TRUE(program.run.ui.boxes.empty());
}

TEST_F(VendorTest, IdentifiesTheVendorByTheMarkInThePath) {
  Ini("[Vendors]\r\n7=Ace\r\n12=Xylo\r\n-2=Minus\r\n"
      "[Vendor-Ace]\r\nNameShort=ACE\r\n[Vendor-Xylo]\r\nNameShort=xy\r\n"
      "[Vendor-Minus]\r\nNameShort=MI\r\n");
  struct Case {
    const char* path;
    std::int16_t vendor;
  } cases[] = {
      {"C:\\DATA\\ACEDATA0307.YW", 7},
      {"c:\\data\\xydata0307.yw", 12},
      {"C:\\DATA\\XYMTD0307.YW", 12},
      {"C:\\DATA\\XY_DATA0307.YW", 999},
      {"C:\\XYDATA\\PRICES.YW", 12},                // a directory name counts too
      {"C:\\APP\\XYMTD.YW", 12},
      {"C:\\ACEDATA\\XYDATA0307.YW", 7},            // both marks: the one listed first
      {"C:\\DATA\\MIDATA.YW", -2},
      {"C:\\DATA\\OTHER.YW", 999},
  };
  for (const auto& c : cases) EXPECT_EQ(Identify(c.path), c.vendor) << c.path;
  // A program directory whose name holds a mark: its files are judged by their names alone.
  EXPECT_EQ(Identify("C:\\ACEDATA\\XYDATA0307.YW", "C:\\AceData"), 12);
  EXPECT_EQ(Identify("C:\\ACEDATA\\XYDATA0307.YW", "C:\\Other"), 7);
  // The program's own directory is taken out only where it stands exactly.
  EXPECT_EQ(Identify("C:\\APPXY\\DATA.YW", "C:\\APPXY"), 999);
  EXPECT_TRUE(program.run.ui.boxes.empty());
}

TEST_F(VendorTest, AVendorWithoutAShortNameMatchesNothing) {
  Ini("[Vendors]\r\n1=NoSection\r\n2=NoShort\r\n3=Ace\r\n"
      "[Vendor-NoShort]\r\nNameLong=x\r\n[Vendor-Ace]\r\nNameShort=ACE\r\n");
  EXPECT_EQ(Identify("C:\\DATA\\ACEDATA.YW"), 3);
  EXPECT_EQ(Identify("C:\\DATA\\OTHERDATA.YW"), 999);
  EXPECT_EQ(Identify("C:\\DATA\\MTD.YW"), 999);
}

TEST_F(VendorTest, MissingConfigurationGivesNoVendor) {
  EXPECT_EQ(Identify("C:\\DATA\\ACEDATA.YW"), 999);
  Ini("[Other]\r\n1=Ace\r\n[Vendor-Ace]\r\nNameShort=ACE\r\n");
  EXPECT_EQ(Identify("C:\\DATA\\ACEDATA.YW"), 999);
  EXPECT_TRUE(program.run.ui.boxes.empty());
}

TEST_F(VendorTest, AVendorKeyThatIsNoNumberIsReportedAndGivesNoVendor) {
  Ini("[Vendors]\r\nAce=Ace\r\n40000=Big\r\n[Vendor-Ace]\r\nNameShort=ACE\r\n"
      "[Vendor-Big]\r\nNameShort=BIG\r\n");
  for (const auto& [path, number] : {std::pair{"C:\\ACEDATA.YW", "13"}, std::pair{"C:\\BIGDATA.YW", "6"}}) {
    program.run.ui.boxes.clear();
    program.run.ui.answers = {platform::kIdIgnore};
    EXPECT_EQ(Identify(path), 999) << path;
    ASSERT_EQ(program.run.ui.boxes.size(), 1u);
    EXPECT_NE(program.run.ui.boxes[0].text.find("CatalogSync.frmMain.GetVendorFromFileName"),
              std::string::npos);
    EXPECT_NE(program.run.ui.boxes[0].text.find(std::string("Number:     \t") + number),
              std::string::npos);
  }
}

}  // namespace
}  // namespace cs::config
