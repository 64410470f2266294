// The chat panes' window.external: six calls of the page (user names, welcome and thanks links, the mic
// info link, command links) checked and converted here, then answered by the owning column through
// IWebCallBack. And the panes' own page: a style sheet, an empty body, and a content policy that lets no
// script run and nothing load from outside the program's folder. UI thread only.
#pragma once

#include <string>

#include "WebView.h"
#include "ZqCom.h"

namespace roomui {

// What the owning column answers. Texts are GBK; `result` is what the page's call returns.
class IWebCallBack {
public:
    virtual void SelectUser(const std::string& uid, std::string& result) = 0;
    virtual void SelectRUser(const std::string& uid, std::string& result) = 0;
    virtual void WelcomeUser(const std::string& uid, bool withGift, std::string& result) = 0;
    virtual void ThanksSendGift(int uid, int giftId, int count, bool withGift, std::string& result) = 0;
    virtual void GetMicInfo() = 0;
    virtual void CallFuncEx(const std::string& cmd, std::string& result) = 0;

protected:
    virtual ~IWebCallBack() = default;
};

// window.external of a chat pane. DISPID = position in kNames. Counted: the pane and the view each hold a
// reference; the pane clears the target before it lets go, so a late call from the page reaches nothing.
class CWBExtDispatch : public CComObjectBase<IDispatch> {
public:
    static constexpr const char* kNames[] = {"SelectUser",     "SelectRUser", "WelcomeUser",
                                             "ThanksSendGift", "GetMicInfo",  "CallFuncEx"};
    static constexpr int kArgCounts[] = {1, 1, 2, 4, 0, 1};
    static constexpr int kCount = 6;

    static CWBExtDispatch* CreateInstance() { return new CWBExtDispatch(); }
    void SetTarget(IWebCallBack* target) { m_target = target; }
    IWebCallBack* GetTarget() const { return m_target; }
    static std::vector<std::string> Names() { return {std::begin(kNames), std::end(kNames)}; }

    // Unknown names get DISP_E_UNKNOWNNAME; the call itself succeeds.
    HRESULT GetIDsOfNames(REFIID riid, OLECHAR** names, uint32_t count, LCID lcid, DISPID* ids) override;
    // Arguments are taken from the end (rgvarg[0] is the page's last). A call with too few arguments, or with a
    // number argument that is not a whole number in int range, does not reach the target.
    HRESULT Invoke(DISPID id, REFIID riid, LCID lcid, uint16_t flags, DISPPARAMS* params, VARIANT* result,
                   void* excepInfo, uint32_t* argErr) override;

private:
    CWBExtDispatch() = default;
    IWebCallBack* m_target = nullptr;
};

// A script value as a whole int: VT_I4, a VT_R8 without fraction in range, or a decimal text (blanks around
// allowed, as script's Number() reads it) of such a value. False for anything else.
bool ScriptToInt(const VARIANT& v, int& out);
// A script value as GBK text: a text, or a number written as script writes it. False for other kinds.
bool ScriptToText(const VARIANT& v, std::string& out);

// The panes' page (GBK markup; charset gb2312 as the chat lines are).
const std::string& ChatPageHtml();
// Writes the page into `nativeFolder` (created if missing) as "ShowTextPublic.html"; its file:// URL, or ""
// when it could not be written. Images of the lines resolve against that folder.
std::string WriteChatPage(const std::string& nativeFolder);

}  // namespace roomui
