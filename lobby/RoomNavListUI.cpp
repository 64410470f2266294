#include "RoomNavListUI.h"

#include <algorithm>
#include <cmath>

using namespace DuiLib;

namespace {
const char kRowSkin[] = "RoomNavListSkin.xml";

CItemNode* NodeOf(CControlUI* row) {
    return row ? reinterpret_cast<CItemNode*>(row->GetTag()) : nullptr;
}

CLabelUI* AsLabel(CControlUI* c) {
    return c ? static_cast<CLabelUI*>(c->GetInterface("Label")) : nullptr;
}

CButtonUI* AsButton(CControlUI* c) {
    return c ? static_cast<CButtonUI*>(c->GetInterface("Button")) : nullptr;
}

// (left / total)^2 of speed, truncated toward zero.
int Glide(int speed, UINT left, UINT total) {
    if (total == 0) return 0;
    double f = (double)left / (double)total;
    return (int)(speed * f * f);
}
}  // namespace

// A row of the tree: empty until it is first laid out in the list's visible part (or its parts are asked for),
// then filled from the row skin; shown or hidden in batches without a layout per row.
class CNavRowUI : public CListContainerElementUI {
public:
    explicit CNavRowUI(CRoomNavListUI* list) : m_list(list) {}
    bool IsFilled() const { return m_filled; }
    void Fill() {
        if (m_filled) return;
        m_filled = true;
        if (auto* node = reinterpret_cast<CItemNode*>(GetTag())) m_list->FillRow(this, node);
    }
    void SetPos(RECT rc, bool bNeedInvalidate) override {
        if (!m_filled && m_pParent) {
            const RECT& shown = m_pParent->GetPos();
            if (rc.bottom > shown.top && rc.top < shown.bottom) Fill();
        }
        CListContainerElementUI::SetPos(rc, bNeedInvalidate);
    }
    void SetVisible(bool bVisible) override {
        if (!m_list->m_bBatch) {
            CListContainerElementUI::SetVisible(bVisible);
            return;
        }
        // The list lays out and repaints once for the whole batch.
        if (m_bVisible == bVisible) return;
        m_bVisible = bVisible;
        m_bFocused = false;
        if (!bVisible && m_pManager && m_pManager->GetFocus() == this) m_pManager->SetFocus(nullptr);
        for (CControlUI* p : m_items) p->SetInternVisible(IsVisible());
    }
    // Takes the contents of a row made from the skin (its parts and spacing); the list lays the row out next.
    void TakeParts(CContainerUI* skin) {
        SetChildPadding(skin->GetChildPadding());
        while (skin->GetCount() > 0) {
            CControlUI* part = skin->GetItemAt(0);
            skin->RemoveAt(0, true);
            m_items.push_back(part);
            if (m_pManager) m_pManager->InitControls(part, this);
            else part->SetManager(nullptr, this, false);
            if (!IsVisible()) part->SetInternVisible(false);
        }
    }
    // The count label's tooltip: the count the row was added with.
    CDuiString m_countTip;

private:
    CRoomNavListUI* m_list;
    bool m_filled = false;
};

// ---- nodes

CItemNode::~CItemNode() {
    for (CItemNode* c : children) delete c;
}

CItemNode* CItemNode::FindChild(const CDuiString& k) {
    for (CItemNode* c : children) {
        if (c->key == k) return c;
        if (CItemNode* found = c->FindChild(k)) return found;
    }
    return nullptr;
}

CItemNode* CItemNode::LastDescendant() {
    CItemNode* n = this;
    while (!n->children.empty()) n = n->children.back();
    return n;
}

// ---- list

CRoomNavListUI::CRoomNavListUI(CPaintManagerUI* manager) : m_pManagerGiven(manager), m_pRoot(new CItemNode) {
    m_pRoot->expanded = true;
    m_pRoot->expandable = true;
    SetItemShowHtml(true);
}

