// Starting, finding and ending processes; only processes of the own user are ever found or signalled.
#pragma once

#include <string>
#include <vector>

// Starts `program` (a path, or a name searched in PATH) with `args` (argv[1..]) in `workdir` (empty: the
// current folder). Returns the pid, or -1 when the program cannot be started (exec failure included).
// The child is not waited for; a reaper thread collects it when it ends. Descriptors are not inherited.
int StartProcess(const std::string& program, const std::vector<std::string>& args, const std::string& workdir);

// Pids of the own user's live processes whose name (/proc/<pid>/comm) or executable's base name equals
// `name`, without regard to ASCII case; a trailing ".exe" on either side is ignored.
std::vector<int> FindProcessesByName(const std::string& name);

// Sends SIGTERM to each process FindProcessesByName finds (never the own process), waits up to `graceMs`,
// then SIGKILL to the rest. Returns how many were signalled.
int KillProcessByName(const std::string& name, unsigned graceMs = 2000);
