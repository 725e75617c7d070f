// The wizard window: a modal dialog with a fixed background picture on which
// the pages of an update are painted, eight owner-drawn buttons, the COM-port
// box and the two progress bars of a running step. It owns the objects that
// carry out an update and drives them through one page state machine,
// OnWizardEvent, fed by the buttons and by the workers' posted notices. What
// each page shows and enables is one table (PAGES); a page is entered
// through EnterPage, and each page has one handler of its events.
#pragma once

#include "controls/CNFCUMButton.h"
#include "link/UPDATEManager.h"
#include "link/UPDATEProtocol.h"
#include "platform/gdi/Gdi.h"
#include "platform/strings/CString.h"
#include "platform/window/CDialog.h"
#include "platform/window/Controls.h"
#include "texts/LanguageTexts.h"
#include "wizard/InterfaceSettings.h"

class CQuorinUpdateManagerDlg : public CDialog {
public:
    // Pages of the wizard; 2, 3, 8, 11 and 12 are no pages.
    enum {
        PAGE_WELCOME = 0,
        PAGE_SELECT_CONTAINER = 1,
        PAGE_PREPARE_CONNECTION = 4,
        PAGE_SELECT_PORT = 5,
        PAGE_CONNECTING = 6,
        PAGE_READING_DEVICE = 7,
        PAGE_UNPACKING = 9,
        PAGE_DEVICE_INFO = 10,
        PAGE_TRANSFERRING = 13,
        PAGE_DISCONNECTING = 14,
        PAGE_SUCCESS = 15,
        PAGE_DISCONNECTING_AFTER_ERROR = 16,
        PAGE_ERROR = 17,
    };

    // Events of the page state machine.
    enum {
        EV_NEXT = 2,
        EV_BACK = 3,
        EV_EXIT = 4,
        EV_BROWSE = 5,
        EV_INFO_CHANGED = 7,
        EV_RESULT = 10,
    };

    explicit CQuorinUpdateManagerDlg(CWnd* parent = nullptr);
    ~CQuorinUpdateManagerDlg() override;

    // The page state machine; the result is not used by its callers.
    int OnWizardEvent(int event, int code);
    // The catalogue text of a result code in the current language.
    CString GetErrorText(int code);
    // The chosen container's full path, or "" when the user gave up.
    CString BrowseUpdateContainer();

    void SetNextEnabled(bool enabled);
    void ShowTotalProgress(bool show);
    void ShowStepProgress(bool show);
    bool ConfirmClose();
    bool ConfirmExit();
    void FillComPortList();
    void SaveComPort();

    // Painters.
    void DrawPage();
    void DrawStepList(int step);
    void DrawStepLine(CString text, int offset, bool highlighted);
    void DrawMultilineText(CDC* dc, int x, int y, const char* text);
    void DrawPageTitle(CString text);
    void DrawPageBody(CString text);
    void DrawPageFooter(CString text);
    void DrawProgressInfo(CString fileName);
    void DrawDeviceInfo();

    // Layout, in client pixels, set by OnInitDialog.
    int m_deviceInfoX = 0;
    int m_deviceInfoY = 0;
    int m_stepListX = 0;
    int m_stepListY = 0;
    int m_stepPitch = 0;
    int m_stepBarX = 0;
    int m_stepBarY = 0;
    int m_stepBarWidth = 0;
    int m_stepBarHeight = 0;
    int m_totalBarX = 0;
    int m_totalBarY = 0;
    int m_totalBarWidth = 0;
    int m_totalBarHeight = 0;
    int m_transferInfoX = 0;
    int m_fileNameY = 0;
    int m_progressLabelY = 0;

    HICON m_icon = nullptr;
    CBitmap m_background;
    CDC m_memDC;
    CFont m_font;
    int m_page = PAGE_WELCOME;
    UPDATEProtocol m_protocol;
    UPDATEManager m_manager;
    InterfaceSettings m_settings;
    LanguageTexts m_texts;
    CString m_containerPath;
    CString m_containerXmlPath;
    CProgressCtrl* m_totalProgress = nullptr;
    CProgressCtrl* m_stepProgress = nullptr;
    CNFCUMButton m_btnInfo;
    CNFCUMButton m_btnSetup;
    CNFCUMButton m_btnExit;
    CNFCUMButton m_btnNext;
    CNFCUMButton m_btnBrowse;
    CNFCUMButton m_btnBack;
    CNFCUMButton m_btnGerman;
    CNFCUMButton m_btnEnglish;

protected:
    void DoDataExchange(CDataExchange* dx) override;
    BOOL PreTranslateMessage(MSG* msg) override;
    BOOL OnInitDialog() override;
    // Return arrives here as the framework's OK.
    void OnOK() override;

