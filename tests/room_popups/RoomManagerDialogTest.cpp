// The room management dialog by control name, headless, against the local room and upload services: what OK
// sends (nothing when nothing changed, the room info and the assistant director as the service reads them),
// the notice editor's refusals, uploads whose answers are handled on the UI thread, and an upload that
// outlives its dialog.
#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <memory>
#include <string>

#include "GlobalData.h"
#include "MsgClientThread.h"
#include "RoomInfoMgr.h"
#include "RoomNoticeCodec.h"
#include "RoomService.h"
#include "TestKeys.h"
#include "UiTestSupport.h"
#include "UIRoomManager.h"
#include "UploadService.h"
#include "WebView.h"
#include "Win32.h"
#include "ZqLib.h"
#include "ZqModConfig.h"

using namespace DuiLib;

namespace {

constexpr uint32_t kRoom = 3003;

testenv::RoomService& Service() {
    static testenv::RoomService* s = new testenv::RoomService;
    return *s;
}
testenv::UploadService& Uploads() {
    static testenv::UploadService* s = new testenv::UploadService;
    return *s;
}

std::string g_picture;  // the file the chooser picks

class RoomManagerDialog : public ::testing::Test {
protected:
    void SetUp() override {
        static bool once = [] {
            std::string dir = duitest::TempDir("room_popups_manager");
            setenv("VARNET_DATA_DIR", dir.c_str(), 1);
            AfxReleaseConfigManager();
            AfxGetConfigManager()->SetString("config", "version", "1.0.0.1", 1);
            Win32Init();
            CPaintManagerUI::SetInstancePath(VARNET_BINARY_DIR "/bin");
            CGlobalDataApp::GetInstance().SetSignKeys(testenv::kRoomServiceKeyA, testenv::kRoomServiceKeyB);
            Service().Start(0);
            Uploads().Start();
            AfxGetConfigManager()->SetString("ZqServerList", "UploadStreamServ", Uploads().UploadUrl().c_str(), 1);
            CMsgClientThread& w = CMsgClientThread::GetInstance();
            w.SetEndpoint(Service().Endpoint());
            w.SetRequestTimeout(1500);
            w.Start();
            g_picture = dir + "/notice.png";
            std::ofstream(g_picture, std::ios::binary) << "\x89PNG picture bytes";
            CUIRoomManager::SetFileChooser([](HWND, std::string& path) {
                path = g_picture;
                return true;
            });
            return true;
        }();
        (void)once;
        Service().WithData([](testenv::SvcData& d) {
            d.users[1001].sid = 77;
            d.rooms[kRoom].roles[1001] = 40;
        });
        CGlobalDataApp::GetInstance().UpdateAccount([](UserAccount& a) {
            a.uid = 1001;
            a.sid = 77;
        });
        CRoomInfoMgr& store = CRoomInfoMgr::GetInstance();
        store.RemoveRoom(kRoom);
        store.InsertRoom(kRoom, ChatServerInfo{});
        for (auto [uid, role] : {std::pair{1001u, 40u}, {1002u, 30u}, {1003u, 0u}}) {
            RoomUserInfo u;
            u.uid = uid;
            u.beautyid = uid + 80000;
            u.role = role;
            store.AddRoomUser(kRoom, u);
        }
        if (CRoomBaseInfo* info = store.LockRoom(kRoom, 2)) {
            info->lock.AssertHeld();
            info->name = "欢乐大厅";
            info->password = "";
            info->msg[0] = "00040004公告";
            store.UnlockRoom(kRoom);
        }
        before_ = Service().RequestCount("updateroominfo");
        roles_ = Service().RequestCount("oproomuserrole");
        ASSERT_NE(dlg_.Create(nullptr, "房间管理", UI_WS_POPUP, 0, 0, 0, 390, 360), nullptr);
        dlg_.SetRoomInfo(kRoom);
        dlg_.ShowWindow(true);
    }
    void TearDown() override { Uploads().SetStallMs(0); }

