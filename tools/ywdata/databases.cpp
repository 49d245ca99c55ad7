#include <ostream>

#include "db/connection.h"
#include "db/jetfile/to_jet.h"
#include "platform/posix_file_system.h"
#include "platform/prefix.h"
#include "platform/run_error.h"
#include "platform/windows_paths.h"
#include "schema/product_table.h"
#include "ywdata.h"

namespace fs = std::filesystem;

namespace cs::ywdata {
namespace {

constexpr const char* kWords[] = {"Hammer", "Claw", "Nail", "Screw", "Bolt", "Washer", "Paint",
                                  "Brush", "Roller", "Hinge", "Latch", "Pliers", "Wrench", "Saw",
                                  "Drill", "Bit", "Tape", "Glue", "Hose", "Valve", "Pipe", "Elbow",
                                  "Bulb", "Switch", "Outlet", "Wire", "Rake", "Shovel", "Broom"};
constexpr const char* kSizes[] = {"1/4in", "3/8in", "1/2in", "3/4in", "1in", "2in", "16oz", "1gal", "6ft", "25ft"};
constexpr const char* kDepts[] = {"HDW", "PNT", "PLB", "ELE", "LAW", "TLS"};
constexpr const char* kVendors[] = {"Stanley", "Irwin", "Valspar", "Moen", "Leviton", "Ames"};

// A small generator so that the same options give the same file.
struct Random {
  std::uint64_t state;
  std::uint64_t Next() {
    state = state * 6364136223846793005ULL + 1442695040888963407ULL;
    return state >> 33;
  }
  std::uint64_t Below(std::uint64_t n) { return Next() % n; }
};

std::string Quote(const std::string& s) {
  std::string out = "'";
  for (const char c : s) out += c == '\'' ? std::string("''") : std::string(1, c);
  return out + "'";
}

std::string Money(std::uint64_t cents) {
  return std::to_string(cents / 100) + "." + (cents % 100 < 10 ? "0" : "") + std::to_string(cents % 100);
}

// A new database file named by a host path, opened through its Windows form.
class NewDatabase {
 public:
  NewDatabase(const fs::path& prefix, const fs::path& file, const std::string& password)
      : paths_(files_, prefix), engine_(files_, paths_), cnn_(engine_) {
    platform::EnsurePrefix(files_, prefix);
    fs::create_directories(fs::absolute(file).parent_path());
    db::CreateDatabase(file.string(), password);
    const std::string windows = paths_.ToWindows(fs::absolute(file));
    cnn_.Open("Provider=Microsoft.Jet.OLEDB.4.0; Data Source=" + windows +
              ";Jet OLEDB:Database Password=" + password);
  }
  db::Connection& operator*() { return cnn_; }

