// Helpers shared by the chat-line builders and the whitelist (not part of the library's interface).
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

#include "IDataHalvec.h"
#include "RoomRecords.h"

// Runs of tabs in the templates.
#define TAB11 "\t\t\t\t\t\t\t\t\t\t\t"
#define TAB12 TAB11 "\t"
#define TAB13 TAB12 "\t"

namespace chathtml {

// The catalogue plug-in, or null while it is not loaded.
IDataHalvec* Halvec();

// `tmpl` with each "%s" replaced by the next argument (texts may hold any byte).
std::string Fill(const char* tmpl, std::initializer_list<std::string_view> args);
std::string Signed(uint32_t v);    // "%d"
std::string Unsigned(uint32_t v);  // "%u"
std::string Int(int v);

// & < > " as entities, NUL dropped; any other byte (GBK included) unchanged. For texts and attribute values
// alike: an address written so reads back as the very text that was checked, entities and all.
std::string EscapeHtml(std::string_view text);
// "<image src="%s"/>" with the source escaped.
std::string ImageHtml(const std::string& src);

bool IsSelf(const RoomUserInfo& user);
uint32_t ShownId(const RoomUserInfo& user);
uint32_t ShownId(uint32_t uid, uint32_t beautyid);
// The icon's picture element, or "" when the catalogue lacks it.
std::string IconImage(int iconId, const char* suffix = "");
// The level's picture element when level > 200 and the catalogue has it, else "".
std::string LevelImage(uint32_t level);

// The href of a notice link (escaped), or false when the link is refused.
bool NoticeHref(const std::string& link, std::string& href);

// Bytes of the unit at text[i] as the emoticon walk of the chat lines steps: any byte from 0x80 up takes
// the next byte with it (a last byte stands alone). This is wider than the GBK rule (varnet::GbkUnitLength):
// the walk decides where "[:N]" codes are found, and the whitelist must find them exactly where the
// conversion will (and where other clients, which walk the same way, will), so it stays as it is.
inline size_t ChatWalkUnitLength(const std::string& text, size_t i) {
    return static_cast<unsigned char>(text[i]) >= 0x80 && i + 1 < text.size() ? 2 : 1;
}

// Finds emoticon codes "[:N]" (at least one character between ":" and "]") while a text is walked forward;
// remembers the next "]" so that a text of many openings costs linear time.
class FaceCodeScanner {
public:
    explicit FaceCodeScanner(const std::string& text) : text_(text) {}
    // When text[i] opens a code, its "]" index; positions must not decrease from call to call.
    bool Find(size_t i, size_t& close);

private:
    const std::string& text_;
    size_t nextClose_ = 0;  // the first "]" at or after searchedFrom_ (npos: none)
    size_t searchedFrom_ = 0;
    bool searched_ = false;
};

// Entity decoding of an attribute value as a browser does it. False when the value holds a named reference
// ending in ";" that is not in the table (its meaning is not known here).
bool DecodeAttributeValue(std::u16string_view in, std::u32string& out);

}  // namespace chathtml
