// The about box.
#include "wizard/CAboutDlg.h"

#include "resources/resource.h"

BEGIN_MESSAGE_MAP(CAboutDlg, CDialog)
    ON_BN_CLICKED(IDOK, &CAboutDlg::OnBnClickedOk)
END_MESSAGE_MAP()

CAboutDlg::CAboutDlg() : CDialog(IDD_ABOUTBOX) {}

CAboutDlg::~CAboutDlg() = default;

void CAboutDlg::DoDataExchange(CDataExchange* dx)
{
    CDialog::DoDataExchange(dx);
}

BOOL CAboutDlg::OnInitDialog()
{
    CDialog::OnInitDialog();
    return TRUE;
}

void CAboutDlg::OnBnClickedOk()
{
    OnOK();
}
