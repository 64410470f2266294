// The picker controls of the room window: an animated picture that can act as a button (CControlGifBk),
// the emoticon grid and its cells that animate while hovered, and the gift grid and its cells that report
// hovering. UI thread only.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "UIlib.h"

namespace roomui {

constexpr UINT kGifTimerId = 10000;

// A decoded emoticon: frames and their delays (ms, at least 50). The panel's cache owns it; cells borrow it
// and keep their own frame index.
struct FaceImage {
    DuiLib::CGifHandler gif;
    std::vector<int> delays;
    int FrameCount() const { return gif.GetFrameCount(); }
};
// Decodes a face file (GBK path); nullptr when it does not load.
std::unique_ptr<FaceImage> LoadFaceImage(const std::string& gbkPath);
// Frame delays as the loader gives them: hundredths of a second times 10, at least 50; 50 when unknown.
int FaceFrameDelay(int rawMs);

// Where a frame of w x h goes in box: its own size centred when it fits both ways, else scaled with its
// aspect kept and centred.
DuiLib::RECT FitRect(const DuiLib::RECT& box, int w, int h);

class CControlGifBk : public DuiLib::CControlUI {
public:
    ~CControlGifBk() override;
    const char* GetClass() const override { return "CControlGifBk"; }
    void* GetInterface(const char* pstrName) override;
    void SetAttribute(const char* pstrName, const char* pstrValue) override;
    void SetGifFile(const char* path);
    void DoInit() override;
    void SetVisible(bool bVisible = true) override;
    UINT GetControlFlags() const override;
    void DoEvent(DuiLib::TEventUI& event) override;
    void PaintBkImage(DuiLib::HDC hDC) override;

    DuiLib::CGifHandler* GetGif() const { return m_pGif; }
    DuiLib::RECT GetInsets() const { return m_rcInset; }

private:
    void StartTimer();
    DuiLib::CGifHandler* m_pGif = nullptr;
    DuiLib::RECT m_rcInset;
    bool m_bHandCursor = false;
};

class CControlFaceSelectItem : public DuiLib::CButtonUI {
public:
    const char* GetClass() const override { return "CControlFaceSelectItem"; }
    void* GetInterface(const char* pstrName) override;
    void SetImage(const FaceImage* image) {
        m_pImage = image;
        m_nFrame = 0;
    }
    const FaceImage* GetImage() const { return m_pImage; }
    void SetInsets(int l, int t, int r, int b) { m_rcInset = DuiLib::RECT{l, t, r, b}; }
    int GetFrameIndex() const { return m_nFrame; }
    void SetItemId(int id) { m_nItemId = id; }
    void DoPaint(DuiLib::HDC hDC, const DuiLib::RECT& rcPaint) override;
    void DoEvent(DuiLib::TEventUI& event) override;

private:
    int CurrentDelay() const;
    const FaceImage* m_pImage = nullptr;  // borrowed from the panel's cache
    int m_nFrame = 0;
    int m_nItemId = 0;
    DuiLib::RECT m_rcInset;
};

class CControlGiftSelectItem : public DuiLib::CButtonUI {
public:
    const char* GetClass() const override { return "CControlGiftSelectItem"; }
    void* GetInterface(const char* pstrName) override;
    void PaintStatusImage(DuiLib::HDC hDC) override;
    void DoEvent(DuiLib::TEventUI& event) override;
    std::string m_sGiftImage;
    int m_nGiftId = -1;
    int m_nExtra = 0;
};

// Tile layout whose column count is (inner width - 10) / item width, at least 1, and whose tiles are the cells
// between its grid lines, each item centred in its tile.
class CPickerGridUI : public DuiLib::CTileLayoutUI {
public:
    void SetPos(DuiLib::RECT rc, bool bNeedInvalidate = true) override;
    // Positions of the grid lines (for painting and tests): y of horizontal, x of vertical lines.
    void GridLines(std::vector<int>& ys, std::vector<int>& xs, int& hRight) const;

protected:
    virtual int RowPitch() const = 0;
    virtual int ColumnPitch() const = 0;
    virtual int RightCut() const = 0;
    void PaintGrid(DuiLib::HDC hDC);
};

class CControlFaceSelect : public CPickerGridUI {
public:
    const char* GetClass() const override { return "CControlFaceSelect"; }
    void* GetInterface(const char* pstrName) override;
    void PaintBkImage(DuiLib::HDC hDC) override { PaintGrid(hDC); }

protected:
    int RowPitch() const override { return GetItemSize().cy; }
    int ColumnPitch() const override { return GetItemSize().cx; }
    int RightCut() const override { return 12; }
};

class CControlGiftSelect : public CPickerGridUI {
public:
    const char* GetClass() const override { return "CControlGiftSelect"; }
    void* GetInterface(const char* pstrName) override;
    void PaintBkImage(DuiLib::HDC hDC) override { PaintGrid(hDC); }

protected:
    int RowPitch() const override { return 57; }
    int ColumnPitch() const override;
    int RightCut() const override { return 13; }
};

}  // namespace roomui
