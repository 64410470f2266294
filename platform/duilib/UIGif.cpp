#include "UIGif.h"

#include <gdk-pixbuf/gdk-pixbuf.h>

#include <cairo.h>
#include <cstring>

#include "UIManager.h"
#include "UIResource.h"

namespace DuiLib {

// Delays (ms) of the frames of a GIF, read from its blocks; empty when the data is not a GIF.
static std::vector<int> GifDelays(const unsigned char* d, size_t n, bool* emptyFrame = nullptr) {
    std::vector<int> delays;
    if (n < 13 || memcmp(d, "GIF", 3) != 0) return delays;
    size_t i = 13;
    if (d[10] & 0x80) i += 3u * (1u << ((d[10] & 7) + 1));
    int pending = 0;
    auto skipSubBlocks = [&](size_t& k) {
        while (k < n && d[k] != 0) k += 1u + d[k];
        ++k;
    };
    while (i < n && delays.size() < (size_t)CGifHandler::kMaxFrames) {
        unsigned char b = d[i];
        if (b == 0x3B) break;
        if (b == 0x21) {
            if (i + 1 >= n) break;
            if (d[i + 1] == 0xF9 && i + 7 < n && d[i + 2] == 4) pending = (d[i + 4] | (d[i + 5] << 8)) * 10;
            i += 2;
            skipSubBlocks(i);
        } else if (b == 0x2C) {
            if (i + 10 > n) break;
            if (emptyFrame && ((d[i + 5] | (d[i + 6] << 8)) == 0 || (d[i + 7] | (d[i + 8] << 8)) == 0))
                *emptyFrame = true;
            unsigned char flags = d[i + 9];
            i += 10;
            if (flags & 0x80) i += 3u * (1u << ((flags & 7) + 1));
            ++i;  // minimum code size
            skipSubBlocks(i);
            if (i > n) break;
            delays.push_back(pending);
            pending = 0;
        } else {
            break;
        }
    }
    return delays;
}

bool GifHasEmptyFrame(const void* data, size_t size) {
    bool empty = false;
    GifDelays(static_cast<const unsigned char*>(data), size, &empty);
    return empty;
}

CGifHandler::~CGifHandler() { Release(); }

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
            // Frames beyond the memory budget are dropped; the animation keeps the ones before.
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

TImageInfo* CGifHandler::GetCurrentFrame() const { return GetFrameAt(m_current); }

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
