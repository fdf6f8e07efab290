#pragma once

#include <functional>
#include <optional>
#include <utility>

/// True on the thread that owns the QApplication (also true when there is no application object).
bool IsGuiThread();

/// Runs fn on the GUI thread and waits for it; calls it directly when already there. Calls from one
/// thread run in the order issued. An exception thrown by fn is rethrown in the caller.
void RunOnGuiThread(const std::function<void()>& fn);

/// Like RunOnGuiThread, for a function that returns a value.
template <class F>
auto CallOnGuiThread(F&& fn) -> decltype(fn())
{
    using Result = decltype(fn());
    if constexpr (std::is_void_v<Result>) {
        RunOnGuiThread(std::forward<F>(fn));
    } else {
        std::optional<Result> result;
        RunOnGuiThread([&] { result.emplace(fn()); });
        return std::move(*result);
    }
}

/// Waits until done() holds; on the GUI thread it keeps processing events (user input excluded) meanwhile,
/// so a worker that is waiting for the GUI thread can finish.
void WaitProcessingEvents(const std::function<bool()>& done);
