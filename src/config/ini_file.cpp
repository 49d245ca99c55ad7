#include "config/ini_file.h"

#include "app/source_names.h"
#include "platform/text.h"

namespace cs::config {
namespace {

// Splits a NUL-separated list; the part after the last NUL (a name cut short) is left out.
std::vector<std::string> SplitList(const std::string& list, bool keep_empty) {
  std::vector<std::string> names;
  std::size_t start = 0;
  for (auto nul = list.find('\0'); nul != std::string::npos; nul = list.find('\0', start)) {
    if (nul > start || keep_empty) names.push_back(list.substr(start, nul - start));
    start = nul + 1;
  }
  return names;
}

}  // namespace

cInifile::cInifile(const platform::PrivateProfile& profile, app::ErrorSink& errors)
    : profile_(profile), errors_(errors) {}

std::string cInifile::Read(const char* section, const char* key, std::uint32_t size) {
  std::string buffer(size, ' ');
  const std::string ansi_default = platform::Utf8ToAnsi(default_);
  const std::uint32_t n = profile_.GetPrivateProfileStringA(
      section, key, ansi_default.c_str(), buffer.data(), size,
      platform::Utf8ToAnsi(path_).c_str());
  return platform::AnsiToUtf8(buffer.substr(0, n));
}

void cInifile::Write(const char* key, const char* value) {
  const std::string ansi_section = platform::Utf8ToAnsi(section_);
  last_return_code_ = profile_.WritePrivateProfileStringA(ansi_section.c_str(), key, value,
                                                          platform::Utf8ToAnsi(path_).c_str());
}

std::string cInifile::Value() {
  std::string result;
  app::Guard guard(errors_, source::cInifile::Value);
  guard.Step([&] {
    const std::string section = platform::Utf8ToAnsi(section_);
    const std::string key = platform::Utf8ToAnsi(key_);
    result = Read(section.c_str(), key.c_str(), 255);
  });
  return result;
}

void cInifile::Value(std::string& sValue) {
  app::Guard guard(errors_, source::cInifile::Value);
  guard.Step([&] { std::erase(sValue, '\0'); }) && guard.Step([&] {
    const std::string key = platform::Utf8ToAnsi(key_);
    const std::string value = platform::Utf8ToAnsi(sValue);
    Write(key.c_str(), value.c_str());
  });
}

std::string cInifile::INISection() {
  std::string result;
  app::Guard guard(errors_, source::cInifile::INISection);
  guard.Step([&] {
    const std::string section = platform::Utf8ToAnsi(section_);
    result = Read(section.c_str(), nullptr, 8192);
  });
  return result;
}

void cInifile::INISection(const std::string& sSection) {
  app::Guard guard(errors_, source::cInifile::INISection);
  guard.Step([&] {
    const std::string text = platform::Utf8ToAnsi(sSection);
    Write(nullptr, text.c_str());
  });
}

std::string cInifile::Sections() {
  std::string result;
  app::Guard guard(errors_, source::cInifile::Sections);
  guard.Step([&] { result = Read(nullptr, nullptr, 8192); });
  return result;
}

void cInifile::DeleteSection() {
  app::Guard guard(errors_, source::cInifile::DeleteSection);
  guard.Step([&] { Write(nullptr, nullptr); });
}

void cInifile::EnumerateAllSections(std::vector<std::string>& sSections, std::int32_t& iCount) {
  iCount = 0;
  sSections.clear();
  app::Guard guard(errors_, source::cInifile::EnumerateAllSections);
  guard.Step([&] {
    sSections = SplitList(Sections(), false);
    iCount = static_cast<std::int32_t>(sSections.size());
  });
}

void cInifile::EnumerateCurrentSection(std::vector<std::string>& sKey, std::int32_t& iCount) {
  iCount = 0;
  sKey.clear();
  app::Guard guard(errors_, source::cInifile::EnumerateCurrentSection);
  guard.Step([&] {
    sKey = SplitList(INISection(), true);
    iCount = static_cast<std::int32_t>(sKey.size());
  });
}

}  // namespace cs::config