CRoomNavListUI::~CRoomNavListUI() {
    if (m_pManager) m_pManager->KillTimer(this, kScrollTimer);
    m_pSelected = nullptr;
    // Rows go with the base list; the tree here.
    m_pRoot.reset();
}

bool CRoomNavListUI::IsRowClass(CControlUI* control) {
    return control && EqualNoCase(control->GetClass(), "ListContainerElementUI");
}

namespace {
// The named part of a row whose contents are made; none before.
CControlUI* FilledPart(CControlUI* row, const char* name) {
    auto* nav = dynamic_cast<CNavRowUI*>(row);
    if (nav && !nav->IsFilled()) return nullptr;
    auto* c = row ? static_cast<CContainerUI*>(row->GetInterface("IContainer")) : nullptr;
    return c ? c->FindSubControl(name) : nullptr;
}
}  // namespace

CControlUI* CRoomNavListUI::RowPart(CItemNode* node, const char* name) {
    if (!node || !node->row) return nullptr;
    if (auto* nav = dynamic_cast<CNavRowUI*>(node->row)) nav->Fill();
    return FilledPart(node->row, name);
}

bool CRoomNavListUI::RowSkinReady() {
    if (m_iRowSkin != 0) return m_iRowSkin > 0;
    CPaintManagerUI* pm = m_pManager ? m_pManager : m_pManagerGiven;
    CControlUI* row = m_builder.Create(kRowSkin, nullptr, nullptr, pm);
    if (!row && !m_builder.GetMarkup()->IsValid()) return false;  // not loaded: tried again with the next row
    m_iRowSkin = IsRowClass(row) ? 1 : -1;
    delete row;
    return m_iRowSkin > 0;
}

void CRoomNavListUI::FillRow(CNavRowUI* row, CItemNode* node) {
    CPaintManagerUI* pm = m_pManager ? m_pManager : m_pManagerGiven;
    CControlUI* made = m_builder.GetMarkup()->IsValid() ? m_builder.Create(nullptr, pm) : nullptr;
    if (auto* skin = made ? static_cast<CContainerUI*>(made->GetInterface("IContainer")) : nullptr)
        row->TakeParts(skin);
    delete made;

    if (CButtonUI* icon = AsButton(row->FindSubControl("ItemIcon"))) {
        CControlUI* layout = row->FindSubControl("ItemIconLayout");
        if (node->folder || node->icon.empty()) {
            if (layout) layout->SetVisible(false);
        } else {
            icon->SetNormalImage(node->icon.c_str());
        }
        if (node == m_pSelected) icon->SetNormalImage(node->selectedIcon.c_str());
        icon->SetTag(reinterpret_cast<UINT_PTR>(row));
        // Pressing the icon acts on the row.
        icon->OnEvent.push_back([icon](void* p) {
            auto* ev = static_cast<TEventUI*>(p);
            if (ev->Type == UIEVENT_BUTTONDOWN)
                if (auto* target = reinterpret_cast<CControlUI*>(icon->GetTag())) target->Event(*ev);
            return true;
        });
    }
    SetItemText(node);
    if (CLabelUI* label = AsLabel(row->FindSubControl("ItemTextLabel"))) {
        if (node->folder) label->SetFixedWidth(0);
        label->SetToolTip(node->text.c_str());
        if (node == m_pSelected) label->SetTextColor(0xFF0000);
    }
    if (CLabelUI* count = AsLabel(row->FindSubControl("OnlineCNTLabel"))) {
        count->SetText(node->countText.c_str());
        count->SetToolTip(row->m_countTip.c_str());
        if (node->folder) count->SetFixedWidth(0);
        count->SetShowHtml(true);
    }
}

void CRoomNavListUI::SetItemText(CItemNode* node) {
    CLabelUI* label = AsLabel(FilledPart(node->row, "ItemTextLabel"));
    if (!label) return;
    CDuiString text;
    if (node->expandable)
        text = (node->expanded ? m_sExpandMarker : m_sCollapseMarker) + CDuiString::Format("<x %d>", m_nIndent);
    // The directory's names are text: escaped for the brackets the label reads (braces when the text starts
    // with one).
    const std::string& name = node->text;
    const bool angle = !text.empty() || name.empty() || name[0] != '{';
    text += CRenderEngine::EscapeHtmlText(name, angle);
    label->SetShowHtml(true);
    label->SetText(text.c_str());
}

