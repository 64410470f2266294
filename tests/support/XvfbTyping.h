// Typing text on the test display without losing characters. xdotool types a character that the keyboard
// map lacks by binding it to a spare keycode for the moment of its key and unbinding it right after; a
// program that reads the map only later (a busy one, or one slowed by a sanitizer) then gets no character or
// the next one. Here every such character is first bound to a spare keycode of its own that stays bound, so
// xdotool types it with a key that already means it and the map no longer changes under the program.
// Needs GDK initialised on the display (gdk_init_check). Test thread only.
#pragma once

#include <string>

namespace desktoptest {

// Binds each character of the UTF-8 text that the keyboard map lacks to a spare keycode; false when the map
// has no spare keycode left (one is always left for xdotool) or there is no X display.
bool BindKeys(const std::string& utf8);

// BindKeys, then xdotool types the text into the window that has the focus; false when either failed.
bool TypeUtf8(const std::string& utf8, int delayMs = 60);

}  // namespace desktoptest
