// The room management dialog: the room's owner edits the room name, the password, an assistant director and
// up to five room notices (text, link, an uploaded picture). OK sends what changed to the room service
// ("updateroominfo", "oproomuserrole") through the request worker; the replies go to the room logic.
//
// Opening: the room window creates it once (popup 390 x 360, owner the room window, centred), then each time
// calls SetRoomInfo(room) and shows it. Closing (OK, Cancel, close button) hides it; it is reused.
//
// Threads: everything runs on the UI thread except the upload callbacks, which run on the HTTP request
// manager's thread: they copy the reply and post it to the dialog's window (a dead window frees the copy)
// and touch nothing else. The destructor stops a running upload first (no callback follows StopTask), so no
// callback reaches a deleted dialog, and a reply posted before that is dropped with the window.
#pragma once

#include <UIlib.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

#include "RoomBaseInfo.h"
#include "ZqHttpRequestMgr.h"
#include "ZqWindowBase.h"

class CUIRoomManager : public DuiLib::WindowImplBase, public IZqHttpRequestObserver {
public:
    static constexpr int kWidth = 390;
    static constexpr int kHeight = 360;
    static constexpr UINT WM_UPLOAD_RESULT = WM_USER + 0x120;  // lParam: UploadResult* (owned)

    // Picks the picture to upload: true with a GBK path. The default is the desktop's open-file dialog
    // (images only); tests put their own.
    using FileChooser = std::function<bool(HWND owner, std::string& gbkPath)>;
    static void SetFileChooser(FileChooser chooser);
    // Runs the stop-the-upload question of OK and answers its close code; the default is ShowModal, tests
    // answer the real dialog from inside its loop.
    using ModalRunner = std::function<UINT(DuiLib::WindowImplBase& dlg)>;
    static void SetModalRunner(ModalRunner runner);

    CUIRoomManager();
    ~CUIRoomManager() override;

    // Fills the dialog from the room store; room 0 or an unknown room does nothing.
    void SetRoomInfo(uint32_t room);

    const char* GetWindowClassName() const override { return "UIRoomManager"; }
    void InitWindow() override;
    void Notify(DuiLib::TNotifyUI& msg) override;
    LRESULT HandleCustomMessage(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled) override;
    LRESULT OnClose(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled) override;
    void OnFinalMessage(HWND hWnd) override;

    // The operations behind the controls (also for tests).
    void SelectNotice(int slot);
    void DeleteNotice(int slot);
    void AddNotice();
    void UploadImage();
    void OnOK();
    void CloseDialog(int code);
    // What an upload callback handed over, handled on the UI thread.
    struct UploadResult {
        enum Kind { kFinished, kStopped, kFailed } kind = kFinished;
        int taskId = 0;
        std::string reply;
    };
    void OnUploadResult(const UploadResult& r);

    // State, for tests.
    uint32_t RoomId() const { return m_room; }
    const std::string& Slot(int slot) const { return m_slots[slot - 1]; }
    int ActiveSlot() const { return m_active; }
    int UploadTask() const { return m_task; }
    int UploadSlot() const { return m_uploadSlot; }
    int LastCloseCode() const { return m_closeCode; }
    std::string ErrorText() const;
    std::string PictureUrl() const;

    // IZqHttpRequestObserver (the request manager's thread)
    void HttpRequestOb_UploadStopped(int taskId) override;
    void HttpRequestOb_UploadFinished(int taskId, char* data, int len) override;
    void HttpRequestOb_UploadFailed(int taskId, int errorCode) override;

protected:
    DuiLib::CDuiString GetSkinFile() override { return "RoomManagerWnd.xml"; }
    ZQ_SKIN_ANSWERS()

private:
    void OnClick(const std::string& name);
    void OnSelectChanged(const std::string& name);
    void OnSetFocus(DuiLib::CControlUI* c);
    void OnKillFocus(DuiLib::CControlUI* c);
    bool ValidateAssistDirector(bool tell);
    bool FindUser(const std::string& text, RoomUserInfo& out);
    bool SaveCurrentNotice();  // false: the notice was too long to store
    // 1 stored, 0 the slot emptied, -1 refused (too long to store or to send whole; the slot unchanged)
    int EncodeNotice(int slot);
    // Stops the running upload (if any): its answer changes nothing.
    void ForgetUpload();
    void ShowNotice(int slot);
    void ResetEditor();
    void SetUploadLink(const char* text, const std::string& tooltip);
    void ShowSlotButton(int slot);
    void SetError(const char* text);
    bool CommitNotices();
    void UpdateRoomInfo();
    void AppointAssistDirector();
    void OpenAgentPage();
    std::string Value(DuiLib::CEditUI* edit, const char* placeholder) const;
    void Post(std::unique_ptr<UploadResult> r);

    DuiLib::CEditUI* m_text = nullptr;  // "NoticeContentRichEdit"
    DuiLib::CTabLayoutUI* m_tabs = nullptr;
    DuiLib::CEditUI* m_link = nullptr;
    DuiLib::CEditUI* m_password = nullptr;
    DuiLib::CEditUI* m_name = nullptr;
    DuiLib::CEditUI* m_director = nullptr;
    DuiLib::CControlUI* m_addBtn = nullptr;
    DuiLib::CButtonUI* m_upload = nullptr;
    DuiLib::CButtonUI* m_slotBtn[5] = {};
    DuiLib::CControlUI* m_delBtn[5] = {};
    DuiLib::CLabelUI* m_fileLabel = nullptr;
    DuiLib::CLabelUI* m_error = nullptr;

    uint32_t m_room = 0;
    int m_active = 0;      // the slot of the active notice button, 0 none
    int m_task = 0;        // the running upload, 0 none (UI thread)
    int m_uploadSlot = 0;  // the slot its picture belongs to, 0 the notice being composed
    std::string m_roomName, m_roomPassword;
    std::string m_slots[5];
    int m_closeCode = 0;
    std::atomic<HWND> m_postTo{nullptr};  // where the callbacks post; cleared before the window goes
};
