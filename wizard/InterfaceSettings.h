// The settings dialog: the UI language, chosen by name, and the force-update
// switch that the file selection takes as its force flag. The same object
// keeps the list of the machine's serial ports and the per-user value
// "PortNumber" that carries the chosen COM port to the connect worker.
#pragma once

#include <vector>

#include "platform/window/CDialog.h"
#include "platform/window/Controls.h"
#include "texts/LanguageTexts.h"
#include "wizard/ComPortName.h"

class InterfaceSettings : public CDialog {
public:
    explicit InterfaceSettings(CWnd* parent = nullptr);
    ~InterfaceSettings() override;

    // Refills m_comPorts from HKEY_LOCAL_MACHINE\HARDWARE\DEVICEMAP\SERIALCOMM.
    void EnumerateComPorts();
    // The number after "COM" in "PortNumber", or 0 when none is usable.
    int ReadPortNumber();
    // Stores the text unchanged as "PortNumber"; 1 when stored, else 0.
    int WritePortNumber(const char* portText);

    LanguageTexts m_texts;
    std::vector<ComPortName> m_comPorts;
    CButton m_forceUpdateCheck;
    // 0 or 1; kept in memory only, 0 at every start.
    int m_forceUpdate = 0;

protected:
    void DoDataExchange(CDataExchange* dx) override;
    BOOL OnInitDialog() override;

    afx_msg void OnOkClicked();
    afx_msg void OnCancelClicked();
    DECLARE_MESSAGE_MAP()

private:
    // The dialog's own texts in the current language.
    void SetCaptions();
};
