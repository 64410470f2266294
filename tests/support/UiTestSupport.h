// Helpers of the UI tests: run code inside a modal loop, write a skin archive.
#pragma once

#include <UIlib.h>
#include <UITestDriver.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace duitest {

// Runs f on the UI loop after ms milliseconds (inside whatever loop is running then); returns the GLib
// source id (g_source_remove cancels it).
unsigned RunLater(unsigned ms, std::function<void()> f);

// Writes a zip archive with the given (name, content) entries; returns false on failure.
bool WriteZip(const std::string& path, const std::vector<std::pair<std::string, std::string>>& entries);

// A fresh folder under the build tree for one test.
std::string TempDir(const std::string& name);

}  // namespace duitest
