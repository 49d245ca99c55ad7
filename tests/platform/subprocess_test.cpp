// A child process with limits: its output, its end, and what happens when it overruns.
#include "platform/subprocess.h"

#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>

#include "platform/run_error.h"

namespace cs::test {
namespace {

using namespace std::chrono_literals;
using platform::Subprocess;

// All the child's output, until it closes it or the time runs out.
std::string Output(Subprocess& child, std::chrono::milliseconds timeout,
                   bool* timed_out = nullptr) {
  std::string out;
  char buf[256];
  while (true) {
    std::size_t n = 0;
    const auto r = child.ReadOutput(buf, sizeof buf, n, timeout);
    if (r == Subprocess::Read::kData) {
      out.append(buf, n);
      continue;
    }
    if (timed_out) *timed_out = r == Subprocess::Read::kTimeout;
    return out;
  }
}

TEST(Subprocess, OutputAndExitStatus) {
  Subprocess ok("/bin/sh", {"-c", "printf 'hello'; echo oops >&2; exit 0"}, {});
  EXPECT_EQ(Output(ok, 5s), "hello");  // standard error goes nowhere
  EXPECT_TRUE(ok.Finish(5s).Succeeded());
  Subprocess fails("/bin/sh", {"-c", "exit 3"}, {});
  Output(fails, 5s);
  const auto exit = fails.Finish(5s);
  EXPECT_TRUE(exit.exited);
  EXPECT_EQ(exit.code, 3);
  Subprocess crashes("/bin/sh", {"-c", "kill -SEGV $$"}, {});
  Output(crashes, 5s);
  EXPECT_EQ(crashes.Finish(5s).signal, SIGSEGV);
  // The environment given reaches the child; standard input is empty.
  Subprocess env("/bin/sh", {"-c", "printf '%s' \"$CS_TEST_VALUE\"; cat"}, {},
                 {{"CS_TEST_VALUE", "v 1"}});
  EXPECT_EQ(Output(env, 5s), "v 1");
}

TEST(Subprocess, LimitsEndAChildThatOverruns) {
  // Processor time: a loop ends by SIGXCPU (or SIGKILL a second later).
  const auto start = std::chrono::steady_clock::now();
  Subprocess spin("/bin/sh", {"-c", "while :; do :; done"},
                  platform::ChildLimits{1, std::uint64_t{1} << 30});
  bool timed_out = false;
  Output(spin, 30s, &timed_out);
  EXPECT_FALSE(timed_out);
  const auto exit = spin.Finish(5s);
  EXPECT_TRUE(exit.signal == SIGXCPU || exit.signal == SIGKILL) << exit.signal;
  EXPECT_LT(std::chrono::steady_clock::now() - start, 20s);
  // The caller's wait: a child that says nothing times out, and Finish kills it.
  Subprocess hang("/bin/sh", {"-c", "exec sleep 60"}, {});
  Output(hang, 200ms, &timed_out);
  EXPECT_TRUE(timed_out);
  EXPECT_EQ(hang.Finish(100ms).signal, SIGKILL);
  // No file may be written.
  Subprocess writer("/bin/sh",
                    {"-c", "head -c 10 /dev/zero > \"$0\"", "/tmp/cs-subprocess-fsize-test"}, {});
  Output(writer, 5s);
  EXPECT_FALSE(writer.Finish(5s).Succeeded());
  std::remove("/tmp/cs-subprocess-fsize-test");
}

TEST(Subprocess, MemoryIsLimited) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "no address-space limit in AddressSanitizer builds";
#endif
  const char* grow = "x=$(head -c 200000000 /dev/zero | tr '\\0' a); echo ${#x}";
  Subprocess small("/bin/sh", {"-c", grow}, platform::ChildLimits{30, std::uint64_t{64} << 20});
  EXPECT_EQ(Output(small, 30s), "");
  EXPECT_FALSE(small.Finish(5s).Succeeded());
}

TEST(Subprocess, StandardErrorIsCapturedWithACap) {
  platform::ChildLimits limits;
  limits.error_output_bytes = 100000;
  // Captured beside the output; the beginning kept, all of it counted.
  Subprocess some("/bin/sh", {"-c", "echo oops >&2; printf out; head -c 50000 /dev/zero >&2"},
                  limits);
  EXPECT_EQ(Output(some, 5s), "out");
  EXPECT_TRUE(some.Finish(5s).Succeeded());
  EXPECT_EQ(some.ErrorBytes(), 50005u);
  EXPECT_EQ(some.ErrorOutput().size(), Subprocess::kKeptErrorOutput);
  EXPECT_TRUE(some.ErrorOutput().starts_with("oops\n"));
  // A child that writes only there, more than a pipe holds, is not stuck waiting for a reader.
  Subprocess quiet("/bin/sh", {"-c", "head -c 90000 /dev/zero >&2"}, limits);
  EXPECT_TRUE(quiet.Finish(5s).Succeeded());
  EXPECT_EQ(quiet.ErrorBytes(), 90000u);
  // Past the limit the child is stopped.
  Subprocess flood("/bin/sh", {"-c", "yes warning >&2"}, limits);
  bool timed_out = false;
  Output(flood, 10s, &timed_out);
  EXPECT_FALSE(timed_out);
  EXPECT_EQ(flood.Finish(5s).signal, SIGKILL);
  EXPECT_GT(flood.ErrorBytes(), limits.error_output_bytes);
  EXPECT_LT(flood.ErrorBytes(), 2 * limits.error_output_bytes);
}

TEST(Subprocess, AProgramThatCannotStartIsAnError) {
  for (const char* program : {"/nonexistent/program", "/etc/hostname", "/tmp"}) {
    try {
      Subprocess child(program, {}, {});
      ADD_FAILURE() << program;
    } catch (const RunError& e) {
      EXPECT_EQ(e.number(), err::kFileNotFound) << program;
    }
  }
}

}  // namespace
}  // namespace cs::test
