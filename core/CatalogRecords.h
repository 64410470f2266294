// Moved to platform/base; kept for code that still includes it from here.
#include "../platform/base/CatalogRecords.h"
