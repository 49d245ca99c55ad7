// Where things are on the user's machine: the install drive and directory, the current
// database and the configuration INI. Every answer is read from the registry afresh.
#include "config/registry.h"
#include "platform/text.h"

namespace cs::config {

std::string Registry::DefaultDrive() {
  std::string drive = ToText(QueryValue(HKEY_CURRENT_USER, PriceFilesKey, "InstallDrive"));
  if (drive.empty()) drive = "C:\\";
  if (!drive.ends_with('\\')) drive += "\\";
  return drive;
}

std::string Registry::InstallAppDirectory() {
  const std::string dir = ProductValue("InstallAppDir");
  return dir.empty() ? DefaultDrive() : dir + "\\";
}

std::string Registry::DBDir() {
  std::string dir = GetSetting("Startup", "DBDir", DefaultDrive() + "YieldWarden\\");
  if (!dir.ends_with('\\')) dir += "\\";
  return platform::UCase(dir);
}

std::string Registry::DBName() {
  return platform::UCase(GetSetting("Startup", "DBName", "YieldWarden.yw"));
}

std::string Registry::ConfigINIPath(bool use_builtin_default) {
  const std::string configured = ProductValue("YWConfigINI");
  if (!configured.empty()) return configured;
  const std::string dir = ProductValue("InstallAppDir");
  if (!dir.empty()) return dir + "\\YWConfig.ini";
  return use_builtin_default ? "C:\\Program Files\\Yield Warden\\YWConfig.ini" : "\\YWConfig.ini";
}

}  // namespace cs::config
