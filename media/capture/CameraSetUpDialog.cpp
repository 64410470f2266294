#include "CameraSetUpDialog.h"

#include "CameraSource.h"
#include "ZqLib.h"

#include <gtk/gtk.h>

#include <cmath>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace capture {

namespace {

constexpr const char* kIdKey = "camera-control-id";

uint32_t ControlId(GtkWidget* w) {
    return GPOINTER_TO_UINT(g_object_get_data(G_OBJECT(w), kIdKey));
}

// One setting changes which others apply (an automatic mode rules its manual value): after each change
// every row takes the device's present state.
void UpdateSensitivity(GtkWidget* widget, CameraSource& source) {
    GtkWidget* grid = gtk_widget_get_parent(widget);
    if (!GTK_IS_CONTAINER(grid)) return;
    const std::vector<CameraControl> controls = source.Controls();
    GList* children = gtk_container_get_children(GTK_CONTAINER(grid));
    for (GList* l = children; l; l = l->next) {
        GtkWidget* w = GTK_WIDGET(l->data);
        const uint32_t id = ControlId(w);
        for (const CameraControl& c : controls) {
            if (id != 0 && c.id == id) gtk_widget_set_sensitive(w, !c.readOnly);
        }
    }
    g_list_free(children);
}

void Apply(GtkWidget* widget, gpointer source, int value) {
    auto* cam = static_cast<CameraSource*>(source);
    cam->SetControl(ControlId(widget), value);
    UpdateSensitivity(widget, *cam);
}

void OnScale(GtkRange* range, gpointer source) {
    Apply(GTK_WIDGET(range), source, int(std::lround(gtk_range_get_value(range))));
}

void OnCheck(GtkToggleButton* button, gpointer source) {
    Apply(GTK_WIDGET(button), source, gtk_toggle_button_get_active(button) ? 1 : 0);
}

void OnMenu(GtkComboBox* combo, gpointer source) {
    if (const char* id = gtk_combo_box_get_active_id(combo)) Apply(GTK_WIDGET(combo), source, atoi(id));
}

GtkWidget* ControlWidget(const CameraControl& c, CameraSource& source) {
    GtkWidget* w = nullptr;
    switch (c.type) {
    case CameraControl::Integer: {
        const double step = c.step > 0 ? c.step : 1;
        const double high = c.maximum > c.minimum ? c.maximum : c.minimum + step;
        w = gtk_scale_new_with_range(GTK_ORIENTATION_HORIZONTAL, c.minimum, high, step);
        gtk_scale_set_digits(GTK_SCALE(w), 0);
        gtk_range_set_value(GTK_RANGE(w), c.value);
        gtk_widget_set_size_request(w, 240, -1);
        g_signal_connect(w, "value-changed", G_CALLBACK(OnScale), &source);
        break;
    }
    case CameraControl::Boolean:
        w = gtk_check_button_new();
        gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(w), c.value != 0);
        g_signal_connect(w, "toggled", G_CALLBACK(OnCheck), &source);
        break;
    case CameraControl::Menu:
        w = gtk_combo_box_text_new();
        for (const auto& [value, name] : c.items) {
            gtk_combo_box_text_append(GTK_COMBO_BOX_TEXT(w), std::to_string(value).c_str(),
                                      Charset::GbkToUtf8(name).c_str());
        }
        gtk_combo_box_set_active_id(GTK_COMBO_BOX(w), std::to_string(c.value).c_str());
        g_signal_connect(w, "changed", G_CALLBACK(OnMenu), &source);
        break;
    }
    g_object_set_data(G_OBJECT(w), kIdKey, GUINT_TO_POINTER(c.id));
    gtk_widget_set_name(w, ("camera-control-" + std::to_string(c.id)).c_str());
    gtk_widget_set_hexpand(w, TRUE);
    gtk_widget_set_sensitive(w, !c.readOnly);
    return w;
}

GtkWindow* OwnerWindow(void* owner) {
    if (!owner) return nullptr;
    GtkWindow* found = nullptr;
    GList* all = gtk_window_list_toplevels();
    for (GList* l = all; l && !found; l = l->next) {
        if (g_object_get_data(G_OBJECT(l->data), "varnet-hwnd") == owner) found = GTK_WINDOW(l->data);
    }
    g_list_free(all);
    return found;
}

}  // namespace

