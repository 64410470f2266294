// The lobby's room directory as the service's directory grows: the UI thread's time from a directory reply to
// the directory shown (its rows filled in the lobby's column, the online counts set, the categories opened, the
// column laid out and painted), and for a refresh of the online counts (the counts taken in by id and shown),
// at 1,000 and 30,000 rooms in ten categories beside an official one. Anchor: a GtkTreeView on a GtkTreeStore
// with the same rows (name and count columns), its categories expanded, drawn; the refresh sets every count.
// Without $DISPLAY an Xvfb child is started.
#include <benchmark/benchmark.h>

#include <cairo.h>
#include <gtk/gtk.h>
#include <unistd.h>

#include <random>
#include <thread>

#include "BenchDisplay.h"
#include "BenchFigures.h"
#include "RoomNavListUI.h"
#include "UIRender.h"
#include "ZqLog.h"
#include "ZqWindowBase.h"

using namespace DuiLib;

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kCategories = 10;

double Since(Clock::time_point t0) {
    return std::chrono::duration<double>(Clock::now() - t0).count();
}

std::vector<CCategoryInfo> Directory(int rooms) {
    std::vector<CCategoryInfo> cats;
    CCategoryInfo official;
    official.type = 5;
    official.name = "官方房间";
    official.count = 1234;
    cats.push_back(official);
    std::mt19937 rng(3);
    for (int c = 0; c < kCategories; ++c) {
        CCategoryInfo cat;
        cat.type = 1;
        cat.name = "分类" + std::to_string(c);
        for (int r = 0; r < rooms / kCategories; ++r) {
            CategoryItem i;
            i.id = 10000 + c * 100000 + r;
            i.name = "欢乐大厅" + std::to_string(i.id);
            i.cnt = int(rng() % 500);
            cat.items.push_back(i);
        }
        cats.push_back(cat);
    }
    return cats;
}

// The directory's column of the lobby (its size there).
class Host : public WindowImplBase {
public:
    const char* GetWindowClassName() const override { return "DirectoryBench"; }
    CControlUI* CreateControl(const char* cls) override {
        return EqualNoCase(cls, "Roomlist") ? new CRoomNavListUI(&m_PaintManager) : nullptr;
    }
    CRoomNavListUI* List() { return static_cast<CRoomNavListUI*>(m_PaintManager.FindControl("tree")); }
    void Paint() {
        cairo_t* cr = cairo_create(surface_);
        IRenderTarget rt(cr);
        m_PaintManager.Paint(&rt, RECT{0, 0, 220, 560});
        cairo_destroy(cr);
    }
    ~Host() override { cairo_surface_destroy(surface_); }

protected:
    CDuiString GetSkinFile() override {
        return R"(<Window size="220,560"><VerticalLayout><Roomlist name="tree" vscrollbar="true"/></VerticalLayout></Window>)";
    }
    ZQ_SKIN_ANSWERS()

private:
    cairo_surface_t* surface_ = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 220, 560);
};

void BM_DirectoryShown(benchmark::State& state) {
    const std::vector<CCategoryInfo> reply = Directory(int(state.range(0)));
    Host host;
    if (!host.Create(nullptr, "directory", 0, 0, 0, 0, 220, 560)) {
        state.SkipWithError("no window");
        return;
    }
    for (auto _ : state) {
        std::vector<CCategoryInfo> cats = reply;
        auto t0 = Clock::now();
        CRoomNavListUI* list = host.List();
        if (list->GetCount() > 0) list->RemoveAll();
        FillRoomDirectory(*list, cats);
        ShowDirectoryCounts(*list, cats);
        list->ExpandTopLevel();
        host.Paint();
        state.SetIterationTime(Since(t0));
    }
    state.counters["rows"] = host.List()->GetCount();
    host.Close();
    PumpMessagesFor(100);
}
BENCHMARK(BM_DirectoryShown)->Arg(1000)->Arg(30000)->UseManualTime()->Unit(benchmark::kMillisecond);

void BM_DirectoryRefreshed(benchmark::State& state) {
    std::vector<CCategoryInfo> cats = Directory(int(state.range(0)));
    Host host;
    if (!host.Create(nullptr, "directory", 0, 0, 0, 0, 220, 560)) {
        state.SkipWithError("no window");
        return;
    }
    FillRoomDirectory(*host.List(), cats);
    host.List()->ExpandTopLevel();
    host.Paint();
    // The count reply: every room with a new count.
    std::vector<CategoryItem> counts;
    for (const CCategoryInfo& c : cats)
        for (CategoryItem i : c.items) {
            i.cnt += 1;
            counts.push_back(i);
        }
    for (auto _ : state) {
        auto t0 = Clock::now();
        for (CCategoryInfo& c : cats)
            if (c.type == 1) c.UpdateItemCounts(counts);
        ShowDirectoryCounts(*host.List(), cats);
        host.Paint();
        state.SetIterationTime(Since(t0));
        for (CategoryItem& i : counts) ++i.cnt;
    }
    host.Close();
    PumpMessagesFor(100);
}
BENCHMARK(BM_DirectoryRefreshed)->Arg(1000)->Arg(30000)->UseManualTime()->Unit(benchmark::kMillisecond);

