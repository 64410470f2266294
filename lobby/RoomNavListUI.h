// The room directory as a two-level tree in a list: categories as folder rows that open and close, their
// entries as indented rows, each with an optional icon, a text and an online count; the wheel scrolls with
// momentum. UI thread only.
#pragma once

#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include <UIlib.h>

#include "CategoryRecords.h"

class CNavRowUI;

class CItemNode {
public:
    virtual ~CItemNode();
    // Depth-first, each node before its children; the first whose key equals `key`.
    CItemNode* FindChild(const DuiLib::CDuiString& key);
    CItemNode* LastDescendant();

    std::vector<CItemNode*> children;  // owned
    CItemNode* parent = nullptr;
    int level = -1;
    bool folder = false;
    bool expanded = false;
    bool expandable = false;
    DuiLib::CDuiString text, countText, key, icon, selectedIcon;
    // The list row showing the node; none for the root. Its contents (icon and labels) are made from the row
    // skin when the row is first laid out in the list's visible part, or asked for by RowPart.
    DuiLib::CControlUI* row = nullptr;
};

// The description of a row handed to AddNode.
struct NavNodeData {
    BYTE folder = 0;
    BYTE noExpander = 0;
    DuiLib::CDuiString key, icon, selectedIcon, text, countText;
};

class CRoomNavListUI : public DuiLib::CListUI {
public:
    enum { kScrollTimer = 10, kScrollPeriodMs = 50, kRowHeight = 32 };

    explicit CRoomNavListUI(DuiLib::CPaintManagerUI* manager);
    ~CRoomNavListUI() override;
    const char* GetClass() const override { return "RoomNavListUI"; }

    // The new node under `parent` (the root when none), or none when its row cannot be made or inserted.
    CItemNode* AddNode(const NavNodeData& data, CItemNode* parent = nullptr);
    bool SetOnlineCount(const DuiLib::CDuiString& key, const DuiLib::CDuiString& countText);
    CItemNode* FindNode(const DuiLib::CDuiString& key);
    void ExpandNode(CItemNode* node, bool expand);
    void ExpandTopLevel();
    void SetSelectedNode(CItemNode* node);
    CItemNode* GetSelectedNode() const { return m_pSelected; }
    bool RemoveNode(CItemNode* node);
    CItemNode* GetRoot() const { return m_pRoot.get(); }
    // The control of the node's row named `name` ("ItemTextLabel", "OnlineCNTLabel", "ItemIcon", ...), the
    // row's contents made first when they are not yet; none when the row has no such control.
    DuiLib::CControlUI* RowPart(CItemNode* node, const char* name);

    bool Add(DuiLib::CControlUI* pControl) override;
    bool AddAt(DuiLib::CControlUI* pControl, int iIndex) override;
    bool Remove(DuiLib::CControlUI* pControl, bool bDoNotDestroy = false) override;
    bool RemoveAt(int iIndex, bool bDoNotDestroy = false) override;
    void RemoveAll() override;
    void DoEvent(DuiLib::TEventUI& event) override;

    // Wheel momentum state (pixels per tick at full strength, glide length and ticks left).
    int GetScrollSpeed() const { return m_nScrollSpeed; }
    UINT GetScrollTicks() const { return m_uScrollTicks; }
    UINT GetScrollTicksLeft() const { return m_uScrollTicksLeft; }

private:
    friend class CNavRowUI;
    void OnWheel(int direction);
    // Makes the contents of a row from the row skin and the node's texts, icon and state.
    void FillRow(CNavRowUI* row, CItemNode* node);
    // The contents of the row skin, made once to check it; false when the skin has no list row.
    bool RowSkinReady();
    void OnScrollTick();
    void StopScroll();
    void SetItemText(CItemNode* node);
    void RemoveRow(DuiLib::CControlUI* row);
    static bool IsRowClass(DuiLib::CControlUI* control);
    void Forget(CItemNode* node);

    int m_nScrollSpeed = 0;
    UINT m_uScrollTicks = 0;
    UINT m_uScrollTicksLeft = 0;
    DuiLib::RECT m_rcRowPadding{10, 0, 0, 0};
    int m_nIndent = 10;
    DuiLib::CDuiString m_sExpandMarker = "<i list-Expand.png>";
    DuiLib::CDuiString m_sCollapseMarker = "<i list-Collapse.png>";
    DuiLib::CDialogBuilder m_builder;
    int m_iRowSkin = 0;  // 0 not loaded, 1 a list row, -1 none
    DuiLib::CPaintManagerUI* m_pManagerGiven;
    std::unique_ptr<CItemNode> m_pRoot;
    CItemNode* m_pSelected = nullptr;
    // key -> the node FindNode gives (the first in depth-first order); m_bSharedKeys once two nodes had one key.
    std::unordered_map<std::string, CItemNode*> m_byKey;
    bool m_bSharedKeys = false;
    bool m_bBatch = false;  // rows shown or hidden together: one layout and repaint for all
};

// The directory's rows for the categories, in order (after what the list holds), and their online counts
// shown ("[n]": rooms and official categories); linear in the entries.
void FillRoomDirectory(CRoomNavListUI& list, std::vector<CCategoryInfo>& categories);
void ShowDirectoryCounts(CRoomNavListUI& list, std::vector<CCategoryInfo>& categories);
