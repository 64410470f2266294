// Skin markup and images from a damaged archive: builds, lays out and paints whatever the bytes give.
// The first byte picks the kind of input: even = skin XML, odd = image (still or animated).
#include <cairo.h>

#include <cstdint>
#include <string>

#include <UIlib.h>

using namespace DuiLib;

namespace {
struct Custom : IDialogBuilderCallback {
    CControlUI* CreateControl(const char* cls) override { return EqualNoCase(cls, "Custom") ? new CTextUI : nullptr; }
};
}  // namespace

// fontconfig keeps its configuration for the life of the process.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libfontconfig.so\n";
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const char* body = reinterpret_cast<const char*>(data + 1);
    size_t n = size - 1;
    if (data[0] % 2 == 0) {
        CPaintManagerUI pm;
        Custom cb;
        CDialogBuilder b;
        CControlUI* root = b.CreateFromString(std::string(body, n), &cb, &pm);
        if (!pm.AttachDialog(root)) return 0;
        static cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 160, 120);
        cairo_t* cr = cairo_create(s);
        IRenderTarget rt(cr);
        if (root) root->SetPos({0, 0, 160, 120});
        pm.Paint(&rt, {0, 0, 160, 120});
        cairo_destroy(cr);
    } else {
        delete CRenderEngine::LoadImageData(body, n);
        CGifHandler gif;
        if (gif.LoadFromMemory(body, n))
            for (int i = 0; i < gif.GetFrameCount(); ++i) gif.NextFrame();
    }
    return 0;
}
