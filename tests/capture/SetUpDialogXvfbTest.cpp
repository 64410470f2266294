// The camera settings dialog on the test display, over the synthetic camera. Skipped without
// VARNET_TEST_DISPLAY.
#include <gtest/gtest.h>

#include <gtk/gtk.h>

#include <atomic>
#include <cstdlib>
#include <thread>
#include <string>
#include <utility>

#include "CameraSetUpDialog.h"
#include "CameraSource.h"
#include "Grabbel.h"
#include "SyntheticCamera.h"
#include "UIBackendGtk.h"
#include "UIlib.h"
#include "TestUtil.h"

namespace {

GtkWidget* FindNamed(GtkWidget* root, const std::string& name) {
    if (name == gtk_widget_get_name(root)) return root;
    if (!GTK_IS_CONTAINER(root)) return nullptr;
    GtkWidget* found = nullptr;
    GList* children = gtk_container_get_children(GTK_CONTAINER(root));
    for (GList* l = children; l && !found; l = l->next) found = FindNamed(GTK_WIDGET(l->data), name);
    g_list_free(children);
    return found;
}

GtkWidget* FirstRange(GtkWidget* root) {
    if (GTK_IS_RANGE(root)) return root;
    if (!GTK_IS_CONTAINER(root)) return nullptr;
    GtkWidget* found = nullptr;
    GList* children = gtk_container_get_children(GTK_CONTAINER(root));
    for (GList* l = children; l && !found; l = l->next) found = FirstRange(GTK_WIDGET(l->data));
    g_list_free(children);
    return found;
}

int Value(capture::CameraSource& cam, uint32_t id) {
    for (auto& c : cam.Controls())
        if (c.id == id) return c.value;
    return -1000;
}

// Ends every dialog after `ms` with a failure: a dialog that does not end fails the test, not hangs it.
guint EndDialogsAfter(unsigned ms, const char* failure) {
    return g_timeout_add(
        ms,
        [](gpointer failure) -> gboolean {
            ADD_FAILURE() << static_cast<const char*>(failure);
            GList* all = gtk_window_list_toplevels();
            for (GList* l = all; l; l = l->next)
                if (GTK_IS_DIALOG(l->data)) gtk_dialog_response(GTK_DIALOG(l->data), GTK_RESPONSE_CLOSE);
            g_list_free(all);
            return G_SOURCE_CONTINUE;
        },
        const_cast<char*>(failure));
}

class SetUpDialogXvfb : public ::testing::Test {
protected:
    void SetUp() override {
        if (std::string why = testsupport::UseTestDisplay(); !why.empty()) GTEST_SKIP() << why;
        Win32Init();
        ASSERT_TRUE(DuiLib::UIBackendGtkInit()) << "cannot open display " << getenv("DISPLAY");
        capture::SelectSyntheticCamera(1, {{320, 240}});
    }
    void TearDown() override {
        capture::SelectSyntheticCamera(-1);
        DuiLib::SetWindowBackendFactory(nullptr);
        SetDesktopWindows(nullptr);
    }
};

TEST_F(SetUpDialogXvfb, EachWidgetChangesItsSetting) {
    auto cam = capture::CreateCamera(0);
    ASSERT_TRUE(cam && cam->Open(320, 240, 10));
    auto controls = cam->Controls();
    ASSERT_EQ(3u, controls.size());
    auto* dialog = static_cast<GtkWidget*>(capture::CreateSetUpDialog(*cam, nullptr));
    ASSERT_NE(nullptr, dialog);
    gtk_widget_show(dialog);
    auto widget = [&](uint32_t id) { return FindNamed(dialog, "camera-control-" + std::to_string(id)); };
    GtkWidget* brightness = widget(controls[0].id);
    GtkWidget* contrast = widget(controls[1].id);
    GtkWidget* mirror = widget(controls[2].id);
    ASSERT_TRUE(GTK_IS_RANGE(brightness));
    ASSERT_TRUE(GTK_IS_RANGE(contrast));
    ASSERT_TRUE(GTK_IS_TOGGLE_BUTTON(mirror));
    EXPECT_EQ(100, int(gtk_range_get_value(GTK_RANGE(contrast))));  // shows the current values
    gtk_range_set_value(GTK_RANGE(brightness), 25);
    gtk_range_set_value(GTK_RANGE(contrast), 150);
    gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(mirror), TRUE);
    EXPECT_EQ(25, Value(*cam, controls[0].id));
    EXPECT_EQ(150, Value(*cam, controls[1].id));
    EXPECT_EQ(1, Value(*cam, controls[2].id));
    gtk_widget_destroy(dialog);
}

class OwnerWnd : public DuiLib::CWindowWnd {
public:
    const char* GetWindowClassName() const override { return "OwnerWnd"; }
};

