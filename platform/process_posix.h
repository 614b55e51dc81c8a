#pragma once

#include "process.h"
#include "useraccount_posix.h"

#include <memory>
#include <string>
#include <vector>

namespace sondrel {

// Starts programs for `account`: each started process gives itself up to the account
// (dropTo) before the program runs, with `environment` ("NAME=value" entries) as its
// whole environment. A failed drop is raised like a program that cannot be started.
std::unique_ptr<ProcessStarter> createProcessStarterAs(UserAccount account,
                                                       std::vector<std::string> environment);

// This process's environment as "NAME=value" entries.
std::vector<std::string> currentEnvironment();

} // namespace sondrel