    CEditUI* Edit(const char* name) { return static_cast<CEditUI*>(dlg_.m_PaintManager.FindControl(name)); }
    std::string Text(const char* name) {
        CControlUI* c = dlg_.m_PaintManager.FindControl(name);
        return c ? c->GetText().c_str() : "<missing>";
    }
    // Waits for the worker to have sent a request of cmd (count above `was`); its query.
    std::string Sent(const char* cmd, int was) {
        EXPECT_TRUE(PumpUntil([&] { return Service().RequestCount(cmd) > was; }, 5000)) << cmd;
        auto q = Service().Queries(cmd);
        return q.empty() ? std::string() : q.back();
    }
    // Nothing of cmd sent after a little while (the worker has had time for what was queued).
    bool NothingSent(const char* cmd, int was) {
        PumpMessagesFor(300);
        return Service().RequestCount(cmd) == was;
    }

    CUIRoomManager dlg_;
    int before_ = 0, roles_ = 0;
};

std::string Param(const std::string& query, const std::string& key) {
    for (size_t at = 0; at < query.size();) {
        size_t end = query.find('&', at);
        std::string kv = query.substr(at, end == std::string::npos ? std::string::npos : end - at);
        if (kv.compare(0, key.size() + 1, key + "=") == 0) return UrlEncode::Decode(kv.substr(key.size() + 1));
        if (end == std::string::npos) break;
        at = end + 1;
    }
    return "<absent>";
}

}  // namespace

TEST_F(RoomManagerDialog, OkSendsOnlyWhatChanged) {
    // Untouched: nothing at all; the director edit still shows its placeholder.
    EXPECT_EQ(Text("RoomNameEdit"), "欢乐大厅");
    EXPECT_EQ(Text("AssistDirectorEdit"), "输入用户ID或者靓号ID");
    EXPECT_EQ(Text("NoticeBTN1"), "公告");
    dlg_.OnOK();
    EXPECT_EQ(dlg_.LastCloseCode(), 1);
    EXPECT_TRUE(NothingSent("updateroominfo", before_));
    EXPECT_TRUE(NothingSent("oproomuserrole", roles_));

    // A user who is assistant director already is not appointed again; one found by display id is.
    struct Row {
        const char* director;
        int sent;  // requests expected
    } rows[] = {{"1002", 0}, {"82002", 0}, {"9999", 0}, {"81003", 1}};
    for (const Row& r : rows) {
        dlg_.SetRoomInfo(kRoom);
        Edit("AssistDirectorEdit")->SetText(r.director);
        int was = Service().RequestCount("oproomuserrole");
        dlg_.OnOK();
        if (r.sent) {
            std::string q = Sent("oproomuserrole", was);
            EXPECT_EQ(Param(q, "tid"), "1003");
            EXPECT_EQ(Param(q, "roletype"), "30");
            EXPECT_EQ(Param(q, "optype"), "1");
        } else {
            EXPECT_TRUE(NothingSent("oproomuserrole", was)) << r.director;
        }
    }
    Service().WithData([](testenv::SvcData& d) { EXPECT_EQ(d.rooms[kRoom].roles[1003], 30u); });
    EXPECT_TRUE(NothingSent("updateroominfo", before_));
}

TEST_F(RoomManagerDialog, NameAndANewNoticeReachTheService) {
    Edit("RoomNameEdit")->SetText("新名字");
    Edit("NoticeContentRichEdit")->SetText("今晚八点");
    Edit("NoticeLinkEdit")->SetText("http://x/y");
    dlg_.OnOK();  // the notice being composed goes into the first empty slot
    std::string q = Sent("updateroominfo", before_);
    EXPECT_EQ(Param(q, "name"), "新名字");
    EXPECT_EQ(Param(q, "msg1"), "00040004公告");
    EXPECT_EQ(Param(q, "msg2"), "00080018今晚八点http://x/y");
    EXPECT_EQ(Param(q, "msg3"), "");
    // The service counts a request before it has applied it.
    std::string name, msg;
    EXPECT_TRUE(PumpUntil(
        [&] {
            Service().WithData([&](testenv::SvcData& d) {
                name = d.rooms[kRoom].name;
                msg = d.rooms[kRoom].msg[1];
            });
            return name == "新名字";
        },
        5000));
    EXPECT_EQ(msg, "00080018今晚八点http://x/y");
}

