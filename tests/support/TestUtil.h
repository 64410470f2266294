// What every test folder needs: temporary folders, bounded waits on a condition and scoped environment
// variables. Every test program has tests/support on its include path.
#pragma once

// <thread> brings the clocks and durations; the full <chrono> does not build with the GBK charset.
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <initializer_list>
#include <optional>
#include <string>
#include <system_error>
#include <thread>

namespace testsupport {

// A fresh folder under $TMPDIR (or /tmp) named "<tag>-XXXXXX"; removed with everything in it at the end of
// its scope unless Keep() was called. path() is empty when the folder could not be made.
class TempDir {
public:
    explicit TempDir(const char* tag = "varnet-test") {
        const char* base = std::getenv("TMPDIR");
        std::string tmpl = std::string(base && *base ? base : "/tmp") + "/" + tag + "-XXXXXX";
        if (mkdtemp(tmpl.data())) m_path = tmpl;
    }
    ~TempDir() {
        std::error_code ec;
        if (!m_path.empty() && !m_keep) std::filesystem::remove_all(m_path, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return m_path; }
    std::string operator/(const std::string& name) const { return m_path + "/" + name; }
    void Keep() { m_keep = true; }

private:
    std::string m_path;
    bool m_keep = false;
};

// A fresh folder that stays after the program ends (data folders that set-ups point the process at, kept for
// their logs); "" when none could be made.
inline std::string MakeTempDir(const char* tag) {
    TempDir dir(tag);
    dir.Keep();
    return dir.path();
}

// Polls `done` every `step` until it holds or `limit` has passed; true when it held.
inline bool WaitUntil(const std::function<bool()>& done, std::chrono::milliseconds limit = std::chrono::seconds(10),
                      std::chrono::milliseconds step = std::chrono::milliseconds(5)) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() >= end) return done();
        std::this_thread::sleep_for(step);
    }
    return true;
}

// Why a test on the test display cannot run, "" when it can: VARNET_TEST_DISPLAY is not set, or one of
// `tools` (commands such as xdotool) is not installed. When it can, that display is the process's DISPLAY,
// without an accessibility bus.
inline std::string UseTestDisplay(std::initializer_list<const char*> tools = {}) {
    const char* display = std::getenv("VARNET_TEST_DISPLAY");
    if (!display || !*display) return "VARNET_TEST_DISPLAY is not set";
    for (const char* tool : tools)
        if (std::system(("command -v " + std::string(tool) + " >/dev/null 2>&1").c_str()) != 0)
            return std::string(tool) + " is not installed";
    setenv("DISPLAY", display, 1);
    setenv("NO_AT_BRIDGE", "1", 1);
    return "";
}

// Sets (or, with nullopt, clears) one variable for the scope and puts the old value back.
class ScopedEnv {
public:
    ScopedEnv(const char* name, std::optional<std::string> value) : m_name(name) {
        if (const char* old = std::getenv(name)) m_old = old;
        value ? setenv(name, value->c_str(), 1) : unsetenv(name);
    }
    ~ScopedEnv() { m_old ? setenv(m_name.c_str(), m_old->c_str(), 1) : unsetenv(m_name.c_str()); }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    std::string m_name;
    std::optional<std::string> m_old;
};

}  // namespace testsupport
