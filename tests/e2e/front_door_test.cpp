// The program's front door on Linux, run as a user runs it: the questions answered before any run
// (--help, -h, --version), the data file's path typed relative to the current directory ("./",
// "../"), and the command lines that stay the run's own.
#include <sys/wait.h>

#include "e2e_support.h"
#include "platform/text.h"
#include "version.h"

namespace cs {
namespace {

using ywdata::DataKind;

struct Printed {
  int status = -1;
  std::string out, err;
};

class FrontDoorTest : public test::EndToEndTest {
 protected:
  // Runs the program from the working directory `dir` in the given prefix on the console, with
  // no input; standard output and standard error apart.
  Printed RunIn(const std::filesystem::path& dir, const std::vector<std::string>& args,
                const std::filesystem::path& prefix_root) {
    const auto err_file = prefix.root() / "stderr.txt";
    std::string command = "cd " + test::ShellQuote(dir.string()) +
                          " && CATALOGSYNC_PREFIX=" + test::ShellQuote(prefix_root.string()) +
                          " CATALOGSYNC_UI=console " + test::ShellQuote(Program().string());
    for (const auto& a : args) command += " " + test::ShellQuote(a);
    command += " </dev/null 2>" + test::ShellQuote(err_file.string());
    Printed printed;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) {
      ADD_FAILURE() << "cannot run " << command;
      return printed;
    }
    for (int c; (c = std::fgetc(pipe)) != EOF;) printed.out += static_cast<char>(c);
    const int status = pclose(pipe);
    printed.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    printed.err = test::ReadFile(err_file);
    return printed;
  }
  Printed RunIn(const std::filesystem::path& dir, const std::vector<std::string>& args) {
    return RunIn(dir, args, prefix.root());
  }
  std::filesystem::path Data() const { return prefix.drive_c() / "DATA"; }
  bool Logged(const std::string& line) const {
    const auto log = LogMessages();
    return std::find(log.begin(), log.end(), line) != log.end();
  }
};

// Exactly "--help", "-h" or "--version" is answered on standard output, with status 0, before
// the prefix is made or a window opened; any other command line is a run's.
TEST_F(FrontDoorTest, HelpAndVersionOnlyAsTheWholeCommandLine) {
  const std::string version = "acefeedpump " + std::to_string(platform::kVersionMajor) + "." +
                              std::to_string(platform::kVersionMinor) + "." +
                              std::to_string(platform::kVersionRevision) + "\n";
  const auto unmade = prefix.root() / "not-yet";
  struct Case {
    std::vector<std::string> args;
    std::string out;  // the start of standard output
  } answered[] = {
      {{"--help"}, "Usage: acefeedpump DATAFILE [-L] [-s] [-z] [-?]\n"},
      {{"-h"}, "Usage: acefeedpump DATAFILE [-L] [-s] [-z] [-?]\n"},
      {{"--version"}, version},
  };
  for (const auto& c : answered) {
    SCOPED_TRACE(c.args[0]);
    const auto printed = RunIn(prefix.root(), c.args, unmade);
    EXPECT_EQ(printed.status, 0);
    EXPECT_EQ(printed.out.substr(0, c.out.size()), c.out);
    EXPECT_EQ(printed.err, "");
    EXPECT_FALSE(std::filesystem::exists(unmade)) << "the prefix is left alone";
  }
  EXPECT_EQ(RunIn(prefix.root(), {"--version"}).out, version);
  const std::string usage = RunIn(prefix.root(), {"--help"}).out;
  for (const char* word : {"-L ", "-s ", "-z ", "-? ", "./ACEDATA0307.YW", "../ACEDATA0307.YW"}) {
    EXPECT_NE(usage.find(word), std::string::npos) << word;
  }

  // The run's own command lines: the vendor is looked for in the text, as ever.
  struct Refused {
    std::vector<std::string> args;
    std::string box;
  } refused[] = {
      {{"--help", "-s"}, "Unable to identify file vendor for C:\\APP\\--HELP -S\n"},
      {{"--HELP"}, "Unable to identify file vendor for C:\\APP\\--HELP\n"},
      {{"-H"}, "Unable to identify file vendor for C:\\APP\\-H\n"},
      {{"-h", "--version"}, "Unable to identify file vendor for C:\\APP\\-H --VERSION\n"},
      {{"-?"}, "Unable to identify file vendor for C:\\APP\\-?\n"},
  };
  for (const auto& c : refused) {
    SCOPED_TRACE(c.args[0]);
    const auto printed = RunIn(prefix.root(), c.args);
    EXPECT_EQ(printed.status, 0);
    EXPECT_EQ(printed.out, "");
    EXPECT_NE(printed.err.find("== CatalogSync [none] OK ==\n" + c.box), std::string::npos)
        << printed.err;
  }
}

// A path that begins with "./" or "../" is taken from the current directory and enters the run in
// its Windows form (drive C: inside drive_c, Z: outside); a bare name is still the program's.
TEST_F(FrontDoorTest, RelativePathsAreTakenFromTheCurrentDirectory) {
  ywdata::MakeDataFile(prefix.root(), Data() / "ACEDATA0307.YW", DataKind::kFull,
                       {.rows = 5, .first_sku = 3000000});
  ywdata::MakeDataFile(prefix.root(), prefix.root() / "outside" / "ACEDATA0307.YW", DataKind::kFull,
                       {.rows = 6, .first_sku = 3000000});
  ywdata::MakeDataFile(prefix.root(), prefix.drive_c() / "APP" / "ACEDATA0307.YW", DataKind::kFull,
                       {.rows = 7, .first_sku = 3000000});
  std::filesystem::create_directories(Data() / "SUB");
  const std::string outside = platform::WindowsPaths(prefix.files(), prefix.root())
                                  .ToWindows(prefix.root() / "outside" / "ACEDATA0307.YW");
  ASSERT_TRUE(outside.starts_with("Z:\\")) << outside;

  struct Case {
    std::filesystem::path dir;
    std::vector<std::string> args;
    std::string file;  // the data file's path as the log names it
    std::size_t rows;
  } cases[] = {
      {Data(), {"./ACEDATA0307.YW", "-s", "-L"}, "C:\\DATA\\ACEDATA0307.YW", 5},
      {Data() / "SUB", {"-s", "-L", "../acedata0307.yw"}, "C:\\DATA\\ACEDATA0307.YW", 5},
      {Data() / "SUB",
       {"../../../outside/ACEDATA0307.YW", "-s", "-L"},
       platform::UCase(outside),
       6},
      {Data(), {"./SUB/../ACEDATA0307.YW", "-s", "-L"}, "C:\\DATA\\ACEDATA0307.YW", 5},
      // A bare name is the program folder's, wherever the user stands.
      {Data(), {"ACEDATA0307.YW", "-s", "-L"}, "C:\\APP\\ACEDATA0307.YW", 7},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.dir.string() + " " + c.args[0]);
    const auto printed = RunIn(c.dir, c.args);
    EXPECT_EQ(printed.status, 0);
    EXPECT_EQ(SetupComplete(), "TRUE") << printed.err;
    EXPECT_EQ(Count("Ace"), c.rows);
    const auto log = LogMessages();
    const auto named = std::find_if(log.begin(), log.end(), [](const std::string& line) {
      return line.starts_with("DBFileName = ");
    });
    ASSERT_NE(named, log.end());
    // The removed switches leave their blanks around the path.
    EXPECT_EQ(platform::Trim(named->substr(std::string("DBFileName = ").size()), " "), c.file);
  }

  // A file that is not there is named by its Windows path.
  const auto printed = RunIn(Data() / "SUB", {"./ACEDATA0399.YW", "-s"});
  EXPECT_NE(printed.err.find("'C:\\DATA\\SUB\\ACEDATA0399.YW ' does not exist."), std::string::npos)
      << printed.err;
  EXPECT_EQ(SetupComplete(), "FALSE");
}

}  // namespace
}  // namespace cs
