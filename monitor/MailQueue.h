// Sending mail off the caller's thread. A window must keep painting and
// answering while a server takes its time, and its refresh, rescan or exit
// must never run in the middle of a mail; so mails are handed to one worker
// thread, in order, and each result comes back through a callback.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

#include "monitor/SmtpClient.h"

namespace monitor {

class CMailQueue {
 public:
  // Runs on the worker thread with the mail's result: post it to the window
  // (PostMessage) or log it; it must not touch the caller's state directly.
  using Done = std::function<void(const SmtpResult&)>;
  // What sends one mail; a CSmtpClient in the program.
  using Sender = std::function<SmtpResult(const SmtpServer&, const MailMessage&)>;

  // Mails waiting beyond this many are refused (an alarm storm against a
  // dead server must not grow without end).
  static constexpr size_t MAX_WAITING = 32;

  explicit CMailQueue(Sender sender);
  // Sends what is still waiting (each bounded by the client's time-outs),
  // then stops the worker.
  ~CMailQueue();
  CMailQueue(const CMailQueue&) = delete;
  CMailQueue& operator=(const CMailQueue&) = delete;

  // Queues one mail and returns at once. False, with `done` never called,
  // when MAX_WAITING mails are already waiting.
  bool Post(SmtpServer server, MailMessage message, Done done);
  // Blocks until every queued mail has been sent and its callback has run.
  void WaitIdle();

 private:
  struct Job {
    SmtpServer Server;
    MailMessage Message;
    Done Callback;
  };
  void Run();

  Sender m_Sender;
  std::mutex m_Mutex;
  std::condition_variable m_Wake;
  std::condition_variable m_Idle;
  std::deque<Job> m_Jobs;
  bool m_Busy = false;
  bool m_Stop = false;
  std::thread m_Thread;
};

}  // namespace monitor
