// Crash reporting: an unhandled fault (SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT, an uncaught exception,
// std::terminate) writes a dump file "<folder>/YYYYMMDDhhmmssmmm_<program>.dmp" and starts the crash-report
// program (Faultnote, beside the program) with the dump's path; then the process ends with its signal.
//
// The dump is text: the signal, its code and address, the faulting instruction, the stack of the faulting
// thread and of every other thread that answers within a bounded wait (200 ms each, 5 s for all: the report
// goes out well before the alarm), the loaded modules (the memory map).
// Dump type 1 adds the raw words at the top of the faulting thread's stack.
//
// Only async-signal-safe calls run in the handler: everything it needs is prepared at installation. A fault
// inside the handler ends the process at once (the crash signals stay blocked while it runs), and an alarm
// ends it if the handler hangs. Nothing is done while a debugger is attached, nor for breakpoints (SIGTRAP
// is left alone).
//
// Threads: Install/Uninstall/Set* on the main thread at start-up, before other threads start (threads made
// later are covered too: the handlers are process-wide).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Installs the handlers; `program` is the program file when an absolute path (else /proc/self/exe names it).
// Idempotent.
bool InstallCrashHandler(const char* program = nullptr);
// Puts the handlers back where a library replaced them since (a later sigaction or set_terminate does not
// take the crash reporting away); returns how many were put back. Run after the libraries that take signals
// have started (the UI thread's loop does it now and then).
int KeepCrashHandler();
// Restores the earlier handlers.
void UninstallCrashHandler();
// 0 normal (the default), 1 with stack memory (the configuration's debug log level).
void SetCrashDumpType(int type);
// The dump folder (native absolute path; default: the user-data folder's "dumps", made at installation;
// none known: no dump) and the report program (default: the program folder's "Faultnote"; "" or a relative
// path starts none). Take effect at once.
void SetCrashDumpFolder(const std::string& folder);
void SetCrashReporter(const std::string& path);

namespace crash {
// The dump path for a time: folder + "/" + 17 digits + "_" + name + ".dmp", cut to `size` - 1 (at most
// 259) characters. Returns the length. Async-signal-safe.
size_t FormatDumpPath(char* out, size_t size, const char* folder, int64_t unixMs, int64_t utcOffsetSec,
                      const char* name);
// Whether a signal is handled: not with a debugger attached, not for breakpoints.
bool ShouldHandle(int signo, bool debuggerAttached);
}  // namespace crash
