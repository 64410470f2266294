#include "SettingsPreview.h"

#include "MicPopWnd.h"
#include "VideoGtkPresenter.h"

using namespace DuiLib;

namespace roomui {

CVideoShowPreview::~CVideoShowPreview() {
    Destroy();
}

bool CVideoShowPreview::Create(HWND parent, const RECT& rc, const std::string& bkImage) {
    m_parent = parent;
    m_rc = rc;
    m_bk = bkImage;
    if (m_view.GetHWND()) return true;
    if (m_view.Create(parent, &rc, bkImage) != 1) return false;
    if (CWindowWnd* host = CWindowWnd::FromHandle(parent)) m_presenter = micwnd::AttachPresenter(*host, m_view, rc);
    return true;
}

void CVideoShowPreview::Destroy() {
    if (CWindowWnd* host = CWindowWnd::FromHandle(m_parent)) micwnd::ReleasePresenter(*host, m_view, m_presenter);
    m_view.SetPresenter(nullptr);
    m_presenter.reset();
    m_view.Destroy();
}

void CVideoShowPreview::SetFrameFormat(unsigned width, unsigned height, int bits) {
    if (!m_view.GetHWND() && m_parent) Create(m_parent, m_rc, m_bk);
    m_view.SetFrameFormat(int(width), int(height), bits);
}

void CVideoShowPreview::Show() {
    if (!m_view.GetHWND() && m_parent) Create(m_parent, m_rc, m_bk);
    if (CWindowWnd* host = CWindowWnd::FromHandle(m_parent)) micwnd::MovePresenter(*host, m_presenter, m_rc, true);
    m_view.Invalidate();
}

void UseVideoShowPreview() {
    CRoomConfigSetDlg::SetPreviewFactory([] { return std::make_unique<CVideoShowPreview>(); });
}

}  // namespace roomui
