// The program's small browser control: a web-browser control whose page gets one script entry,
// window.external.CallZqmusic(text), answered synchronously by the owner, and whose owner hears of failed,
// completed and loaded navigations (never of the blank page it starts with). UI thread only.
#pragma once

#include <string>

#include "UIWebBrowser.h"
#include "ZqCom.h"

// The owner of a small browser (the lobby's home-page view and the web dialogs).
class IZqWebAction {
public:
    // The page's call with its text (GBK); `answer` (GBK) is what the call returns to the page. The owner may
    // close its window, move the control or navigate it from here.
    virtual void Web_CallMusic(const std::string& cmd, std::string& answer) = 0;
    virtual void Web_NavigateFailed(const std::string& url) = 0;
    virtual void Web_NavigateComplete(const std::string& url) = 0;
    virtual void Web_DocumentComplete(const std::string& url) = 0;

protected:
    virtual ~IZqWebAction() = default;
};

class IWebCallMusic {
public:
    virtual void CallMusic(const std::string& text, std::string& answer) = 0;

protected:
    virtual ~IWebCallMusic() = default;
};

// window.external: one name, "CallZqmusic" (DISPID 0, any case).
class WBExtDispatch : public CComObjectBase<IDispatch> {
public:
    static constexpr const char* kNames[] = {"CallZqmusic"};
    static WBExtDispatch* CreateInstance(IWebCallMusic* target) { return new WBExtDispatch(target); }
    // The browser drops itself as the target when it goes.
    void SetTarget(IWebCallMusic* target) { m_pTarget = target; }
    HRESULT GetIDsOfNames(REFIID riid, OLECHAR** names, uint32_t count, LCID lcid, DISPID* ids) override;
    HRESULT Invoke(DISPID id, REFIID riid, LCID lcid, uint16_t flags, DISPPARAMS* params, VARIANT* result,
                   void* excepInfo, uint32_t* argErr) override;

private:
    explicit WBExtDispatch(IWebCallMusic* target) : m_pTarget(target) {}
    IWebCallMusic* m_pTarget;
};

// Host flags the control answers (their values are the original engine's).
constexpr uint32_t DOCHOSTUIFLAG_SCROLL_NO = 0x8;
constexpr uint32_t DOCHOSTUIFLAG_NO3DBORDER = 0x4;
constexpr uint32_t DOCHOSTUIFLAG_DISABLE_HELP_MENU = 0x1;
constexpr uint32_t DOCHOSTUIFLAG_THEME = 0x40000;
constexpr uint32_t DOCHOSTUIDBLCLK_DEFAULT = 0;
struct DOCHOSTUIINFO {
    uint32_t cbSize;
    uint32_t dwFlags;
    uint32_t dwDoubleClick;
};

class CZqWebBrowser : public DuiLib::CWebBrowserUI, public DuiLib::CWebBrowserEventHandler, public IWebCallMusic {
public:
    CZqWebBrowser();
    ~CZqWebBrowser() override;
    const char* GetClass() const override { return "ZqWebBrowserUI"; }
    void* GetInterface(const char* name) override;

    void SetOwner(IZqWebAction* owner) { m_pOwner = owner; }
    IZqWebAction* GetOwner() const { return m_pOwner; }
    // The address of the last failed or completed navigation (never "about:blank").
    const std::string& GetCurrentUrl() const { return m_sCurUrl; }
    void SetScrollBars(bool on);

    HRESULT GetHostInfo(DOCHOSTUIINFO* info);
    HRESULT GetExternal(IDispatch** out);

    void NavigateError(DuiLib::CWebBrowserUI* sender, const std::string& url, int status) override;
    void NavigateComplete2(DuiLib::CWebBrowserUI* sender, const std::string& url) override;
    void DocumentComplete(DuiLib::CWebBrowserUI* sender, const std::string& url) override;
    void CallMusic(const std::string& text, std::string& answer) override;

protected:
    bool DoCreateControl() override;

private:
    std::string m_sCurUrl;
    bool m_bScrollBars = true;
    WBExtDispatch* m_pExternal = nullptr;
    IZqWebAction* m_pOwner = nullptr;
};
