// The wizard window's creation, buttons, progress bars, language switch,
// worker notifications and COM-port setting.
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

// A button's face colours, by the button's colour index: background and
// text while hovered or pressed, background and text otherwise.
struct ButtonColours {
    COLORREF colour[4];
};
const ButtonColours WHITE_FACE = {{0xFAFAFA, 0x4C4333, 0xFFFFFF, 0x4C4333}};
const ButtonColours GREY_FACE = {{0xA09489, 0x4C4333, 0xD9D7CF, 0x4C4333}};

// The colours through which the buttons' pictures show the button's face:
// green in every picture but Next's, whose hover picture keys out yellow and
// whose other picture cyan.
const COLORREF GREEN_KEY = RGB(0x00, 0xFF, 0x00);
const COLORREF YELLOW_KEY = RGB(0xFF, 0xFF, 0x00);
const COLORREF CYAN_KEY = RGB(0x00, 0xFF, 0xFF);

// What the window sets on one of its buttons when it opens; KEEP and a null
// colour set leave the button's own.
const int KEEP = -1;
struct ButtonStyle {
    CNFCUMButton CQuorinUpdateManagerDlg::*button;
    UINT hotPicture;
    COLORREF hotKey;
    UINT picture;
    COLORREF key;
    int hoverBorder;
    int captionAlign;
    int imagePosition;
    const ButtonColours* colours;
    // Next takes the keyboard focus as soon as it is dressed.
    bool focus;
};

const int LEFT_MIDDLE = CNFCUMButton::CAPTION_LEFT | CNFCUMButton::CAPTION_VCENTER;

// In the order they are dressed.
const ButtonStyle BUTTON_STYLES[] = {
    {&CQuorinUpdateManagerDlg::m_btnSetup, IDB_SETUP_HOVER, GREEN_KEY, IDB_SETUP, GREEN_KEY, 1, LEFT_MIDDLE, KEEP,
     &WHITE_FACE, false},
    {&CQuorinUpdateManagerDlg::m_btnExit, IDB_EXIT_HOVER, GREEN_KEY, IDB_EXIT, GREEN_KEY, 1, LEFT_MIDDLE, KEEP,
     &WHITE_FACE, false},
    {&CQuorinUpdateManagerDlg::m_btnNext, IDB_NEXT_HOVER, YELLOW_KEY, IDB_NEXT, CYAN_KEY, 1, LEFT_MIDDLE,
     CNFCUMButton::IMAGE_RIGHT, &GREY_FACE, true},
    {&CQuorinUpdateManagerDlg::m_btnBack, IDB_BACK_HOVER, GREEN_KEY, IDB_BACK, GREEN_KEY, 1, LEFT_MIDDLE,
     CNFCUMButton::IMAGE_RIGHT, &GREY_FACE, false},
    {&CQuorinUpdateManagerDlg::m_btnBrowse, IDB_BROWSE_HOVER, GREEN_KEY, IDB_BROWSE, GREEN_KEY, 1, LEFT_MIDDLE,
     CNFCUMButton::IMAGE_RIGHT, &GREY_FACE, false},
    {&CQuorinUpdateManagerDlg::m_btnGerman, IDB_LANG_GERMAN, GREEN_KEY, IDB_LANG_GERMAN, GREEN_KEY, 0, KEEP, KEEP,
     &GREY_FACE, false},
    {&CQuorinUpdateManagerDlg::m_btnEnglish, IDB_LANG_ENGLISH, GREEN_KEY, IDB_LANG_ENGLISH, GREEN_KEY, 0, KEEP, KEEP,
     nullptr, false},
};

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

    DressButtons();

    EnterPage(PAGE_WELCOME);

    m_texts.SetMainDialog(this);
    m_texts.LoadLanguageNames();
    if (m_texts.LoadLanguage() != 1)
        m_texts.SetLanguage(LanguageTexts::LANGUAGE_GERMAN);
    m_ready = true;
    return TRUE;
}