CItemNode* CRoomNavListUI::AddNode(const NavNodeData& data, CItemNode* parent) {
    if (!parent) parent = m_pRoot.get();
    if (!RowSkinReady()) return nullptr;
    auto* row = new CNavRowUI(this);
    auto* node = new CItemNode;
    node->level = parent->level + 1;
    node->folder = data.folder != 0;
    node->expanded = false;
    node->expandable = data.folder && !data.noExpander;
    node->key = data.key;
    node->icon = data.icon;
    node->selectedIcon = data.selectedIcon;
    node->text = data.text;
    node->countText = data.countText;
    node->row = row;
    row->m_countTip = data.countText;

    if (!parent->expanded || (parent != m_pRoot.get() && parent->row && !parent->row->IsVisible()))
        row->SetVisible(false);
    // The level's indent moves the row's content; its highlight spans the whole width.
    RECT pad = m_rcRowPadding;
    pad.left += m_nIndent * node->level;
    row->SetInset(pad);
    row->SetFixedHeight(kRowHeight);
    row->SetTag(reinterpret_cast<UINT_PTR>(node));

    // After the parent's last descendant: a directory filled in order appends every row.
    CControlUI* before = !parent->children.empty() ? parent->LastDescendant()->row
                         : parent == m_pRoot.get() ? nullptr
                                                   : parent->row;
    int index = 0;
    if (before) index = !m_items.empty() && m_items.back() == before ? GetCount() : GetItemIndex(before) + 1;
    if (index < 0 || !CListUI::AddAt(row, index)) {
        delete row;
        delete node;
        return nullptr;
    }
    parent->children.push_back(node);
    node->parent = parent;
    std::string key = node->key.c_str();
    if (!m_byKey.emplace(key, node).second) m_bSharedKeys = true;
    return node;
}

bool CRoomNavListUI::SetOnlineCount(const CDuiString& key, const CDuiString& countText) {
    CItemNode* node = FindNode(key);
    if (!node || !node->row) return false;
    node->countText = countText;
    if (CLabelUI* count = AsLabel(FilledPart(node->row, "OnlineCNTLabel"))) {
        if (node->folder) count->SetFixedWidth(0);
        count->SetShowHtml(true);
        count->SetText(countText.c_str());
    }
    return true;
}

CItemNode* CRoomNavListUI::FindNode(const CDuiString& key) {
    if (!m_pRoot) return nullptr;
    if (m_pRoot->key == key) return m_pRoot.get();
    // Nodes sharing a key: the first in depth-first order, as the tree gives it.
    if (m_bSharedKeys) return m_pRoot->FindChild(key);
    auto it = m_byKey.find(key.c_str());
    return it == m_byKey.end() ? nullptr : it->second;
}

void CRoomNavListUI::Forget(CItemNode* node) {
    auto it = m_byKey.find(node->key.c_str());
    if (it == m_byKey.end() || it->second != node) return;
    m_byKey.erase(it);
    if (m_bSharedKeys)
        if (CItemNode* other = m_pRoot->FindChild(node->key)) m_byKey.emplace(node->key.c_str(), other);
}

