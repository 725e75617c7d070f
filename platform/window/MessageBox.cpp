// Message boxes: one seam for every box of the program.
#include <mutex>
#include <string>

#include "platform/window/Backend.h"
#include "platform/window/MessageBoxSeam.h"
#include "platform/window/ModalScope.h"
#include "platform/window/UiThreadCalls.h"
#include "platform/window/WindowTree.h"

namespace zq {
namespace {

std::mutex g_responderLock;
MessageBoxResponder g_responder;

}  // namespace

MessageBoxResponder SetMessageBoxResponder(MessageBoxResponder responder)
{
    std::lock_guard<std::mutex> lock(g_responderLock);
    MessageBoxResponder previous = std::move(g_responder);
    g_responder = std::move(responder);
    return previous;
}

std::vector<int> MessageBoxButtons(UINT type)
{
    switch (type & MB_TYPEMASK) {
    case MB_OKCANCEL:
        return {IDOK, IDCANCEL};
    case MB_ABORTRETRYIGNORE:
        return {IDABORT, IDRETRY, IDIGNORE};
    case MB_YESNOCANCEL:
        return {IDYES, IDNO, IDCANCEL};
    case MB_YESNO:
        return {IDYES, IDNO};
    case MB_RETRYCANCEL:
        return {IDRETRY, IDCANCEL};
    default:
        return {IDOK};
    }
}

int DefaultMessageBoxAnswer(UINT type)
{
    const std::vector<int> buttons = MessageBoxButtons(type);
    const size_t which = (type & MB_DEFMASK) >> 8;
    return buttons[which < buttons.size() ? which : 0];
}

int UnshownMessageBoxAnswer(UINT type)
{
    switch (type & MB_TYPEMASK) {
    case MB_OKCANCEL:
    case MB_YESNOCANCEL:
    case MB_RETRYCANCEL:
        return IDCANCEL;
    case MB_YESNO:
        return IDNO;
    case MB_ABORTRETRYIGNORE:
        return IDABORT;
    default:
        return IDOK;
    }
}

RecordingMessageBoxResponder::RecordingMessageBoxResponder(std::vector<int> answers) : m_answers(std::move(answers))
{
    m_previous = SetMessageBoxResponder([this](const MessageBoxCall& call) { return Answer(call); });
}

RecordingMessageBoxResponder::~RecordingMessageBoxResponder()
{
    SetMessageBoxResponder(std::move(m_previous));
}

std::vector<MessageBoxCall> RecordingMessageBoxResponder::Calls() const
{
    std::lock_guard<std::mutex> lock(m_lock);
    return m_calls;
}

size_t RecordingMessageBoxResponder::Count() const
{
    std::lock_guard<std::mutex> lock(m_lock);
    return m_calls.size();
}

int RecordingMessageBoxResponder::Answer(const MessageBoxCall& call)
{
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_calls.push_back(call);
    }
    if (onCall)
        onCall(call);
    std::lock_guard<std::mutex> lock(m_lock);
    if (m_next < m_answers.size())
        return m_answers[m_next++];
    return DefaultMessageBoxAnswer(call.type);
}

}  // namespace zq

int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type)
{
    if (!zq::win::OnUiThread()) {
        // A worker's box is shown by the UI thread, which goes on painting
        // and handling its messages while the box is open; the worker waits
        // for the answer.
        const std::string body = text ? text : "";
        const std::string title = caption ? caption : "";
        int answer = 0;
        if (zq::win::CallOnUiThread(
                [&] { answer = MessageBoxA(owner, body.c_str(), caption ? title.c_str() : nullptr, type); }))
            return answer;
        // The UI thread cannot show it now: it waits, most likely for this
        // very worker (a closing window waits for its session), or its
        // windows are gone. The worker goes on as after a box closed without
        // a choice; the callers either ignore the answer of an OK box or go
        // on only after Yes, OK or Retry, so the cautious answer is right.
        return zq::UnshownMessageBoxAnswer(type);
    }
    zq::MessageBoxCall call;
    call.owner = IsWindow(owner) ? owner : nullptr;
    call.text = text ? text : "";
    call.caption = caption ? caption : "Error";
    call.type = type;
    zq::MessageBoxResponder responder;
    {
        std::lock_guard<std::mutex> lock(zq::g_responderLock);
        responder = zq::g_responder;
    }
    // The owner is disabled and inactive while the box is open, as on Windows.
    zq::win::ModalScope scope(call.owner);
    if (responder)
        return responder(call);
    return zq::win::CurrentBackend().MessageBox(call);
}
