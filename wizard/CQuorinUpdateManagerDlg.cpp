#include "wizard/CQuorinUpdateManagerDlg.h"

#include <cstring>

#include "platform/gdi/GdiResources.h"
#include "platform/process/Process.h"
#include "resources/resource.h"
#include "wizard/CAboutDlg.h"

namespace {

const char BOX_CAPTION[] = "Aldemar Zubeh\xF6r Update Manager";
const char WINDOW_TITLE[] = "Aldemar Zubeh\xF6r Update Manager ver.07";

// How long a closing window waits for a running worker to end. Every wait
// of a worker ends on the close at once; this bound is only the last resort
// for a worker that hangs.
const DWORD WORKER_END_WAIT_MS = 30000;

}  // namespace

BEGIN_MESSAGE_MAP(CQuorinUpdateManagerDlg, CDialog)
    ON_WM_SYSCOMMAND()
    ON_WM_DESTROY()
    ON_WM_PAINT()
    ON_WM_QUERYDRAGICON()
    ON_WM_CLOSE()
    ON_MESSAGE(WM_UPDATE_RESULT, &CQuorinUpdateManagerDlg::OnUpdateResult)
    ON_MESSAGE(WM_TOTAL_PROGRESS, &CQuorinUpdateManagerDlg::OnTotalProgress)
    ON_MESSAGE(WM_STEP_PROGRESS, &CQuorinUpdateManagerDlg::OnStepProgress)
    ON_MESSAGE(WM_UPDATE_INFO_CHANGED, &CQuorinUpdateManagerDlg::OnUpdateInfoChanged)
    ON_BN_CLICKED(IDC_BACK, &CQuorinUpdateManagerDlg::OnBnClickedBack)
    ON_BN_CLICKED(IDC_NEXT, &CQuorinUpdateManagerDlg::OnBnClickedNext)
    ON_BN_CLICKED(IDC_EXIT, &CQuorinUpdateManagerDlg::OnBnClickedExit)
    ON_BN_CLICKED(IDC_INFO, &CQuorinUpdateManagerDlg::OnBnClickedInfo)
    ON_BN_CLICKED(IDC_SETUP, &CQuorinUpdateManagerDlg::OnBnClickedSetup)
    ON_BN_CLICKED(IDC_BROWSE, &CQuorinUpdateManagerDlg::OnBnClickedBrowse)
    ON_BN_CLICKED(IDC_LANG_GERMAN, &CQuorinUpdateManagerDlg::OnBnClickedGerman)
    ON_BN_CLICKED(IDC_LANG_ENGLISH, &CQuorinUpdateManagerDlg::OnBnClickedEnglish)
END_MESSAGE_MAP()

CQuorinUpdateManagerDlg::CQuorinUpdateManagerDlg(CWnd* parent)
    : CDialog(IDD_UPDATEMANAGER_DIALOG, parent), m_settings(nullptr)
{
    m_icon = LoadIconA(nullptr, MAKEINTRESOURCE(IDR_MAINFRAME));
    m_background.LoadBitmap(IDB_BACKGROUND);
    m_totalProgress = nullptr;
    m_stepProgress = nullptr;
    UPDATEManager::SetNotifyWindow(this);
}

CQuorinUpdateManagerDlg::~CQuorinUpdateManagerDlg()
{
    // The window may be gone without a WM_DESTROY having reached us (it was
    // never created); the worker must not outlive m_protocol either way.
    StopWorker();
    // The catalogue must not set captions of a window that is gone.
    if (m_ready)
        m_texts.SetMainDialog(nullptr);
    delete m_totalProgress;
    delete m_stepProgress;
}

void CQuorinUpdateManagerDlg::DoDataExchange(CDataExchange* dx)
{
    CDialog::DoDataExchange(dx);
    DDX_Control(dx, IDC_INFO, m_btnInfo);
    DDX_Control(dx, IDC_SETUP, m_btnSetup);
    DDX_Control(dx, IDC_EXIT, m_btnExit);
    DDX_Control(dx, IDC_NEXT, m_btnNext);
    DDX_Control(dx, IDC_BACK, m_btnBack);
    DDX_Control(dx, IDC_BROWSE, m_btnBrowse);
    DDX_Control(dx, IDC_LANG_GERMAN, m_btnGerman);
    DDX_Control(dx, IDC_LANG_ENGLISH, m_btnEnglish);
}

BOOL CQuorinUpdateManagerDlg::PreTranslateMessage(MSG* msg)
{
    // Escape would end the dialog as Cancel, without the close question.
    if (msg->message == WM_KEYDOWN && msg->wParam == VK_ESCAPE)
        return TRUE;
    return CDialog::PreTranslateMessage(msg);
}

