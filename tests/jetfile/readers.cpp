#include "jetfile/readers.h"

#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <future>
#include <sstream>
#include <stdexcept>

extern char** environ;

namespace cs::test::jetfile {
namespace {

// --- The readers, run as child processes ---------------------------------------------------

struct Output {
  std::string out, err;
  int status = 0;
};

class Fd {
 public:
  explicit Fd(int fd = -1) : fd_(fd) {}
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  ~Fd() { Close(); }
  int get() const { return fd_; }
  void Close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }

 private:
  int fd_;
};

// Runs `argv` (found on PATH) with `extra_env` added to the environment, and gathers what it
// writes on both outputs until it ends.
Output Run(const std::vector<std::string>& argv, const std::vector<std::string>& extra_env) {
  int out_pipe[2], err_pipe[2];
  if (::pipe(out_pipe) != 0) throw std::runtime_error("pipe: " + std::string(std::strerror(errno)));
  Fd out_read(out_pipe[0]), out_write(out_pipe[1]);
  if (::pipe(err_pipe) != 0) throw std::runtime_error("pipe: " + std::string(std::strerror(errno)));
  Fd err_read(err_pipe[0]), err_write(err_pipe[1]);

  posix_spawn_file_actions_t actions;
  if (posix_spawn_file_actions_init(&actions) != 0)
    throw std::runtime_error("posix_spawn_file_actions_init");
  if (posix_spawn_file_actions_adddup2(&actions, out_write.get(), 1) != 0 ||
      posix_spawn_file_actions_adddup2(&actions, err_write.get(), 2) != 0 ||
      posix_spawn_file_actions_addclose(&actions, out_read.get()) != 0 ||
      posix_spawn_file_actions_addclose(&actions, err_read.get()) != 0) {
    posix_spawn_file_actions_destroy(&actions);
    throw std::runtime_error("the outputs of " + argv[0] + " cannot be set up");
  }

  std::vector<std::string> env_text = extra_env;
  for (char** e = environ; *e != nullptr; ++e) {
    const std::string_view entry(*e);
    const bool overridden =
        std::any_of(extra_env.begin(), extra_env.end(), [&](const std::string& x) {
          return entry.substr(0, entry.find('=') + 1) ==
                 std::string_view(x).substr(0, x.find('=') + 1);
        });
    if (!overridden) env_text.emplace_back(entry);
  }
  std::vector<char*> env, args;
  for (auto& e : env_text) env.push_back(e.data());
  env.push_back(nullptr);
  std::vector<std::string> arg_text = argv;
  for (auto& a : arg_text) args.push_back(a.data());
  args.push_back(nullptr);

  pid_t pid = 0;
  const int spawned = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), env.data());
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) {
    throw std::runtime_error(argv[0] + " cannot be started (" + std::strerror(spawned) +
                             "): is it installed? scripts/bootstrap installs the test readers");
  }
  out_write.Close();
  err_write.Close();

  Output result;
  pollfd fds[2] = {{out_read.get(), POLLIN, 0}, {err_read.get(), POLLIN, 0}};
  std::string* sinks[2] = {&result.out, &result.err};
  int open = 2;
  char buffer[1 << 16];
  while (open > 0) {
    if (::poll(fds, 2, -1) < 0) {
      if (errno == EINTR) continue;
      throw std::runtime_error("poll: " + std::string(std::strerror(errno)));
    }
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || fds[i].revents == 0) continue;
      const ssize_t n = ::read(fds[i].fd, buffer, sizeof buffer);
      if (n > 0) {
        sinks[i]->append(buffer, static_cast<std::size_t>(n));
      } else if (n == 0 || errno != EINTR) {
        fds[i].fd = -1;
        --open;
      }
    }
  }
  while (::waitpid(pid, &result.status, 0) < 0) {
    if (errno != EINTR) throw std::runtime_error("waitpid: " + std::string(std::strerror(errno)));
  }
  return result;
}

