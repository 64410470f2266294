// Parsers of the nine JSON catalogue files. Each takes the file's whole text and adds what it finds to the
// catalogue (callers empty it first). Nothing in the text is trusted: a member of the wrong type counts as
// absent, so a bad group or item is skipped and the rest is still read. Never throws.
#pragma once

#include <string>

#include "Catalog.h"

// Each returns false when the text is not JSON (the catalogue is left as it was).
bool LoadGiftList(const std::string& text, GiftCatalog& out);
bool LoadFaceList(const std::string& text, FaceCatalog& out);
bool LoadUserPhotoList(const std::string& text, UserPhotoCatalog& out);
bool LoadTagList(const std::string& text, GiftCatalog& out);
// Installs the built-in ladder (and logs) when the text is JSON but yields no level.
bool LoadLevelList(const std::string& text, LevelCatalog& out);
bool LoadRoleList(const std::string& text, ItemCatalog& out);
bool LoadIconList(const std::string& text, ItemCatalog& out);
bool LoadEnterShowList(const std::string& text, ItemCatalog& out);
bool LoadColorBarList(const std::string& text, ItemCatalog& out);

// The seventeen-rung ladder used when level.conf lists no level.
void LoadDefaultLevelList(LevelCatalog& out);

// URL-decodes a name as stored: at most 255 bytes, never cut inside a GBK character.
std::string DecodeName(const std::string& encoded);
