#include "db/jetfile/reader.h"

#include <cstdlib>
#include <vector>

#include "db/jet/errors.h"
#include "db/jetfile/header.h"
#include "platform/posix_file_system.h"
#include "platform/system.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace cs::db::jetfile {
namespace {

// The reader's answer broke the protocol, or the child ended badly; why, for
// ReaderOptions::refusal.
struct Unreadable {
  std::string why;
};

// The first lines of what the reader printed, on one line.
std::string Beginning(const std::string& text) {
  std::string out;
  for (const char c : text.substr(0, 200)) out += c == '\n' || c == '\r' || c == '\t' ? ' ' : c;
  return out;
}

// Why the file was refused, and what the reader printed, in a line.
std::string Refusal(const std::string& why, platform::Subprocess& child, bool ended) {
  std::string out = why;
  if (!ended) {
    const platform::ChildExit exit = child.Finish(std::chrono::milliseconds(100));
    if (exit.exited && exit.code != 0) {
      out += "; the reader exited with status " + std::to_string(exit.code);
    } else if (!exit.exited && exit.signal != 0) {
      out += "; the reader ended by signal " + std::to_string(exit.signal);
    }
  }
  if (child.ErrorBytes() > 0) {
    out += "; it printed " + std::to_string(child.ErrorBytes()) +
           " bytes, beginning: " + Beginning(child.ErrorOutput());
  }
  return out;
}

// Follows the order of frames: hello, then per table its definition, rows and end, then the end.
class StreamChecker {
 public:
  explicit StreamChecker(TableSink& sink) : sink_(sink) {}

  void Handle(wire::FrameType type, std::string_view payload) {
    if (state_ == State::kDone || (state_ == State::kStart) != (type == wire::FrameType::kHello)) {
      throw Unreadable{};
    }
    switch (type) {
      case wire::FrameType::kHello:
        wire::CheckHello(payload);
        state_ = State::kBetweenTables;
        break;
      case wire::FrameType::kTable:
        if (state_ != State::kBetweenTables) throw Unreadable{};
        table_ = wire::DecodeTable(payload);
        rows_ = 0;
        state_ = State::kInTable;
        sink_.BeginTable(table_);
        break;
      case wire::FrameType::kRow:
        if (state_ != State::kInTable) throw Unreadable{};
        if (rows_ == table_.declared_rows) throw Unreadable{};  // more rows than the table has
        wire::DecodeRow(payload, table_, scratch_, values_);
        ++rows_;
        sink_.Row(values_);
        break;
      case wire::FrameType::kTableEnd: {
        if (state_ != State::kInTable) throw Unreadable{};
        const std::uint32_t count = wire::DecodeCount(payload);
        if (count != rows_ || count != table_.declared_rows) throw Unreadable{};
        ++tables_;
        state_ = State::kBetweenTables;
        sink_.EndTable(table_, rows_);
        break;
      }
      case wire::FrameType::kEnd:
        if (state_ != State::kBetweenTables || wire::DecodeCount(payload) != tables_)
          throw Unreadable{};
        state_ = State::kDone;
        break;
      case wire::FrameType::kFailure:
        throw Unreadable{"the reader refused it: " + wire::DecodeFailure(payload)};
    }
  }
  bool Done() const { return state_ == State::kDone; }

 private:
  enum class State { kStart, kBetweenTables, kInTable, kDone };
  TableSink& sink_;
  State state_ = State::kStart;
  wire::TableInfo table_;
  std::uint32_t rows_ = 0;
  std::uint32_t tables_ = 0;
  std::vector<std::string> scratch_;
  std::vector<wire::FieldValue> values_;
};

}  // namespace

platform::ChildLimits LimitsFor(std::uintmax_t size) {
  platform::ChildLimits limits;
  limits.cpu_seconds = 5 + (size >> 24);
  limits.memory_bytes = (std::uint64_t{96} << 20) + 2 * static_cast<std::uint64_t>(size);
  limits.error_output_bytes = std::uint64_t{1} << 20;
  return limits;
}

