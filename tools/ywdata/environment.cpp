#include <fstream>
#include <string>

#include "platform/posix_file_system.h"
#include "platform/prefix.h"
#include "platform/registry_store.h"
#include "platform/run_error.h"
#include "schema/product_table.h"
#include "ywdata.h"

namespace fs = std::filesystem;

namespace cs::ywdata {
namespace {

void SetValue(platform::RegistryStore& store, const std::string& key, const std::string& name,
              const std::string& value) {
  platform::HKEY h = 0;
  if (store.RegOpenKeyExA(platform::HKEY_CURRENT_USER, key.c_str(), 0, 0x3F, &h) != 0 ||
      store.RegSetValueExA(h, name.c_str(), 0, 1, reinterpret_cast<const std::uint8_t*>(value.data()),
                           static_cast<std::uint32_t>(value.size())) != 0) {
    throw RunError(1009, "Cannot write " + name + " into " + store.file().string());
  }
  store.RegCloseKey(h);
}

// The product table's section: the key clause, then each column as name=type, the layout the
// data files of this tool are made with.
std::string AceSection() {
  std::string out = "[Ace]\r\nPrimaryKey=([SKU] TEXT(20) CONSTRAINT MyConstraint PRIMARY KEY)\r\n";
  for (const char* clause : schema::kAceColumnClauses) {
    std::string c = std::string(clause).substr(std::string(" ADD COLUMN ").size());
    const auto space = c.find(' ');
    std::string name = c.substr(0, space);
    if (name.front() == '[') name = name.substr(1, name.size() - 2);
    std::string type = c.substr(space + 1);
    out += name + "=" + type + "\r\n";
  }
  return out;
}

}  // namespace

void MakeEnvironment(const fs::path& prefix) {
  platform::PosixFileSystem files;
  platform::EnsurePrefix(files, prefix);
  const fs::path app = prefix / "drive_c" / "Program Files" / "Yield Warden";
  fs::create_directories(app);
  fs::create_directories(prefix / "drive_c" / "YieldWarden");
  platform::RegistryStore store(files, prefix / "user.reg");
  const std::string product = "Software\\Quillmarch\\Yield Warden";
  SetValue(store, product, "InstallAppDir", "C:\\Program Files\\Yield Warden");
  SetValue(store, product, "YWConfigINI", "C:\\Program Files\\Yield Warden\\YWConfig.ini");
  SetValue(store, product + "\\PriceFiles", "InstallDrive", "C:\\");
  SetValue(store, product + "\\Startup", "DBDir", "C:\\YieldWarden\\");
  SetValue(store, product + "\\Startup", "DBName", "YieldWarden.yw");

  std::ofstream ini(app / "YWConfig.ini", std::ios::binary | std::ios::trunc);
  ini << "; Yield Warden configuration\r\n"
         "[Vendors]\r\n1=Ace\r\n2=Custom\r\n\r\n"
         "[Vendor-Ace]\r\nNameLong=Ace Wholesale\r\nNameShort=ACE\r\nDefaultRoundingName=Ace\r\n"
         "ShowLevel1=True\r\nShowLevel2=True\r\nOptionsTab=False\r\nAceRetail=Retail\r\n"
         "Level1=Level 1\r\nLevel2=Level 2\r\nAceRetailLong=Ace Suggested Retail\r\n"
         "Level1Long=Level 1 Price\r\nLevel2Long=Level 2 Price\r\nFTPUser=store\r\nFTPPass=0001\r\n"
         "VelocityName=Velocity\r\nPGName=Product Group\r\nDeptName=Department\r\n"
         "ClassName=Class\r\nDiscoveryName=Discovery\r\n\r\n"
         "[Vendor-Custom]\r\nNameLong=Custom Retail\r\nNameShort=CUSTOM\r\n\r\n"
      << AceSection()
      << "\r\n[PlanogramDetails]\r\nPrimaryKey=([POG] TEXT(10))\r\nDescription=TEXT(100)\r\n\r\n"
         "[AdditionalDetails]\r\nPrimaryKey=([SKU] TEXT(20) CONSTRAINT AddKey PRIMARY KEY)\r\n"
         "UPC=TEXT(14)\r\nWeight=DOUBLE,0\r\n";
  if (!ini) throw RunError(75, "Cannot write " + (app / "YWConfig.ini").string());
}

}  // namespace cs::ywdata
