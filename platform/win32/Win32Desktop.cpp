#include "Win32Desktop.h"
#include "ThreadAnnotations.h"
#include "Win32Window.h"

#include <atomic>
#include <map>
#include <mutex>
#include <new>

struct Win32Icon {
    const unsigned char* png = nullptr;
    size_t size = 0;
};

namespace {

std::atomic<IDesktopWindows*> g_desktop{nullptr};

struct IconTable {
    varnet::Mutex lock;
    std::map<int, Win32Icon> images GUARDED_BY(lock);
};

IconTable& Icons() {
    static IconTable table;
    return table;
}

}  // namespace

void SetDesktopWindows(IDesktopWindows* desktop) {
    g_desktop = desktop;
}
IDesktopWindows* GetDesktopWindows() {
    return g_desktop.load();
}

BOOL FlashWindowEx(const FLASHWINFO* info) {
    IDesktopWindows* desktop = g_desktop.load();
    if (!desktop || !info || !info->hwnd) return FALSE;
    if (IsUIThread()) return desktop->Flash(*info) ? TRUE : FALSE;
    // Another thread: the desktop's windows belong to the UI thread; the request is carried out there.
    FLASHWINFO copy = *info;
    if (PostToUIThread([copy] {
            if (IDesktopWindows* d = g_desktop.load()) d->Flash(copy);
        }))
        return TRUE;
    return desktop->Flash(*info) ? TRUE : FALSE;  // no UI thread yet: nothing to hand it to
}

void RegisterIconResource(int id, const unsigned char* png, size_t size) {
    IconTable& t = Icons();
    varnet::MutexLock g(t.lock);
    if (!png || size == 0) {
        t.images.erase(id);
        return;
    }
    t.images[id] = Win32Icon{png, size};
}

HICON LoadIcon(HINSTANCE, int id) {
    IconTable& t = Icons();
    varnet::MutexLock g(t.lock);
    auto it = t.images.find(id);
    if (it == t.images.end()) return nullptr;
    return new (std::nothrow) Win32Icon(it->second);
}

BOOL DestroyIcon(HICON icon) {
    if (!icon) return FALSE;
    delete icon;
    return TRUE;
}

const unsigned char* IconImage(HICON icon, size_t* size) {
    if (size) *size = icon ? icon->size : 0;
    return icon ? icon->png : nullptr;
}