TEST_F(SetUpDialogXvfb, ShowSetUpRunsAModalDialogOverItsOwner) {
    OwnerWnd owner;
    ASSERT_TRUE(owner.Create(nullptr, "owner", 0, 0, 100, 100, 320, 240));
    owner.ShowWindow(true, true);
    Grabbel g;
    ASSERT_TRUE(g.OpenCamera(0, 320, 240, 10));
    bool sawDialog = false;
    GtkWindow* transientFor = nullptr;
    std::pair<bool*, GtkWindow**> state{&sawDialog, &transientFor};
    // Closes the dialog once it is shown; a dialog that never shows fails the wait below.
    guint id = g_timeout_add(
        50,
        [](gpointer p) -> gboolean {
            auto* state = static_cast<std::pair<bool*, GtkWindow**>*>(p);
            GList* all = gtk_window_list_toplevels();
            for (GList* l = all; l; l = l->next) {
                if (GTK_IS_DIALOG(l->data) && gtk_widget_get_visible(GTK_WIDGET(l->data))) {
                    *state->first = true;
                    *state->second = gtk_window_get_transient_for(GTK_WINDOW(l->data));
                    gtk_dialog_response(GTK_DIALOG(l->data), GTK_RESPONSE_CLOSE);
                }
            }
            g_list_free(all);
            return G_SOURCE_CONTINUE;
        },
        &state);
    guint guard = EndDialogsAfter(10000, "the dialog did not close");
    g.ShowSetUp(owner.GetHWND());
    g_source_remove(id);
    g_source_remove(guard);
    EXPECT_TRUE(sawDialog);
    ASSERT_NE(nullptr, transientFor);
    EXPECT_EQ(owner.GetHWND(), g_object_get_data(G_OBJECT(transientFor), "varnet-hwnd"));
    g.CloseCamera();
    DestroyWindow(owner.GetHWND());
}

TEST_F(SetUpDialogXvfb, ClosingTheCameraEndsItsDialogAndLeavesTheRowsAValidDevice) {
    Grabbel g;
    ASSERT_TRUE(g.OpenCamera(0, 320, 240, 10));
    struct State {
        Grabbel* g;
        bool closed = false;
    } state{&g};
    // Once the dialog shows: the camera closes under it, then a slider moves (as a user's drag would).
    guint id = g_timeout_add(
        50,
        [](gpointer p) -> gboolean {
            auto* st = static_cast<State*>(p);
            GList* all = gtk_window_list_toplevels();
            for (GList* l = all; l && !st->closed; l = l->next) {
                if (!GTK_IS_DIALOG(l->data) || !gtk_widget_get_visible(GTK_WIDGET(l->data))) continue;
                st->g->CloseCamera();
                st->closed = true;
                if (GtkWidget* row = FirstRange(GTK_WIDGET(l->data))) gtk_range_set_value(GTK_RANGE(row), 40);
            }
            g_list_free(all);
            return G_SOURCE_CONTINUE;
        },
        &state);
    guint guard = EndDialogsAfter(10000, "the dialog did not end with its camera");
    g.ShowSetUp(nullptr);
    g_source_remove(id);
    g_source_remove(guard);
    EXPECT_TRUE(state.closed);
}

// A publisher closes its camera on its session thread while the UI thread opens and closes settings
// dialogs: the dialogs' list is touched on the UI thread only (ThreadSanitizer watches), and a camera
// closed on another thread ends its dialog from the UI thread.
TEST_F(SetUpDialogXvfb, ACameraClosedOnAnotherThreadEndsItsDialogOnTheUiThread) {
    Grabbel shown, published;
    ASSERT_TRUE(shown.OpenCamera(0, 320, 240, 10));
    std::atomic<bool> run{true};
    std::thread publisher([&] {
        while (run) {
            if (published.OpenCamera(0, 320, 240, 10)) published.CloseCamera();
        }
    });
    struct State {
        Grabbel* shown = nullptr;
        bool closeFromThread = false;
        bool closed = false;
        std::thread::id responder;
    } state;
    state.shown = &shown;
    // Once a dialog shows: answered at once, or (the last time) its camera closed on a thread of its own.
    guint id = g_timeout_add(
        20,
        [](gpointer p) -> gboolean {
            auto* st = static_cast<State*>(p);
            GList* all = gtk_window_list_toplevels();
            for (GList* l = all; l; l = l->next) {
                if (!GTK_IS_DIALOG(l->data) || !gtk_widget_get_visible(GTK_WIDGET(l->data))) continue;
                if (!st->closeFromThread) {
                    gtk_dialog_response(GTK_DIALOG(l->data), GTK_RESPONSE_CLOSE);
                } else if (!st->closed) {
                    st->closed = true;
                    g_signal_connect(l->data, "response", G_CALLBACK(+[](GtkDialog*, gint, gpointer p) {
                                         static_cast<State*>(p)->responder = std::this_thread::get_id();
                                     }),
                                     st);
                    std::thread([st] { st->shown->CloseCamera(); }).join();
                }
            }
            g_list_free(all);
            return G_SOURCE_CONTINUE;
        },
        &state);
    guint guard = EndDialogsAfter(20000, "a dialog did not end");
    for (int i = 0; i < 8; ++i) shown.ShowSetUp(nullptr);
    state.closeFromThread = true;
    shown.ShowSetUp(nullptr);
    run = false;
    publisher.join();
    g_source_remove(id);
    g_source_remove(guard);
    EXPECT_TRUE(state.closed);
    EXPECT_EQ(std::this_thread::get_id(), state.responder);
}

}  // namespace
