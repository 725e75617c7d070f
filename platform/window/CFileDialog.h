// CFileDialog: the open-file dialog, with the framework's filter syntax
// ("ZIP Files (*.zip)|*.zip||"). Paths are in Windows form (drive Z:).
#pragma once

#include <functional>

#include "platform/strings/CString.h"
#include "platform/window/CWnd.h"

#define OFN_READONLY 0x00000001
#define OFN_OVERWRITEPROMPT 0x00000002
#define OFN_HIDEREADONLY 0x00000004
#define OFN_PATHMUSTEXIST 0x00000800
#define OFN_FILEMUSTEXIST 0x00001000

class CFileDialog {
public:
    explicit CFileDialog(BOOL openFileDialog, LPCTSTR defaultExt = nullptr, LPCTSTR fileName = nullptr,
                         DWORD flags = OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT, LPCTSTR filter = nullptr,
                         CWnd* parent = nullptr);
    virtual ~CFileDialog() = default;

    // IDOK with a chosen file, IDCANCEL when the user gave up.
    virtual INT_PTR DoModal();
    CString GetPathName() const { return m_path; }
    CString GetFileName() const;

    BOOL m_bOpenFileDialog;
    DWORD m_flags;
    CString m_filter;
    CString m_defaultExt;
    CString m_initialName;
    CWnd* m_pParentWnd;

private:
    CString m_path;
};

namespace zq {

struct FileDialogCall {
    HWND owner = nullptr;
    bool open = true;
    CString filter;  // the framework's syntax, as the program gave it
};

// Answers file dialogs in place of the screen (tests): returns true with a
// path in Windows form for OK, false for Cancel. An empty responder removes
// it; the previous one is returned.
using FileDialogResponder = std::function<bool(const FileDialogCall&, CString* path)>;
FileDialogResponder SetFileDialogResponder(FileDialogResponder responder);

}  // namespace zq
