#pragma once

#include <QString>

#include <concepts>
#include <exception>
#include <utility>

/// Shows an error text as the central handler does: an error box captioned with the application title.
void ShowErrorText(const QString& text);
/// Shows the exception in flight (call from a catch block) through ShowErrorText.
void ShowCurrentException() noexcept;

/// Runs fn; whatever escapes it is shown in the error box and goes no further. Use for every command
/// handler, timer tick and event callback that Qt calls.
template <class F>
void Guarded(F&& fn) noexcept
{
    try {
        std::forward<F>(fn)();
    } catch (...) {
        ShowCurrentException();
    }
}

/// Runs fn and swallows whatever escapes it (for control events that cannot recover).
template <class F>
void Shielded(F&& fn) noexcept
{
    try {
        std::forward<F>(fn)();
    } catch (...) {
    }
}

/// Wraps fn so that each call runs through Guarded: connect(button, &QPushButton::clicked, this, Guard([this]
/// {...})).
template <class F>
auto Guard(F fn)
{
    // Constrained, so that Qt's connect can find how many of a signal's arguments fn takes.
    return [fn = std::move(fn)]<class... A>(A && ... args) mutable -> void requires std::invocable<F&, A...>
    {
        Guarded([&] { fn(std::forward<A>(args)...); });
    };
}
