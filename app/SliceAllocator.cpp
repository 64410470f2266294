// GLib's slice allocator keeps what the toolkit frees in per-thread magazines and part-used pages, out of
// malloc's reach: the start-up's short-lived objects would hold about a megabyte for good. Plain malloc gives
// it back (GLib itself does so from 2.76 on, where the setting does nothing). GLib sets its allocator up in its
// own initialiser, before any constructor or main of the program runs, and reads no environment set later:
// hence the executable's pre-initialiser, which runs first of all. Linked into executables only.
#include <glib.h>

namespace {

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
void UseMallocForSlices(int, char**, char**) {
    g_slice_set_config(G_SLICE_CONFIG_ALWAYS_MALLOC, TRUE);
}
#pragma GCC diagnostic pop

__attribute__((section(".preinit_array"), used)) void (*const kUseMallocForSlices)(int, char**,
                                                                                   char**) = &UseMallocForSlices;

}  // namespace