void CRoomNavListUI::ExpandNode(CItemNode* node, bool expand) {
    if (!node || node == m_pRoot.get() || !(m_pManager || m_pManagerGiven) || node->expanded == expand) return;
    node->expanded = expand;
    if (node->expandable) SetItemText(node);
    if (!node->row || !node->row->IsVisible() || node->children.empty()) return;
    int first = GetItemIndex(node->children.front()->row);
    int last = GetItemIndex(node->LastDescendant()->row);
    if (first < 0 || last < first) return;
    bool changed = false;
    m_bBatch = true;
    for (int i = first; i <= last; ++i) {
        CControlUI* row = GetItemAt(i);
        if (!IsRowClass(row)) continue;
        const bool was = row->IsVisible();
        if (!expand) {
            row->SetVisible(false);
        } else {
            CItemNode* n = NodeOf(row);
            CItemNode* p = n ? n->parent : nullptr;
            if (p && p->expanded && (p == m_pRoot.get() || (p->row && p->row->IsVisible()))) row->SetVisible(true);
        }
        changed = changed || was != row->IsVisible();
    }
    m_bBatch = false;
    if (changed) NeedUpdate();
}

void CRoomNavListUI::ExpandTopLevel() {
    if (!m_pRoot) return;
    for (CItemNode* c : m_pRoot->children)
        if (c->expandable) ExpandNode(c, true);
}

void CRoomNavListUI::SetSelectedNode(CItemNode* node) {
    if (!(m_pManager || m_pManagerGiven)) return;
    if (m_pSelected) {
        if (CLabelUI* label = AsLabel(FilledPart(m_pSelected->row, "ItemTextLabel"))) label->SetTextColor(0);
        if (CButtonUI* icon = AsButton(FilledPart(m_pSelected->row, "ItemIcon")))
            icon->SetNormalImage(m_pSelected->icon.c_str());
    }
    if (node) {
        if (CLabelUI* label = AsLabel(FilledPart(node->row, "ItemTextLabel"))) label->SetTextColor(0xFF0000);
        if (CButtonUI* icon = AsButton(FilledPart(node->row, "ItemIcon")))
            icon->SetNormalImage(node->selectedIcon.c_str());
    }
    m_pSelected = node;
}

void CRoomNavListUI::RemoveRow(CControlUI* row) {
    int i = GetItemIndex(row);
    if (i >= 0) CListUI::RemoveAt(i);
}

bool CRoomNavListUI::RemoveNode(CItemNode* node) {
    if (!node || node == m_pRoot.get()) return false;
    while (!node->children.empty()) RemoveNode(node->children.back());
    if (node->row) {
        node->row->SetTag(0);
        RemoveRow(node->row);
        node->row = nullptr;
    }
    if (node->parent) {
        auto& siblings = node->parent->children;
        siblings.erase(std::remove(siblings.begin(), siblings.end(), node), siblings.end());
    }
    if (m_pSelected == node) m_pSelected = nullptr;
    Forget(node);
    delete node;
    return true;
}

bool CRoomNavListUI::Add(CControlUI* pControl) {
    return IsRowClass(pControl) && CListUI::Add(pControl);
}

bool CRoomNavListUI::AddAt(CControlUI* pControl, int iIndex) {
    return IsRowClass(pControl) && CListUI::AddAt(pControl, iIndex);
}

bool CRoomNavListUI::Remove(CControlUI* pControl, bool bDoNotDestroy) {
    if (!IsRowClass(pControl)) return false;
    if (CItemNode* node = NodeOf(pControl)) return RemoveNode(node);
    return CListUI::Remove(pControl, bDoNotDestroy);
}

bool CRoomNavListUI::RemoveAt(int iIndex, bool bDoNotDestroy) {
    CControlUI* row = GetItemAt(iIndex);
    if (!IsRowClass(row)) return false;
    if (CItemNode* node = NodeOf(row)) return RemoveNode(node);
    return CListUI::RemoveAt(iIndex, bDoNotDestroy);
}

void CRoomNavListUI::RemoveAll() {
    if (!m_pRoot) return;
    CListUI::RemoveAll();
    m_pSelected = nullptr;
    m_byKey.clear();
    m_bSharedKeys = false;
    m_pRoot.reset(new CItemNode);
    m_pRoot->expanded = true;
    m_pRoot->expandable = true;
}

