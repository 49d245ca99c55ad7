// cInifile: one INI file, reached through the private-profile functions for every read and write.
// It keeps no copy of the file. Set Path, Section and Key, then read Value or list the section's
// keys with EnumerateCurrentSection. Texts are UTF-8 here and ANSI in the file.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/run_context.h"

namespace cs::config {

class cInifile {
 public:
  explicit cInifile(core::RunContext& run);

  const std::string& Path() const { return path_; }
  void Path(const std::string& sPath) { path_ = sPath; }
  const std::string& Section() const { return section_; }
  void Section(const std::string& sSection) { section_ = sSection; }
  const std::string& Key() const { return key_; }
  void Key(const std::string& sKey) { key_ = sKey; }
  const std::string& Default() const { return default_; }
  void Default(const std::string& sDefault) { default_ = sDefault; }
  std::int32_t LastReturnCode() const { return last_return_code_; }
  bool Success() const { return last_return_code_ != 0; }

  // The value of Key in Section, at most 254 characters; Default when missing.
  std::string Value();
  // Removes every NUL from sValue (the caller's text too) and writes it as Key's value.
  void Value(std::string& sValue);

  // The key names of Section, each followed by a NUL (at most 8190 characters).
  std::string INISection();
  // Removes the whole current section; the text is not stored.
  void INISection(const std::string& sSection);
  // The section names of the file, each followed by a NUL.
  std::string Sections();
  void DeleteSection();

  // The names of Sections, empty ones skipped; sSections[0] is the first name.
  void EnumerateAllSections(std::vector<std::string>& sSections, std::int32_t& iCount);
  // The names of INISection, empty ones kept.
  void EnumerateCurrentSection(std::vector<std::string>& sKey, std::int32_t& iCount);

 private:
  std::string Read(const char* section, const char* key, std::uint32_t size);
  void Write(const char* key, const char* value);

  core::RunContext& run_;
  std::string path_, key_, section_, default_;
  std::int32_t last_return_code_ = 0;
};

}  // namespace cs::config
