// acefeedpump: imports one vendor data file into the current Yield Warden database.
//   acefeedpump <data file> [-s] [-z] [-L] [-?]
//   acefeedpump --help | -h | --version
#include <iostream>
#include <string>
#include <vector>

#include "app/frm_main.h"
#include "app/front_door.h"
#include "platform/clock.h"
#include "platform/posix_file_system.h"
#include "platform/prefix.h"
#include "platform/run_error.h"
#include "platform/system.h"
#include "platform/temporary_directory.h"
#include "platform/ui.h"

int main(int argc, char** argv) {
  using namespace cs;
  const std::vector<std::string> args(argv + 1, argv + argc);
  // The usage and the version are answered before the prefix or the window is touched. A text
  // that could not be written (a full disk, a closed pipe) is not a silent success.
  if (const auto answer = app::FrontDoorAnswer(args)) {
    std::cout << *answer << std::flush;
    return std::cout ? 0 : 1;
  }
  try {
    // The private folders of earlier runs that were killed before they could remove them.
    platform::RemoveAbandonedTemporaryDirectories();
    platform::PosixFileSystem files;
    const auto prefix = platform::PrefixFromEnvironment();
    platform::EnsurePrefix(files, prefix);
    const auto program_dir = platform::ExecutableDirectory(files);
    platform::System system(files, prefix, program_dir, args);
    const auto ui =
        platform::MakeUi(std::cin, std::cerr, platform::FindWindowPicture(files, program_dir));
    platform::SystemClock clock;
    platform::ExitProcessEnd process_end;
    app::frmMain form(app::Services{system, *ui, clock, process_end});
    form.Form_Load();
    // Reached only when a run was abandoned with Abort: the window stays until it is closed.
    ui->RunUntilClosed();
  } catch (const RunError& e) {
    std::cerr << "acefeedpump: " << e.description() << std::endl;
  }
  return 0;
}