std::optional<fs::path> FindReader(const fs::path& configured) {
  if (!configured.empty()) return configured;
  if (const char* env = std::getenv("CATALOGSYNC_JETREAD"); env != nullptr && *env != '\0') {
    return fs::path(env);
  }
  const platform::PosixFileSystem files;
  const fs::path bin = platform::ExecutableDirectory(files);
  for (const fs::path& candidate :
       {bin / kReaderName, bin / ".." / "lib" / "catalogsync" / kReaderName,
        bin / ".." / "libexec" / "catalogsync" / kReaderName}) {
    std::error_code ec;
    if (fs::is_regular_file(candidate, ec)) return candidate.lexically_normal();
  }
  return std::nullopt;
}

void ReadTables(const fs::path& file, const std::string& shown_path, TableSink& sink,
                const ReaderOptions& options) {
  if (options.refusal != nullptr) options.refusal->clear();
  auto refuse = [&](const std::string& why) {
    if (options.refusal != nullptr) *options.refusal = why;
    return jet::NotADatabase(shown_path);
  };
  if (!ReadHeader(file)) throw refuse("its first page is not a Jet database's");
  const auto reader = FindReader(options.reader);
  if (!reader) throw jet::ProviderNotFound();
  std::error_code size_error;
  const std::uintmax_t size = fs::file_size(file, size_error);
  if (size_error) throw refuse("its size cannot be read");
  const platform::ChildLimits limits = options.limits.value_or(LimitsFor(size));
  const std::chrono::milliseconds wait_limit =
      options.wait_limit > 0ms
          ? options.wait_limit
          : std::chrono::milliseconds(std::chrono::seconds(2 * limits.cpu_seconds + 10));
  std::optional<platform::Subprocess> child;
  try {
    // libmdb converts names by these variables; they are fixed so that a user's settings do not
    // change what the program reads.
    std::vector<std::string> arguments;
    if (!options.rows) arguments.push_back("--definitions");
    arguments.push_back(fs::absolute(file).string());
    arguments.insert(arguments.end(), options.tables.begin(), options.tables.end());
    child.emplace(*reader, arguments, limits,
                  std::vector<std::pair<std::string, std::string>>{
                      {"MDB_ICONV", "UTF-8"}, {"MDB_JET3_CHARSET", "CP1252"}, {"MDBOPTS", ""}});
  } catch (const RunError&) {
    throw jet::ProviderNotFound();
  }
  StreamChecker checker(sink);
  wire::FrameReader frames;
  std::vector<char> buffer(1 << 16);
  std::chrono::milliseconds waited{0};
  bool ended = false;
  try {
    while (true) {
      std::size_t got = 0;
      const auto start = std::chrono::steady_clock::now();
      const auto result = child->ReadOutput(buffer.data(), buffer.size(), got, wait_limit - waited);
      waited += std::chrono::duration_cast<std::chrono::milliseconds>(
          std::chrono::steady_clock::now() - start);
      if (result == platform::Subprocess::Read::kTimeout)
        throw Unreadable{"the reader took too long"};
      if (result == platform::Subprocess::Read::kEnd) break;
      frames.Append(buffer.data(), got);
      wire::FrameType type;
      std::string_view payload;
      while (frames.Next(type, payload)) checker.Handle(type, payload);
      if (waited >= wait_limit) throw Unreadable{"the reader took too long"};
    }
    if (!checker.Done() || frames.HasPartialFrame())
      throw Unreadable{"the reader's answer ended early"};
    const auto left = std::max(wait_limit - waited, std::chrono::milliseconds(1000));
    const platform::ChildExit exit = child->Finish(left);
    ended = true;
    if (!exit.Succeeded()) throw Unreadable{"the reader ended badly after its answer"};
    if (child->ErrorBytes() > limits.error_output_bytes && limits.error_output_bytes > 0) {
      throw Unreadable{"the reader printed too much"};
    }
  } catch (const Unreadable& e) {
    throw refuse(
        Refusal(e.why.empty() ? "the reader's answer broke its protocol" : e.why, *child, ended));
  } catch (const wire::Malformed&) {
    throw refuse(Refusal("the reader's answer is malformed", *child, ended));
  }
}

}  // namespace cs::db::jetfile
