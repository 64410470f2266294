// One reference-counted SDL audio subsystem for every library of the process. The lock is an inline
// function's static, so the dynamic linker gives all shared libraries the same one: these functions
// stay visible also in libraries that hide their other symbols. SDL's library is opened with the first
// acquisition, not at start-up (the program starts without it and the sound libraries it brings); its
// functions are looked up there when first called, and nothing calls them before an acquisition succeeded.
#pragma once

#include <SDL2/SDL.h>
#include <dlfcn.h>

#include <mutex>

#pragma GCC visibility push(default)

// SDL's library, opened once (nullptr when it cannot be).
inline void* SdlLibrary() {
    static void* lib = dlopen("libSDL2-2.0.so.0", RTLD_NOW | RTLD_GLOBAL);
    return lib;
}

inline void* SdlSymbol(const char* name) {
    void* lib = SdlLibrary();
    return lib ? dlsym(lib, name) : nullptr;
}

#define VARNET_SDL_CALL(name)                                                           \
    ([] {                                                                               \
        static const auto call = reinterpret_cast<decltype(&::name)>(SdlSymbol(#name)); \
        return call;                                                                    \
    }())
#define SDL_CloseAudioDevice VARNET_SDL_CALL(SDL_CloseAudioDevice)
#define SDL_GetAudioDeviceName VARNET_SDL_CALL(SDL_GetAudioDeviceName)
#define SDL_GetAudioDeviceStatus VARNET_SDL_CALL(SDL_GetAudioDeviceStatus)
#define SDL_GetError VARNET_SDL_CALL(SDL_GetError)
#define SDL_GetNumAudioDevices VARNET_SDL_CALL(SDL_GetNumAudioDevices)
#define SDL_InitSubSystem VARNET_SDL_CALL(SDL_InitSubSystem)
#define SDL_OpenAudioDevice VARNET_SDL_CALL(SDL_OpenAudioDevice)
#define SDL_PauseAudioDevice VARNET_SDL_CALL(SDL_PauseAudioDevice)
#define SDL_QuitSubSystem VARNET_SDL_CALL(SDL_QuitSubSystem)
#define SDL_SetHint VARNET_SDL_CALL(SDL_SetHint)
#define SDL_TLSCleanup VARNET_SDL_CALL(SDL_TLSCleanup)
#define SDL_memset VARNET_SDL_CALL(SDL_memset)

inline std::mutex& SdlAudioMutex() {
    static std::mutex m;
    return m;
}

// SDL keeps an error buffer for every thread that calls it and frees it only for threads it started:
// a thread of ours that called it frees its own when it ends.
inline void SdlAudioNoteThread() {
    struct Cleanup {
        ~Cleanup() {
            if (SdlLibrary()) SDL_TLSCleanup();
        }
    };
    static thread_local Cleanup cleanup;
    (void)cleanup;
}

// Starts the audio subsystem (or adds a reference); false when SDL cannot.
inline bool SdlAudioAcquire() {
    if (!SdlLibrary()) return false;
    SdlAudioNoteThread();
    std::lock_guard<std::mutex> lock(SdlAudioMutex());
    // SIGINT and SIGTERM stay the program's: SDL would turn them into quit events that nobody reads.
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    return SDL_InitSubSystem(SDL_INIT_AUDIO) == 0;
}

inline void SdlAudioRelease() {
    if (!SdlLibrary()) return;
    SdlAudioNoteThread();
    std::lock_guard<std::mutex> lock(SdlAudioMutex());
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
}

#pragma GCC visibility pop