BOOL CQuorinUpdateManagerDlg::OnInitDialog()
{
    CDialog::OnInitDialog();

    m_deviceInfoX = 290;
    m_deviceInfoY = 150;
    m_stepListX = 20;
    m_stepListY = 110;
    m_stepPitch = 30;
    m_stepBarX = 200;
    m_stepBarY = 300;
    m_stepBarWidth = 340;
    m_stepBarHeight = 20;
    m_totalBarX = 200;
    m_totalBarY = 350;
    m_totalBarWidth = 340;
    m_totalBarHeight = 20;
    m_transferInfoX = 200;
    m_fileNameY = 280;
    m_progressLabelY = 330;

    SendMessage(WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_icon));
    SendMessage(WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_icon));

    {
        CClientDC dc(this);
        if (!m_memDC.CreateCompatibleDC(&dc))
            return FALSE;
    }
    m_memDC.SelectObject(&m_background);

    CenterWindow();
    ShowWindow(SW_SHOW);
    SetWindowText(WINDOW_TITLE);

    m_btnSetup.LoadImages(IDB_SETUP_HOVER, 0x00FF00, IDB_SETUP, 0x00FF00);
    m_btnSetup.SetHoverBorder(1);
    m_btnSetup.SetCaptionAlign(0x21);
    m_btnSetup.SetStateColor(0, 0xFAFAFA, 1);
    m_btnSetup.SetStateColor(1, 0x4C4333, 1);
    m_btnSetup.SetStateColor(2, 0xFFFFFF, 1);
    m_btnSetup.SetStateColor(3, 0x4C4333, 1);

    m_btnExit.LoadImages(IDB_EXIT_HOVER, 0x00FF00, IDB_EXIT, 0x00FF00);
    m_btnExit.SetHoverBorder(1);
    m_btnExit.SetCaptionAlign(0x21);
    m_btnExit.SetStateColor(0, 0xFAFAFA, 1);
    m_btnExit.SetStateColor(1, 0x4C4333, 1);
    m_btnExit.SetStateColor(2, 0xFFFFFF, 1);
    m_btnExit.SetStateColor(3, 0x4C4333, 1);

    CNFCUMButton* navigation[] = {&m_btnNext, &m_btnBack, &m_btnBrowse};
    const UINT hoverPictures[] = {IDB_NEXT_HOVER, IDB_BACK_HOVER, IDB_BROWSE_HOVER};
    const UINT normalPictures[] = {IDB_NEXT, IDB_BACK, IDB_BROWSE};
    for (int i = 0; i < 3; ++i) {
        CNFCUMButton& button = *navigation[i];
        if (i == 0)
            button.LoadImages(hoverPictures[i], 0x00FFFF, normalPictures[i], 0xFFFF00);
        else
            button.LoadImages(hoverPictures[i], 0x00FF00, normalPictures[i], 0x00FF00);
        button.SetHoverBorder(1);
        button.SetCaptionAlign(0x21);
        button.SetImagePosition(2);
        button.SetStateColor(0, 0xA09489, 1);
        button.SetStateColor(1, 0x4C4333, 1);
        button.SetStateColor(2, 0xD9D7CF, 1);
        button.SetStateColor(3, 0x4C4333, 1);
        if (i == 0)
            button.SetFocus();
    }

    m_btnGerman.LoadImages(IDB_LANG_GERMAN, 0x00FF00, IDB_LANG_GERMAN, 0x00FF00);
    m_btnGerman.SetHoverBorder(0);
    m_btnGerman.SetStateColor(0, 0xA09489, 1);
    m_btnGerman.SetStateColor(1, 0x4C4333, 1);
    m_btnGerman.SetStateColor(2, 0xD9D7CF, 1);
    m_btnGerman.SetStateColor(3, 0x4C4333, 1);

    m_btnEnglish.LoadImages(IDB_LANG_ENGLISH, 0x00FF00, IDB_LANG_ENGLISH, 0x00FF00);
    m_btnEnglish.SetHoverBorder(0);

    EnterPage(PAGE_WELCOME);

    m_texts.SetMainDialog(this);
    m_texts.LoadLanguageNames();
    if (m_texts.LoadLanguage() != 1)
        m_texts.SetLanguage(LanguageTexts::LANGUAGE_GERMAN);
    m_ready = true;
    return TRUE;
}

