// Runs the built acefeedpump as a user runs it, in a temporary prefix made by ywdata, on the
// console: what it prints, when, and what it leaves behind.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "test_support.h"
#include "ywdata.h"

namespace cs::test {

struct Outcome {
  std::vector<std::string> lines;  // standard error
  double seconds_after_last_line = 0;
  double seconds = 0;
  std::string Text() const {
    std::string out;
    for (const auto& l : lines) out += l + "\n";
    return out;
  }
};

inline std::string ShellQuote(const std::string& s) {
  std::string out = "'";
  for (const char c : s) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

class EndToEndTest : public ::testing::Test {
 protected:
  EndToEndTest() {
    ywdata::MakeEnvironment(prefix.root());
    std::filesystem::create_directories(prefix.drive_c() / "APP");
    std::filesystem::copy_file(ACEFEEDPUMP_PATH, Program());
    // The Jet file reader goes beside the program, where an installed program finds it too.
    std::filesystem::copy_file(JETREAD_PATH, prefix.drive_c() / "APP" / "catalogsync-jetread");
    ywdata::MakeCurrentDatabase(prefix.root(), Current(), {.rows = 20, .date = "3/1/2007"});
  }

  std::filesystem::path Program() const { return prefix.drive_c() / "APP" / "acefeedpump"; }
  std::filesystem::path Current() const { return prefix.drive_c() / "YieldWarden" / "YieldWarden.yw"; }
  std::filesystem::path LogPath() const {
    return prefix.drive_c() / "Program Files" / "Yield Warden" / "YW_VendorData_Install.LOG";
  }

  // Runs the program with the arguments, answering boxes from `answers`.
  Outcome Run(const std::vector<std::string>& args, const std::string& answers = "") {
    const auto input = prefix.root() / "answers.txt";
    WriteFile(input, answers);
    std::string command = environment + "CATALOGSYNC_PREFIX=" + ShellQuote(prefix.root().string()) +
                          " CATALOGSYNC_UI=console " + ShellQuote(Program().string());
    for (const auto& a : args) command += " " + ShellQuote(a);
    command += " < " + ShellQuote(input.string()) + " 2>&1 >/dev/null";
    Outcome out;
    const auto start = std::chrono::steady_clock::now();
    auto last = start;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) {
      ADD_FAILURE() << "cannot run " << command;
      return out;
    }
    std::string line;
    for (int c; (c = std::fgetc(pipe)) != EOF;) {
      if (c == '\n') {
        out.lines.push_back(line);
        line.clear();
        last = std::chrono::steady_clock::now();
      } else {
        line += static_cast<char>(c);
      }
    }
    const int status = pclose(pipe);
    const auto end = std::chrono::steady_clock::now();
    EXPECT_EQ(status, 0) << "the exit status is 0 for every outcome";
    out.seconds_after_last_line = std::chrono::duration<double>(end - last).count();
    out.seconds = std::chrono::duration<double>(end - start).count();
    return out;
  }

  // The names of the files beside the current database, the database itself left out.
  std::vector<std::string> Beside() const {
    std::vector<std::string> out;
    for (const auto& e : std::filesystem::directory_iterator(Current().parent_path())) {
      if (e.path() != Current()) out.push_back(e.path().filename().string());
    }
    std::sort(out.begin(), out.end());
    return out;
  }

  // The log's lines without their timestamps.
  std::vector<std::string> LogMessages() const {
    return test::LogFileMessages(LogPath());
  }

  // "SetupComplete" as user.reg holds it, or "" when absent.
  std::string SetupComplete() const {
    const std::string reg = ReadFile(prefix.user_reg());
    const std::string key = "\"SetupComplete\"=\"";
    const auto pos = reg.find(key);
    if (pos == std::string::npos) return "";
    return reg.substr(pos + key.size(), reg.find('"', pos + key.size()) - pos - key.size());
  }

  std::size_t Count(const std::string& table) {
    std::ostringstream out;
    ywdata::DumpTable(prefix.root(), Current(), table, out, "qed5190");
    const std::string text = out.str();
    return static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n')) - 1;
  }

  TempPrefix prefix;
  // Variables set for every run, as "NAME=value " with the value quoted.
  std::string environment;
};

}  // namespace cs::test
