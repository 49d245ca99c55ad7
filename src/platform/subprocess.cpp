#include "platform/subprocess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <thread>

#include "platform/run_error.h"

extern char** environ;

namespace cs::platform {
namespace {

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kAddressSanitizer = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kAddressSanitizer = true;
#else
constexpr bool kAddressSanitizer = false;
#endif
#else
constexpr bool kAddressSanitizer = false;
#endif

void CloseQuietly(int fd) {
  if (fd >= 0) ::close(fd);
}

// Writes errno to the status pipe and ends the child; only async-signal-safe calls, since the
// child of a process with threads may use nothing else before exec.
[[noreturn]] void ChildFails(int status_fd) {
  const int error = errno;
  [[maybe_unused]] const auto ignored = ::write(status_fd, &error, sizeof error);
  ::_exit(127);
}

void SetLimit(int resource, rlim_t soft, rlim_t hard, int status_fd) {
  const struct rlimit limit { soft, hard };
  if (::setrlimit(resource, &limit) != 0) ChildFails(status_fd);
}

// Closes every descriptor from `first` on, except the status pipe, which closes itself on exec.
void CloseOthers(int first, int keep, int max_fd) {
  for (int fd = first; fd < max_fd; ++fd) {
    if (fd != keep) ::close(fd);
  }
}

}  // namespace

Subprocess::Subprocess(const std::filesystem::path& program, const std::vector<std::string>& args,
                       const ChildLimits& limits,
                       const std::vector<std::pair<std::string, std::string>>& environment) {
  // Everything the child needs is made before fork: after it, the child may not allocate.
  std::vector<std::string> argv_text{program.string()};
  argv_text.insert(argv_text.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (auto& a : argv_text) argv.push_back(a.data());
  argv.push_back(nullptr);
  std::vector<std::string> env_text;
  for (char** e = environ; e != nullptr && *e != nullptr; ++e) {
    const std::string entry = *e;
    bool replaced = false;
    for (const auto& [name, value] : environment)
      replaced = replaced || entry.starts_with(name + "=");
    if (!replaced) env_text.push_back(entry);
  }
  for (const auto& [name, value] : environment) env_text.push_back(name + "=" + value);
  std::vector<char*> envp;
  for (auto& e : env_text) envp.push_back(e.data());
  envp.push_back(nullptr);
  struct rlimit files {};
  const int max_fd = ::getrlimit(RLIMIT_NOFILE, &files) == 0 && files.rlim_cur != RLIM_INFINITY &&
                             files.rlim_cur < 65536
                         ? static_cast<int>(files.rlim_cur)
                         : 65536;
  const rlim_t cpu = static_cast<rlim_t>(limits.cpu_seconds);
  const rlim_t memory = static_cast<rlim_t>(limits.memory_bytes);
  const std::string shown = program.string();

  int out[2];
  int status[2];
  int errors[2] = {-1, -1};
  if (::pipe2(out, O_CLOEXEC) != 0) throw RunError(err::kPathFileAccess, "Path/File access error");
  if (::pipe2(status, O_CLOEXEC) != 0 ||
      (limits.error_output_bytes > 0 && ::pipe2(errors, O_CLOEXEC | O_NONBLOCK) != 0)) {
    for (const int fd : {out[0], out[1], status[0], status[1]}) CloseQuietly(fd);
    throw RunError(err::kPathFileAccess, "Path/File access error");
  }
  const pid_t pid = ::fork();
  if (pid < 0) {
    for (const int fd : {out[0], out[1], status[0], status[1], errors[0], errors[1]})
      CloseQuietly(fd);
    throw RunError(err::kPathFileAccess, "Path/File access error");
  }
  if (pid == 0) {
    sigset_t none;
    sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
    struct sigaction dfl {};
    dfl.sa_handler = SIG_DFL;
    ::sigaction(SIGPIPE, &dfl, nullptr);
    const int null_fd = ::open("/dev/null", O_RDWR);
    // The standard error pipe was made non-blocking for this side only: the child's end blocks.
    if (errors[1] >= 0 && ::fcntl(errors[1], F_SETFL, 0) != 0) ChildFails(status[1]);
    if (null_fd < 0 || ::dup2(null_fd, 0) < 0 || ::dup2(out[1], 1) < 0 ||
        ::dup2(errors[1] >= 0 ? errors[1] : null_fd, 2) < 0) {
      ChildFails(status[1]);
    }
    bool closed = status[1] <= 3 || ::syscall(SYS_close_range, 3, status[1] - 1, 0) == 0;
    closed = closed && ::syscall(SYS_close_range, status[1] + 1, ~0U, 0) == 0;
    if (!closed) CloseOthers(3, status[1], max_fd);
    if (cpu > 0) SetLimit(RLIMIT_CPU, cpu, cpu + 1, status[1]);
    if (memory > 0 && !kAddressSanitizer) SetLimit(RLIMIT_AS, memory, memory, status[1]);
    SetLimit(RLIMIT_CORE, 0, 0, status[1]);
    SetLimit(RLIMIT_FSIZE, 0, 0, status[1]);
    ::execve(argv[0], argv.data(), envp.data());
    ChildFails(status[1]);
  }
  pid_ = pid;
  CloseQuietly(out[1]);
  CloseQuietly(status[1]);
  CloseQuietly(errors[1]);
  output_ = out[0];
  errors_ = errors[0];
  error_limit_ = limits.error_output_bytes;
  // The status pipe closes on exec: no bytes mean the program started; otherwise they are the
  // errno of the step that failed.
  int error = 0;
  ssize_t got;
  do {
    got = ::read(status[0], &error, sizeof error);
  } while (got < 0 && errno == EINTR);
  CloseQuietly(status[0]);
  if (got > 0) {
    Finish(std::chrono::milliseconds(1000));
    CloseQuietly(output_);
    output_ = -1;
    CloseQuietly(errors_);
    errors_ = -1;
    if (error == ENOENT || error == EACCES || error == ENOEXEC || error == ENOTDIR) {
      throw RunError(err::kFileNotFound, "File not found");
    }
    throw RunError(err::kPathFileAccess, "Path/File access error");
  }
}

Subprocess::~Subprocess() {
  if (!reaped_) {
    Kill();
    int status = 0;
    while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
  }
  CloseQuietly(output_);
  CloseQuietly(errors_);
}

void Subprocess::DrainErrors() {
  char buffer[4096];
  while (errors_ >= 0) {
    const ssize_t got = ::read(errors_, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0 && errno == EAGAIN) return;
    if (got <= 0) {
      CloseQuietly(errors_);
      errors_ = -1;
      return;
    }
    const auto n = static_cast<std::size_t>(got);
    error_text_.append(buffer, std::min(n, kKeptErrorOutput - error_text_.size()));
    error_bytes_ += n;
    if (error_bytes_ > error_limit_) {
      // Past its limit the child is stopped, and the rest of what it writes is not read.
      Kill();
      CloseQuietly(errors_);
      errors_ = -1;
    }
  }
}

Subprocess::Read Subprocess::ReadOutput(char* buffer, std::size_t capacity, std::size_t& size,
                                        std::chrono::milliseconds timeout) {
  size = 0;
  if (output_ < 0) return Read::kEnd;
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (true) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    struct pollfd p[2] = {{output_, POLLIN, 0}, {errors_, POLLIN, 0}};
    const int ready =
        ::poll(p, errors_ >= 0 ? 2 : 1, static_cast<int>(std::max<long long>(0, left.count())));
    if (ready < 0 && errno == EINTR) continue;
    if (ready < 0) return Read::kEnd;
    if (ready == 0) return Read::kTimeout;
    if (errors_ >= 0 && p[1].revents != 0) DrainErrors();
    if (p[0].revents == 0) continue;
    const ssize_t got = ::read(output_, buffer, capacity);
    if (got < 0 && (errno == EINTR || errno == EAGAIN)) continue;
    if (got <= 0) {
      CloseQuietly(output_);
      output_ = -1;
      return Read::kEnd;
    }
    size = static_cast<std::size_t>(got);
    return Read::kData;
  }
}

ChildExit Subprocess::Finish(std::chrono::milliseconds timeout) {
  ChildExit result;
  if (reaped_) return result;
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  auto pause = std::chrono::microseconds(200);
  int status = 0;
  while (true) {
    // A child blocked writing its standard error would never end: read it while waiting.
    DrainErrors();
    const pid_t done = ::waitpid(pid_, &status, WNOHANG);
    if (done == pid_) break;
    if (done < 0 && errno != EINTR) {
      reaped_ = true;
      return result;
    }
    if (std::chrono::steady_clock::now() >= deadline) {
      Kill();
      while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
      }
      break;
    }
    std::this_thread::sleep_for(pause);
    pause = std::min(pause * 2, std::chrono::microseconds(10000));
  }
  reaped_ = true;
  DrainErrors();  // what it wrote last, up to the end of the pipe
  if (WIFEXITED(status)) {
    result.exited = true;
    result.code = WEXITSTATUS(status);
  } else if (WIFSIGNALED(status)) {
    result.signal = WTERMSIG(status);
  }
  return result;
}

void Subprocess::Kill() {
  if (pid_ > 0 && !reaped_) ::kill(pid_, SIGKILL);
}

}  // namespace cs::platform
