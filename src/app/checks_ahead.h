// The whole-file integrity checks of the two database files a run opens (the data file named on
// the command line and the current database named in the registry), started at start-up, side by
// side on threads of their own, so that they run during the start-up pause and each other.
#pragma once

namespace cs::app {

class frmMain;

// Works the two paths out as the run driver will, without a report or a log line of its own,
// and starts their checks. A path that cannot be worked out here is checked when it is opened.
void StartChecksAhead(frmMain& form);

}  // namespace cs::app
