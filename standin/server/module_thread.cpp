#include "standin/server/module_thread.h"

namespace standin {

ModuleThread::ModuleThread(FailureSink onFailure)
    : onFailure_(std::move(onFailure)), thread_([this] { loop(); }) {}

ModuleThread::~ModuleThread() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    ending_ = true;
  }
  queued_.notify_one();
  thread_.join();
}

void ModuleThread::post(Task task) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    tasks_.push_back(std::move(task));
  }
  queued_.notify_one();
}

void ModuleThread::loop() {
  for (;;) {
    Task task;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      queued_.wait(lock, [this] { return ending_ || !tasks_.empty(); });
      if (tasks_.empty()) return;  // ending, and everything queued has run
      task = std::move(tasks_.front());
      tasks_.pop_front();
    }
    try {
      task();
    } catch (...) {
      if (onFailure_) {
        try {
          onFailure_(std::current_exception());
        } catch (...) {
          // A report that fails is dropped: the thread must go on.
        }
      }
    }
  }
}

}  // namespace standin