void CQuorinUpdateManagerDlg::SetNextEnabled(bool enabled)
{
    if (enabled) {
        m_btnNext.LoadImages(IDB_NEXT_HOVER, 0x00FFFF, IDB_NEXT, 0xFFFF00);
        m_btnNext.EnableWindow(TRUE);
    } else {
        m_btnNext.EnableWindow(FALSE);
        m_btnNext.LoadImages(IDB_NEXT_DISABLED, 0x00FFFF, IDB_NEXT_DISABLED, 0xFFFF00);
    }
}

void CQuorinUpdateManagerDlg::SetBackEnabled(bool enabled)
{
    if (enabled) {
        m_btnBack.LoadImages(IDB_BACK_HOVER, 0x00FF00, IDB_BACK, 0x00FF00);
        m_btnBack.EnableWindow(TRUE);
    } else {
        m_btnBack.LoadImages(IDB_BACK_DISABLED, 0x00FF00, IDB_BACK_DISABLED, 0x00FF00);
        m_btnBack.EnableWindow(FALSE);
    }
}

void CQuorinUpdateManagerDlg::SetBrowseEnabled(bool enabled)
{
    if (enabled) {
        m_btnBrowse.LoadImages(IDB_BROWSE_HOVER, 0x00FF00, IDB_BROWSE, 0x00FF00);
        m_btnBrowse.EnableWindow(TRUE);
    } else {
        m_btnBrowse.LoadImages(IDB_BROWSE_DISABLED, 0x00FF00, IDB_BROWSE_DISABLED, 0x00FF00);
        m_btnBrowse.EnableWindow(FALSE);
    }
}

void CQuorinUpdateManagerDlg::SetExitEnabled(bool enabled)
{
    m_btnExit.EnableWindow(enabled ? TRUE : FALSE);
}

void CQuorinUpdateManagerDlg::ShowTotalProgress(bool show)
{
    if (show) {
        m_totalProgress = new CProgressCtrl;
        CRect rect(m_totalBarX, m_totalBarY, m_totalBarX + m_totalBarWidth,
                   m_totalBarY + m_totalBarHeight);
        m_totalProgress->Create(WS_CHILD | WS_VISIBLE | PBS_SMOOTH, rect, this, 1);
        m_totalProgress->SendMessage(PBM_SETRANGE, 0, MAKELPARAM(0, 100));
        m_totalProgress->SendMessage(PBM_SETPOS, 0, 0);
        m_totalProgress->SendMessage(PBM_SETBKCOLOR, 0, 0xF0F0F0);
    } else if (m_totalProgress) {
        m_totalProgress->DestroyWindow();
        delete m_totalProgress;
        m_totalProgress = nullptr;
    }
}

void CQuorinUpdateManagerDlg::ShowStepProgress(bool show)
{
    if (show) {
        m_stepProgress = new CProgressCtrl;
        CRect rect(m_stepBarX, m_stepBarY, m_stepBarX + m_stepBarWidth,
                   m_stepBarY + m_stepBarHeight);
        m_stepProgress->Create(WS_CHILD | WS_VISIBLE | PBS_SMOOTH, rect, this, 1);
        m_stepProgress->SendMessage(PBM_SETRANGE, 0, MAKELPARAM(0, 100));
        m_stepProgress->SendMessage(PBM_SETPOS, 0, 0);
        m_stepProgress->SendMessage(PBM_SETBKCOLOR, 0, 0xF0F0F0);
    } else if (m_stepProgress) {
        m_stepProgress->DestroyWindow();
        delete m_stepProgress;
        m_stepProgress = nullptr;
    }
}

int CQuorinUpdateManagerDlg::ShowBox(const CString& text, UINT type)
{
    return MessageBox(text, BOX_CAPTION, type);
}

bool CQuorinUpdateManagerDlg::ConfirmClose()
{
    return ShowBox(m_texts.GetText(TXT_CONFIRM_CLOSE), MB_YESNO | MB_ICONQUESTION) == IDYES;
}

bool CQuorinUpdateManagerDlg::ConfirmExit()
{
    if (!ConfirmClose())
        return false;
    CDialog::OnCancel();
    return true;
}

void CQuorinUpdateManagerDlg::FillComPortList()
{
    m_settings.EnumerateComPorts();
    CWnd* box = GetDlgItem(IDC_COMPORT_COMBO);
    box->SendMessage(CB_RESETCONTENT, 0, 0);
    for (const ComPortName& port : m_settings.m_comPorts) {
        // The entry's text is at most its 10 bytes, which need not end in NUL.
        char text[sizeof(port.name) + 1];
        memcpy(text, port.name, sizeof(port.name));
        text[sizeof(port.name)] = '\0';
        box->SendMessage(CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text));
    }
    CString preset;
    preset.Format("COM%d", m_settings.ReadPortNumber());
    box->SetWindowText(preset);
}