std::string Describe(int status) {
  if (WIFEXITED(status)) return "exit status " + std::to_string(WEXITSTATUS(status));
  if (WIFSIGNALED(status)) return "signal " + std::to_string(WTERMSIG(status));
  return "status " + std::to_string(status);
}

Dump ReadWith(const std::string& reader, const std::vector<std::string>& argv,
              const std::vector<std::string>& extra_env, const std::string& path) {
  const Output result = Run(argv, extra_env);
  if (!WIFEXITED(result.status) || WEXITSTATUS(result.status) != 0) {
    throw std::runtime_error(reader + " could not read " + path + " (" + Describe(result.status) +
                             "): " + result.err);
  }
  return ParseDump(result.out, reader + " on " + path);
}

// --- The dump format ------------------------------------------------------------------------

std::vector<std::string> Split(std::string_view line, char separator) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  while (true) {
    const std::size_t at = line.find(separator, start);
    parts.emplace_back(
        line.substr(start, at == std::string_view::npos ? std::string_view::npos : at - start));
    if (at == std::string_view::npos) return parts;
    start = at + 1;
  }
}

bool StartsWith(std::string_view text, std::string_view prefix) {
  return text.substr(0, prefix.size()) == prefix;
}

// "NAME<TAB>k=v<TAB>k=v" after the line's keyword.
DumpItem ParseItem(std::string_view rest, const std::string& where) {
  const auto fields = Split(rest, '\t');
  DumpItem item{fields[0], {}};
  for (std::size_t i = 1; i < fields.size(); ++i) {
    const std::size_t eq = fields[i].find('=');
    if (eq == std::string::npos || eq == 0)
      throw std::runtime_error(where + ": attribute without a value: " + fields[i]);
    if (!item.attributes.emplace(fields[i].substr(0, eq), fields[i].substr(eq + 1)).second)
      throw std::runtime_error(where + ": attribute given twice: " + fields[i]);
  }
  return item;
}

// A value for a message: whole when short, else its first bytes and its length.
std::string Shown(std::string_view value) {
  constexpr std::size_t kShown = 80;
  if (value.size() <= kShown) return "\"" + std::string(value) + "\"";
  return "\"" + std::string(value.substr(0, kShown)) + "...\" (" + std::to_string(value.size()) +
         " bytes)";
}

// Where two long values part, for a message that shows the place.
std::string WhereTheyDiffer(const std::string& a, const std::string& b) {
  const auto [ia, ib] = std::mismatch(a.begin(), a.end(), b.begin(), b.end());
  const std::size_t at = static_cast<std::size_t>(ia - a.begin());
  if (a.size() <= 80 && b.size() <= 80) return "";
  const std::size_t from = at > 20 ? at - 20 : 0;
  return "; they part at byte " + std::to_string(at) + ": " + Shown(a.substr(from, 60)) +
         " against " + Shown(b.substr(from, 60));
}

class Differences {
 public:
  Differences(std::string expected, std::string actual, std::size_t max)
      : expected_(std::move(expected)), actual_(std::move(actual)), max_(max) {}
  void Add(const std::string& where, const std::string& expected, const std::string& actual) {
    Note(where + ": " + expected_ + " " + Shown(expected) + ", " + actual_ + " " + Shown(actual) +
         WhereTheyDiffer(expected, actual));
  }
  void Note(const std::string& text) {
    if (count_++ < max_) text_ += "\n  " + text;
  }
  // True once more differences were found than are listed: the search may stop.
  bool full() const { return count_ > max_; }
  ::testing::AssertionResult Result() const {
    if (count_ == 0) return ::testing::AssertionSuccess();
    auto failure =
        ::testing::AssertionFailure()
        << (count_ > max_ ? "more than " + std::to_string(max_) + " differences (the first " +
                                std::to_string(max_) + ")"
                          : std::to_string(count_) + (count_ == 1 ? " difference" : " differences"))
        << " between " << expected_ << " and " << actual_ << ":" << text_;
    return failure;
  }
  const std::string& actual_name() const { return actual_; }

