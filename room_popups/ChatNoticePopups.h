// The room window's three text editors that send styled chat text to the room service: the trumpet (a paid
// broadcast), the temporary room notice and the welcome-words editor, which also builds the chat column's
// welcome-words menu. Each has the chat input (emoticons as images) and the emoticon picker.
//
// Popups are reused: a close request hides the window and keeps its code (1 sent, 2 cancelled); the
// owner destroys the windows with the room window (Destroy). Requests go through PostRoomRequest.
// Threads: the UI thread only.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "GlobalData.h"
#include "RichEditCtrlEx.h"
#include "RoomModalHost.h"
#include "RoomUI.h"
#include "UIlib.h"
#include "UIMenu.h"

namespace roompopups {

// One piece of an editor text: plain GBK bytes, or an emoticon the catalogue knows.
struct EditorPiece {
    bool face = false;
    int id = 0;
    std::string text;  // plain bytes, or the picture's file for a face
};
// Walks `text`: "[:N]" with N decimal digits the catalogue (`faceFile`) gives a file for is an emoticon; every
// other byte is plain (a byte of 0x80 or more together with the next one, so a trail byte is never an opener).
std::vector<EditorPiece> SplitEditorText(const std::string& text, const std::function<std::string(int)>& faceFile);

// The welcome-words menu: menu ids 10..18 the presets, 19 "编辑迎宾语", 0 "取消迎宾语".
constexpr int kWelcomeCancelId = 0;
constexpr int kWelcomePresetFirst = 10;
constexpr int kWelcomeEditId = 19;
const std::vector<std::string>& WelcomePresets();
struct WelcomeMenuEntry {
    std::string text;
    int id = -1;  // -1: a submenu or a separator
    bool checked = false;
    bool locked = false;  // offered although the user may not (or no longer) change the words: greyed
    bool separator = false;
    std::string image;
    std::vector<WelcomeMenuEntry> sub;
};
// mayChange: the room lets the user set welcome words; setBySelf: the room's words are the user's;
// quotaFull: the room's welcome-word quota is used up; stored: roomset/WelcomeWords.
std::vector<WelcomeMenuEntry> BuildWelcomeMenu(bool mayChange, bool setBySelf, bool quotaFull,
                                               const std::string& stored);
// The entries as the popup menu shows them (a submenu is an item with sub-items).
std::vector<DuiLib::ZqMenuItem> FlattenWelcomeMenu(const std::vector<WelcomeMenuEntry>& entries);

// What the three editors share.
class CChatEditorPopup : public DuiLib::WindowImplBase {
public:
    CChatEditorPopup(int limit, int editLimit, DuiLib::RECT inputRect, int inputId, const char* fontSection);
    ~CChatEditorPopup() override;

    void SetOwner(IRoomUI* room, roomui::IRoomModalHost* modal) { m_room = room, m_modal = modal; }
    // Creates the popup (WS_POPUP, w x h, centred on its owner) when it has no window, else brings it up.
    bool ShowPopup(HWND owner, int width, int height);
    void Destroy();
    // The code of the last close request (1 sent, 2 cancelled; 0 none yet).
    UINT LastCloseCode() const { return m_closeCode; }
    roomui::CRichEditCtrlEx& Input() { return m_input; }
    const richedit::CharFormat& Format() const { return m_format; }
    void SetFormat(const richedit::CharFormat& cf);
    const std::string& LastAcceptedText() const { return m_lastText; }
    // Ends the popup's use now: hidden, with its close code (a close request does the same later).
    void Finish(UINT code);

    // Loads the popup's character format from "RoomFontSetupChat" (absent values keep the current ones) and
    // applies it to the input.
    void ApplyChatFontToEditor();
    // Empties the input and writes `text` into it ("[:N]" codes as emoticons); the input gets the focus.
    void RestoreEditorText(const std::string& text);
    // The limit rule after a change of the input (no limit: nothing); returns the counted length.
    int OnInputChange();
    // The emoticon button: the picker above `button`, on the modal stack.
    void PickFace(DuiLib::CControlUI* button);

