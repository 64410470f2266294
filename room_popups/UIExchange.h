// The bean-to-coin exchange: one signed, synchronous GET to the operator's web service on the UI thread
// (under a wait cursor); on success the popup closes with 1 and keeps the new balances and the server's
// message for its opener. A close request hides the popup (reused); 2 = cancelled.
// Threads: the UI thread only.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "UIlib.h"
#include "ZqHttp.h"

namespace roompopups {

// The fixed signing salt of the exchange.
constexpr const char* kExchangeSalt = "rilm@2009@plank@sea";

// root + "/ZeqaShow/exchangeZebin?shell=..&tm=..&sig=..&uid=.."; sig = MD5 of "%u%u%s" (tm, uid, salt).
std::string BuildExchangeUrl(const std::string& root, uint64_t beans, int32_t tm, uint32_t uid);

// What an answer says. Absent or wrongly typed keys leave the fields as they were; "success" counts only
// as the JSON true.
struct ExchangeAnswer {
    bool json = false;  // the body parsed as a JSON object
    bool success = false;
    uint64_t coin = 0, shell = 0;
    bool hasCoin = false, hasShell = false;
    std::string msg;  // URL-decoded, at most 249 bytes
    bool hasMsg = false;
};
ExchangeAnswer ParseExchangeAnswer(const std::string& body);

// The service's address: configuration ZqServerList/ExchangeRoot, else the scheme and host of the home page.
std::string ExchangeRoot();

class CUIExchange : public DuiLib::WindowImplBase {
public:
    static constexpr int kWidth = 320, kHeight = 213;

    // Creates the popup ("兑换对话框", WS_POPUP, centred) when it has no window, else runs its set-up again;
    // then shows it.
    bool ShowPopup(HWND owner);
    void Destroy();
    // The code of the last close request (1 exchanged, 2 cancelled; 0 none yet).
    UINT LastCloseCode() const { return m_closeCode; }
    // Tests give their own HTTP sessions (null: the program's).
    void SetHttp(IZqHttpMgr* http) { m_http = http; }

    // The checks, the request and its answer; true when the exchange succeeded (then the popup closed).
    bool Exchange();
    uint64_t NewCoins() const { return m_newCoins; }
    uint64_t NewBeans() const { return m_newBeans; }
    const std::string& ServerMessage() const { return m_message; }
    // The last answer as it came (which balances it held).
    const ExchangeAnswer& LastAnswer() const { return m_answer; }
    std::string ErrorText() const;
    // After a successful exchange, before the popup closes (the opener applies the balances).
    std::function<void(CUIExchange&)> OnExchanged;

    const char* GetWindowClassName() const override { return "UIExchange"; }
    void InitWindow() override;
    void Notify(DuiLib::TNotifyUI& msg) override;
    LRESULT OnClose(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled) override;
    ~CUIExchange() override { Destroy(); }

protected:
    DuiLib::CDuiString GetSkinFolder() override { return "skin\\"; }
    DuiLib::CDuiString GetSkinFile() override { return "PopWndExchange.xml"; }
    DuiLib::UILIB_RESOURCETYPE GetResourceType() const override { return DuiLib::UILIB_ZIP; }
    DuiLib::CDuiString GetZIPFileName() const override { return "VarnetSkin.zip"; }

private:
    void Fail(const char* text);
    void Finish(UINT code);

    uint64_t m_newCoins = 0;
    uint64_t m_newBeans = 0;
    std::string m_message;
    ExchangeAnswer m_answer;
    DuiLib::CEditUI* m_edit = nullptr;
    DuiLib::CLabelUI* m_error = nullptr;
    IZqHttpMgr* m_http = nullptr;
    UINT m_closeCode = 0;
};

}  // namespace roompopups