TEST_F(RoomManagerDialog, NoticeEditorRefusals) {
    dlg_.AddNotice();
    EXPECT_EQ(dlg_.ErrorText(), "请添加要发送的房间公告内容!");
    for (int i = 2; i <= 5; ++i) {
        Edit("NoticeContentRichEdit")->SetText(("公告" + std::to_string(i)).c_str());
        dlg_.AddNotice();
        EXPECT_FALSE(dlg_.Slot(i).empty());
    }
    Edit("NoticeContentRichEdit")->SetText("第六个");
    dlg_.AddNotice();
    EXPECT_EQ(dlg_.ErrorText(), "最多只允许添加5个房间公告!");
    dlg_.OnOK();  // five notices, none selected: refused, the dialog stays
    EXPECT_EQ(dlg_.ErrorText(), "最多只允许添加5个房间公告!");
    EXPECT_EQ(dlg_.LastCloseCode(), 0);
    // A selected notice is edited in place; one too long to store is refused and kept in the editor.
    dlg_.SelectNotice(3);
    EXPECT_EQ(Text("NoticeContentRichEdit"), "公告3");
    std::string huge(9990, 'a');
    Edit("NoticeContentRichEdit")->SetMaxChar(20000);  // the skin's limit keeps typed notices far shorter
    Edit("NoticeContentRichEdit")->SetText(huge.c_str());
    Edit("NoticeLinkEdit")->SetText("0123456789");
    std::string kept = dlg_.Slot(3);
    dlg_.SelectNotice(1);
    EXPECT_EQ(dlg_.ActiveSlot(), 3);
    EXPECT_EQ(dlg_.Slot(3), kept);
    EXPECT_EQ(Text("NoticeContentRichEdit"), huge);
    EXPECT_EQ(dlg_.ErrorText(), "公告内容过长，请删减后再保存!");
    // Also one the request could not carry whole (2,047 bytes URL-encoded): 400 Chinese characters take 2,400.
    std::string chinese;
    for (int i = 0; i < 400; ++i) chinese += "公";
    Edit("NoticeContentRichEdit")->SetText(chinese.c_str());
    Edit("NoticeLinkEdit")->SetText("");
    dlg_.SelectNotice(1);
    EXPECT_EQ(dlg_.ActiveSlot(), 3);
    EXPECT_EQ(dlg_.Slot(3), kept);
    // Deleting the notice being edited empties the editor; its button stays the active one, so what is
    // written next is saved in its place.
    dlg_.DeleteNotice(3);
    EXPECT_TRUE(dlg_.Slot(3).empty());
    EXPECT_EQ(dlg_.ActiveSlot(), 3);
    EXPECT_EQ(std::string(dlg_.m_PaintManager.FindControl("NoticeBTN3")->GetBkImage()), "file='RoomMsgActiveBTN.png'");
    EXPECT_EQ(Text("NoticeBTN3"), "");
    EXPECT_EQ(Text("NoticeContentRichEdit"), "");
    Edit("NoticeContentRichEdit")->SetText("新三");
    dlg_.SelectNotice(1);
    EXPECT_EQ(roompopups::DecodeRoomNotice(dlg_.Slot(3)).text, "新三");
}

