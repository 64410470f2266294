#include <gtk/gtk.h>

#include "RightColumnTips.h"

using namespace DuiLib;

namespace roomui {

POINT PointerOnScreen() {
    POINT pt{-1, -1};
    GdkDisplay* display = gdk_display_get_default();
    GdkSeat* seat = display ? gdk_display_get_default_seat(display) : nullptr;
    GdkDevice* pointer = seat ? gdk_seat_get_pointer(seat) : nullptr;
    if (pointer) {
        int x = 0, y = 0;
        gdk_device_get_position(pointer, nullptr, &x, &y);
        pt = POINT{x, y};
    }
    return pt;
}

}  // namespace roomui
