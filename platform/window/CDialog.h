// CDialog: a dialog built from a template of the program's resources, run
// modally with DoModal (a modal loop that keeps dispatching posted messages)
// and exchanging data with its controls (DoDataExchange, DDX_*).
#pragma once

#include "platform/window/Controls.h"
#include "platform/window/CWnd.h"

class CDataExchange {
public:
    CDataExchange(CWnd* dialog, BOOL saveAndValidate) : m_bSaveAndValidate(saveAndValidate), m_pDlgWnd(dialog) {}
    BOOL m_bSaveAndValidate;  // TRUE: from the controls to the members
    CWnd* m_pDlgWnd;
    HWND PrepareCtrl(int id);
    void Fail();
    bool m_failed = false;
};

// Binds a control of the dialog to a member object: the object takes over
// the control (it is subclassed) at the first exchange.
void DDX_Control(CDataExchange* pDX, int id, CWnd& control);
// A check box and an int, 0 or 1 (2 for an indeterminate state).
void DDX_Check(CDataExchange* pDX, int id, int& value);

class CDialog : public CWnd {
public:
    CDialog();
    explicit CDialog(UINT templateId, CWnd* parent = nullptr);
    ~CDialog() override;

    // Runs the dialog modally; the result of EndDialog, -1 when the dialog
    // cannot be made (no template) or its loop gives up.
    virtual INT_PTR DoModal();
    // A modeless dialog. CWnd's Create stays callable beside it.
    using CWnd::Create;
    virtual BOOL Create(UINT templateId, CWnd* parent = nullptr);
    void EndDialog(int result);
    virtual BOOL OnInitDialog();
    virtual void OnOK();
    virtual void OnCancel();
    BOOL UpdateData(BOOL saveAndValidate = TRUE);
    BOOL PreTranslateMessage(MSG* msg) override;
    void NextDlgCtrl();

    UINT m_nIDHelp = 0;
    UINT m_nIDTemplate = 0;
    CWnd* m_pParentWnd = nullptr;

protected:
    virtual void DoDataExchange(CDataExchange* pDX);
    BOOL OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) override;
    void PostNcDestroy() override;
    DECLARE_MESSAGE_MAP()

private:
    BOOL CreateFromTemplate(HWND owner, bool modal);
    HFONT m_font = nullptr;
};
