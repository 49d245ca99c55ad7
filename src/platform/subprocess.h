// A child process that runs another program of this product and answers on a pipe, with limits
// on what it may use. The program uses it to keep code that reads untrusted files (a Jet database
// through libmdb) out of its own process: a crash or a hang there is the child's end, not the
// program's.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

namespace cs::platform {

struct ChildLimits {
  // Processor time (RLIMIT_CPU); the child is stopped by SIGXCPU, then SIGKILL a second later.
  std::uint64_t cpu_seconds = 60;
  // Address space (RLIMIT_AS); not applied in AddressSanitizer builds, whose shadow memory needs
  // terabytes of address space.
  std::uint64_t memory_bytes = std::uint64_t{1} << 30;
  // Standard error: 0 sends it to /dev/null. Otherwise it is captured: its first
  // kKeptErrorOutput bytes are kept (ErrorOutput) and all are counted (ErrorBytes), and a child
  // that writes more than this many bytes there is killed.
  std::uint64_t error_output_bytes = 0;
};

// How a child ended.
struct ChildExit {
  bool exited = false;  // it returned or called exit
  int code = 0;         // its exit status, when it exited
  int signal = 0;       // the signal that ended it, when it did not
  bool Succeeded() const { return exited && code == 0; }
};

// A running child. Its standard input is /dev/null, its standard output a pipe that this object
// reads and its standard error /dev/null or, as the limits say, a second pipe read alongside; no
// other descriptor of this process reaches it; no core file is written and it may create no
// file. A child still running when the object ends is killed and reaped.
class Subprocess {
 public:
  static constexpr std::size_t kKeptErrorOutput = 4096;

  // Starts the program (a path, not searched) with the arguments after its name, the environment
  // of this process with the given variables set. Throws RunError (53, "File not found") when the
  // program does not exist or cannot be executed.
  Subprocess(const std::filesystem::path& program, const std::vector<std::string>& args,
             const ChildLimits& limits,
             const std::vector<std::pair<std::string, std::string>>& environment = {});
  ~Subprocess();
  Subprocess(const Subprocess&) = delete;
  Subprocess& operator=(const Subprocess&) = delete;

  enum class Read { kData, kEnd, kTimeout };
  // Waits at most the timeout for output. kData with size bytes put into the buffer; kEnd when
  // the child closed its output; kTimeout when nothing came in time.
  Read ReadOutput(char* buffer, std::size_t capacity, std::size_t& size,
                  std::chrono::milliseconds timeout);
  // Waits at most the timeout for the child to end, kills it if it has not, and reports how it
  // ended. Called once.
  ChildExit Finish(std::chrono::milliseconds timeout);
  // Kills the child at once (it is reaped by Finish or when the object ends).
  void Kill();

  // What the child wrote to its standard error so far when it is captured: the first
  // kKeptErrorOutput bytes, and the count of all. Complete once Finish has returned.
  const std::string& ErrorOutput() const { return error_text_; }
  std::uint64_t ErrorBytes() const { return error_bytes_; }

 private:
  // Reads what standard error holds without waiting; kills a child past its limit.
  void DrainErrors();

  pid_t pid_ = -1;
  int output_ = -1;
  int errors_ = -1;
  bool reaped_ = false;
  std::uint64_t error_limit_ = 0;
  std::string error_text_;
  std::uint64_t error_bytes_ = 0;
};

}  // namespace cs::platform
