#include "config/vendor.h"

#include "core/source_names.h"
#include "config/conversions.h"
#include "config/ini_file.h"
#include "platform/file_system.h"
#include "platform/system.h"
#include "platform/text.h"

namespace cs::config {

using core::IgnoreErrors;
using core::Procedure;
using core::RunProcedure;

clsVendor::clsVendor(core::RunContext& run, Registry& registry) : run_(run), registry_(registry) {}

void clsVendor::VendorID(std::int16_t id) {
  vendor_id_ = id;
  std::string path;
  IgnoreErrors([&] { path = registry_.ConfigINIPath(false); });
  cInifile ini(run_);
  ini.Path(path);
  const auto read = [&](const char* key) {
    ini.Key(key);
    return ini.Value();
  };
  ini.Section("Vendors");
  IgnoreErrors([&] { name_ = read(std::to_string(id).c_str()); });
  ini.Section("Vendor-" + name_);
  IgnoreErrors([&] { name_long_ = read("NameLong"); });
  IgnoreErrors([&] { name_short_ = read("NameShort"); });
  IgnoreErrors([&] { default_rounding_name_ = read("DefaultRoundingName"); });
  IgnoreErrors([&] { show_level1_ = CBool(read("ShowLevel1")); });
  IgnoreErrors([&] { show_level2_ = CBool(read("ShowLevel2")); });
  IgnoreErrors([&] { options_tab_ = CBool(read("OptionsTab")); });
  IgnoreErrors([&] { ace_retail_ = read("AceRetail"); });
  IgnoreErrors([&] { level1_ = read("Level1"); });
  IgnoreErrors([&] { level2_ = read("Level2"); });
  IgnoreErrors([&] { ace_retail_long_ = read("AceRetailLong"); });
  IgnoreErrors([&] { level1_long_ = read("Level1Long"); });
  IgnoreErrors([&] { level2_long_ = read("Level2Long"); });
  IgnoreErrors([&] { ftp_user_ = read("FTPUser") + "@" + kDefaultFtpHost; });
  IgnoreErrors([&] { ftp_pass_ = kFtpPasswordPrefix + read("FTPPass"); });
  ftp_server_ = std::string(kDefaultFtpHost) + "/";
  IgnoreErrors([&] { velocity_name_ = read("VelocityName"); });
  IgnoreErrors([&] { pg_name_ = read("PGName"); });
  IgnoreErrors([&] { dept_name_ = read("DeptName"); });
  IgnoreErrors([&] { class_name_ = read("ClassName"); });
  IgnoreErrors([&] { discovery_name_ = read("DiscoveryName"); });
}

std::int16_t GetVendorFromFileName(core::RunContext& run, Registry& registry,
                                   const std::string& path, const std::string& program_dir) {
  const std::string file = platform::ReplaceAll(platform::UCase(path), platform::UCase(program_dir), "");
  cInifile ini(run);
  ini.Path(registry.ConfigINIPath(true));
  ini.Section("Vendors");
  std::vector<std::string> keys;
  std::int32_t count = 0;
  ini.EnumerateCurrentSection(keys, count);
  // Without vendors nothing can match: the log says which file was looked for, whatever -L says,
  // so that a fresh setup's "Unable to identify file vendor" has its reason.
  if (keys.empty()) {
    const auto host = run.machine().paths().Resolve(ini.Path());
    const bool found = host && run.machine().files().Stat(*host).kind == platform::FileKind::kRegular;
    run.AddToLog(found ? "No vendors are listed in [Vendors] of the configuration file '" + ini.Path() + "'."
                       : "The configuration file '" + ini.Path() + "' was not found.");
  }
  return RunProcedure(run, source::frmMain::GetVendorFromFileName, kNoVendor,
                      [&](Procedure& p, std::int16_t& result) {
    for (const std::string& key : keys) {
      ini.Section("Vendors");
      ini.Key(key);
      ini.Section("Vendor-" + ini.Value());
      ini.Key("NameShort");
      const std::string short_name = platform::UCase(ini.Value());
      // A vendor without a short name would match every path holding DATA or MTD.
      const bool matched = !short_name.empty() && (file.find(short_name + "DATA") != std::string::npos ||
                                                   file.find(short_name + "MTD") != std::string::npos);
      if (!matched) continue;
      p.step([&] { result = CInt(key); });
      return;
    }
  });
}

}  // namespace cs::config
