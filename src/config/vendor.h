// clsVendor: one vendor definition from the configuration INI. Setting VendorID loads the whole
// definition; every other property is a plain read of what was loaded.
//
//   [Vendors]          3=Alpha
//   [Vendor-Alpha]     NameLong=..., NameShort=..., ShowLevel1=True, ...
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "config/registry.h"
#include "core/run_context.h"

namespace cs::config {

// The account the vendor's FTP properties are composed with.
inline constexpr char kDefaultFtpHost[] = "ftp.quillmarch.com";
inline constexpr char kFtpPasswordPrefix[] = "wardenfeedpw";  // twelve lower-case letters

class clsVendor {
 public:
  clsVendor(core::RunContext& run, Registry& registry);

  std::int16_t VendorID() const { return vendor_id_; }
  // Stores the number and loads the definition. Errors while loading are ignored: the failing
  // read is skipped (a boolean that does not convert keeps its earlier value).
  void VendorID(std::int16_t id);

  std::vector<std::string> POSs() const { return {}; }
  const std::string& Name() const { return name_; }
  const std::string& NameLong() const { return name_long_; }
  const std::string& NameShort() const { return name_short_; }
  const std::string& DefaultRoundingName() const { return default_rounding_name_; }
  bool OptionsTab() const { return options_tab_; }
  const std::string& AceRetail() const { return ace_retail_; }
  const std::string& Level1() const { return level1_; }
  const std::string& Level2() const { return level2_; }
  bool ShowLevel1() const { return show_level1_; }
  bool ShowLevel2() const { return show_level2_; }
  const std::string& AceRetailLong() const { return ace_retail_long_; }
  const std::string& Level1Long() const { return level1_long_; }
  const std::string& Level2Long() const { return level2_long_; }
  const std::string& VelocityName() const { return velocity_name_; }
  const std::string& PGName() const { return pg_name_; }
  const std::string& DeptName() const { return dept_name_; }
  const std::string& ClassName() const { return class_name_; }
  const std::string& DiscoveryName() const { return discovery_name_; }
  const std::string& FTPUser() const { return ftp_user_; }
  const std::string& FTPPass() const { return ftp_pass_; }
  const std::string& FTPServer() const { return ftp_server_; }

 private:
  core::RunContext& run_;
  Registry& registry_;

  std::int16_t vendor_id_ = 0;
  std::string name_, name_long_, name_short_, default_rounding_name_;
  bool options_tab_ = false, show_level1_ = false, show_level2_ = false;
  std::string ace_retail_, level1_, level2_, ace_retail_long_, level1_long_, level2_long_;
  std::string velocity_name_, pg_name_, dept_name_, class_name_, discovery_name_;
  std::string ftp_user_, ftp_pass_, ftp_server_;
};

// The number of the first vendor listed in "Vendors" whose short name followed by "DATA" or by
// "MTD" occurs in the path (letter case ignored; the program's own directory removed from the
// path first), or 999. A vendor without a short name matches nothing.
std::int16_t GetVendorFromFileName(core::RunContext& run, Registry& registry,
                                   const std::string& path, const std::string& program_dir);

inline constexpr std::int16_t kNoVendor = 999;

}  // namespace cs::config