 private:
  std::string expected_, actual_;
  std::size_t max_;
  std::size_t count_ = 0;
  std::string text_;
};

void CompareValue(const std::string& key, const std::string& expected, const std::string& actual,
                  const Comparison& what, const std::string& where, Differences& d) {
  if (actual == kUnknown && expected != kUnknown && what.may_be_unknown.count(key)) return;
  if (expected != actual) d.Add(where + ", " + key, expected, actual);
}

void CompareItems(const std::vector<DumpItem>& expected, const std::vector<DumpItem>& actual,
                  const std::string& kind, const Comparison& what, const std::string& where,
                  Differences& d) {
  if (expected.size() != actual.size()) {
    auto names = [](const std::vector<DumpItem>& items) {
      std::string s;
      for (const auto& i : items) s += (s.empty() ? "" : ", ") + i.name;
      return s;
    };
    d.Add(where + ", " + kind + "s", names(expected), names(actual));
    return;
  }
  for (std::size_t i = 0; i < expected.size(); ++i) {
    const DumpItem& e = expected[i];
    const DumpItem& a = actual[i];
    const std::string at = where + ", " + kind + " " + std::to_string(i + 1);
    if (e.name != a.name) {
      d.Add(at + " name", e.name, a.name);
      continue;
    }
    std::set<std::string> keys;
    for (const auto& [k, v] : e.attributes) keys.insert(k);
    for (const auto& [k, v] : a.attributes) keys.insert(k);
    for (const auto& key : keys) {
      const auto ie = e.attributes.find(key);
      const auto ia = a.attributes.find(key);
      CompareValue(key, ie == e.attributes.end() ? "(none)" : ie->second,
                   ia == a.attributes.end() ? "(none)" : ia->second, what,
                   where + ", " + kind + " " + e.name, d);
    }
  }
}

std::string JoinRow(const std::vector<std::string>& row) {
  std::string s;
  for (std::size_t i = 0; i < row.size(); ++i) s += (i ? "\t" : "") + row[i];
  return s;
}

void CompareRows(const DumpTable& e, const DumpTable& a, const Comparison& what, Differences& d) {
  const std::string where = "table " + e.name;
  if (e.header != a.header) {
    d.Add(where + ", column names", JoinRow(e.header), JoinRow(a.header));
    return;
  }
  if (what.order == RowOrder::kSame) {
    const std::size_t common = std::min(e.rows.size(), a.rows.size());
    for (std::size_t r = 0; r < common && !d.full(); ++r) {
      for (std::size_t c = 0; c < e.header.size(); ++c) {
        if (e.rows[r][c] != a.rows[r][c]) {
          d.Add(where + ", row " + std::to_string(r + 1) + ", column " + e.header[c], e.rows[r][c],
                a.rows[r][c]);
        }
      }
    }
  } else {
    std::vector<std::string> se, sa;
    for (const auto& r : e.rows) se.push_back(JoinRow(r));
    for (const auto& r : a.rows) sa.push_back(JoinRow(r));
    std::sort(se.begin(), se.end());
    std::sort(sa.begin(), sa.end());
    std::vector<std::string> only_e, only_a;
    std::set_difference(se.begin(), se.end(), sa.begin(), sa.end(), std::back_inserter(only_e));
    std::set_difference(sa.begin(), sa.end(), se.begin(), se.end(), std::back_inserter(only_a));
    for (const auto& r : only_e) {
      if (d.full()) break;
      d.Note(where + ": a row only in the expected dump: " + Shown(r));
    }
    for (const auto& r : only_a) {
      if (d.full()) break;
      d.Note(where + ": a row only in what " + d.actual_name() + " holds: " + Shown(r));
    }
  }
  if (e.rows.size() != a.rows.size()) {
    d.Add(where + ", number of rows", std::to_string(e.rows.size()), std::to_string(a.rows.size()));
  }
}

