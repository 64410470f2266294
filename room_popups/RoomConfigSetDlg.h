// The settings dialog: head picture, personal data, voice (microphone choice and level meter) and video
// (camera choice and preview) on four tab pages. Personal changes go to the room service as one
// "updatemyinfo" request whose reply this dialog handles; the chosen devices are kept by name in
// "RoomConfigMic".
//
// Opening: an opener creates the window once (popup, 500 x 373, centred on itself) with
//     dlg.m_hOwner = owner;                       // told with WM_UPDATE_MY_INFO after an update
//     dlg.Create(owner, "房间设置对话框", UI_WS_POPUP, 0, 0, 0, 500, 373); dlg.CenterWindow();
// and then, each time, dlg.OpenPage(page); dlg.ShowWindow(true);
// Closing hides the window; it is reused.
//
// Threads: every member runs on the UI thread except OnZQMessageNotify (request worker), which only copies
// the reply of a request this instance sent and posts it to the window; camera frames and microphone
// buffers arrive on the capture threads and go to the preview and (posted) to the level meter.
#pragma once

#include <UIlib.h>

#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "Grabbel.h"
#include "Micrel.h"
#include "VideoDataCB.h"
#include "MsgClientThread.h"
#include "ThreadAnnotations.h"

// The camera preview surface of the video page (the room window supplies the video show window).
class ISettingsPreview {
public:
    virtual ~ISettingsPreview() = default;
    // Creates the native child of `parent` at `rc` when none exists; false when it cannot.
    virtual bool Create(HWND parent, const DuiLib::RECT& rc, const std::string& bkImage) = 0;
    // Destroys the child window; the object stays.
    virtual void Destroy() = 0;
    virtual bool HasWindow() const = 0;
    // Sets the frame format and raises the format-changed flag when it differs.
    virtual void SetFrameFormat(unsigned width, unsigned height, int bits) = 0;
    virtual void Show() = 0;
    // The handle that owns the camera's driver dialog (null for none).
    virtual HWND GetHWND() const = 0;
    // One frame, top-down B,G,R rows; on the camera's frame thread.
    virtual void OnFrame(const BYTE* rgb24, long length) = 0;
};

class CRoomConfigSetDlg : public DuiLib::WindowImplBase, public CZQEventListener {
public:
    // Makes the preview object of each dialog (none by default: the video page then has no preview).
    static void SetPreviewFactory(std::function<std::unique_ptr<ISettingsPreview>()> factory);

    CRoomConfigSetDlg();
    ~CRoomConfigSetDlg() override;

    const char* GetWindowClassName() const override { return "RoomConfigSetDlg"; }
    void InitWindow() override;
    void Notify(DuiLib::TNotifyUI& msg) override;
    LRESULT OnClose(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled) override;
    LRESULT OnDestroy(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled) override;
    LRESULT ResponseDefaultKeyEvent(WPARAM wParam) override;
    LRESULT HandleCustomMessage(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled) override;

    // Page 0 head picture, 1 personal data, 2 voice, 3 video.
    void OpenPage(int page);
    void CloseDialog(int code);
    void OnZQMessageNotify(CZQMessage* msg, CZQEventSource* source) override;

    HWND m_hOwner = nullptr;
    // Colours of the nickname check's line.
    static constexpr DWORD kNickErrorColor = 0xFFE5484D, kNickGoodColor = 0xFF2E8B57;
    // The code of the last CloseDialog (1 applied, 2 cancelled; 0 none yet).
    int LastCloseCode() const { return m_nCloseCode; }
    ISettingsPreview* Preview() const { return m_pPreview.get(); }
    bool IsReady() const { return m_bReady; }

protected:
    DuiLib::CDuiString GetSkinFile() override { return "RoomConfigSet.xml"; }
    DuiLib::CDuiString GetSkinFolder() override { return "skin\\"; }
    DuiLib::UILIB_RESOURCETYPE GetResourceType() const override { return DuiLib::UILIB_ZIP; }
    DuiLib::CDuiString GetZIPFileName() const override { return "VarnetSkin.zip"; }
    // The failure box of an update (a modal message box over the dialog).
    virtual void ShowUpdateFailure(const std::string& text);

private:
    struct Reply;
    struct PendingInfo {
        std::string nickname, birth, province, city;
        uint32_t photoid = 0, sex = 3;
    };
    class DataCB : public IBaseVideoCB {
    public:
        void VideoBufferCB(double, BYTE*, long) override {}
        void VideoFrameCB(BYTE* rgb24, long length) override;
        varnet::Mutex lock;  // the preview against the frame thread
        ISettingsPreview* preview GUARDED_BY(lock) = nullptr;
    };

    void OnClick(DuiLib::TNotifyUI& msg) override;
    void OnSelectChanged(DuiLib::TNotifyUI& msg);
    void OnItemSelect(DuiLib::TNotifyUI& msg);
    void OnKillFocus(DuiLib::TNotifyUI& msg);
    void OnReply(Reply* r);

    void Listen(bool on);
    void FillPhotoButtons();
    void FillPersonalInfo();
    void FillDays(int count);
    void FillCities(const std::string& province, const std::string& select);
    void SetPageTitle(int page);
    void SelectPhoto(const char* prefix, int n);
    void ShowPhoto(const std::string& path);
    void InitVideoPage();
    void InitVoicePage();
    void StartCameraPreview();
    void StopCameraPreview();
    void StartMicTest();
    void StopMic();
    void DestroyPreviewWnd();
    void CheckNickName();
    void Apply();
    DuiLib::CComboUI* Combo(const char* name);
    void Label(const char* name, const char* text);
    // The nickname check's line: an error in red, an available nickname in green.
    void NickTip(const char* text, bool good = false);
    void SelectTab(int page);

    DuiLib::CTabLayoutUI* m_pTab = nullptr;
    DuiLib::COptionUI* m_pOptions[3] = {nullptr, nullptr, nullptr};
    DuiLib::CProgressUI* m_pMeter = nullptr;
    DuiLib::CEditUI* m_pNickEdit = nullptr;

    int m_nPage = 0;
    bool m_bReady = false;
    bool m_bListening = false;
    bool m_bClosed = false;  // closed (cancelled) since the last OpenPage
    int m_nCloseCode = 0;

    // Working copy of the user's data.
    std::string m_strNickname, m_strBirth, m_strProvince, m_strCity;
    uint32_t m_uid = 0, m_level = 0, m_sex = 3, m_photoid = 0;
    uint32_t m_shownId = 0;  // the beauty id when there is one, as the lists show

    std::unique_ptr<ISettingsPreview> m_pPreview;
    DataCB m_dataCB;
    // The microphone test's level on the meter; made with the window (UI thread), kept until the end.
    std::unique_ptr<CVideoDataCB> m_micLevel;
    Grabbel m_camera;
    Micrel m_mic;

    // Requests of this instance that wait for their reply, by request number (UI thread).
    std::map<int, PendingInfo> m_pending;
    int m_nextRequest = 1;
    const int m_instance;
};
