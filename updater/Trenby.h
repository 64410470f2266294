// The updater's one pass: server configuration, start-up statistics, software update, catalogue update,
// old logs. Each job only logs its failure; the next job always runs. Updater thread.
#pragma once

#include <string>

#include "UpdaterEnv.h"

// Runs every job in order against `env` with the program's whole command line.
void RunTrenby(UpdaterEnv& env, const std::string& commandLine);
