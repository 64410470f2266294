// Debug lines of every layer: "[component instance] text" on standard error when the debug switch is on
// (VARNET_LOG_DEBUG=1 in the environment at start, the same switch as the log files' detailed lines), and
// nowhere otherwise. Any thread; a line is written whole.
//
//   DebugLog("Rondel", m_debugId.c_str(), "picture size %dx%d refused", w, h);   // [Rondel 3] picture size ...
//
// Never pass a password, a token or a stream key: give URLs through MaskStreamUrl. Lines are also put
// through MaskSecrets.
#pragma once

#include <string>

namespace varnet {

// Whether the switch is on (read once, on first use).
bool DebugLogOn();

// Whether a value of VARNET_LOG_DEBUG turns the switch on: one that begins with '1' (nullptr: not set).
bool DebugSwitchValue(const char* value);

// One line; `instance` may be null or empty for code that serves no particular object.
void DebugLog(const char* component, const char* instance, const char* fmt, ...) __attribute__((format(printf, 3, 4)));

// The line DebugLog writes, without its newline (texts longer than about 1000 bytes are cut).
std::string DebugLine(const char* component, const char* instance, const std::string& text);

// Tells objects of one kind apart in debug lines: "1", "2", ... in the order they were made in this library.
class DebugId {
public:
    DebugId();
    const char* c_str() const { return m_text; }

private:
    char m_text[12];
};

// A URL as it may be logged: scheme, host and path up to the last segment, which names the stream and may
// be its key, then "***" in place of that segment and of any query. "" stays "".
std::string MaskStreamUrl(const std::string& url);

// Replaces the values of secret fields (passwords, tokens, session ids: "pwd", "password", "passwd", "p",
// "token", "sid", "sessionid", any case) with "***", in queries and page commands ("a=1&pwd=x&b=2" ->
// "a=1&pwd=***&b=2") and in JSON ("\"sid\":7000" -> "\"sid\":\"***\""). A key counts at the start of the
// text or after a character that is not a letter, digit or '_'; empty values stay empty. Every log line goes
// through it.
void MaskSecrets(std::string& text);

}  // namespace varnet
