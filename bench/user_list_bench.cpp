// The user lists of a room window on a display as a room grows: the UI thread's time for one user arriving
// (the notice handled, the lists placed and counted, the window laid out and painted) and for entering a room
// (every list built, laid out and painted), at 1,000, 10,000 and 50,000 users (entering also at 100, for the
// time that 10,000 add); one arrival and one departure alternate, so that the room keeps its size. Anchor: a
// GtkTreeView on a GtkListStore holding the same rows (level, name and id columns), the row inserted where the
// same order puts it, the view drawn. Without $DISPLAY an Xvfb child is started.
#include <benchmark/benchmark.h>

#include <cairo.h>
#include <gtk/gtk.h>
#include <unistd.h>

#include <algorithm>
#include <memory>
#include <random>
#include <thread>

#include "BenchRoomDisplay.h"
#include "BenchFigures.h"
#include "RoomInfoMgr.h"
#include "RoomNotify.h"
#include "RoomWindow.h"
#include "UIRender.h"
#include "UserListUI.h"
#include "ZqLog.h"

namespace {

using benchdisplay::Clock;
using benchdisplay::Since;
constexpr uint32_t kRoom = 3003, kFirstUid = 100000;

RoomUserInfo User(uint32_t uid, std::mt19937& rng) {
    RoomUserInfo u;
    u.uid = uid;
    u.nickname = "user" + std::to_string(uid);
    u.beautyid = uid + 500000;
    static const uint32_t levels[] = {100, 200, 300, 400, 500, 600, 900, 1000, 1300, 1600};
    u.level = levels[rng() % 10];
    u.role = rng() % 50 == 0 ? 20 : 0;
    u.mic = rng() % 100 == 0 ? 2 : 0;
    return u;
}

void FillStore(int n, std::mt19937& rng) {
    CRoomInfoMgr& store = CRoomInfoMgr::GetInstance();
    store.RemoveRoom(kRoom);
    store.InsertRoom(kRoom, ChatServerInfo{});
    for (int i = 0; i < n; ++i) store.AddRoomUser(kRoom, User(kFirstUid + uint32_t(i), rng));
}

// The room window's paint of its whole client area, as the desktop's expose asks for it.
struct Painter {
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 1280, 1024);
    ~Painter() { cairo_surface_destroy(surface); }
    void Paint(roomui::CRoomUI& ui) {
        cairo_t* cr = cairo_create(surface);
        DuiLib::IRenderTarget rt(cr);
        DuiLib::SIZE s = ui.m_PaintManager.GetClientSize();
        ui.m_PaintManager.Paint(&rt, DuiLib::RECT{0, 0, s.cx, s.cy});
        cairo_destroy(cr);
    }
};

void BM_RoomUserArrives(benchmark::State& state) {
    const int n = int(state.range(0));
    std::mt19937 rng(7);
    FillStore(n, rng);
    roomui::CRoomUI ui;
    ui.SetRoomID(kRoom);
    if (!ui.CreateRoomWindow("bench(3003)")) {
        state.SkipWithError("no room window");
        return;
    }
    Painter painter;
    ui.OnRoomNotify(ROOM_NOTIFY_USER_LIST, LPARAM(kRoom));
    painter.Paint(ui);
    PumpMessagesFor(200);
    uint32_t next = kFirstUid + uint32_t(n);
    double leaving = 0;
    for (auto _ : state) {
        const uint32_t uid = next++;
        CRoomInfoMgr::GetInstance().AddRoomUser(kRoom, User(uid, rng));
        auto t0 = Clock::now();
        ui.OnRoomNotify(ROOM_NOTIFY_USER_ENTER, reinterpret_cast<LPARAM>(new RoomUserChange{uid, n + 1}));
        painter.Paint(ui);
        state.SetIterationTime(Since(t0));
        CRoomInfoMgr::GetInstance().RemoveRoomUser(kRoom, uid);
        t0 = Clock::now();
        ui.OnRoomNotify(ROOM_NOTIFY_USER_LEAVE, reinterpret_cast<LPARAM>(new RoomUserChange{uid, n}));
        painter.Paint(ui);
        leaving += Since(t0);
    }
    state.counters["leave_ms"] = 1000 * leaving / double(state.iterations());
    ui.CloseRoomWindow();
    PumpMessagesFor(100);
}
BENCHMARK(BM_RoomUserArrives)->Arg(1000)->Arg(10000)->Arg(50000)->UseManualTime()->Unit(benchmark::kMillisecond);

