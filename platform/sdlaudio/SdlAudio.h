// One reference-counted SDL audio subsystem for every library of the process. The lock is an inline
// function's static, so the dynamic linker gives all shared libraries the same one: these functions
// stay visible also in libraries that hide their other symbols.
#pragma once

#include <SDL2/SDL.h>

#include <mutex>

#pragma GCC visibility push(default)

inline std::mutex& SdlAudioMutex() {
    static std::mutex m;
    return m;
}

// SDL keeps an error buffer for every thread that calls it and frees it only for threads it started:
// a thread of ours that called it frees its own when it ends.
inline void SdlAudioNoteThread() {
    struct Cleanup {
        ~Cleanup() { SDL_TLSCleanup(); }
    };
    static thread_local Cleanup cleanup;
    (void)cleanup;
}

// Starts the audio subsystem (or adds a reference); false when SDL cannot.
inline bool SdlAudioAcquire() {
    SdlAudioNoteThread();
    std::lock_guard<std::mutex> lock(SdlAudioMutex());
    // SIGINT and SIGTERM stay the program's: SDL would turn them into quit events that nobody reads.
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    return SDL_InitSubSystem(SDL_INIT_AUDIO) == 0;
}

inline void SdlAudioRelease() {
    SdlAudioNoteThread();
    std::lock_guard<std::mutex> lock(SdlAudioMutex());
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
}

#pragma GCC visibility pop