TEST_F(RoomManagerDialog, UploadsAreHandledOnTheUiThreadOneAtATime) {
    Uploads().SetStallMs(400);
    dlg_.UploadImage();
    ASSERT_GT(dlg_.UploadTask(), 0);
    EXPECT_EQ(Text("UploadRoomImgBTN"), "{u}{a}图片上传中...{/a}{/u}");
    dlg_.UploadImage();
    EXPECT_EQ(dlg_.ErrorText(), "图片正在上传中...，请等待(一次只能上传一个图片)!");
    ASSERT_TRUE(PumpUntil([&] { return dlg_.UploadTask() == 0; }, 5000));
    std::string pic = dlg_.PictureUrl();
    ASSERT_EQ(Uploads().Pictures().size(), 1u);
    EXPECT_EQ(pic, Uploads().Pictures()[0].url);
    EXPECT_EQ(Uploads().Pictures()[0].content, "\x89PNG picture bytes");
    EXPECT_EQ(Text("UploadRoomImgBTN"), "{u}{a}重新选择{/a}{/u}");
    EXPECT_EQ(Text("ImgFilePathLabel"), "1_notice.png");
    Edit("NoticeContentRichEdit")->SetText("带图公告");
    dlg_.AddNotice();
    RoomNoticeInfo n = roompopups::DecodeRoomNotice(dlg_.Slot(2));
    EXPECT_EQ(n.text, "带图公告");
    EXPECT_EQ(n.picture, pic);

    // A refused upload: its message shows, no picture is kept, and the link offers another try.
    Uploads().SetStallMs(0);
    Uploads().Refuse(500, "图片太大");
    dlg_.UploadImage();
    ASSERT_TRUE(PumpUntil([&] { return dlg_.UploadTask() == 0; }, 5000));
    EXPECT_EQ(Text("ImgFilePathLabel"), "图片太大");
    EXPECT_EQ(Text("UploadRoomImgBTN"), "{u}{a}重新选择{/a}{/u}");
    Edit("NoticeContentRichEdit")->SetText("无图");
    dlg_.AddNotice();
    EXPECT_EQ(roompopups::DecodeRoomNotice(dlg_.Slot(3)).picture, "");

    // Answers of the wrong shape, nested deep included, are read without harm and keep no picture.
    const std::string deep = std::string(2000, '[') + std::string(2000, ']');
    for (const std::string& body :
         {std::string("{\"stat\":\"200\",\"pic\":\"http%3A%2F%2Fp%2Fq.png\"}"), std::string("{\"stat\":200,\"pic\":5}"),
          std::string("[1,2]"), std::string("not json"), std::string("{\"stat\":1e40,\"inf\":{}}"), std::string(), deep,
          "{\"stat\":200,\"pic\":\"http%3A%2F%2Fp%2Fq.png\",\"x\":" + deep + "}"}) {
        Uploads().AnswerRaw(body);
        dlg_.UploadImage();
        ASSERT_TRUE(PumpUntil([&] { return dlg_.UploadTask() == 0; }, 5000)) << body.substr(0, 60);
        EXPECT_EQ(dlg_.PictureUrl().compare(0, 5, "http:") == 0, false) << body.substr(0, 60);
        EXPECT_EQ(Text("UploadRoomImgBTN"), "{u}{a}重新选择{/a}{/u}") << body.substr(0, 60);
    }
}

