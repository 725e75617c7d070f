// Every message box of the program (::MessageBoxA, CWnd::MessageBox and
// AfxMessageBox) passes through one seam, on the UI thread: a box asked for
// by another thread is shown by the UI thread while the asking thread waits.
// A responder installed here answers the boxes instead of the screen: tests
// install one to see what the program asks and to give the answers they
// need. It is called on the UI thread too.
#pragma once

#include <functional>
#include <mutex>
#include <vector>

#include "platform/strings/CString.h"
#include "platform/window/WinUser.h"

namespace zq {

struct MessageBoxCall {
    HWND owner = nullptr;
    CString text;  // Windows-1252
    CString caption;
    UINT type = 0;  // MB_* flags
};

// Returns the answer (IDOK, IDYES, IDNO...).
using MessageBoxResponder = std::function<int(const MessageBoxCall&)>;

// Installs a responder (an empty one removes it) and returns the previous.
// Without a responder a box is shown by the backend; the headless backend
// answers with the box's default button.
MessageBoxResponder SetMessageBoxResponder(MessageBoxResponder responder);

// The answers of a box's buttons, in the order the box shows them.
std::vector<int> MessageBoxButtons(UINT type);

// The answer a box gets without anybody there: its default button.
int DefaultMessageBoxAnswer(UINT type);

// The answer of a box asked by a worker that the UI thread cannot show (it
// waits, perhaps for that worker, or its windows are gone): IDOK for a box
// with OK alone, else the answer that goes no further: Cancel where the box
// has it, No, or Abort.
int UnshownMessageBoxAnswer(UINT type);

// A responder for a test's scope: records every call and answers them in
// turn from a list of answers, then with the box's default button.
class RecordingMessageBoxResponder {
public:
    explicit RecordingMessageBoxResponder(std::vector<int> answers = {});
    ~RecordingMessageBoxResponder();
    RecordingMessageBoxResponder(const RecordingMessageBoxResponder&) = delete;
    RecordingMessageBoxResponder& operator=(const RecordingMessageBoxResponder&) = delete;

    std::vector<MessageBoxCall> Calls() const;
    size_t Count() const;
    // Called while a box is open, after the call is recorded and before it
    // is answered; tests use it to let things happen during a box.
    std::function<void(const MessageBoxCall&)> onCall;

private:
    int Answer(const MessageBoxCall& call);
    mutable std::mutex m_lock;
    std::vector<MessageBoxCall> m_calls;
    std::vector<int> m_answers;
    size_t m_next = 0;
    MessageBoxResponder m_previous;
};

}  // namespace zq
