// fdk-aac, opened with the first encoder or decoder rather than at start-up. A call through VARNET_FDK_CALL
// looks its function up the first time; nothing calls one before FdkLibrary() succeeded.
#pragma once

#include <dlfcn.h>

namespace media {

inline void* FdkLibrary() {
    static void* lib = dlopen("libfdk-aac.so.2", RTLD_NOW | RTLD_GLOBAL);
    return lib;
}

inline void* FdkSymbol(const char* name) {
    void* lib = FdkLibrary();
    return lib ? dlsym(lib, name) : nullptr;
}

}  // namespace media

#define VARNET_FDK_CALL(name)                                                                    \
    ([] {                                                                                        \
        static const auto call = reinterpret_cast<decltype(&::name)>(::media::FdkSymbol(#name)); \
        return call;                                                                             \
    }())
