#include "monitor/MailQueue.h"

namespace monitor {

CMailQueue::CMailQueue(Sender sender) : m_Sender(std::move(sender)) {}

CMailQueue::~CMailQueue() {
  {
    std::lock_guard<std::mutex> lock(m_Mutex);
    m_Stop = true;
  }
  m_Wake.notify_all();
  if (m_Thread.joinable()) m_Thread.join();
}

bool CMailQueue::Post(SmtpServer server, MailMessage message, Done done) {
  {
    std::lock_guard<std::mutex> lock(m_Mutex);
    if (m_Stop || m_Jobs.size() >= MAX_WAITING) return false;
    m_Jobs.push_back(Job{std::move(server), std::move(message), std::move(done)});
    // The worker starts with the first mail: most programs never send one.
    if (!m_Thread.joinable()) m_Thread = std::thread([this] { Run(); });
  }
  m_Wake.notify_one();
  return true;
}

void CMailQueue::WaitIdle() {
  std::unique_lock<std::mutex> lock(m_Mutex);
  m_Idle.wait(lock, [this] { return m_Jobs.empty() && !m_Busy; });
}

void CMailQueue::Run() {
  std::unique_lock<std::mutex> lock(m_Mutex);
  for (;;) {
    m_Wake.wait(lock, [this] { return m_Stop || !m_Jobs.empty(); });
    if (m_Jobs.empty()) return;  // stopping, nothing left
    Job job = std::move(m_Jobs.front());
    m_Jobs.pop_front();
    m_Busy = true;
    lock.unlock();
    SmtpResult result = m_Sender(job.Server, job.Message);
    if (job.Callback) job.Callback(result);
    lock.lock();
    m_Busy = false;
    if (m_Jobs.empty()) m_Idle.notify_all();
  }
}

}  // namespace monitor
