#include "UIGif.h"

#include <gdk-pixbuf/gdk-pixbuf.h>

#include <cairo.h>
#include <cstring>

#include "UIManager.h"
#include "UIResource.h"

namespace DuiLib {

// Delays (ms) of the frames of a GIF, read from its blocks; empty when the data is not a GIF.
static std::vector<int> GifDelays(const unsigned char* d, size_t n) {
    std::vector<int> delays;
    WalkGifFrames(d, n, [&](int delay, int, int) {
        delays.push_back(delay);
        return delays.size() < (size_t)CGifHandler::kMaxFrames;
    });
    return delays;
}

CGifHandler::~CGifHandler() {
    Release();
}

void CGifHandler::Release() {
    m_frames.clear();
    m_delays.clear();
    m_current = 0;
}

bool CGifHandler::LoadFromMemory(const void* data, size_t size) {
    Release();
    GdkPixbufLoader* loader = DecodeImageData(data, size);
    if (!loader) return false;
    GdkPixbufAnimation* anim = gdk_pixbuf_loader_get_animation(loader);
    if (!anim) {
        g_object_unref(loader);
        return false;
    }
    if (gdk_pixbuf_animation_is_static_image(anim)) {
        GdkPixbuf* pb = gdk_pixbuf_animation_get_static_image(anim);
        if (TImageInfo* img = ImageFromPixbuf(pb)) {
            m_frames.emplace_back(img);
            m_delays.push_back(0);
        }
    } else {
        // The frame list and delays come from the file; the pixels of each frame from the decoder, whose
        // iterator is walked on a virtual clock by its own (possibly clamped) delays.
        std::vector<int> delays = GifDelays((const unsigned char*)data, size);
        G_GNUC_BEGIN_IGNORE_DEPRECATIONS
        GTimeVal t{0, 0};
        GdkPixbufAnimationIter* it = gdk_pixbuf_animation_get_iter(anim, &t);
        long long pixels = 0;
        for (size_t i = 0; i < delays.size(); ++i) {
            GdkPixbuf* pb = gdk_pixbuf_animation_iter_get_pixbuf(it);
            if (!pb) break;
            // The header was checked; should the decoder make more pixels, the frames before are kept.
            pixels += (long long)gdk_pixbuf_get_width(pb) * gdk_pixbuf_get_height(pb);
            if (pixels > kMaxFramePixels) break;
            TImageInfo* img = ImageFromPixbuf(pb);
            if (!img) break;
            m_frames.emplace_back(img);
            m_delays.push_back(delays[i]);
            int step = gdk_pixbuf_animation_iter_get_delay_time(it);
            if (step < 0) break;
            g_time_val_add(&t, (glong)step * 1000);
            gdk_pixbuf_animation_iter_advance(it, &t);
        }
        G_GNUC_END_IGNORE_DEPRECATIONS
        g_object_unref(it);
        if (m_frames.empty()) {
            if (TImageInfo* img = ImageFromPixbuf(gdk_pixbuf_animation_get_static_image(anim))) {
                m_frames.emplace_back(img);
                m_delays.push_back(0);
            }
        }
    }
    g_object_unref(loader);
    return !m_frames.empty();
}

bool CGifHandler::LoadFromFile(const char* gbkPath) {
    std::string data;
    if (!gbkPath || !ReadWholeFile(ResolvePathNoCase(gbkPath), data)) return false;
    return LoadFromMemory(data.data(), data.size());
}

TImageInfo* CGifHandler::GetCurrentFrame() const {
    return GetFrameAt(m_current);
}

TImageInfo* CGifHandler::GetFrameAt(int i) const {
    if (i < 0 || i >= (int)m_frames.size()) return nullptr;
    return m_frames[(size_t)i].get();
}

int CGifHandler::GetFrameDelay(int i) const {
    if (i < 0 || i >= (int)m_delays.size()) return 0;
    return m_delays[(size_t)i];
}

int CGifHandler::NextFrame() {
    if (m_frames.empty()) return 0;
    m_current = (m_current + 1) % (int)m_frames.size();
    return m_current;
}

CGifHandler* GetGif(const char* path, CPaintManagerUI* pm) {
    std::string data;
    bool ok = pm ? pm->LoadResource(path, data) : (path && ReadWholeFile(ResolvePathNoCase(path), data));
    if (!ok) return nullptr;
    auto* g = new CGifHandler;
    if (!g->LoadFromMemory(data.data(), data.size())) {
        delete g;
        return nullptr;
    }
    return g;
}

}  // namespace DuiLib
