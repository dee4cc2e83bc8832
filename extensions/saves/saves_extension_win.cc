// saves.ext.dll: save slots a game keeps as plain files in
// "<user data folder>\saves", where players and sync tools find them.
//
// The page asks (component "kiln-saves", answered with the same message id
// and asyncId, {"ok": true, ...} or {"ok": false, "error": text}):
//   "write"  [name, text]  the text, UTF-8 as given, once it is on the disk
//   "read"   [name]        "text": the save, or null when there is none
//   "list"   []            "names": the saves' names, sorted, one a line
//   "remove" [name]        "removed": whether there was such a save
//
// The host calls us on its UI thread and a game's frame must never wait on
// the disk, so one worker thread of ours does every file call, requests in
// the order they came; its answers come back to the UI thread through a
// message-only window of ours, and only there do we call the host.
#include <windows.h>

#include <deque>
#include <string>
#include <utility>

#include "extension_init.h"
#include "kiln/extension.h"
#include "message_window_win.h"
#include "save_folder_win.h"
#include "save_rules.h"

namespace kiln::saves {
namespace {

constexpr UINT kAnswersReady = WM_APP + 1;

struct Job {
  std::string messageId;
  double asyncId = -1;
  Request request;
};

struct Reply {
  std::string messageId;
  double asyncId = -1;
  Answer answer;
};

class SavesExtension final : public IExtension {
 public:
  explicit SavesExtension(IApplication* application) : application_(application) {
    InitializeCriticalSection(&lock_);
    InitializeConditionVariable(&wake_);
  }

  bool Start() {
    return window_.Create([this](UINT message, WPARAM, LPARAM) {
      if (message == kAnswersReady) SendReplies();
    });
  }

  // Writes and removals already asked for are finished, so that what a
  // player saved just before closing the game is kept; reads and lists are
  // dropped, as there is no page left to answer.
  void Destroy() override {
    if (worker_) {
      EnterCriticalSection(&lock_);
      stopping_ = true;
      LeaveCriticalSection(&lock_);
      WakeConditionVariable(&wake_);
      WaitForSingleObject(worker_, INFINITE);
      CloseHandle(worker_);
    }
    window_.Destroy();
    DeleteCriticalSection(&lock_);
    delete this;
  }

  void OnWebMessage(const char* messageId, int32_t count, const ExtensionValue* values, double asyncId) override {
    try {
      Parsed parsed = ParseRequest(messageId, count, values);
      if (!parsed.request) {
        Answer answer;
        answer.error = parsed.error;
        Send(messageId, answer, asyncId);
        return;
      }
      if (!StartWorker()) {
        Answer answer;
        answer.error = "cannot start the thread that writes saves";
        Send(messageId, answer, asyncId);
        return;
      }
      EnterCriticalSection(&lock_);
      jobs_.push_back({messageId, asyncId, std::move(*parsed.request)});
      LeaveCriticalSection(&lock_);
      WakeConditionVariable(&wake_);
    } catch (...) {
      // Out of memory: the page sees no answer for this request.
    }
  }

  void OnMainWindowCreated(WindowHandle) override {}
  void OnExtensionsLoaded() override {}

 private:
  // The user data folder is known only from the first page message on.
  bool StartWorker() {
    if (worker_) return true;
    folder_ = std::string(application_->GetUserDataFolder()) + "\\" + kFolderName;
    worker_ = CreateThread(nullptr, 0, WorkerMain, this, 0, nullptr);
    return worker_ != nullptr;
  }

  static DWORD WINAPI WorkerMain(void* self) {
    static_cast<SavesExtension*>(self)->Work();
    return 0;
  }

  void Work() {
    SaveFolder folder(folder_);
    EnterCriticalSection(&lock_);
    for (;;) {
      while (jobs_.empty() && !stopping_) SleepConditionVariableCS(&wake_, &lock_, INFINITE);
      if (jobs_.empty()) break;
      Job job = std::move(jobs_.front());
      jobs_.pop_front();
      const bool answered = !stopping_;
      LeaveCriticalSection(&lock_);
      Reply reply{std::move(job.messageId), job.asyncId, {}};
      Do(folder, job.request, reply.answer, answered);
      EnterCriticalSection(&lock_);
      if (answered) {
        replies_.push_back(std::move(reply));
        if (!replyPosted_) replyPosted_ = window_.Post(kAnswersReady);
      }
    }
    LeaveCriticalSection(&lock_);
  }

  static void Do(SaveFolder& folder, Request& request, Answer& answer, bool answered) {
    answer.operation = request.operation;
    try {
      switch (request.operation) {
        case Operation::Write: folder.Write(request.name, request.text, answer); break;
        case Operation::Remove: folder.Remove(request.name, answer); break;
        case Operation::Read: if (answered) folder.Read(request.name, answer); break;
        case Operation::List: if (answered) folder.List(answer); break;
      }
    } catch (...) {
      answer.error = "out of memory";
    }
  }

  // On the UI thread: every answer the worker has finished, in order.
  void SendReplies() {
    std::deque<Reply> replies;
    EnterCriticalSection(&lock_);
    replies.swap(replies_);
    replyPosted_ = false;
    LeaveCriticalSection(&lock_);
    for (const Reply& reply : replies) Send(reply.messageId.c_str(), reply.answer, reply.asyncId);
  }

  void Send(const char* messageId, const Answer& answer, double asyncId) {
    std::string joined;
    const std::vector<NamedExtensionValue> values = AnswerValues(answer, joined);
    application_->SendWebMessage(messageId, static_cast<uint32_t>(values.size()), values.data(), asyncId);
  }

  IApplication* application_;
  extensions::MessageWindow window_;
  HANDLE worker_ = nullptr;
  std::string folder_;  // written before the worker starts, read by it only
  // Guards what follows, shared by the UI thread and the worker.
  CRITICAL_SECTION lock_;
  CONDITION_VARIABLE wake_;
  std::deque<Job> jobs_;
  std::deque<Reply> replies_;
  bool replyPosted_ = false;
  bool stopping_ = false;
};

}  // namespace
}  // namespace kiln::saves

KILN_EXTENSION_EXPORT kiln::IExtension* KILN_CDECL WrapperExtInit(kiln::IApplication* application) {
  return kiln::extensions::InitExtension<kiln::saves::SavesExtension>(application, kiln::saves::kComponentId);
}