void* CreateSetUpDialog(CameraSource& source, void* owner) {
    if (!gdk_display_get_default()) return nullptr;
    GtkWidget* dialog = gtk_dialog_new();
    gtk_window_set_title(GTK_WINDOW(dialog), "");
    gtk_window_set_resizable(GTK_WINDOW(dialog), FALSE);
    if (GtkWindow* parent = OwnerWindow(owner)) gtk_window_set_transient_for(GTK_WINDOW(dialog), parent);
    gtk_dialog_add_button(GTK_DIALOG(dialog), Charset::GbkToUtf8("关闭").c_str(), GTK_RESPONSE_CLOSE);

    GtkWidget* grid = gtk_grid_new();
    gtk_grid_set_row_spacing(GTK_GRID(grid), 6);
    gtk_grid_set_column_spacing(GTK_GRID(grid), 12);
    gtk_container_set_border_width(GTK_CONTAINER(grid), 12);
    int row = 0;
    for (const CameraControl& c : source.Controls()) {
        GtkWidget* label = gtk_label_new(Charset::GbkToUtf8(c.name).c_str());
        gtk_widget_set_halign(label, GTK_ALIGN_START);
        gtk_grid_attach(GTK_GRID(grid), label, 0, row, 1, 1);
        gtk_grid_attach(GTK_GRID(grid), ControlWidget(c, source), 1, row, 1, 1);
        ++row;
    }
    if (row == 0) {
        gtk_grid_attach(GTK_GRID(grid), gtk_label_new(Charset::GbkToUtf8("此设备没有可调的设置").c_str()), 0, 0, 1, 1);
    }
    gtk_container_add(GTK_CONTAINER(gtk_dialog_get_content_area(GTK_DIALOG(dialog))), grid);
    gtk_widget_show_all(grid);
    return dialog;
}

namespace {
// The dialogs RunSetUpDialog runs now, innermost last (UI thread).
std::vector<std::pair<CameraSource*, GtkWidget*>>& Running() {
    static std::vector<std::pair<CameraSource*, GtkWidget*>> running;
    return running;
}
}  // namespace

namespace {
void EndNow(const CameraSource* source) {
    for (auto& [src, dialog] : Running())
        if (src == source) gtk_dialog_response(GTK_DIALOG(dialog), GTK_RESPONSE_CLOSE);
}

// Cameras closed on other threads, ended on the UI thread by one pending idle however many close meanwhile
// (a thread opening and closing cameras in a loop must not flood the main loop).
struct EndRequests {
    std::mutex mutex;
    std::vector<std::weak_ptr<CameraSource>> sources;
    bool posted = false;
};
EndRequests& Requests() {
    static EndRequests requests;
    return requests;
}

gboolean EndRequested(gpointer) {
    std::vector<std::weak_ptr<CameraSource>> sources;
    {
        std::lock_guard<std::mutex> lock(Requests().mutex);
        sources.swap(Requests().sources);
        Requests().posted = false;
    }
    // A running dialog holds its source: one that is gone by then has no dialog left.
    for (auto& weak : sources)
        if (auto s = weak.lock()) EndNow(s.get());
    return G_SOURCE_REMOVE;
}
}  // namespace

void EndSetUpDialog(const std::shared_ptr<CameraSource>& source) {
    if (!source) return;
    // The UI thread owns the default main context while it dispatches, and a dialog runs only inside
    // its dispatch.
    if (g_main_context_is_owner(g_main_context_default())) {
        EndNow(source.get());
        return;
    }
    EndRequests& r = Requests();
    std::lock_guard<std::mutex> lock(r.mutex);
    std::erase_if(r.sources, [](const std::weak_ptr<CameraSource>& w) { return w.expired(); });
    r.sources.push_back(source);
    if (!r.posted) {
        r.posted = true;
        g_idle_add_full(G_PRIORITY_DEFAULT, EndRequested, nullptr, nullptr);
    }
}

bool RunSetUpDialog(CameraSource& source, void* owner) {
    auto* dialog = static_cast<GtkWidget*>(CreateSetUpDialog(source, owner));
    if (!dialog) return false;
    gtk_window_set_modal(GTK_WINDOW(dialog), TRUE);
    int x = 0, y = 0;
    if (GtkWindow* parent = gtk_window_get_transient_for(GTK_WINDOW(dialog))) gtk_window_get_position(parent, &x, &y);
    gtk_window_move(GTK_WINDOW(dialog), x + 30, y + 30);
    Running().emplace_back(&source, dialog);
    gtk_dialog_run(GTK_DIALOG(dialog));
    auto& running = Running();
    for (auto it = running.begin(); it != running.end(); ++it) {
        if (it->second == dialog) {
            running.erase(it);
            break;
        }
    }
    gtk_widget_destroy(dialog);
    return true;
}

}  // namespace capture