void CompareTables(const DumpTable& e, const DumpTable& a, const Comparison& what, Differences& d) {
  const std::string where = "table " + e.name;
  if (what.columns) CompareItems(e.columns, a.columns, "column", what, where, d);
  if (what.indexes) CompareItems(e.indexes, a.indexes, "index", what, where, d);
  if (what.row_counts && e.row_count != a.row_count) {
    d.Add(where + ", ROWCOUNT", std::to_string(e.row_count), std::to_string(a.row_count));
  }
  CompareRows(e, a, what, d);
}

}  // namespace

const DumpTable* Dump::Table(std::string_view name) const {
  for (const auto& t : tables)
    if (t.name == name) return &t;
  return nullptr;
}

Dump ParseDump(std::string_view text, const std::string& source) {
  Dump dump;
  DumpTable* table = nullptr;
  enum class State { kHeader, kTables, kTable, kColumnNames, kRows, kEnded } state = State::kHeader;
  std::size_t line_number = 0;
  std::size_t start = 0;
  while (start < text.size()) {
    const std::size_t end = text.find('\n', start);
    if (end == std::string_view::npos) {
      throw std::runtime_error(source + ": the last line has no end (the dump was cut)");
    }
    const std::string_view line = text.substr(start, end - start);
    start = end + 1;
    ++line_number;
    const std::string where = source + " line " + std::to_string(line_number);
    if (state == State::kEnded) throw std::runtime_error(where + ": text after END");
    if (state == State::kColumnNames) {
      table->header = Split(line, '\t');
      state = State::kRows;
      continue;
    }
    if (state == State::kRows) {
      if (line == "END TABLE " + table->name) {
        state = State::kTables;
        continue;
      }
      auto cells = Split(line, '\t');
      if (cells.size() != table->header.size()) {
        throw std::runtime_error(where + ": a row of " + std::to_string(cells.size()) +
                                 " cells in " + table->name + ", which has " +
                                 std::to_string(table->header.size()) + " columns");
      }
      table->rows.push_back(std::move(cells));
      continue;
    }
    if (state == State::kHeader) {
      if (StartsWith(line, "FILE ") && dump.file.empty()) {
        dump.file = line.substr(5);
      } else if (StartsWith(line, "FORMAT ") && dump.format.empty()) {
        dump.format = line.substr(7);
      } else if (StartsWith(line, "PASSWORD ")) {
        dump.password = line.substr(9);
        state = State::kTables;
      } else {
        throw std::runtime_error(where + ": expected FILE, FORMAT and PASSWORD, found " +
                                 std::string(line));
      }
      continue;
    }
    if (state == State::kTable) {
      if (StartsWith(line, "  COLUMN ")) {
        table->columns.push_back(ParseItem(line.substr(9), where));
      } else if (StartsWith(line, "  INDEX ")) {
        table->indexes.push_back(ParseItem(line.substr(8), where));
      } else if (StartsWith(line, "  ROWCOUNT ")) {
        const std::string count(line.substr(11));
        char* stop = nullptr;
        errno = 0;
        table->row_count = std::strtoull(count.c_str(), &stop, 10);
        if (count.empty() || *stop != '\0' || errno != 0 || count[0] == '-')
          throw std::runtime_error(where + ": a row count that is no number: " + count);
      } else if (line == "  ROWS") {
        state = State::kColumnNames;
      } else {
        throw std::runtime_error(where +
                                 ": a line this dump format does not know: " + std::string(line));
      }
      continue;
    }
    // Between tables.
    if (StartsWith(line, "TABLE ")) {
      dump.tables.push_back(DumpTable{std::string(line.substr(6)), {}, {}, 0, {}, {}});
      table = &dump.tables.back();
      state = State::kTable;
    } else if (StartsWith(line, "RELATIONSHIP ")) {
      dump.relationships.push_back(ParseItem(line.substr(13), where));
    } else if (line == "END") {
      state = State::kEnded;
    } else {
      throw std::runtime_error(where +
                               ": a line this dump format does not know: " + std::string(line));
    }
  }
  if (state != State::kEnded) throw std::runtime_error(source + ": the dump ends before its END");
  return dump;
}