// The upload of a notice that is deleted, or of the notice being composed when another is selected, brings
// nothing back; the upload of a notice left for another lands in its own notice.
TEST_F(RoomManagerDialog, NoticesDeletedOrSelectedDuringAnUpload) {
    struct Row {
        const char* name;
        std::function<void(CUIRoomManager&)> during;  // while the upload runs
        bool stopped;                                 // the upload is stopped at once
        const char* slot1;                            // then what slot 1 holds ("pic": the picture added)
    } rows[] = {
        {"delete the selected", [](CUIRoomManager& d) { d.DeleteNotice(1); }, true, ""},
        {"select, delete", [](CUIRoomManager& d) { d.SelectNotice(2), d.DeleteNotice(1); }, true, ""},
        {"select another", [](CUIRoomManager& d) { d.SelectNotice(2); }, false, "pic"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        if (CRoomBaseInfo* info = CRoomInfoMgr::GetInstance().LockRoom(kRoom, 2)) {
            info->lock.AssertHeld();
            info->msg[1] = "00040004第二";
            CRoomInfoMgr::GetInstance().UnlockRoom(kRoom);
        }
        dlg_.SetRoomInfo(kRoom);
        dlg_.SelectNotice(1);
        Uploads().SetStallMs(600);
        size_t pictures = Uploads().Pictures().size();
        dlg_.UploadImage();
        ASSERT_GT(dlg_.UploadTask(), 0);
        r.during(dlg_);
        EXPECT_EQ(dlg_.UploadTask() == 0, r.stopped);
        PumpMessagesFor(100);
        ASSERT_TRUE(PumpUntil([&] { return dlg_.UploadTask() == 0; }, 10000));
        PumpMessagesFor(200);  // a late report of a stopped upload
        if (std::string(r.slot1) == "pic") {
            ASSERT_EQ(Uploads().Pictures().size(), pictures + 1);
            EXPECT_EQ(roompopups::DecodeRoomNotice(dlg_.Slot(1)).picture, Uploads().Pictures().back().url);
            EXPECT_EQ(dlg_.ActiveSlot(), 2);
            EXPECT_EQ(dlg_.PictureUrl(), "");
        } else {
            EXPECT_EQ(dlg_.Slot(1), r.slot1);
            CControlUI* del = dlg_.m_PaintManager.FindControl("Notice1DelBTN");
            ASSERT_NE(del, nullptr);
            EXPECT_FALSE(del->IsVisible());
        }
        Uploads().SetStallMs(0);
    }
    // OK sends the deleted notice as deleted.
    int was = Service().RequestCount("updateroominfo");
    dlg_.SetRoomInfo(kRoom);
    dlg_.SelectNotice(1);
    Uploads().SetStallMs(600);
    dlg_.UploadImage();
    dlg_.DeleteNotice(1);
    dlg_.OnOK();
    std::string q = Sent("updateroominfo", was);
    EXPECT_EQ(Param(q, "msg1"), "");
    EXPECT_EQ(Param(q, "msg2"), "00040004第二");

    // The notice being composed is dropped for a selected one, and so is its picture.
    dlg_.SetRoomInfo(kRoom);
    Edit("NoticeContentRichEdit")->SetText("草稿");
    dlg_.UploadImage();
    ASSERT_GT(dlg_.UploadTask(), 0);
    dlg_.SelectNotice(2);
    EXPECT_EQ(dlg_.UploadTask(), 0);
    PumpMessagesFor(800);
    EXPECT_EQ(dlg_.PictureUrl(), "");
    EXPECT_EQ(Text("NoticeContentRichEdit"), "第二");
}

// OK while a picture uploads asks first (the real question, answered inside its loop): "否" keeps the dialog
// and the upload; "是" stops it and sends; an upload that ended while the question was up is kept.
TEST_F(RoomManagerDialog, OkDuringAnUpload) {
    struct Row {
        const char* button;
        bool waitForUpload;  // the answer comes after the upload has ended
        int closeCode;
        bool picture;  // slot 1 holds the uploaded picture afterwards
    } rows[] = {{"btnClose", false, 0, false}, {"btnOK", false, 1, false}, {"btnOK", true, 1, true}};
    std::vector<std::string> asked;
    for (const Row& r : rows) {
        SCOPED_TRACE(std::string(r.button) + (r.waitForUpload ? " after the upload" : ""));
        dlg_.SetRoomInfo(kRoom);
        dlg_.SelectNotice(1);
        Uploads().SetStallMs(r.waitForUpload ? 300 : 3000);
        dlg_.UploadImage();
        ASSERT_GT(dlg_.UploadTask(), 0);
        CUIRoomManager::SetModalRunner([&](WindowImplBase& tip) {
            CControlUI* label = UITest::Find(&tip, "SoftCloseTipLabel");
            asked.push_back(label ? label->GetText().c_str() : "<missing>");
            // Owned by the pending calls only, so that it goes with the last one.
            auto answer = std::make_shared<std::function<void(int)>>();
            std::weak_ptr<std::function<void(int)>> self = answer;
            *answer = [&, self](int tries) {
                if (r.waitForUpload && dlg_.UploadTask() != 0 && tries < 500) {
                    if (auto again = self.lock()) duitest::RunLater(20, [again, tries] { (*again)(tries + 1); });
                    return;
                }
                UITest::Click(&tip, r.button);
            };
            duitest::RunLater(10, [answer] { (*answer)(0); });
            return tip.ShowModal();
        });
        int closed = dlg_.LastCloseCode();
        dlg_.OnOK();
        CUIRoomManager::SetModalRunner(nullptr);
        EXPECT_EQ(dlg_.LastCloseCode(), r.closeCode ? r.closeCode : closed);
        if (r.closeCode == 0) {
            EXPECT_GT(dlg_.UploadTask(), 0);  // still running
            dlg_.DeleteNotice(1);
            EXPECT_EQ(dlg_.UploadTask(), 0);
        } else {
            EXPECT_EQ(dlg_.UploadTask(), 0);
            EXPECT_EQ(roompopups::DecodeRoomNotice(dlg_.Slot(1)).picture.empty(), !r.picture);
        }
        Uploads().SetStallMs(0);
        PumpMessagesFor(100);
    }
    EXPECT_EQ(asked, std::vector<std::string>(3, "图片正在上传，是否停止上传图片？"));
}

TEST_F(RoomManagerDialog, AnUploadOutlivingItsDialogReachesNothing) {
    Uploads().SetStallMs(1500);
    {
        CUIRoomManager other;
        ASSERT_NE(other.Create(nullptr, "房间管理", UI_WS_POPUP, 0, 0, 0, 390, 360), nullptr);
        other.SetRoomInfo(kRoom);
        other.UploadImage();
        ASSERT_GT(other.UploadTask(), 0);
        PumpMessagesFor(100);
    }  // stopped and gone; its Stopped report found no window
    PumpMessagesFor(200);
    Uploads().SetStallMs(0);
    // The dialog of the fixture is unaffected and can still upload.
    dlg_.UploadImage();
    ASSERT_TRUE(PumpUntil([&] { return dlg_.UploadTask() == 0; }, 5000));
    EXPECT_EQ(Text("UploadRoomImgBTN"), "{u}{a}重新选择{/a}{/u}");
}

TEST_F(RoomManagerDialog, AgentPageOpensSignedInTheBrowser) {
    static std::string opened;
    webview::SetUrlOpener([](const std::string& url) {
        opened = url;
        return true;
    });
    AfxGetConfigManager()->SetString("ZqServerList", "HomePageUrl", "http://web.test:8080/home/index.html", 1);
    TNotifyUI click;
    click.sType = "click";
    click.pSender = dlg_.m_PaintManager.FindControl("AgencyBackStageBTN");
    dlg_.Notify(click);
    webview::SetUrlOpener(nullptr);
    const std::string head = "http://web.test:8080/ZeqaShow/openWebWithLogin?uid=1001&sid=77&tm=";
    ASSERT_EQ(opened.compare(0, head.size(), head), 0) << opened;
    EXPECT_EQ(Param(opened.substr(opened.find('?') + 1), "url"), "http://web.test:8080/ZeqaShow/lb/goAgent");
    EXPECT_EQ(Param(opened.substr(opened.find('?') + 1), "token").size(), 32u);
}