void CRoomNavListUI::OnWheel(int direction) {
    int carried = m_uScrollTicks == 0 ? 0 : Glide(m_nScrollSpeed, m_uScrollTicksLeft, m_uScrollTicks);
    if (direction == 0) m_nScrollSpeed = carried + (m_nScrollSpeed >= 0 ? 8 : 12);
    else if (direction == 1) m_nScrollSpeed = carried - (m_nScrollSpeed <= 0 ? 8 : 12);
    m_nScrollSpeed = std::clamp(m_nScrollSpeed, -100, 100);
    m_uScrollTicks = m_uScrollTicksLeft = 5u * (UINT)std::sqrt((double)std::abs(m_nScrollSpeed));
    if (CPaintManagerUI* pm = m_pManager) pm->SetTimer(this, kScrollTimer, kScrollPeriodMs);
}

void CRoomNavListUI::StopScroll() {
    m_nScrollSpeed = 0;
    m_uScrollTicks = m_uScrollTicksLeft = 0;
    if (m_pManager) m_pManager->KillTimer(this, kScrollTimer);
}

void CRoomNavListUI::OnScrollTick() {
    if (m_uScrollTicksLeft == 0) return StopScroll();
    --m_uScrollTicksLeft;
    int step = Glide(m_nScrollSpeed, m_uScrollTicksLeft, m_uScrollTicks);
    SIZE pos = GetScrollPos();
    SIZE range = GetScrollRange();
    if ((step > 0 && pos.cy != 0) || (step < 0 && pos.cy != range.cy)) {
        SetScrollPos({pos.cx, pos.cy - step});
        return;
    }
    StopScroll();
}

void CRoomNavListUI::DoEvent(TEventUI& event) {
    if (event.Type == UIEVENT_SCROLLWHEEL) {
        OnWheel((int)LOWORD(event.wParam));
        return;
    }
    if (event.Type == UIEVENT_TIMER && event.wParam == kScrollTimer) {
        OnScrollTick();
        return;
    }
    if (!IsMouseEnabled() && event.Type > UIEVENT__MOUSEBEGIN && event.Type < UIEVENT__MOUSEEND) {
        if (m_pParent) m_pParent->DoEvent(event);
        else CVerticalLayoutUI::DoEvent(event);
        return;
    }
    CListUI::DoEvent(event);
}

namespace {
CDuiString CountText(int n) {
    return "[" + std::to_string(n) + "]";
}
}  // namespace

void FillRoomDirectory(CRoomNavListUI& list, std::vector<CCategoryInfo>& categories) {
    for (CCategoryInfo& c : categories) {
        NavNodeData d;
        d.key = std::to_string(c.uniqueId);
        d.folder = c.items.empty() ? 0 : 1;
        d.text = c.items.empty() ? "     " + c.name : c.name;
        if (c.type == 1) d.countText = CountText(c.RecountOnline());
        else if (c.type == 5) d.countText = CountText(c.count);
        CItemNode* parent = list.AddNode(d, nullptr);
        if (!parent) continue;
        const bool rooms = c.type == 1;
        for (const CategoryItem& i : c.items) {
            NavNodeData e;
            e.key = std::to_string(i.uniqueId);
            e.text = i.name;
            e.icon = rooms ? "MusicNormal.png" : "IENormal.png";
            e.selectedIcon = rooms ? "MusicClick.png" : "IEClick.png";
            if (c.type == 1 || c.type == 5) e.countText = CountText(i.cnt);
            list.AddNode(e, parent);
        }
    }
}

void ShowDirectoryCounts(CRoomNavListUI& list, std::vector<CCategoryInfo>& categories) {
    for (CCategoryInfo& c : categories) {
        if (c.type == 5) {
            list.SetOnlineCount(std::to_string(c.uniqueId), CountText(c.count));
        } else if (c.type == 1) {
            list.SetOnlineCount(std::to_string(c.uniqueId), CountText(c.RecountOnline()));
            for (const CategoryItem& i : c.items) list.SetOnlineCount(std::to_string(i.uniqueId), CountText(i.cnt));
        }
    }
}