void BM_RoomEnter(benchmark::State& state) {
    const int n = int(state.range(0));
    std::mt19937 rng(7);
    FillStore(n, rng);
    roomui::CRoomUI ui;
    ui.SetRoomID(kRoom);
    if (!ui.CreateRoomWindow("bench(3003)")) {
        state.SkipWithError("no room window");
        return;
    }
    Painter painter;
    painter.Paint(ui);
    for (auto _ : state) {
        auto t0 = Clock::now();
        ui.OnRoomNotify(ROOM_NOTIFY_USER_LIST, LPARAM(kRoom));
        painter.Paint(ui);
        state.SetIterationTime(Since(t0));
    }
    ui.CloseRoomWindow();
    PumpMessagesFor(100);
}
BENCHMARK(BM_RoomEnter)->Arg(100)->Arg(1000)->Arg(10000)->Arg(50000)->UseManualTime()->Unit(benchmark::kMillisecond);

// The anchor's rows: the same users in the same order.
struct TreeRows {
    GtkWidget* window = gtk_offscreen_window_new();
    GtkListStore* store = gtk_list_store_new(4, G_TYPE_UINT, G_TYPE_STRING, G_TYPE_STRING, G_TYPE_STRING);
    GtkWidget* view = nullptr;
    std::vector<std::unique_ptr<roomui::UserListItemInfo>> order;

    TreeRows() {
        gtk_window_set_default_size(GTK_WINDOW(window), 220, 560);
        GtkWidget* scroll = gtk_scrolled_window_new(nullptr, nullptr);
        view = gtk_tree_view_new_with_model(GTK_TREE_MODEL(store));
        gtk_tree_view_set_headers_visible(GTK_TREE_VIEW(view), FALSE);
        const char* titles[] = {"level", "name", "id"};
        for (int c = 0; c < 3; ++c)
            gtk_tree_view_append_column(
                GTK_TREE_VIEW(view), gtk_tree_view_column_new_with_attributes(titles[c], gtk_cell_renderer_text_new(),
                                                                              "text", c + 1, nullptr));
        gtk_container_add(GTK_CONTAINER(scroll), view);
        gtk_container_add(GTK_CONTAINER(window), scroll);
        gtk_widget_show_all(window);
    }
    ~TreeRows() {
        gtk_widget_destroy(window);
        g_object_unref(store);
    }
    static roomui::UserListItemInfo Item(const RoomUserInfo& u) {
        roomui::UserListItemInfo i;
        i.uid = u.uid, i.role = int(u.role), i.levelCode = u.level, i.beautyId = u.beautyid;
        i.nickname = u.nickname;
        return i;
    }
    static bool Less(const std::unique_ptr<roomui::UserListItemInfo>& a,
                     const std::unique_ptr<roomui::UserListItemInfo>& b) {
        return roomui::UserOrderLess(*a, *b);
    }
    void Append(const RoomUserInfo& u, int pos) {
        gtk_list_store_insert_with_values(store, nullptr, pos, 0, u.uid, 1, std::to_string(u.level).c_str(), 2,
                                          u.nickname.c_str(), 3, std::to_string(u.beautyid).c_str(), -1);
    }
    // The rows of a room entered: sorted once, then appended.
    void Fill(std::vector<RoomUserInfo> users) {
        std::stable_sort(users.begin(), users.end(), [](const RoomUserInfo& a, const RoomUserInfo& b) {
            return roomui::UserOrderLess(Item(a), Item(b));
        });
        for (const RoomUserInfo& u : users) {
            order.push_back(std::make_unique<roomui::UserListItemInfo>(Item(u)));
            Append(u, -1);
        }
    }
    void Insert(const RoomUserInfo& u) {
        auto item = std::make_unique<roomui::UserListItemInfo>(Item(u));
        auto at = std::upper_bound(order.begin(), order.end(), item, Less);
        const int pos = int(at - order.begin());
        order.insert(at, std::move(item));
        Append(u, pos);
    }
    void Remove(uint32_t uid) {
        auto at = std::find_if(order.begin(), order.end(), [&](const auto& i) { return i->uid == uid; });
        if (at == order.end()) return;
        GtkTreeIter it;
        if (gtk_tree_model_iter_nth_child(GTK_TREE_MODEL(store), &it, nullptr, int(at - order.begin())))
            gtk_list_store_remove(store, &it);
        order.erase(at);
    }
    void Draw() {
        while (gtk_events_pending()) gtk_main_iteration_do(FALSE);
        gtk_container_check_resize(GTK_CONTAINER(window));
        cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 220, 560);
        cairo_t* cr = cairo_create(s);
        gtk_widget_draw(window, cr);
        cairo_destroy(cr);
        cairo_surface_destroy(s);
    }
};

