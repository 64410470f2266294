// Public operations of the plug-in never let an exception leave it.
#pragma once

#include "ZqLog.h"

inline void HalvecLogException(const char* where) {
    PJ_Log("Halvec.txt", LOG_IMPOSSIBLE, where, "unexpected exception");
}

#define HALVEC_TRY try {
#define HALVEC_CATCH(...)             \
    }                                 \
    catch (...) {                     \
        HalvecLogException(__func__); \
        return __VA_ARGS__;           \
    }
