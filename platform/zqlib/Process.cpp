// Starting programs.
#include "ZqLib.h"

#include <glib.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// The argument vector of `cmdline` (GBK), converted to native UTF-8; empty on a parse error.
std::vector<std::string> SplitCommand(const std::string& cmdline) {
    std::vector<std::string> args;
    // A command line that names an existing file as a whole is that program, blanks and all.
    if (Dir::FileExists(cmdline)) {
        args.push_back(Dir::ToNativePath(cmdline));
        return args;
    }
    std::string utf8 = Charset::GbkToUtf8(cmdline);
    // Backslashes are path separators here, not shell escapes.
    for (char& c : utf8)
        if (c == '\\') c = '/';
    gint argc = 0;
    gchar** argv = nullptr;
    if (!g_shell_parse_argv(utf8.c_str(), &argc, &argv, nullptr)) return args;
    for (gint i = 0; i < argc; ++i) args.emplace_back(argv[i]);
    g_strfreev(argv);
    return args;
}

std::string ResolveProgram(const std::string& name) {
    if (name.find('/') != std::string::npos) return name;
    std::string installed = Dir::ToNativePath(Dir::GetZqPath(100)) + name;
    if (access(installed.c_str(), X_OK) == 0) return installed;
    gchar* found = g_find_program_in_path(name.c_str());
    if (!found) return std::string();
    std::string path = found;
    g_free(found);
    return path;
}

}  // namespace

namespace utility {

int win32exec(const std::string& cmdline, const std::string& workdir, bool wait) {
    std::vector<std::string> args = SplitCommand(cmdline);
    if (args.empty()) return -1;
    args[0] = ResolveProgram(args[0]);
    if (args[0].empty() || access(args[0].c_str(), X_OK) != 0) return -1;
    std::vector<gchar*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    std::string dir = workdir.empty() ? std::string() : Dir::ToNativePath(workdir);
    const gchar* wd = dir.empty() ? nullptr : dir.c_str();
    GError* error = nullptr;
    if (wait) {
        gint status = 0;
        GSpawnFlags flags = static_cast<GSpawnFlags>(G_SPAWN_CHILD_INHERITS_STDIN | G_SPAWN_CHILD_INHERITS_STDOUT |
                                                     G_SPAWN_CHILD_INHERITS_STDERR);
        if (!g_spawn_sync(wd, argv.data(), nullptr, flags, nullptr, nullptr, nullptr, nullptr, &status, &error)) {
            g_clear_error(&error);
            return -1;
        }
        if (WIFEXITED(status)) return WEXITSTATUS(status);
        return -1;
    }
    // Without G_SPAWN_DO_NOT_REAP_CHILD the child is reaped for us.
    if (!g_spawn_async(wd, argv.data(), nullptr, G_SPAWN_DEFAULT, nullptr, nullptr, nullptr, &error)) {
        g_clear_error(&error);
        return -1;
    }
    return 0;
}

bool IsVistaOrHigher() {
    return true;
}

}  // namespace utility