void BM_AnchorTreeViewUserArrives(benchmark::State& state) {
    const int n = int(state.range(0));
    std::mt19937 rng(7);
    TreeRows rows;
    std::vector<RoomUserInfo> users;
    for (int i = 0; i < n; ++i) users.push_back(User(kFirstUid + uint32_t(i), rng));
    rows.Fill(users);
    rows.Draw();
    uint32_t next = kFirstUid + uint32_t(n);
    for (auto _ : state) {
        const uint32_t uid = next++;
        const RoomUserInfo u = User(uid, rng);
        auto t0 = Clock::now();
        rows.Insert(u);
        rows.Draw();
        state.SetIterationTime(Since(t0));
        rows.Remove(uid);
        rows.Draw();
    }
}
BENCHMARK(BM_AnchorTreeViewUserArrives)
    ->Arg(1000)
    ->Arg(10000)
    ->Arg(50000)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

void BM_AnchorTreeViewEnter(benchmark::State& state) {
    const int n = int(state.range(0));
    std::mt19937 rng(7);
    std::vector<RoomUserInfo> users;
    for (int i = 0; i < n; ++i) users.push_back(User(kFirstUid + uint32_t(i), rng));
    for (auto _ : state) {
        auto t0 = Clock::now();
        TreeRows rows;
        rows.Fill(users);
        rows.Draw();
        state.SetIterationTime(Since(t0));
    }
}
BENCHMARK(BM_AnchorTreeViewEnter)
    ->Arg(100)
    ->Arg(1000)
    ->Arg(10000)
    ->Arg(50000)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    if (!benchdisplay::UseRoomDisplay("user-list")) return 1;
    std::vector<benchfig::Figure> figures;
    for (const char* n : {"1000", "10000", "50000"}) {
        figures.push_back({std::string("one user arriving in a room of ") + n +
                               " users: UI thread, lists placed, laid out and painted (anchor: GtkTreeView)",
                           std::string("BM_RoomUserArrives/") + n + "/manual_time",
                           std::string("BM_AnchorTreeViewUserArrives/") + n + "/manual_time", false, 1e3, "ms"});
    }
    for (const char* n : {"1000", "10000", "50000"}) {
        figures.push_back({std::string("entering a room of ") + n +
                               " users: the lists built, laid out and painted (anchor: GtkTreeView filled)",
                           std::string("BM_RoomEnter/") + n + "/manual_time",
                           std::string("BM_AnchorTreeViewEnter/") + n + "/manual_time", false, 1e3, "ms"});
    }
    const std::vector<benchfig::DeltaFigure> added{
        {"entering a room: the time 10,000 users add over 100, lists built, laid out and painted (anchor: "
         "GtkTreeView filled)",
         "BM_RoomEnter/10000/manual_time", "BM_RoomEnter/100/manual_time", "BM_AnchorTreeViewEnter/10000/manual_time",
         "BM_AnchorTreeViewEnter/100/manual_time"}};
    int rc = benchfig::Main(argc, argv, figures, {}, {}, added);
    benchdisplay::StopDisplay();
    return rc;
}
