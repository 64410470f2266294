#include "UIChatFaceSelectPanel.h"

#include "IDataHalvec.h"
#include "ZqLib.h"
#include "ZqMusicCore.h"

using namespace DuiLib;

namespace roomui {

namespace {
// A floating control at rc, relative to its container.
void PlaceFloat(CControlUI* c, const RECT& rc) {
    c->SetFloat(true);
    c->SetFixedXY(SIZE{rc.left, rc.top});
    c->SetFixedWidth(rc.right - rc.left);
    c->SetFixedHeight(rc.bottom - rc.top);
    c->SetPos(rc);
}

IDataHalvec* Halvec() {
    IDataManager* dm = AfxGetDataManager();
    return dm ? static_cast<IDataHalvec*>(dm->GetModule(HALVEC_MODULE_NAME)) : nullptr;
}
}  // namespace

CUIChatFaceSelectPanel::CUIChatFaceSelectPanel() : m_base(Dir::GetZqPath(100)) {}

CUIChatFaceSelectPanel::~CUIChatFaceSelectPanel() {
    StopLoadThread();
    // The cells only borrow the cached pictures and never touch them when destroyed.
}

CUIChatFaceSelectPanel& CUIChatFaceSelectPanel::GetInstance() {
    static CUIChatFaceSelectPanel panel;
    return panel;
}

bool CUIChatFaceSelectPanel::EnsureCreated() {
    if (m_hWnd) return true;
    return Create(nullptr, "VarnetChatFaceSelectPanel", UI_WS_POPUP, 0x80 /* tool window */, 0, 0, 0, 0) != nullptr;
}

CContainerUI* CUIChatFaceSelectPanel::Tabs() const {
    return static_cast<CContainerUI*>(m_PaintManager.FindControl("contanerOption"));
}

const FaceImage* CUIChatFaceSelectPanel::CachedImage(const std::string& path) const {
    auto it = m_cache.find(path);
    return it == m_cache.end() ? nullptr : it->second.get();
}

void CUIChatFaceSelectPanel::InitWindow() {
    m_pTab = static_cast<CTabLayoutUI*>(m_PaintManager.FindControl("tablayout_face"));
    ReloadFaces();
}

CControlUI* CUIChatFaceSelectPanel::CreateControl(const char* cls) {
    std::string c = cls ? cls : "";
    if (c == "CControlFaceSelect") return new CControlFaceSelect;
    if (c == "CControlGifBk") return new CControlGifBk;
    return nullptr;
}

void CUIChatFaceSelectPanel::OnFinalMessage(HWND hWnd) {
    m_pTab = nullptr;
    WindowImplBase::OnFinalMessage(hWnd);
}

void CUIChatFaceSelectPanel::StopLoadThread() {
    m_stop = true;
    if (m_loader.joinable()) m_loader.join();
}

std::string CUIChatFaceSelectPanel::FacePath(const FaceGroupInfo& group, const CatalogItem& face) const {
    return m_base + group.path + face.fname;
}

void CUIChatFaceSelectPanel::ReloadFaces() {
    StopLoadThread();
    // A done message of the stopped load is dropped by its generation.
    ++m_generation;
    if (CContainerUI* tabs = Tabs()) tabs->RemoveAll();
    if (m_pTab) m_pTab->RemoveAll();
    m_cache.clear();
    m_stop = false;
    m_loaded = false;
    HWND hwnd = m_hWnd;
    unsigned gen = m_generation;
    std::string base = m_base;
    m_loader = std::thread([this, hwnd, gen, base] {
        auto result = std::make_unique<LoadResult>();
        result->generation = gen;
        if (IDataHalvec* h = Halvec()) h->GetFaceMap(result->faces);
        for (const auto& group : result->faces) {
            for (const auto& face : group.second) {
                if (m_stop) break;
                if (!face.second) continue;
                std::string path = base + group.first.path + face.second->fname;
                if (result->images.count(path)) continue;
                if (auto img = LoadFaceImage(path)) result->images.emplace(path, std::move(img));
            }
            if (m_stop) break;
        }
        // The runtime frees the result when the window is gone before it arrives.
        ::PostMessageOwned(hwnd, WM_FACES_LOADED, 0, std::move(result));
    });
}

LRESULT CUIChatFaceSelectPanel::HandleCustomMessage(UINT uMsg, WPARAM, LPARAM lParam, BOOL& bHandled) {
    if (uMsg == WM_FACES_LOADED) {
        bHandled = TRUE;
        OnFacesLoaded(reinterpret_cast<LoadResult*>(lParam));
        return 0;
    }
    if (uMsg == WM_DISMISS_POPUP) {
        bHandled = TRUE;
        m_nResult = -2;
        Finish(-2);
        return 0;
    }
    bHandled = FALSE;
    return 0;
}

void CUIChatFaceSelectPanel::OnFacesLoaded(LoadResult* result) {
    std::unique_ptr<LoadResult> r(result);
    if (!r || r->generation != m_generation) return;
    m_loaded = true;
    if (m_loader.joinable()) m_loader.join();
    m_cache = std::move(r->images);
    BuildCategoryTabs(r->faces);
}

void CUIChatFaceSelectPanel::BuildCategoryTabs(const FaceCatalogCopy& faces) {
    CContainerUI* tabs = Tabs();
    if (!tabs || !m_pTab) return;
    auto* sep = new CControlUI;
    PlaceFloat(sep, RECT{0, 33, 460, 34});
    sep->SetBkColor(0xFF767676);
    tabs->Add(sep);
    int left = 15, right = 86, index = 0;
    for (const auto& group : faces) {
        // A page only with its tab, so that a tab's tag is its page index.
        if (group.second.empty()) continue;
        BuildFaceButtons(group.first, group.second);
        auto* opt = new COptionUI;
        opt->SetGroup("GroupCategoryFace");
        opt->SetName("optionFaceCategory");
        opt->SetTag((UINT_PTR)index);
        opt->SetText(group.first.name.c_str());
        PlaceFloat(opt, RECT{left, 5, right, 34});
        opt->SetSelectedImage("file='option_emotionclass_bk.png' source='0,0,71,29'");
        opt->SetHotImage("file='option_emotionclass_bk.png' source='71,0,142,29'");
        tabs->Add(opt);
        if (index == 0) opt->Selected(true);
        left = right + 2;
        right += 73;
        ++index;
    }
    if (m_pTab->GetCount() > 0) m_pTab->SelectItem(0);
}

int CUIChatFaceSelectPanel::BuildFaceButtons(const FaceGroupInfo& group,
                                             const std::map<uint32_t, CatalogItem*>& faces) {
    auto* grid = new CControlFaceSelect;
    grid->SetFixedWidth(447);
    grid->SetFixedHeight(249);
    grid->EnableScrollBar(true, false);
    int cell = group.boxtype ? 62 : 31;
    grid->SetItemSize(SIZE{cell, cell});
    m_pTab->Add(grid);
    int n = 0;
    for (const auto& f : faces) {  // ascending id
        if (!f.second) continue;
        auto* item = new CControlFaceSelectItem;
        item->SetItemId(n);
        item->SetFixedWidth(cell);
        item->SetFixedHeight(cell);
        item->SetAttribute("setcursorhand", "false");
        if (!f.second->name.empty()) item->SetToolTip(f.second->name.c_str());
        item->SetName("btnFaceSelectItem");
        item->SetTag((UINT_PTR)f.second->id);
        if (group.boxtype) item->SetInsets(5, 5, 4, 4);
        else item->SetInsets(4, 4, 3, 3);
        item->SetImage(CachedImage(FacePath(group, *f.second)));
        grid->Add(item);
        ++n;
    }
    return n;
}

void CUIChatFaceSelectPanel::Finish(int result) {
    m_nResult = result;
    m_bDone = true;
    ShowWindow(false, false);
    if (m_pLoop && m_pLoop->Running()) m_pLoop->End(result);
}

void CUIChatFaceSelectPanel::Notify(TNotifyUI& msg) {
    if (msg.sType == DUI_MSGTYPE_CLICK && msg.pSender && msg.pSender->GetName() == "btnFaceSelectItem") {
        Finish((int)msg.pSender->GetTag());
        return;
    }
    if (msg.sType == DUI_MSGTYPE_SELECTCHANGED && msg.pSender && msg.pSender->GetName() == "optionFaceCategory") {
        if (m_pTab) m_pTab->SelectItem((int)msg.pSender->GetTag());
        return;
    }
    WindowImplBase::Notify(msg);
}

LRESULT CUIChatFaceSelectPanel::OnKillFocus(UINT, WPARAM, LPARAM, BOOL& bHandled) {
    bHandled = TRUE;
    if (!m_bDone) Finish(-1);
    return 0;
}

int CUIChatFaceSelectPanel::SelectFace(int x, int y) {
    if (!EnsureCreated()) return -1;
    m_nResult = -1;
    m_bDone = false;
    RECT rc = GetWindowRect();
    MoveWindow(x, y, rc.right - rc.left, rc.bottom - rc.top);
    ShowWindow(true, true);
    ::CModalLoop loop;
    m_pLoop = &loop;
    int r = loop.Run();
    m_pLoop = nullptr;
    if (r == ::CModalLoop::kQuit) {
        // WM_QUIT ended the loop (the runtime posts it on for the outer loop).
        ShowWindow(false, false);
        m_bDone = true;
    }
    return m_nResult;
}

}  // namespace roomui