    void InitWindow() override;
    LRESULT OnClose(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled) override;
    void OnFinalMessage(HWND hWnd) override;

protected:
    DuiLib::CDuiString GetSkinFolder() override { return "skin\\"; }
    DuiLib::UILIB_RESOURCETYPE GetResourceType() const override { return DuiLib::UILIB_ZIP; }
    DuiLib::CDuiString GetZIPFileName() const override { return "VarnetSkin.zip"; }
    // The count label after a change (remaining = limit - min(n, limit)).
    virtual void ShowRemaining(int remaining) { (void)remaining; }
    // Enter in the input.
    virtual void OnEnter() {}
    std::string ReadText();
    ChatFontFormat StyleFormat() const;
    bool ChatReady() const;
    uint32_t RoomId() const { return m_room ? m_room->GetRoomID() : 0; }

    IRoomUI* m_room = nullptr;
    roomui::IRoomModalHost* m_modal = nullptr;
    roomui::CRichEditCtrlEx m_input;
    richedit::CharFormat m_format;
    std::string m_lastText;
    int m_limit;
    int m_editLimit;
    DuiLib::RECT m_inputRect;
    int m_inputId;
    const char* m_fontSection;
    UINT m_closeCode = 0;
    bool m_inChange = false;
};

class CUISendTrumpet : public CChatEditorPopup {
public:
    static constexpr int kWidth = 390, kHeight = 270;
    CUISendTrumpet();
    const char* GetWindowClassName() const override { return "UISendTrumpet"; }
    void InitWindow() override;
    void Notify(DuiLib::TNotifyUI& msg) override;
    // The checks, the request, close with 1; false when refused (the error label says why).
    bool Send();

protected:
    DuiLib::CDuiString GetSkinFile() override { return "PopWndSendTrumpet.xml"; }
    void ShowRemaining(int remaining) override;
    void OnEnter() override { Send(); }

private:
    void ShowError(const char* text);
    DuiLib::CLabelUI* m_count = nullptr;
    DuiLib::CLabelUI* m_error = nullptr;
};

class CUITemporaryNotice : public CChatEditorPopup {
public:
    static constexpr int kWidth = 390, kHeight = 250;
    CUITemporaryNotice();
    const char* GetWindowClassName() const override { return "VarnetPopupWndClassName"; }
    void InitWindow() override;
    void Notify(DuiLib::TNotifyUI& msg) override;
    // The checks and the request; the popup stays open. False when refused (a tip in the own chat view).
    bool Publish();
    // The notice reply arrived: the input is emptied and focused.
    void ClearInput();

protected:
    DuiLib::CDuiString GetSkinFile() override { return "PopWndTemporaryNotice.xml"; }
    void ShowRemaining(int remaining) override;
    void OnEnter() override { Publish(); }

private:
    void Tip(const char* text);
    DuiLib::CLabelUI* m_count = nullptr;
};

class CUISetWelcomWords : public CChatEditorPopup {
public:
    static constexpr int kWidth = 390, kHeight = 250;
    static constexpr UINT_PTR kErrorTimer = 256;
    CUISetWelcomWords();
    const char* GetWindowClassName() const override { return "VarnetRoomPopupWnd"; }
    void InitWindow() override;
    void Notify(DuiLib::TNotifyUI& msg) override;
    LRESULT HandleMessage(UINT uMsg, WPARAM wParam, LPARAM lParam) override;

    void BuildMenuItems(std::vector<WelcomeMenuEntry>& out);
    // The menu's choice: 0 cancel, 10..18 a preset, 19 the editor; others nothing.
    void OnMenuCommand(int id);
    // The editor's OK: the checks, SetWelcomeWords, close with 1; false when refused.
    bool DealClickOK();
    void SetWelcomeWords(const std::string& raw);
    void CancelWelcomeWords();
    void UpdateErrorTip(const char* text);
    void ClearErrorTip();

protected:
    DuiLib::CDuiString GetSkinFile() override { return "PopWndSetWelcomeWords.xml"; }

private:
    DuiLib::CLabelUI* ErrorLabel();
};

}  // namespace roompopups
