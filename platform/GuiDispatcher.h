#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <utility>

/// True on the thread that owns the QApplication (also true when there is no application object).
bool IsGuiThread();

/// Runs fn on the GUI thread and waits for it; calls it directly when already there. Calls from one
/// thread run in the order issued. An exception thrown by fn is rethrown in the caller. Everything fn
/// wrote is visible to the caller when this returns. For work that needs an answer or a person only:
/// what is merely shown is published and left to the GUI thread instead (see TRunDisplay).
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

/// How many RunOnGuiThread calls so far made another thread wait for the GUI thread (direct calls on
/// the GUI thread are not counted).
std::uint64_t BlockingCallCount();

/// Waits until done() holds; on the GUI thread it keeps processing events (user input excluded) meanwhile,
/// so a worker that is waiting for the GUI thread can finish.
void WaitProcessingEvents(const std::function<bool()>& done);
