// Where things are on the user's machine: the install drive and directory, the current
// database and the configuration INI. Every answer is read from the registry afresh.
#include "app/source_names.h"
#include "config/registry.h"
#include "platform/text.h"

namespace cs::config {

std::string Registry::DefaultDrive() {
  std::string result;
  app::Guard guard(errors_, source::Registry::DefaultDrive);
  guard.Step([&] { result = ToText(QueryValue(HKEY_CURRENT_USER, PriceFilesKey, "InstallDrive")); }) &&
      guard.Step([&] { if (result.empty()) result = "C:\\"; }) &&
      guard.Step([&] { if (!result.ends_with('\\')) result += "\\"; });
  return result;
}

std::string Registry::InstallAppDirectory() {
  std::string result;
  app::Guard guard(errors_, source::Registry::InstallAppDirectory);
  std::string dir;
  guard.Step([&] { dir = ProductValue("InstallAppDir"); }) &&
      guard.Step([&] { result = dir.empty() ? DefaultDrive() : dir + "\\"; });
  return result;
}

std::string Registry::DBDir() {
  std::string result;
  app::Guard guard(errors_, source::frmMain::DBDir);
  std::string fallback;
  guard.Step([&] { fallback = DefaultDrive() + "YieldWarden\\"; }) &&
      guard.Step([&] { result = GetSetting("Startup", "DBDir", fallback); }) &&
      guard.Step([&] { if (!result.ends_with('\\')) result += "\\"; }) &&
      guard.Step([&] { result = platform::UCase(result); });
  return result;
}

std::string Registry::DBName() {
  std::string result;
  app::Guard guard(errors_, source::frmMain::DBName);
  guard.Step([&] { result = platform::UCase(GetSetting("Startup", "DBName", "YieldWarden.yw")); });
  return result;
}

// Runs inside its callers and reports under their names, so it carries no guard of its own.
std::string Registry::ConfigINIPath(bool use_builtin_default) {
  const std::string configured = ProductValue("YWConfigINI");
  if (!configured.empty()) return configured;
  const std::string dir = ProductValue("InstallAppDir");
  if (!dir.empty()) return dir + "\\YWConfig.ini";
  return use_builtin_default ? "C:\\Program Files\\Yield Warden\\YWConfig.ini" : "\\YWConfig.ini";
}

}  // namespace cs::config