    afx_msg void OnSysCommand(UINT id, LPARAM lParam);
    afx_msg void OnDestroy();
    afx_msg void OnPaint();
    afx_msg HCURSOR OnQueryDragIcon();
    afx_msg void OnClose();
    afx_msg LRESULT OnUpdateResult(WPARAM wParam, LPARAM lParam);
    afx_msg LRESULT OnTotalProgress(WPARAM wParam, LPARAM lParam);
    afx_msg LRESULT OnStepProgress(WPARAM wParam, LPARAM lParam);
    afx_msg LRESULT OnUpdateInfoChanged(WPARAM wParam, LPARAM lParam);
    afx_msg void OnBnClickedBack();
    afx_msg void OnBnClickedNext();
    afx_msg void OnBnClickedExit();
    afx_msg void OnBnClickedInfo();
    afx_msg void OnBnClickedSetup();
    afx_msg void OnBnClickedBrowse();
    afx_msg void OnBnClickedGerman();
    afx_msg void OnBnClickedEnglish();
    DECLARE_MESSAGE_MAP()

private:
    // A page's handler of the machine's events; true when the window is to
    // be repainted afterwards.
    using PageHandler = bool (CQuorinUpdateManagerDlg::*)(int event, int code);
    // Painter of a page's information beside its texts.
    using PagePainter = void (CQuorinUpdateManagerDlg::*)();
    // What a page shows and enables, and who handles its events.
    struct PageView {
        int page;
        PageHandler handler;
        // Enabled buttons.
        bool next, back, exit, browse;
        // Shown controls.
        bool stepBar, totalBar, portBox;
        // The step whose line the step list marks, NO_STEP_LIST for none.
        int step;
        // Catalogue texts, NO_TEXT for none.
        int title, body, footer;
        // Painted after the texts; nullptr for none.
        PagePainter information;
    };
    enum { NO_STEP_LIST = -1, NO_TEXT = -1 };
    static const PageView PAGES[];
    // The row of a page; nullptr for a value that is no page.
    static const PageView* FindPage(int page);
    // Makes the page current and sets the buttons, bars and port box as its
    // row says. A bar is only made when it is missing, so one that exists
    // keeps its position.
    void EnterPage(int page);

    bool HandleWelcome(int event, int code);
    bool HandleSelectContainer(int event, int code);
    bool HandleUnpacking(int event, int code);
    bool HandlePrepareConnection(int event, int code);
    bool HandleSelectPort(int event, int code);
    bool HandleConnecting(int event, int code);
    bool HandleReadingDevice(int event, int code);
    bool HandleDeviceInfo(int event, int code);
    bool HandleTransferring(int event, int code);
    bool HandleDisconnecting(int event, int code);
    bool HandleEnd(int event, int code);
    // The checks of an unpacked container; the text of the first failure,
    // or -1 when all passed.
    int CheckUnpackedContainer();
    // Starts the disconnect worker and enters the page that waits for it.
    void DisconnectAfterError();
    // The transfer information of the file being sent.
    void DrawTransferInfo();
    // Puts the background back under the file name, so that a new name drawn
    // over it keeps nothing of a longer one before it.
    void EraseFileName();

    // The pictures, borders, caption places and colours of the buttons, from
    // one table; Next takes the focus.
    void DressButtons();
    // Makes a progress bar of the range 0 to 100 at the place, or destroys
    // the one there is.
    void ShowProgressBar(CProgressCtrl*& bar, const CRect& place, bool show);
    // A text in the page font of the height and weight, its lines from x, y.
    void DrawTextBlock(int x, int y, int height, int weight, COLORREF colour, const char* text);
    // The whole client area invalidated with erasing.
    void Repaint();
    void SetBackEnabled(bool enabled);
    void SetBrowseEnabled(bool enabled);
    // Back's and Browse's way: the pictures of the new state (keyed green),
    // then the state.
    void SetPicturedButtonEnabled(CNFCUMButton& button, bool enabled, UINT hotPicture, UINT picture,
                                  UINT disabledPicture);
    void SetExitEnabled(bool enabled);
    // A box owned by the window with the application's caption.
    int ShowBox(const CString& text, UINT type = MB_OK);
    // A worker that could not be started is handed on as a time-out.
    void StartedWorker(int started);
    // Ends the notices and the running worker before the window goes.
    void StopWorker();
    // The text painters' common frame: font on m_font, a client DC, colour.
    void BeginText(CClientDC& dc, CFont*& previous, int height, int weight, COLORREF colour);
    void EndText(CClientDC& dc, CFont* previous);
    // Draws nothing until OnInitDialog has set up the background and the
    // language.
    bool m_ready = false;
};
