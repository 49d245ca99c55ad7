#include "config/vendor.h"

#include "app/source_names.h"
#include "config/conversions.h"
#include "config/ini_file.h"
#include "platform/text.h"

namespace cs::config {

clsVendor::clsVendor(Registry& registry, const platform::PrivateProfile& profile,
                     app::ErrorSink& errors)
    : registry_(registry), profile_(profile), errors_(errors) {}

void clsVendor::VendorID(std::int16_t id) {
  vendor_id_ = id;
  std::string path;
  app::IgnoreErrors([&] { path = registry_.ConfigINIPath(false); });
  cInifile ini(profile_, errors_);
  ini.Path(path);
  const auto read = [&](const char* key) {
    ini.Key(key);
    return ini.Value();
  };
  ini.Section("Vendors");
  app::IgnoreErrors([&] { name_ = read(std::to_string(id).c_str()); });
  ini.Section("Vendor-" + name_);
  app::IgnoreErrors([&] { name_long_ = read("NameLong"); });
  app::IgnoreErrors([&] { name_short_ = read("NameShort"); });
  app::IgnoreErrors([&] { default_rounding_name_ = read("DefaultRoundingName"); });
  app::IgnoreErrors([&] { show_level1_ = CBool(read("ShowLevel1")); });
  app::IgnoreErrors([&] { show_level2_ = CBool(read("ShowLevel2")); });
  app::IgnoreErrors([&] { options_tab_ = CBool(read("OptionsTab")); });
  app::IgnoreErrors([&] { ace_retail_ = read("AceRetail"); });
  app::IgnoreErrors([&] { level1_ = read("Level1"); });
  app::IgnoreErrors([&] { level2_ = read("Level2"); });
  app::IgnoreErrors([&] { ace_retail_long_ = read("AceRetailLong"); });
  app::IgnoreErrors([&] { level1_long_ = read("Level1Long"); });
  app::IgnoreErrors([&] { level2_long_ = read("Level2Long"); });
  app::IgnoreErrors([&] { ftp_user_ = read("FTPUser") + "@" + kDefaultFtpHost; });
  app::IgnoreErrors([&] { ftp_pass_ = kFtpPasswordPrefix + read("FTPPass"); });
  ftp_server_ = std::string(kDefaultFtpHost) + "/";
  app::IgnoreErrors([&] { velocity_name_ = read("VelocityName"); });
  app::IgnoreErrors([&] { pg_name_ = read("PGName"); });
  app::IgnoreErrors([&] { dept_name_ = read("DeptName"); });
  app::IgnoreErrors([&] { class_name_ = read("ClassName"); });
  app::IgnoreErrors([&] { discovery_name_ = read("DiscoveryName"); });
}

std::int16_t GetVendorFromFileName(const std::string& path, const std::string& program_dir,
                                   Registry& registry, const platform::PrivateProfile& profile,
                                   app::ErrorSink& errors) {
  std::int16_t result = kNoVendor;
  app::Guard guard(errors, source::frmMain::GetVendorFromFileName);
  std::string file;
  cInifile ini(profile, errors);
  std::vector<std::string> keys;
  std::int32_t count = 0;
  const bool ready =
      guard.Step([&] { file = platform::UCase(path); }) &&
      guard.Step([&] { file = platform::ReplaceAll(file, platform::UCase(program_dir), ""); }) &&
      guard.Step([&] { ini.Path(registry.ConfigINIPath(true)); }) &&
      guard.Step([&] {
        ini.Section("Vendors");
        ini.EnumerateCurrentSection(keys, count);
      });
  if (!ready) return result;
  for (std::int32_t i = 0; i < count; ++i) {
    const std::string& key = keys[static_cast<std::size_t>(i)];
    std::string short_name;
    bool matched = false;
    const bool go_on = guard.Step([&] {
      ini.Section("Vendors");
      ini.Key(key);
      const std::string name = ini.Value();
      ini.Section("Vendor-" + name);
      ini.Key("NameShort");
      short_name = platform::UCase(ini.Value());
      // A vendor without a short name would match every path holding DATA or MTD.
      matched = !short_name.empty() && (file.find(short_name + "DATA") != std::string::npos ||
                                        file.find(short_name + "MTD") != std::string::npos);
    });
    if (!go_on) return result;
    if (!matched) continue;
    guard.Step([&] { result = CInt(key); });
    break;
  }
  return result;
}

}  // namespace cs::config
