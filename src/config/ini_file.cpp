#include "config/ini_file.h"

#include "core/source_names.h"
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

using core::Procedure;
using core::RunProcedure;

cInifile::cInifile(core::RunContext& run) : run_(run) {}

std::string cInifile::Read(const char* section, const char* key, std::uint32_t size) {
  std::string buffer(size, ' ');
  const std::string ansi_default = platform::Utf8ToAnsi(default_);
  const std::uint32_t n = run_.profile().GetPrivateProfileStringA(
      section, key, ansi_default.c_str(), buffer.data(), size,
      platform::Utf8ToAnsi(path_).c_str());
  return platform::AnsiToUtf8(buffer.substr(0, n));
}

void cInifile::Write(const char* key, const char* value) {
  const std::string ansi_section = platform::Utf8ToAnsi(section_);
  last_return_code_ = run_.profile().WritePrivateProfileStringA(ansi_section.c_str(), key, value,
                                                          platform::Utf8ToAnsi(path_).c_str());
}

std::string cInifile::Value() {
  return RunProcedure(run_, source::cInifile::Value, std::string(), [&](Procedure& p, std::string& result) {
    p.step([&] {
      const std::string section = platform::Utf8ToAnsi(section_);
      const std::string key = platform::Utf8ToAnsi(key_);
      result = Read(section.c_str(), key.c_str(), 255);
    });
  });
}

void cInifile::Value(std::string& sValue) {
  RunProcedure(run_, source::cInifile::Value, [&](Procedure& p) {
    std::erase(sValue, '\0');
    p.step([&] {
      const std::string key = platform::Utf8ToAnsi(key_);
      const std::string value = platform::Utf8ToAnsi(sValue);
      Write(key.c_str(), value.c_str());
    });
  });
}

std::string cInifile::INISection() {
  return RunProcedure(run_, source::cInifile::INISection, std::string(),
                      [&](Procedure& p, std::string& result) {
    p.step([&] { result = Read(platform::Utf8ToAnsi(section_).c_str(), nullptr, 8192); });
  });
}

void cInifile::INISection(const std::string& sSection) {
  RunProcedure(run_, source::cInifile::INISection, [&](Procedure& p) {
    p.step([&] { Write(nullptr, platform::Utf8ToAnsi(sSection).c_str()); });
  });
}

std::string cInifile::Sections() {
  return RunProcedure(run_, source::cInifile::Sections, std::string(),
                      [&](Procedure& p, std::string& result) {
    p.step([&] { result = Read(nullptr, nullptr, 8192); });
  });
}

void cInifile::DeleteSection() {
  RunProcedure(run_, source::cInifile::DeleteSection,
               [&](Procedure& p) { p.step([&] { Write(nullptr, nullptr); }); });
}

void cInifile::EnumerateAllSections(std::vector<std::string>& sSections, std::int32_t& iCount) {
  sSections = SplitList(Sections(), false);
  iCount = static_cast<std::int32_t>(sSections.size());
}

void cInifile::EnumerateCurrentSection(std::vector<std::string>& sKey, std::int32_t& iCount) {
  sKey = SplitList(INISection(), true);
  iCount = static_cast<std::int32_t>(sKey.size());
}

}  // namespace cs::config
