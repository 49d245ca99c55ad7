// A Yield Warden setup made by ywdata in a temporary prefix, with a run that imports into it:
// the vendor Ace loaded, logging on, message boxes answered from a script.
#pragma once

#include <gtest/gtest.h>

#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "db/connection.h"
#include "db/database_access.h"
#include "import/file_date.h"
#include "import/imports.h"
#include "test_support.h"
#include "ywdata.h"

namespace cs::test {

inline constexpr char kCurrentDb[] = "C:\\YIELDWARDEN\\YIELDWARDEN.YW";
inline constexpr char kMaskedLink[] = "[MS Access;DATABASE=C:\\YIELDWARDEN\\YIELDWARDEN.YW;PWD=xxxxxxxxxx]";

// One run below the window over a setup: its own fakes, the Registry module with the product key
// chosen, the engine, logging on, and the vendor Ace loaded as the run driver loads it.
struct SetupRun {
  explicit SetupRun(const std::filesystem::path& prefix,
                    std::unique_ptr<platform::PosixFileSystem> file_system = std::make_unique<platform::PosixFileSystem>())
      : files(std::move(file_system)),
        system(*files, prefix, prefix / "drive_c" / "APP", {}),
        run(system),
        registry(run),
        engine(system.files(), system.paths()) {
    registry.SetRegistryKey();
    config::clsVendor vendor(run, registry);
    vendor.VendorID(1);
    import = std::make_unique<import::ImportRun>(
        import::ImportRun{run, registry, engine, vendor.NameShort(), vendor.Name()});
  }
  std::unique_ptr<platform::PosixFileSystem> files;
  platform::System system;
  FakeRun run;
  config::Registry registry;
  db::Engine engine;
  std::unique_ptr<import::ImportRun> import;
};

class ImportTest : public ::testing::Test {
 protected:
  ImportTest() {
    ywdata::MakeEnvironment(prefix.root());
    setup = std::make_unique<SetupRun>(prefix.root());
  }

  const import::ImportRun& Import() { return *setup->import; }
  FakeRun& run() { return setup->run; }
  FakeUi& ui() { return setup->run.ui; }
  config::Registry& registry() { return setup->registry; }
  db::Engine& engine() { return setup->engine; }
  std::string FileDate(const std::string& path) { return import::FileDate(run(), engine(), path); }

  std::filesystem::path Host(const std::string& relative) const {
    return prefix.drive_c() / relative;
  }
  void MakeCurrent(const ywdata::DataOptions& o) {
    ywdata::MakeCurrentDatabase(prefix.root(), Host("YieldWarden/YieldWarden.yw"), o);
  }
  // Makes C:\DATA\<name> and returns its path as the run driver hands it on (upper case).
  std::string MakeData(const std::string& name, ywdata::DataKind kind, const ywdata::DataOptions& o) {
    ywdata::MakeDataFile(prefix.root(), Host("DATA/" + name), kind, o);
    return "C:\\DATA\\" + name;
  }

  // A table's rows as ywdata dumps them (a header line first), or "missing".
  std::string Dump(const std::filesystem::path& file, const std::string& table) {
    std::ostringstream out;
    try {
      ywdata::DumpTable(prefix.root(), file, table, out, "qed5190");
    } catch (const std::exception&) {
      return "missing";
    }
    return out.str();
  }
  std::string DumpCurrent(const std::string& table) {
    return Dump(Host("YieldWarden/YieldWarden.yw"), table);
  }
  // Every table a current database can hold.
  std::map<std::string, std::string> Snapshot() {
    std::map<std::string, std::string> out;
    for (const char* t : {"Ace", "AceMTD", "PlanogramDetails", "AdditionalDetails", "AceFileDate",
                          "ListBoxs", "Store", "Competitors"}) {
      out[t] = DumpCurrent(t);
    }
    return out;
  }

  // The rows of a query on a database, each as its fields' texts joined by "|".
  std::vector<std::string> Rows(const std::string& file, const std::string& sql,
                                const std::vector<std::string>& fields) {
    platform::WindowsPaths paths(prefix.files(), prefix.root());
    db::Engine engine(prefix.files(), paths);
    db::Connection cnn(engine);
    cnn.Open(db::ConnectionString(file));
    db::Recordset rs;
    rs.Open(sql, cnn);
    std::vector<std::string> out;
    for (; !rs.Eof(); rs.MoveNext()) {
      std::string row;
      for (std::size_t i = 0; i < fields.size(); ++i) row += (i ? "|" : "") + rs.Fields(fields[i]).ToText();
      out.push_back(row);
    }
    return out;
  }
  void Execute(const std::string& file, const std::vector<std::string>& statements) {
    platform::WindowsPaths paths(prefix.files(), prefix.root());
    db::Engine engine(prefix.files(), paths);
    db::Connection cnn(engine);
    cnn.Open(db::ConnectionString(file));
    for (const auto& s : statements) cnn.Execute(s);
  }
  std::size_t Count(const std::string& file, const std::string& table) {
    return Rows(file, "SELECT * FROM " + table, {}).size();
  }

  std::string PriceFilesValue(const std::string& name) {
    return config::ToText(registry().QueryValue(config::HKEY_CURRENT_USER, registry().PriceFilesKey, name));
  }
  void SetProductValue(const std::string& name, const std::string& value) {
    registry().SetKeyValue(config::HKEY_CURRENT_USER, registry().ProductKey, name, value, config::REG_SZ);
  }

  // The log's lines without their timestamps.
  std::vector<std::string> LogMessages() { return run().log; }

  TempPrefix prefix;
  std::unique_ptr<SetupRun> setup;
};

}  // namespace cs::test
