#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <type_traits>

class QAbstractEventDispatcher;

// A thread with an event loop of its own, for a simulated device whose sockets must answer
// while the caller blocks on its own waits. Call runs a function in that thread and waits for
// it; objects made there by a call live there and must be destroyed there by a later call.
// Hand-overs go through a standard mutex, so that ThreadSanitizer sees each one, and the
// thread is woken through its event dispatcher rather than by an event posted to it: posting
// would have the caller change the thread's event queue while the thread itself changes it
// under a lock that ThreadSanitizer cannot see.
class TSimThread {
public:
    TSimThread();  // a QCoreApplication must exist
    ~TSimThread(); // ends the loop and joins
    TSimThread(const TSimThread&) = delete;
    TSimThread& operator=(const TSimThread&) = delete;

    template <class F>
    auto Call(F&& function) -> decltype(function());

private:
    struct TCall {
        std::function<void()> function;
        bool* done;
    };

    void Run();
    void Drain();
    void Post(TCall call, std::unique_lock<std::mutex>& lock);

    std::mutex mutex;
    std::condition_variable finished;
    std::deque<TCall> calls;
    bool ready = false;
    bool stopping = false;
    QAbstractEventDispatcher* dispatcher = nullptr;
    std::thread worker;
};

template <class F>
auto TSimThread::Call(F&& function) -> decltype(function()) {
    using TResult = decltype(function());
    if (std::this_thread::get_id() == worker.get_id())
        return function();
    bool done = false;
    std::conditional_t<std::is_void_v<TResult>, int, TResult> result{};
    std::unique_lock lock(mutex);
    Post({[&] {
              if constexpr (std::is_void_v<TResult>)
                  function();
              else
                  result = function();
          },
          &done},
         lock);
    finished.wait(lock, [&] { return done; });
    if constexpr (!std::is_void_v<TResult>)
        return result;
}