void CQuorinUpdateManagerDlg::DressButtons()
{
    for (const ButtonStyle& style : BUTTON_STYLES) {
        CNFCUMButton& button = this->*style.button;
        button.LoadImages(style.hotPicture, style.hotKey, style.picture, style.key);
        button.SetHoverBorder(style.hoverBorder);
        if (style.captionAlign != KEEP)
            button.SetCaptionAlign(style.captionAlign);
        if (style.imagePosition != KEEP)
            button.SetImagePosition(style.imagePosition);
        if (style.colours)
            for (BYTE index = 0; index < 4; ++index)
                button.SetStateColor(index, style.colours->colour[index], 1);
        if (style.focus)
            button.SetFocus();
    }
}

void CQuorinUpdateManagerDlg::SetNextEnabled(bool enabled)
{
    if (enabled) {
        m_btnNext.LoadImages(IDB_NEXT_HOVER, YELLOW_KEY, IDB_NEXT, CYAN_KEY);
        m_btnNext.EnableWindow(TRUE);
    } else {
        m_btnNext.EnableWindow(FALSE);
        m_btnNext.LoadImages(IDB_NEXT_DISABLED, YELLOW_KEY, IDB_NEXT_DISABLED, CYAN_KEY);
    }
}

void CQuorinUpdateManagerDlg::SetBackEnabled(bool enabled)
{
    SetPicturedButtonEnabled(m_btnBack, enabled, IDB_BACK_HOVER, IDB_BACK, IDB_BACK_DISABLED);
}

void CQuorinUpdateManagerDlg::SetBrowseEnabled(bool enabled)
{
    SetPicturedButtonEnabled(m_btnBrowse, enabled, IDB_BROWSE_HOVER, IDB_BROWSE, IDB_BROWSE_DISABLED);
}

void CQuorinUpdateManagerDlg::SetPicturedButtonEnabled(CNFCUMButton& button, bool enabled, UINT hotPicture,
                                                       UINT picture, UINT disabledPicture)
{
    if (enabled)
        button.LoadImages(hotPicture, GREEN_KEY, picture, GREEN_KEY);
    else
        button.LoadImages(disabledPicture, GREEN_KEY, disabledPicture, GREEN_KEY);
    button.EnableWindow(enabled ? TRUE : FALSE);
}

void CQuorinUpdateManagerDlg::SetExitEnabled(bool enabled)
{
    m_btnExit.EnableWindow(enabled ? TRUE : FALSE);
}

void CQuorinUpdateManagerDlg::ShowTotalProgress(bool show)
{
    ShowProgressBar(m_totalProgress,
                    CRect(m_totalBarX, m_totalBarY, m_totalBarX + m_totalBarWidth, m_totalBarY + m_totalBarHeight),
                    show);
}

void CQuorinUpdateManagerDlg::ShowStepProgress(bool show)
{
    ShowProgressBar(m_stepProgress,
                    CRect(m_stepBarX, m_stepBarY, m_stepBarX + m_stepBarWidth, m_stepBarY + m_stepBarHeight), show);
}

void CQuorinUpdateManagerDlg::ShowProgressBar(CProgressCtrl*& bar, const CRect& place, bool show)
{
    if (show) {
        // Both bars take control id 1: they are reached through their
        // members, never by id.
        bar = new CProgressCtrl;
        bar->Create(WS_CHILD | WS_VISIBLE | PBS_SMOOTH, place, this, 1);
        bar->SendMessage(PBM_SETRANGE, 0, MAKELPARAM(0, 100));
        bar->SendMessage(PBM_SETPOS, 0, 0);
        bar->SendMessage(PBM_SETBKCOLOR, 0, 0xF0F0F0);
    } else if (bar) {
        bar->DestroyWindow();
        delete bar;
        bar = nullptr;
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

void CQuorinUpdateManagerDlg::OnBnClickedBack()
{
    OnWizardEvent(EV_BACK, 0);
}

void CQuorinUpdateManagerDlg::OnBnClickedNext()
{
    OnWizardEvent(EV_NEXT, 0);
}

void CQuorinUpdateManagerDlg::OnBnClickedExit()
{
    OnWizardEvent(EV_EXIT, 0);
}

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

void CQuorinUpdateManagerDlg::OnBnClickedBrowse()
{
    OnWizardEvent(EV_BROWSE, 0);
}

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
