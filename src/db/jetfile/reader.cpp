#include "db/jetfile/reader.h"

#include "platform/posix_file_system.h"

#include <cstdlib>
#include <vector>

#include "db/jet/errors.h"
#include "db/jetfile/header.h"
#include "platform/system.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace cs::db::jetfile {
namespace {

// The reader's answer broke the protocol, or the child ended badly.
struct Unreadable {};

platform::ChildLimits LimitsFor(const fs::path& file) {
  std::error_code ec;
  const std::uintmax_t size = fs::file_size(file, ec);
  platform::ChildLimits limits;
  limits.cpu_seconds = 30 + (ec ? 0 : size >> 20);
  return limits;
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
        wire::DecodeFailure(payload);
        throw Unreadable{};
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
  if (!ReadHeader(file)) throw jet::NotADatabase(shown_path);
  const auto reader = FindReader(options.reader);
  if (!reader) throw jet::ProviderNotFound();
  const platform::ChildLimits limits = options.limits.value_or(LimitsFor(file));
  const std::chrono::milliseconds wait_limit =
      options.wait_limit > 0ms
          ? options.wait_limit
          : std::chrono::milliseconds(std::chrono::seconds(2 * limits.cpu_seconds + 30));
  std::optional<platform::Subprocess> child;
  try {
    // libmdb converts names by these variables; they are fixed so that a user's settings do not
    // change what the program reads.
    child.emplace(*reader, std::vector<std::string>{fs::absolute(file).string()}, limits,
                  std::vector<std::pair<std::string, std::string>>{
                      {"MDB_ICONV", "UTF-8"}, {"MDB_JET3_CHARSET", "CP1252"}, {"MDBOPTS", ""}});
  } catch (const RunError&) {
    throw jet::ProviderNotFound();
  }
  StreamChecker checker(sink);
  wire::FrameReader frames;
  std::vector<char> buffer(1 << 16);
  std::chrono::milliseconds waited{0};
  try {
    while (true) {
      std::size_t got = 0;
      const auto start = std::chrono::steady_clock::now();
      const auto result = child->ReadOutput(buffer.data(), buffer.size(), got, wait_limit - waited);
      waited += std::chrono::duration_cast<std::chrono::milliseconds>(
          std::chrono::steady_clock::now() - start);
      if (result == platform::Subprocess::Read::kTimeout) throw Unreadable{};
      if (result == platform::Subprocess::Read::kEnd) break;
      frames.Append(buffer.data(), got);
      wire::FrameType type;
      std::string_view payload;
      while (frames.Next(type, payload)) checker.Handle(type, payload);
      if (waited >= wait_limit) throw Unreadable{};
    }
    if (!checker.Done() || frames.HasPartialFrame()) throw Unreadable{};
    const auto left = std::max(wait_limit - waited, std::chrono::milliseconds(1000));
    if (!child->Finish(left).Succeeded()) throw Unreadable{};
  } catch (const Unreadable&) {
    throw jet::NotADatabase(shown_path);
  } catch (const wire::Malformed&) {
    throw jet::NotADatabase(shown_path);
  }
}

}  // namespace cs::db::jetfile