 private:
  platform::PosixFileSystem files_;
  platform::WindowsPaths paths_;
  db::Engine engine_;
  db::Connection cnn_;
};

void Run(db::Connection& cnn, const std::vector<std::string>& statements) {
  for (const auto& s : statements) cnn.Execute(s);
}

void DateTable(db::Connection& cnn, const std::string& date) {
  cnn.Execute("CREATE TABLE AceFileDate ([FileDate] DATETIME)");
  if (!date.empty()) cnn.Execute("INSERT INTO AceFileDate ( FileDate ) VALUES ( #" + date + "# )");
}

// Product rows: SKUs first_sku .. first_sku + rows - 1; a price bump of `seed` tells files apart.
void AceRows(db::Connection& cnn, const std::string& table, const DataOptions& o, std::uint64_t seed,
             bool full_rows) {
  cnn.BeginTrans();
  for (std::int64_t i = 0; i < o.rows; ++i) {
    const std::int64_t sku = o.first_sku + i;
    Random r{static_cast<std::uint64_t>(sku) * 2654435761ULL + seed};
    const std::uint64_t cost = 50 + r.Below(20000);
    const std::string retail = Money(cost * 2 + seed % 7);
    if (!full_rows) {
      cnn.Execute("INSERT INTO " + table + " ( SKU, AceRetail ) VALUES ( '" + std::to_string(sku) + "', " + retail + " )");
      continue;
    }
    const std::string desc = std::string(kWords[r.Below(std::size(kWords))]) + " " + kWords[r.Below(std::size(kWords))] +
                             " " + kSizes[r.Below(std::size(kSizes))];
    const int month = 1 + static_cast<int>(r.Below(12));
    const int day = 1 + static_cast<int>(r.Below(28));
    cnn.Execute("INSERT INTO " + table +
                " ( SKU, Description, AceRetail, Level1, Level2, MC, DEPT, PS, DealerCost, DOM, HC, VC, "
                "VendorName, VendorNumber, MfgNumber, ParentRSC, PG, PrivateLabel, RDOM, RSCCount, RU, Nbr, Conv, "
                "Sup, Ult, [Active], InUpdate, MSURetail, MSURetailPrior, MSUChangeDate, LastPriceChange, "
                "LastUpdate, CreateDate ) VALUES ( '" + std::to_string(sku) + "', " + Quote(desc) + ", " + retail +
                ", " + Money(cost * 18 / 10) + ", " + Money(cost * 16 / 10) + ", 'MC" + std::to_string(r.Below(90)) +
                "', '" + kDepts[r.Below(std::size(kDepts))] + "', 'EA', " + Money(cost) + ", " +
                std::to_string(r.Below(500)) + ", " + std::to_string(r.Below(40)) + ", '" +
                std::string(1, static_cast<char>('A' + r.Below(6))) + "', " + Quote(kVendors[r.Below(std::size(kVendors))]) +
                ", 'V" + std::to_string(10000 + r.Below(90000)) + "', 'M-" + std::to_string(r.Next() % 100000000) +
                "', 'R" + std::to_string(r.Below(999)) + "', 'PG" + std::to_string(r.Below(99)) + "', '" +
                (r.Below(10) == 0 ? "Y" : "N") + "', " + std::to_string(r.Below(300)) + ", " +
                std::to_string(r.Below(12)) + ", " + std::to_string(1 + r.Below(24)) + ", 'N" +
                std::to_string(r.Below(99)) + "', 'C" + std::to_string(r.Below(99)) + "', 'S" +
                std::to_string(r.Below(99)) + "', 'U" + std::to_string(r.Below(99)) + "', " +
                (r.Below(20) == 0 ? "False" : "True") + ", False, " + retail + ", " + Money(cost * 2) + ", #" +
                std::to_string(month) + "/" + std::to_string(day) + "/2006#, #" + std::to_string(month) + "/" +
                std::to_string(day) + "/2006#, #" + (o.date.empty() ? std::string("1/1/2006") : o.date) +
                "#, #1/15/2001# )");
  }
  cnn.CommitTrans();
}

void PlanogramRows(db::Connection& cnn, std::int64_t count) {
  cnn.BeginTrans();
  for (std::int64_t i = 0; i < count; ++i) {
    cnn.Execute("INSERT INTO PlanogramDetails ( POG, Description ) VALUES ( 'POG" + std::to_string(1000 + i) +
                "', 'Aisle " + std::to_string(1 + i % 40) + " section " + std::to_string(i) + "' )");
  }
  cnn.CommitTrans();
}

void WriteCurrentDatabase(const fs::path& prefix, const fs::path& file, const DataOptions& o) {
  NewDatabase d(prefix, file, o.password);
  db::Connection& cnn = *d;
  Run(cnn, schema::AceStatements("Ace"));
  Run(cnn, schema::PlanogramStatements("PlanogramDetails"));
  DateTable(cnn, o.date);
  cnn.Execute("CREATE TABLE ListBoxs ([ListName] TEXT(50), [Item] TEXT(50))");
  cnn.Execute("CREATE TABLE Store ([Sku] TEXT(20) CONSTRAINT StoreKey PRIMARY KEY, [Comp1] CURRENCY, [Comp2] CURRENCY, "
              "[Comp3] CURRENCY, [Comp4] CURRENCY, [Comp5] CURRENCY)");
  cnn.Execute("CREATE TABLE Competitors ([Competitor] TEXT(10), [Name] TEXT(50))");
  AceRows(cnn, "Ace", o, 0, true);
  PlanogramRows(cnn, std::max<std::int64_t>(1, o.rows / 50));
  cnn.BeginTrans();
  for (int i = 1; i <= 5; ++i) {
    cnn.Execute("INSERT INTO Competitors ( Competitor, Name ) VALUES ( 'Comp" + std::to_string(i) + "', 'Competitor " +
                std::to_string(i) + "' )");
  }
  for (const char* item : {"Departments", "Vendors", "Classes"}) {
    cnn.Execute(std::string("INSERT INTO ListBoxs ( ListName, Item ) VALUES ( 'Lists', '") + item + "' )");
  }
  for (std::int64_t i = 0; i < o.rows; i += 2) {
    cnn.Execute("INSERT INTO Store ( Sku, Comp1, Comp5 ) VALUES ( '" + std::to_string(o.first_sku + i) + "', 1.99, 9.99 )");
  }
  cnn.CommitTrans();
}

void WriteDataFile(const fs::path& prefix, const fs::path& file, DataKind kind, const DataOptions& o) {
  NewDatabase d(prefix, file, o.password);
  db::Connection& cnn = *d;
  Run(cnn, schema::AceStatements("Ace"));
  DateTable(cnn, o.date);
  const std::uint64_t seed = kind == DataKind::kFull ? 1 : kind == DataKind::kMonthToDate ? 2 : 3;
  AceRows(cnn, "Ace", o, seed, kind != DataKind::kCustom);
  if (kind != DataKind::kCustom) {
    Run(cnn, schema::PlanogramStatements("PlanogramDetails"));
    PlanogramRows(cnn, std::max<std::int64_t>(1, o.rows / 40));
  }
  if (o.additional_details && kind != DataKind::kCustom) {
    cnn.Execute("CREATE TABLE AdditionalDetails ([SKU] TEXT(20) CONSTRAINT AddKey PRIMARY KEY, [UPC] TEXT(14), [Weight] DOUBLE)");
    cnn.BeginTrans();
    for (std::int64_t i = 0; i < o.rows; i += 3) {
      const std::int64_t sku = o.first_sku + i;
      cnn.Execute("INSERT INTO AdditionalDetails ( SKU, UPC, Weight ) VALUES ( '" + std::to_string(sku) + "', '0" +
                  std::to_string(70000000000 + sku) + "', " + std::to_string(1 + sku % 50) + ".5 )");
    }
    cnn.CommitTrans();
  }
}

// Makes `file` with `make` in the program's format, or with o.jet a Jet 4 file written from such
// a file made beside it first (and removed, whatever happens).
template <class Make>
void MakeAs(const fs::path& file, const DataOptions& o, Make make) {
  if (!o.jet) {
    make(file);
    return;
  }
  platform::PosixFileSystem files;
  if (files.Stat(file).kind != platform::FileKind::kMissing) throw RunError(err::kFileAlreadyExists, "File already exists");
  const fs::path staging = file.parent_path() / ("." + file.filename().string() + ".staging");
  files.Remove(staging);
  struct Remove {
    platform::PosixFileSystem& files;
    const fs::path& staging;
    ~Remove() {
      files.Remove(staging);
      files.Remove(staging.string() + "-journal");
    }
  } remove{files, staging};
  make(staging);
  db::jetfile::CopyToJetFile(files, staging, file, o.password);
}

}  // namespace

void MakeCurrentDatabase(const fs::path& prefix, const fs::path& file, const DataOptions& o) {
  MakeAs(file, o, [&](const fs::path& f) { WriteCurrentDatabase(prefix, f, o); });
}

void MakeDataFile(const fs::path& prefix, const fs::path& file, DataKind kind, const DataOptions& o) {
  MakeAs(file, o, [&](const fs::path& f) { WriteDataFile(prefix, f, kind, o); });
}

void DumpTable(const fs::path& prefix, const fs::path& file, const std::string& table, std::ostream& out,
               const std::string& password) {
  platform::PosixFileSystem files;
  platform::EnsurePrefix(files, prefix);
  platform::WindowsPaths paths(files, prefix);
  db::Engine engine(files, paths);
  db::Connection cnn(engine);
  cnn.Open("Provider=Microsoft.Jet.OLEDB.4.0; Data Source=" + paths.ToWindows(fs::absolute(file)) +
           ";Jet OLEDB:Database Password=" + password);
  db::Recordset first;
  first.Open("SELECT * FROM [" + table + "]", cnn);
  const std::vector<std::string> names = first.FieldNames();
  first.Close();
  if (names.empty()) return;
  db::Recordset rs;
  rs.Open("SELECT * FROM [" + table + "] ORDER BY [" + names[0] + "]", cnn);
  for (std::size_t i = 0; i < names.size(); ++i) out << (i ? "\t" : "") << names[i];
  out << "\n";
  while (!rs.Eof()) {
    for (std::size_t i = 0; i < names.size(); ++i) out << (i ? "\t" : "") << rs.Fields(names[i]).ToText();
    out << "\n";
    rs.MoveNext();
  }
}

}  // namespace cs::ywdata
