// The one thread that calls into the module while the playground serves, as
// the Modeler's user-interface thread does: the host interface promises a
// tool that all its callbacks come from one thread.
//
// The thread owns the editing session; other threads (the web server's) hand
// it work and get the answer back. Work runs in the order it was handed over,
// one task at a time. A task that throws never ends the thread: call() hands
// the exception to its caller, post() reports it to `onFailure`.
//
// The destructor runs what is queued, then ends the thread; nothing may be
// handed over after it started.
#pragma once

#include <condition_variable>
#include <deque>
#include <exception>
#include <functional>
#include <future>
#include <mutex>
#include <thread>
#include <type_traits>
#include <utility>

namespace standin {

class ModuleThread {
 public:
  using Task = std::function<void()>;
  // Called on the module thread with what a posted task threw.
  using FailureSink = std::function<void(std::exception_ptr)>;

  explicit ModuleThread(FailureSink onFailure = {});
  ~ModuleThread();
  ModuleThread(const ModuleThread &) = delete;
  ModuleThread &operator=(const ModuleThread &) = delete;

  // Queues `task` and returns at once.
  void post(Task task);

  // Runs `task` on the module thread and waits for it: its result, or what
  // it threw, comes back here. On the module thread itself it runs at once.
  template <class F>
  std::invoke_result_t<F> call(F &&task) {
    using Result = std::invoke_result_t<F>;
    if (isCurrent()) return task();
    auto promise = std::make_shared<std::promise<Result>>();
    std::future<Result> answer = promise->get_future();
    post([promise, &task] {
      try {
        if constexpr (std::is_void_v<Result>) {
          task();
          promise->set_value();
        } else {
          promise->set_value(task());
        }
      } catch (...) {
        promise->set_exception(std::current_exception());
      }
    });
    return answer.get();
  }

  bool isCurrent() const { return std::this_thread::get_id() == thread_.get_id(); }
  std::thread::id id() const { return thread_.get_id(); }

 private:
  void loop();

  FailureSink onFailure_;
  std::mutex mutex_;
  std::condition_variable queued_;
  std::deque<Task> tasks_;
  bool ending_ = false;
  std::thread thread_;  // last: starts once the rest is ready
};

}  // namespace standin