struct Tree {
    GtkWidget* window = gtk_offscreen_window_new();
    GtkTreeStore* store = gtk_tree_store_new(3, G_TYPE_INT, G_TYPE_STRING, G_TYPE_STRING);
    GtkWidget* view = nullptr;
    std::vector<std::vector<GtkTreeIter>> rows;

    Tree() {
        gtk_window_set_default_size(GTK_WINDOW(window), 220, 560);
        GtkWidget* scroll = gtk_scrolled_window_new(nullptr, nullptr);
        view = gtk_tree_view_new_with_model(GTK_TREE_MODEL(store));
        gtk_tree_view_set_headers_visible(GTK_TREE_VIEW(view), FALSE);
        gtk_tree_view_append_column(GTK_TREE_VIEW(view), gtk_tree_view_column_new_with_attributes(
                                                             "name", gtk_cell_renderer_text_new(), "text", 1, nullptr));
        gtk_tree_view_append_column(
            GTK_TREE_VIEW(view),
            gtk_tree_view_column_new_with_attributes("count", gtk_cell_renderer_text_new(), "text", 2, nullptr));
        gtk_container_add(GTK_CONTAINER(scroll), view);
        gtk_container_add(GTK_CONTAINER(window), scroll);
        gtk_widget_show_all(window);
    }
    ~Tree() {
        gtk_widget_destroy(window);
        g_object_unref(store);
    }
    void Fill(const std::vector<CCategoryInfo>& cats) {
        for (const CCategoryInfo& c : cats) {
            GtkTreeIter parent;
            gtk_tree_store_insert_with_values(store, &parent, nullptr, -1, 0, c.uniqueId, 1, c.name.c_str(), 2,
                                              ("[" + std::to_string(c.count) + "]").c_str(), -1);
            rows.emplace_back();
            for (const CategoryItem& i : c.items) {
                GtkTreeIter child;
                gtk_tree_store_insert_with_values(store, &child, &parent, -1, 0, i.uniqueId, 1, i.name.c_str(), 2,
                                                  ("[" + std::to_string(i.cnt) + "]").c_str(), -1);
                rows.back().push_back(child);
            }
        }
        gtk_tree_view_expand_all(GTK_TREE_VIEW(view));
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

void BM_AnchorTreeViewDirectoryShown(benchmark::State& state) {
    const std::vector<CCategoryInfo> reply = Directory(int(state.range(0)));
    for (auto _ : state) {
        auto t0 = Clock::now();
        Tree tree;
        tree.Fill(reply);
        tree.Draw();
        state.SetIterationTime(Since(t0));
    }
}
BENCHMARK(BM_AnchorTreeViewDirectoryShown)->Arg(1000)->Arg(30000)->UseManualTime()->Unit(benchmark::kMillisecond);

void BM_AnchorTreeViewDirectoryRefreshed(benchmark::State& state) {
    const std::vector<CCategoryInfo> cats = Directory(int(state.range(0)));
    Tree tree;
    tree.Fill(cats);
    tree.Draw();
    int bump = 1;
    for (auto _ : state) {
        auto t0 = Clock::now();
        for (size_t c = 0; c < cats.size(); ++c)
            for (size_t i = 0; i < cats[c].items.size(); ++i)
                gtk_tree_store_set(tree.store, &tree.rows[c][i], 2,
                                   ("[" + std::to_string(cats[c].items[i].cnt + bump) + "]").c_str(), -1);
        tree.Draw();
        state.SetIterationTime(Since(t0));
        ++bump;
    }
}
BENCHMARK(BM_AnchorTreeViewDirectoryRefreshed)->Arg(1000)->Arg(30000)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    if (!benchdisplay::UseDisplay("directory")) {
        fprintf(stderr, "no display for the directory\n");
        return 1;
    }
    std::vector<benchfig::Figure> figures;
    for (const char* n : {"1000", "30000"}) {
        figures.push_back({std::string("directory of ") + n +
                               " rooms from reply to shown: rows filled, counted, opened, laid out and painted "
                               "(anchor: GtkTreeView filled)",
                           std::string("BM_DirectoryShown/") + n + "/manual_time",
                           std::string("BM_AnchorTreeViewDirectoryShown/") + n + "/manual_time", false, 1e3, "ms"});
        figures.push_back({std::string("directory of ") + n +
                               " rooms, online counts refreshed and shown (anchor: GtkTreeView's counts set)",
                           std::string("BM_DirectoryRefreshed/") + n + "/manual_time",
                           std::string("BM_AnchorTreeViewDirectoryRefreshed/") + n + "/manual_time", false, 1e3, "ms"});
    }
    int rc = benchfig::Main(argc, argv, figures);
    benchdisplay::StopDisplay();
    return rc;
}
