// What the public and private microphone windows share: the room's side of their actions, the performer
// menu, the rules of their controls, and the pop-out window that shows a slot's video larger.
//
// Threads: everything here runs on the UI thread, except CPublicMicPopWnd::View, which media threads use
// to hand frames to the pop-out's view (the view takes frames from any thread and drops those that arrive
// while it has no window).
#pragma once

#include "MicDefs.h"
#include "RoomNotify.h"
#include "RoomRecords.h"
#include "RoomUI.h"
#include "UIlib.h"
#include "VideoShowWnd.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

class CVideoGtkPresenter;

// The room window's operations the microphone windows call (UI thread). The left column implements it.
class IMicRoomActions {
public:
    virtual ~IMicRoomActions() = default;
    virtual void SelectGiftTarget(uint32_t uid) = 0;
    virtual void LocateUser(uint32_t uid) = 0;
    virtual void SetChatTarget(uint32_t uid) = 0;
    virtual void OpenStampDialog(uint32_t uid) = 0;
    // The room window's modal stack, for the performer menu.
    virtual void PushModalWnd(HWND wnd) = 0;
    virtual void PopModalWnd(HWND wnd) = 0;
    virtual void ContinueModalCancel() = 0;
};

namespace micwnd {

constexpr const char* kMicLog = "RoomMic.txt";
constexpr const char* kUiLog = "RoomUI.txt";

// A right granted by the user's level or by the user's role in the room (the own form, third value -1).
bool HasOwnRight(int right, uint32_t roomId);
// Right 2 over another performer: (my level over his level and role) or (my role over his level and role).
bool HasRightOver(int right, uint32_t roomId, uint32_t targetUid);

struct MenuEntry {
    int id;
    std::string text;
    bool greyed;
};
// The performer menu's items: 0 gift target, 1 chat target, 2 locate, 3 stamp, 4 take off the microphone.
std::vector<MenuEntry> PerformerMenu(bool own, uint32_t tagId, bool stealth, bool mayTakeOff);

// A strip button's cell in its image: x = column, y = row (18 x 18 cells).
struct Cell {
    int x, y;
};
// button 0 audio, 1 video (image A), 2 pop-out (image B).
Cell StripCell(int button, bool on, bool enabled, int hover, bool pressed);

// The pop-out's video sizes by size mode 0..5.
DuiLib::SIZE PopVideoSize(int mode);

// The private windows' grid: slot i at (240 + 236 (i % 4), 200 + 218 (i / 4)), 236 x 218.
DuiLib::RECT PrivateMicRect(int index);
// A non-client press at (x, y) of a W x H private window selects the performer.
bool PrivateSelects(int x, int y, int w, int h);

// Places a native presenter for `view` on `host` over `rc` when `host` is on the desktop; the presenter
// (null headless) is returned for the caller to keep and release with ReleasePresenter.
std::shared_ptr<CVideoGtkPresenter> AttachPresenter(DuiLib::CWindowWnd& host, CVideoShowWnd& view,
                                                    const DuiLib::RECT& rc);
void MovePresenter(DuiLib::CWindowWnd& host, const std::shared_ptr<CVideoGtkPresenter>& p, const DuiLib::RECT& rc,
                   bool show);
void ReleasePresenter(DuiLib::CWindowWnd& host, CVideoShowWnd& view, std::shared_ptr<CVideoGtkPresenter>& p);

// Queues an opmic request {room, target, optype 1 on / 2 off, mictype 1 public / 2 private}.
bool SendOpMic(uint32_t roomId, uint32_t target, bool on, bool isPublic);
// Queues an opmicattr request {room, target, optype 1 open / 2 close, attr 1 audio / 2 video}.
bool SendOpMicAttr(uint32_t roomId, uint32_t target, bool open, bool video);

// The animated identity picture ("CControlGifBk") belongs to the room window's controls: the room window
// lends its maker and its file setter. Without them the skins' identity control is missing.
struct GifHooks {
    std::function<DuiLib::CControlUI*()> create;
    std::function<void(DuiLib::CControlUI*, const std::string&)> setFile;
};
void SetGifHooks(GifHooks hooks);
DuiLib::CControlUI* CreateGifControl(const char* cls);
void SetGifFile(DuiLib::CControlUI* control, const std::string& file);

// The level or role item of a performer (file and name), for the identity picture.
bool IdentityItem(const RoomUserInfo& user, std::string& file, std::string& name);
// The stamp picture of a tag id; "" when none.
std::string TagFile(uint32_t tagId);

}  // namespace micwnd

// The pop-out window of a microphone slot; it also holds the slot's performer record.
class CPublicMicPopWnd : public DuiLib::WindowImplBase {
public:
    static constexpr int kModes = 6;

    CPublicMicPopWnd() = default;
    ~CPublicMicPopWnd() override;

    // The slot's shared data.
    RoomUserInfo m_user;
    HWND m_hOwner = nullptr;
    IRoomUI* m_pRoom = nullptr;
    IMicRoomActions* m_pActions = nullptr;

    // Creates the window owned by the room window at (x, y), 324 x 279; false when it cannot.
    bool CreatePopup(HWND owner, int x, int y);
    // false: hides the window and destroys its video view's window; true: (re)creates the view and shows.
    void ShowPopup(bool show);
    bool HasWindow() const { return m_hWnd != nullptr; }
    int GetSizeMode() const { return m_nSizeMode; }
    // "btnLarger" and "btnSmaller".
    void Larger();
    void Smaller();
    void ResizeVideo();
    void SetNickName(const std::string& nickname);
    // Gift target, located in the user list, chat target (only with a performer).
    void NodifySelectUser();
    // The performer menu's items for the performer shown now.
    std::vector<DuiLib::ZqMenuItem> UserMenuItems(bool own) const;
    // A chosen item of the performer menu, for performer uid of a public (mictype 1) or private (2) slot.
    void ActOnUserMenu(int item, uint32_t uid, bool isPublic);

    CVideoShowWnd& View() { return m_view; }

    const char* GetWindowClassName() const override { return "VarnetVideoShowMic"; }
    void InitWindow() override;
    void Notify(DuiLib::TNotifyUI& msg) override;
    LRESULT HandleMessage(UINT uMsg, WPARAM wParam, LPARAM lParam) override;
    void OnFinalMessage(HWND hWnd) override;
    LRESULT ResponseDefaultKeyEvent(WPARAM wParam) override;

protected:
    DuiLib::CDuiString GetSkinFolder() override { return "skin\\"; }
    DuiLib::CDuiString GetSkinFile() override { return "VideoShowPublicMicPopup.xml"; }
    DuiLib::UILIB_RESOURCETYPE GetResourceType() const override { return DuiLib::UILIB_ZIP; }
    DuiLib::CDuiString GetZIPFileName() const override { return "VarnetSkin.zip"; }

private:
    DuiLib::RECT VideoRect() const;
    void DestroyView();

    CVideoShowWnd m_view;
    std::shared_ptr<CVideoGtkPresenter> m_presenter;
    int m_nSizeMode = 1;
};
