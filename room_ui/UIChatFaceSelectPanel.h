// The emoticon picker: one panel for the process, one tab and one grid page per emoticon category. A loader
// thread decodes the pictures and hands them over in its done message (1025), so the cache is touched by
// the UI thread only; a reload stops and joins the loader first, and a done message of an older load is
// dropped by its generation. SelectFace runs a nested loop on the UI thread.
#pragma once

#include <atomic>
#include <map>
#include <memory>
#include <string>
#include <thread>

#include "CatalogRecords.h"
#include "PickerControls.h"

namespace roomui {

constexpr UINT WM_FACES_LOADED = WM_USER + 1;  // 1025

class CUIChatFaceSelectPanel : public DuiLib::WindowImplBase {
public:
    CUIChatFaceSelectPanel();
    ~CUIChatFaceSelectPanel() override;

    // The one panel, created (hidden) on first use. UI thread.
    static CUIChatFaceSelectPanel& GetInstance();
    // Creates the window when it does not exist yet; false when it cannot.
    bool EnsureCreated();
    // Shows the panel at the screen point and waits: an emoticon id, -1 (closed without choice) or -2
    // (dismissed by WM_DISMISS_POPUP; the caller goes on with the modal cancel).
    int SelectFace(int x, int y);
    // Rebuilds the panel from the catalogue.
    void ReloadFaces();
    // Stops the loader and waits for it.
    void StopLoadThread();

    // Where category folders are (the program's folder by default).
    void SetBasePath(const std::string& gbk) { m_base = gbk; }
    bool IsLoading() const { return m_loader.joinable() && !m_loaded; }
    unsigned Generation() const { return m_generation; }
    size_t CachedImages() const { return m_cache.size(); }
    const FaceImage* CachedImage(const std::string& path) const;
    DuiLib::CTabLayoutUI* Pages() const { return m_pTab; }
    DuiLib::CContainerUI* Tabs() const;

    const char* GetWindowClassName() const override { return "VarnetChatFaceSelectPanel"; }
    void InitWindow() override;
    DuiLib::CControlUI* CreateControl(const char* pstrClass) override;
    LRESULT HandleCustomMessage(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled) override;
    LRESULT OnKillFocus(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled) override;
    void Notify(DuiLib::TNotifyUI& msg) override;
    // The window's controls are gone: nothing points at them any more.
    void OnFinalMessage(HWND hWnd) override;

    // What the loader hands over (the receiver frees it; the runtime when undelivered).
    struct LoadResult {
        unsigned generation = 0;
        FaceCatalogCopy faces;
        std::map<std::string, std::unique_ptr<FaceImage>> images;
        LoadResult() { ++s_live; }
        ~LoadResult() {
            FreeCatalogCopy(faces);
            --s_live;
        }
        LoadResult(const LoadResult&) = delete;
        LoadResult& operator=(const LoadResult&) = delete;
        static inline std::atomic<int> s_live{0};  // results not yet freed
    };
    void OnFacesLoaded(LoadResult* result);

protected:
    DuiLib::CDuiString GetSkinFolder() override { return "skin\\"; }
    DuiLib::CDuiString GetSkinFile() override { return "ChatFaceSelectPanel.xml"; }
    DuiLib::UILIB_RESOURCETYPE GetResourceType() const override { return DuiLib::UILIB_ZIP; }
    DuiLib::CDuiString GetZIPFileName() const override { return "VarnetSkin.zip"; }

private:
    void BuildCategoryTabs(const FaceCatalogCopy& faces);
    int BuildFaceButtons(const FaceGroupInfo& group, const std::map<uint32_t, CatalogItem*>& faces);
    void Finish(int result);
    std::string FacePath(const FaceGroupInfo& group, const CatalogItem& face) const;

    std::thread m_loader;
    std::atomic<bool> m_stop{false};  // written by the UI thread, polled by the loader between faces
    std::atomic<bool> m_loaded{false};
    unsigned m_generation = 0;  // UI thread
    std::string m_base;
    std::map<std::string, std::unique_ptr<FaceImage>> m_cache;  // UI thread; owns the pictures, cells borrow
    DuiLib::CTabLayoutUI* m_pTab = nullptr;
    bool m_bDone = true;
    int m_nResult = -1;
    ::CModalLoop* m_pLoop = nullptr;
};

}  // namespace roomui