void CQuorinUpdateManagerDlg::SaveComPort()
{
    char text[100];
    text[0] = '\0';
    GetDlgItem(IDC_COMPORT_COMBO)->GetWindowText(text, sizeof(text));
    m_settings.WritePortNumber(text);
}

void CQuorinUpdateManagerDlg::Repaint()
{
    InvalidateRect(nullptr, TRUE);
}

void CQuorinUpdateManagerDlg::StopWorker()
{
    // Closing while a worker runs: no more notices to this window, and the
    // worker is asked to stop and waited for, so it never touches the window
    // or m_protocol after they are gone.
    UPDATEManager::SetNotifyWindow(nullptr);
    if (!m_protocol.WaitForSession(0)) {
        m_protocol.Close();
        // A worker that still runs would use the window and m_protocol
        // after they are freed: the program ends, with its children, first.
        if (!m_protocol.WaitForSession(WORKER_END_WAIT_MS))
            ExitProcess(1);
        m_protocol.ResetCancel();
    }
}

void CQuorinUpdateManagerDlg::OnSysCommand(UINT id, LPARAM lParam)
{
    if ((id & 0xFFF0) == IDM_ABOUTBOX) {
        CAboutDlg about;
        about.DoModal();
    } else {
        CDialog::OnSysCommand(id, lParam);
    }
}

void CQuorinUpdateManagerDlg::OnDestroy()
{
    // The window leaves the screen at once, also while a worker is waited for.
    ShowWindow(SW_HIDE);
    StopWorker();
    ShowTotalProgress(false);
    ShowStepProgress(false);
    CDialog::OnDestroy();
}

HCURSOR CQuorinUpdateManagerDlg::OnQueryDragIcon()
{
    return static_cast<HCURSOR>(m_icon);
}

void CQuorinUpdateManagerDlg::OnClose()
{
    // Before the set-up has loaded a language there is no question to ask.
    if (m_ready && !ConfirmClose())
        return;
    CDialog::OnClose();
}

void CQuorinUpdateManagerDlg::OnOK()
{
    // One key press must not end the program unasked, least of all during
    // a transfer, which it would break off half-way: Return asks the same
    // question as the close box. On No nothing changes and a running worker
    // goes on.
    if (m_ready && !ConfirmClose())
        return;
    CDialog::OnOK();
}

LRESULT CQuorinUpdateManagerDlg::OnUpdateResult(WPARAM wParam, LPARAM)
{
    OnWizardEvent(EV_RESULT, static_cast<int>(wParam));
    return 1;
}

LRESULT CQuorinUpdateManagerDlg::OnTotalProgress(WPARAM wParam, LPARAM)
{
    if (m_totalProgress)
        m_totalProgress->SendMessage(PBM_SETPOS, wParam, 0);
    return 1;
}

LRESULT CQuorinUpdateManagerDlg::OnStepProgress(WPARAM wParam, LPARAM)
{
    if (m_stepProgress)
        m_stepProgress->SendMessage(PBM_SETPOS, wParam, 0);
    return 1;
}

LRESULT CQuorinUpdateManagerDlg::OnUpdateInfoChanged(WPARAM, LPARAM)
{
    OnWizardEvent(EV_INFO_CHANGED, 0);
    return 1;
}

void CQuorinUpdateManagerDlg::OnBnClickedBack() { OnWizardEvent(EV_BACK, 0); }

void CQuorinUpdateManagerDlg::OnBnClickedNext() { OnWizardEvent(EV_NEXT, 0); }

void CQuorinUpdateManagerDlg::OnBnClickedExit() { OnWizardEvent(EV_EXIT, 0); }

void CQuorinUpdateManagerDlg::OnBnClickedInfo()
{
    CAboutDlg about;
    about.DoModal();
}

void CQuorinUpdateManagerDlg::OnBnClickedSetup()
{
    m_settings.DoModal();
    Repaint();
}

void CQuorinUpdateManagerDlg::OnBnClickedBrowse() { OnWizardEvent(EV_BROWSE, 0); }

void CQuorinUpdateManagerDlg::OnBnClickedGerman()
{
    m_texts.SetLanguage(LanguageTexts::LANGUAGE_GERMAN);
    m_texts.SaveLanguage();
    Repaint();
}

void CQuorinUpdateManagerDlg::OnBnClickedEnglish()
{
    m_texts.SetLanguage(LanguageTexts::LANGUAGE_ENGLISH);
    m_texts.SaveLanguage();
    Repaint();
}
