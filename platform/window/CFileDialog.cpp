// CFileDialog: the filter parsed, the dialog shown through the backend or
// answered by the tests' responder.
#include "platform/window/CFileDialog.h"

#include <mutex>

#include "platform/paths/DrivePaths.h"
#include "platform/window/Application.h"
#include "platform/window/Backend.h"
#include "platform/window/ModalScope.h"
#include "platform/window/UiThreadCalls.h"

namespace zq {
namespace {

std::mutex g_lock;
FileDialogResponder g_responder;

// "Name|*.a;*.b|Other|*.c||" into its pairs.
std::vector<win::FileFilter> ParseFilter(const CString& filter)
{
    std::vector<std::string> parts;
    std::string current;
    for (char c : filter.Bytes()) {
        if (c == '|') {
            parts.push_back(current);
            current.clear();
        } else {
            current.push_back(c);
        }
    }
    if (!current.empty())
        parts.push_back(current);
    std::vector<win::FileFilter> filters;
    for (size_t i = 0; i + 1 < parts.size(); i += 2) {
        if (parts[i].empty())
            break;
        win::FileFilter f;
        f.name = parts[i];
        std::string pattern;
        for (char c : parts[i + 1] + ";") {
            if (c == ';') {
                if (!pattern.empty())
                    f.patterns.push_back(pattern);
                pattern.clear();
            } else if (c != ' ') {
                pattern.push_back(c);
            }
        }
        filters.push_back(f);
    }
    return filters;
}

}  // namespace

FileDialogResponder SetFileDialogResponder(FileDialogResponder responder)
{
    std::lock_guard<std::mutex> lock(g_lock);
    FileDialogResponder previous = std::move(g_responder);
    g_responder = std::move(responder);
    return previous;
}

}  // namespace zq

CFileDialog::CFileDialog(BOOL openFileDialog, LPCTSTR defaultExt, LPCTSTR fileName, DWORD flags, LPCTSTR filter,
                         CWnd* parent)
    : m_bOpenFileDialog(openFileDialog),
      m_flags(flags),
      m_filter(filter),
      m_defaultExt(defaultExt),
      m_initialName(fileName),
      m_pParentWnd(parent)
{
}

INT_PTR CFileDialog::DoModal()
{
    // Asked for by a worker, the chooser is the UI thread's, as a box is.
    if (!zq::win::OnUiThread())
        return zq::win::OnUiThreadOr<INT_PTR>(IDCANCEL, [this] { return DoModal(); });
    m_path.Empty();
    HWND owner = m_pParentWnd ? m_pParentWnd->GetSafeHwnd() : nullptr;
    if (!owner && zq::ApplicationMainWindow())
        owner = zq::ApplicationMainWindow()->GetSafeHwnd();
    if (!IsWindow(owner))
        owner = nullptr;
    zq::FileDialogCall call;
    call.owner = owner;
    call.open = m_bOpenFileDialog != FALSE;
    call.filter = m_filter;
    zq::FileDialogResponder responder;
    {
        std::lock_guard<std::mutex> lock(zq::g_lock);
        responder = zq::g_responder;
    }
    zq::win::ModalScope scope(owner);
    CString path;
    bool ok;
    if (responder) {
        ok = responder(call, &path);
    } else {
        ok = zq::win::CurrentBackend().OpenFileDialog(owner, zq::ParseFilter(m_filter), &path);
    }
    if (!ok || path.IsEmpty())
        return IDCANCEL;
    m_path = path;
    return IDOK;
}

CString CFileDialog::GetFileName() const
{
    int slash = m_path.ReverseFind('\\');
    return slash < 0 ? m_path : m_path.Mid(slash + 1);
}
