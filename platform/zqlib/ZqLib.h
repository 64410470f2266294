// Utility library: string formatting and splitting, URL encoding, Base64, MD5, charset conversion,
// folders, files, client id and process start. Narrow strings are GBK unless a name says UTF-8.
// Every function is thread-safe and never throws.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace StringUtility {
// printf into a string, any length.
std::string Format(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
// Splits `text` at any character of `delims`; empty pieces are dropped.
void Tokenize(const std::string& text, const std::string& delims, std::vector<std::string>& out);
// Splits `text` at every occurrence of the whole separator `sep`; empty pieces are kept.
void TokenizeEx(const std::string& text, const std::string& sep, std::vector<std::string>& out);
// True when the text holds a web link ("http://", "https://", "www." or a host name with a known top-level domain).
bool IsContainUrl(const std::string& text);
}  // namespace StringUtility

// The number at the start of `text` (leading blanks skipped, C locale); 0 when there is none.
double StringToDouble(const std::string& text);
// The number of a version text "prefix_a.b.c.d_suffix": a*1000 + b*100 + c*10 + d (truncated; each part read by
// StringToDouble) of the four dot-separated parts between the first and second '_' (or after the first '_', or
// the whole text); 0 for any other number of parts or a number beyond int. The program and the updater compare
// versions by it.
int VersionToNumber(const std::string& version);

namespace UrlEncode {
// Percent-encodes `in` into `out` of `size` bytes (always NUL-terminated when size > 0); unreserved characters
// (A-Z a-z 0-9 - _ . ~) stay, every other byte becomes %XX. The result is cut at a whole escape.
// Returns the length written.
// A GBK character (two escapes) is never split. `flag` is accepted for callers' sake; the encoding is the same.
int EncodeEx(const char* in, char* out, int size, int flag);
std::string Encode(const std::string& in);
// Query-value form: as Encode, with blanks as '+'.
std::string EncodeQuery(const std::string& in);
// Decodes %XX escapes and '+' (as a blank) into `out` of `size` bytes, NUL-terminated; the result is cut so
// that it never ends inside a GBK character. A malformed escape is copied as it stands. Returns the length.
int DecodeEx(const char* in, char* out, int size);
std::string Decode(const std::string& in);
std::string Decode(const char* in, size_t len);
}  // namespace UrlEncode

namespace Base64 {
// Standard Base64 of `len` bytes. With a non-empty key the bytes are first XOR-ed with the key, repeated.
std::string Base64Encode(const void* in, int len, const char* key = nullptr);
// Decodes Base64 text (with the same optional key); false on malformed input.
bool Base64Decode(const std::string& in, std::string& out, const char* key = nullptr);
// Decodes into `out` of `size` bytes, NUL-terminated; returns the decoded length, or -1 on malformed input or
// when the bytes and the NUL do not fit.
int Base64Decode(const char* in, char* out, int size);
// Encodes into `out` (with the same optional key); returns the encoded length (0 for no input, -1 on bad arguments).
int Base64Encode(std::string& out, const void* in, int len, const char* key);
}  // namespace Base64

// The bound of every JSON parse of the programs (replies and catalogues): a parsed value costs some hundred
// bytes whatever its text, so a byte limit alone does not bound the memory ("[{},{},...]").
namespace JsonLimit {
constexpr size_t kMaxValues = 1u << 18;  // about 50 MB parsed at most; real replies and catalogues hold far fewer
// An upper bound of the values a JSON text (comments allowed) parses into; counting ends once past `stopAt`.
size_t CountValues(const char* text, size_t len, size_t stopAt = kMaxValues);
// True when the text parses into at most `maxValues` values; checked before any parser runs.
bool Within(const char* text, size_t len, size_t maxValues = kMaxValues);
}  // namespace JsonLimit

namespace Entrypt {
// MD5 of the bytes of `text` as 32 lower-case hex digits.
std::string GenerateMD5(const std::string& text);
}  // namespace Entrypt

