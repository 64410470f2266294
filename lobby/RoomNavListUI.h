// The room directory as a two-level tree in a list: categories as folder rows that open and close, their
// entries as indented rows, each with an optional icon, a text and an online count; the wheel scrolls with
// momentum. UI thread only.
#pragma once

#include <memory>
#include <vector>

#include <UIlib.h>

using namespace DuiLib;

class CItemNode {
public:
    virtual ~CItemNode();
    // Depth-first, each node before its children; the first whose key equals `key`.
    CItemNode* FindChild(const CDuiString& key);
    CItemNode* LastDescendant();

    std::vector<CItemNode*> children;   // owned
    CItemNode* parent = nullptr;
    int level = -1;
    bool folder = false;
    bool expanded = false;
    bool expandable = false;
    CDuiString text, countText, key, icon, selectedIcon;
    CControlUI* row = nullptr;          // the list row showing the node; none for the root
};

// The description of a row handed to AddNode.
struct NavNodeData {
    BYTE folder = 0;
    BYTE noExpander = 0;
    CDuiString key, icon, selectedIcon, text, countText;
};

class CRoomNavListUI : public CListUI {
public:
    enum { kScrollTimer = 10, kScrollPeriodMs = 50, kRowHeight = 32 };

    explicit CRoomNavListUI(CPaintManagerUI* manager);
    ~CRoomNavListUI() override;
    const char* GetClass() const override { return "RoomNavListUI"; }

    // The new node under `parent` (the root when none), or none when its row cannot be made or inserted.
    CItemNode* AddNode(const NavNodeData& data, CItemNode* parent = nullptr);
    bool SetOnlineCount(const CDuiString& key, const CDuiString& countText);
    CItemNode* FindNode(const CDuiString& key);
    void ExpandNode(CItemNode* node, bool expand);
    void ExpandTopLevel();
    void SetSelectedNode(CItemNode* node);
    CItemNode* GetSelectedNode() const { return m_pSelected; }
    bool RemoveNode(CItemNode* node);
    CItemNode* GetRoot() const { return m_pRoot.get(); }

    bool Add(CControlUI* pControl) override;
    bool AddAt(CControlUI* pControl, int iIndex) override;
    bool Remove(CControlUI* pControl, bool bDoNotDestroy = false) override;
    bool RemoveAt(int iIndex, bool bDoNotDestroy = false) override;
    void RemoveAll() override;
    void DoEvent(TEventUI& event) override;

    // Wheel momentum state (pixels per tick at full strength, glide length and ticks left).
    int GetScrollSpeed() const { return m_nScrollSpeed; }
    UINT GetScrollTicks() const { return m_uScrollTicks; }
    UINT GetScrollTicksLeft() const { return m_uScrollTicksLeft; }

private:
    void OnWheel(int direction);
    void OnScrollTick();
    void StopScroll();
    void SetItemText(CItemNode* node);
    void RemoveRow(CControlUI* row);
    static bool IsRowClass(CControlUI* control);

    int m_nScrollSpeed = 0;
    UINT m_uScrollTicks = 0;
    UINT m_uScrollTicksLeft = 0;
    RECT m_rcRowPadding{10, 0, 0, 0};
    int m_nIndent = 10;
    CDuiString m_sExpandMarker = "<i list-Expand.png>";
    CDuiString m_sCollapseMarker = "<i list-Collapse.png>";
    CDialogBuilder m_builder;
    CPaintManagerUI* m_pManagerGiven;
    std::unique_ptr<CItemNode> m_pRoot;
    CItemNode* m_pSelected = nullptr;
};
