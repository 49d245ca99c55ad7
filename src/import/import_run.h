// What an import uses of the run: the run itself (status, log, errors, message boxes, the
// machine), the Registry module with the keys chosen at start-up, the database engine whose
// connections the import opens, and the run's vendor.
#pragma once

#include <string>

#include "config/registry.h"
#include "core/run_context.h"
#include "db/engine.h"

namespace cs::import {

struct ImportRun {
  core::RunContext& run;
  config::Registry& registry;
  db::Engine& engine;
  std::string NameShort;      // the vendor's short name
  std::string RunVendorName;  // the vendor's Name, as the run driver keeps it
};

}  // namespace cs::import