namespace Charset {
// Conversions between the system's GBK, UTF-8 and UTF-16. Invalid input bytes become '?' (U+FFFD for UTF-16);
// nothing is ever read past the input.
std::string GbkToUtf8(const std::string& gbk);
// Appends the UTF-8 form of `len` GBK bytes to `out` (the same conversion as GbkToUtf8).
void AppendGbkAsUtf8(std::string& out, const char* gbk, size_t len);
std::string Utf8ToGbk(const std::string& utf8);
std::u16string GbkToUtf16(const std::string& gbk);
std::string Utf16ToGbk(const std::u16string& utf16);
std::u16string Utf8ToUtf16(const std::string& utf8);
std::string Utf16ToUtf8(const std::u16string& utf16);
// The same conversions under the names older callers use ("wide" is UTF-16).
inline std::u16string String2WString(const std::string& gbk) {
    return GbkToUtf16(gbk);
}
inline std::string WString2String(const std::u16string& utf16) {
    return Utf16ToGbk(utf16);
}
inline std::u16string UTF8ToUnicode(const std::string& utf8) {
    return Utf8ToUtf16(utf8);
}
inline std::string UnicodeToUTF8(const std::u16string& utf16) {
    return Utf16ToUtf8(utf16);
}
// True when the bytes are one whole, valid GBK text.
bool IsValidGbk(const std::string& text);
// The cut of platform/base (GbkCut.h) under zqlib's names: the longest prefix of at most `maxBytes` bytes
// that ends on a whole GBK character.
size_t GbkSafeCut(const char* text, size_t len, size_t maxBytes);
// Copies `text` into `buf` of `size` bytes, NUL-terminated, cut on a whole GBK character.
void GbkCopy(char* buf, size_t size, const std::string& text);
}  // namespace Charset

namespace Dir {
// Folder types: 100 installation folder (the program's folder), 105 image folder ("image/" of the installation),
// 107 user-data folder, 110 log folder ("log/" of the user data), 113 update download folder ("update/" of the
// user data), 128 web page folder ("web/" of the installation). Returned as GBK with a trailing '/', created
// when missing; "" for an unknown type.
// The user-data root is $VARNET_DATA_DIR when set (tests), else $XDG_DATA_HOME/Varnet or ~/.local/share/Varnet;
// the installation folder is $VARNET_INSTALL_DIR when set, else the running program's folder.
std::string GetZqPath(int type);
// The running program's folder, GBK, trailing '/'.
std::string GetCurrentPath();
// A GBK path of the system (with '\\' or '/' separators) as a native UTF-8 path with '/' separators.
std::string ToNativePath(const std::string& gbkPath);
// fopen of a GBK system path.
std::FILE* OpenFile(const std::string& gbkPath, const char* mode);
bool FileExists(const std::string& gbkPath);
// Size in bytes, -1 when missing.
int64_t GetFileSize(const std::string& gbkPath);
// Reads a whole file of at most maxBytes bytes; false when missing, unreadable or larger.
bool ReadFile(const std::string& gbkPath, std::string& out, size_t maxBytes = 64u << 20);
// Writes a whole file atomically (temporary file, then rename); false on failure.
bool WriteFileAtomic(const std::string& gbkPath, const std::string& data);
bool RemoveFile(const std::string& gbkPath);
// Moves a file to the user's trash (the freedesktop trash folder); removes it when that cannot be done.
bool RemoveFile2Recycle(const std::string& gbkPath);
bool CreateDirectories(const std::string& gbkPath);
// The file name after the last separator.
std::string GetShortFileName(const std::string& gbkPath);
}  // namespace Dir

namespace ClientID {
// The installation's client id, kept in the user-data folder; "" when none was stored.
bool GetClientID(char* buf, int size);
std::string GetClientID();
bool SetClientID(const std::string& id);
bool GetInstallSRC(char* buf, int size);
bool SetInstallSRC(const std::string& src);
}  // namespace ClientID

namespace utility {
// Starts `cmdline` (program and arguments, split at blanks, quotes honoured) in `workdir`; a bare program name
// is looked up in the installation folder, then on PATH. Waits for it when `wait` is true.
// Returns the exit code when waiting, 0 when started without waiting, -1 on failure.
int win32exec(const std::string& cmdline, const std::string& workdir, bool wait);
// True on every platform this runs on: elevation-capable installs.
bool IsVistaOrHigher();
}  // namespace utility
