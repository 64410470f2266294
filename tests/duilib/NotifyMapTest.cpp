// Notify maps: first matching entry by kind and name, fall-through to base maps, virtual handlers.
#include <gtest/gtest.h>

#include "UiTestSupport.h"

using namespace DuiLib;

namespace {

std::vector<std::string> g_calls;

class Base : public CNotifyPump {
public:
    virtual void OnTimer(TNotifyUI&) { g_calls.push_back("Base::OnTimer"); }
    void OnItem(TNotifyUI&) { g_calls.push_back("Base::OnItem"); }

protected:
    DUI_DECLARE_MESSAGE_MAP()
};
DUI_BEGIN_MESSAGE_MAP(Base, CNotifyPump)
DUI_ON_MSGTYPE("timer", Base::OnTimer)
DUI_ON_MSGTYPE("itemclick", Base::OnItem)
DUI_END_MESSAGE_MAP()

class Derived : public Base {
public:
    void OnTimer(TNotifyUI&) override { g_calls.push_back("Derived::OnTimer"); }
    void OnOk(TNotifyUI&) { g_calls.push_back("Derived::OnOk"); }
    void OnAnyClick(TNotifyUI&) { g_calls.push_back("Derived::OnAnyClick"); }
    void OnCustom(TNotifyUI& m) { g_calls.push_back("Derived::OnCustom:" + std::to_string(m.wParam)); }

protected:
    DUI_DECLARE_MESSAGE_MAP()
};
DUI_BEGIN_MESSAGE_MAP(Derived, Base)
DUI_ON_MSGTYPE_CTRNAME("click", "ok", Derived::OnOk)
DUI_ON_MSGTYPE("click", Derived::OnAnyClick)
DUI_ON_MSGTYPE_CTRNAME("click", "never", Derived::OnOk)
DUI_ON_MSGTYPE("uinotifyGiftItemEnter", Derived::OnCustom)
DUI_END_MESSAGE_MAP()

}  // namespace

TEST(NotifyMap, DispatchOrderAndFallThrough) {
    CButtonUI ok, other;
    ok.SetName("ok");
    other.SetName("other");
    struct Row {
        const char* kind;
        CControlUI* sender;
        std::vector<std::string> calls;
    } rows[] = {
        {"click", &ok, {"Derived::OnOk"}},           // named entry comes first in the table
        {"click", &other, {"Derived::OnAnyClick"}},  // empty name matches any control
        {"timer", &ok, {"Derived::OnTimer"}},        // base entry, most derived override
        {"itemclick", &ok, {"Base::OnItem"}},        // absent here: the base map
        {"return", &ok, {}},                         // nowhere: nothing
        {"uinotifyGiftItemEnter", &other, {"Derived::OnCustom:7"}},
    };
    Derived d;
    for (auto& r : rows) {
        g_calls.clear();
        TNotifyUI msg;
        msg.sType = r.kind;
        msg.pSender = r.sender;
        msg.wParam = 7;
        d.NotifyPump(msg);
        EXPECT_EQ(g_calls, r.calls) << r.kind;
    }
}

TEST(NotifyMap, VirtualWindowsRouteToTheirPump) {
    Derived outer;
    Base inner;
    ASSERT_TRUE(outer.AddVirtualWnd("left", &inner));
    EXPECT_FALSE(outer.AddVirtualWnd("left", &inner));
    CPaintManagerUI pm;
    CDialogBuilder b;
    CControlUI* root = b.Create(
        "<VerticalLayout><HorizontalLayout virtualwnd=\"left\"><Button name=\"x\"/>"
        "</HorizontalLayout><Button name=\"y\"/></VerticalLayout>",
        nullptr, nullptr, &pm);
    ASSERT_NE(root, nullptr);
    pm.AttachDialog(root);
    struct Pump : INotifyUI {
        CNotifyPump* p;
        void Notify(TNotifyUI& m) override { p->NotifyPump(m); }
    } pump;
    pump.p = &outer;
    pm.AddNotifier(&pump);
    g_calls.clear();
    pm.SendNotify(pm.FindControl("x"), "timer");
    pm.SendNotify(pm.FindControl("y"), "timer");
    EXPECT_EQ(g_calls, (std::vector<std::string>{"Base::OnTimer", "Derived::OnTimer"}));
    EXPECT_TRUE(outer.RemoveVirtualWnd("left"));
}
