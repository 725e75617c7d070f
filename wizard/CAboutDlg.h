// The about box: the application icon, a few lines of product information
// and an OK button.
#pragma once

#include "platform/window/CDialog.h"

class CAboutDlg : public CDialog {
public:
    CAboutDlg();
    ~CAboutDlg() override;

protected:
    void DoDataExchange(CDataExchange* dx) override;
    BOOL OnInitDialog() override;

    afx_msg void OnBnClickedOk();
    DECLARE_MESSAGE_MAP()
};
