// Calls from any thread into objects that live on the GUI thread. Widgets belong to
// the GUI thread alone, so every call a worker makes on them goes through here.
#pragma once

#include <QMetaObject>
#include <QObject>
#include <QThread>
#include <functional>
#include <future>
#include <memory>
#include <type_traits>
#include <utility>

namespace qtui {

inline bool OnThreadOf(const QObject* object) {
    return QThread::currentThread() == object->thread();
}

// Runs `call` on the thread of `context`: at once when already there, else queued in
// order behind earlier calls. Dropped when `context` is deleted first.
inline void Post(QObject* context, std::function<void()> call) {
    if (OnThreadOf(context)) {
        call();
        return;
    }
    QMetaObject::invokeMethod(context, std::move(call), Qt::QueuedConnection);
}

// Runs `call` on the thread of `context` and returns its result, blocking a calling
// worker until then. `context` must outlive the call and its thread must keep
// processing events (it never waits for the worker itself).
template <typename Result>
Result CallAndWait(QObject* context, std::function<Result()> call) {
    if (OnThreadOf(context)) return call();
    auto done = std::make_shared<std::promise<Result>>();
    std::future<Result> result = done->get_future();
    QMetaObject::invokeMethod(
        context,
        [done, call = std::move(call)] {
            if constexpr (std::is_void_v<Result>) {
                call();
                done->set_value();
            } else {
                done->set_value(call());
            }
        },
        Qt::QueuedConnection);
    return result.get();
}

}  // namespace qtui