Dump ParseDumpFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error(path + " cannot be opened");
  std::ostringstream text;
  text << in.rdbuf();
  if (in.bad()) throw std::runtime_error(path + " cannot be read");
  return ParseDump(text.str(), path);
}

Dump ReadWithMdbReader(const std::string& path, const std::string& password) {
  std::vector<std::string> argv = {"node", MDB_READER_DUMP_PATH, path};
  if (!password.empty()) argv.push_back(password);
  // The folder may be moved for a run (the tests of a missing reader do); else where
  // scripts/bootstrap installs it.
  const char* dir = std::getenv("CATALOGSYNC_TEST_READERS_DIR");
  return ReadWith(
      "mdb-reader", argv,
      {std::string("CATALOGSYNC_TEST_READERS_DIR=") + (dir != nullptr ? dir : MDB_READER_DIR)},
      path);
}

Dump ReadWithLibmdb(const std::string& path,
                    const std::string& /*password: libmdb reads without it*/) {
  return ReadWith("libmdb", {LIBMDB_DUMP_PATH, path}, {}, path);
}

Comparison WhatMdbReaderTells(Comparison what) {
  what.indexes = false;
  what.may_be_unknown.insert("compressedUnicode");
  return what;
}

Comparison WhatLibmdbTells(Comparison what) {
  what.may_be_unknown.insert({"password", "compressedUnicode", "columns", "unique", "references",
                              "ignoreNulls", "required"});
  return what;
}

::testing::AssertionResult DumpsAgree(const Dump& expected, const Dump& actual,
                                      const Comparison& what, const std::string& expected_name,
                                      const std::string& actual_name, std::size_t max_differences) {
  Differences d(expected_name, actual_name, max_differences);
  if (what.format_and_password) {
    if (expected.format != actual.format) d.Add("FORMAT", expected.format, actual.format);
    CompareValue("password", expected.password, actual.password, what, "the header", d);
  }
  std::vector<std::string> names;
  if (what.tables.empty()) {
    for (const auto& t : expected.tables) names.push_back(t.name);
    for (const auto& t : actual.tables) {
      if (!expected.Table(t.name))
        d.Note("table " + t.name + " is only in what " + actual_name + " holds");
    }
  } else {
    names.assign(what.tables.begin(), what.tables.end());
  }
  for (const auto& name : names) {
    const DumpTable* e = expected.Table(name);
    const DumpTable* a = actual.Table(name);
    if (e == nullptr || a == nullptr) {
      d.Note("table " + name + " is missing from " + (e == nullptr ? expected_name : actual_name));
      continue;
    }
    CompareTables(*e, *a, what, d);
  }
  if (what.relationships)
    CompareItems(expected.relationships, actual.relationships, "relationship", what, "the file", d);
  return d.Result();
}

::testing::AssertionResult BothReadersHold(const std::string& path, const std::string& password,
                                           const Dump& expected, const Comparison& what) {
  // mdb-reader, the slower, reads in a thread of its own while libmdb reads here.
  auto by_node = std::async(std::launch::async, [&] { return ReadWithMdbReader(path, password); });
  const auto by_libmdb = DumpsAgree(expected, ReadWithLibmdb(path, password), WhatLibmdbTells(what),
                                    "expected", "libmdb");
  const auto by_mdb_reader =
      DumpsAgree(expected, by_node.get(), WhatMdbReaderTells(what), "expected", "mdb-reader");
  if (by_libmdb && by_mdb_reader) return ::testing::AssertionSuccess();
  auto failure = ::testing::AssertionFailure() << path << ":";
  if (!by_libmdb) failure << "\n" << by_libmdb.message();
  if (!by_mdb_reader) failure << "\n" << by_mdb_reader.message();
  return failure;
}

}  // namespace cs::test::jetfile
