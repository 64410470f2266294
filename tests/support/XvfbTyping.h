// Typing text on the test display without losing characters. xdotool types a character that the keyboard
// map lacks by binding it to a spare keycode for the moment of its key and unbinding it right after; the
// toolkit reads the map from the server only when it translates the key, so a busy program (or one slowed
// by a sanitizer) gets no character or the next one. Here the characters the map lacks are bound to spare
// keycodes beforehand, so xdotool types them with keys that already mean them. The map has few spare
// keycodes: a longer text goes in parts, and a part's keys are rebound only once the focused window has
// answered a ping sent after them (its toolkit has then translated them).
// Needs GDK initialised on the display (gdk_init_check). Test thread only.
#pragma once

#include <string>

namespace desktoptest {

// Types the UTF-8 text into the window that has the focus; false when a key could not be bound, xdotool
// failed or the focused window did not answer its ping.
bool TypeUtf8(const std::string& utf8, int delayMs = 60);

}  // namespace desktoptest
