#include "app/RunDisplay.h"

#include "platform/ErrorGuard.h"

namespace {

QString FromBytes(const std::string& bytes)
{
    return QString::fromLocal8Bit(bytes.data(), qsizetype(bytes.size()));
}

} // namespace

TRunDisplay::TRunDisplay(TTargets Targets)
    : FTargets(std::move(Targets))
{
    FTimer.setInterval(IntervalMs);
    QObject::connect(&FTimer, &QTimer::timeout, Guard([this] { Show(); }));
}

void TRunDisplay::PublishStatusText(int Panel, std::string_view Text)
{
    if (Panel < 0 || Panel >= int(FPending.Panels.size())) {
        return;
    }
    const auto index = std::size_t(Panel);
    std::lock_guard lock(FLock);
    if (FAccepting) {
        FPending.Panels[index].assign(Text);
        FPending.PanelSet[index] = true;
    }
}

void TRunDisplay::PublishCaption(std::string_view Caption)
{
    std::lock_guard lock(FLock);
    if (FAccepting) {
        FLastCaption.assign(Caption);
        FPending.Caption.assign(Caption);
        FPending.CaptionSet = true;
    }
}

void TRunDisplay::PublishCaptionAsTitle()
{
    {
        std::lock_guard lock(FLock);
        if (FAccepting) {
            FPending.Title = FLastCaption;
            FPending.TitleSet = true;
        }
    }
    if (OnTitlePublished) {
        OnTitlePublished();
    }
}

void TRunDisplay::Start()
{
    {
        std::lock_guard lock(FLock);
        FPending.PanelSet = {};
        FPending.CaptionSet = false;
        FPending.TitleSet = false;
        FLastCaption.clear();
        FAccepting = true;
    }
    FTimer.start();
}

void TRunDisplay::Stop()
{
    FTimer.stop();
    {
        std::lock_guard lock(FLock);
        FAccepting = false;
    }
    Show();
}

void TRunDisplay::Show()
{
    {
        std::lock_guard lock(FLock);
        std::swap(FPending, FShowing);
        FPending.PanelSet = {};
        FPending.CaptionSet = false;
        FPending.TitleSet = false;
    }
    // Shown outside the lock: drawing must never hold up the worker that publishes.
    for (std::size_t i = 0; i < FShowing.Panels.size(); ++i) {
        if (FShowing.PanelSet[i] && FTargets.StatusText) {
            FTargets.StatusText(int(i), FromBytes(FShowing.Panels[i]));
        }
    }
    if (FShowing.CaptionSet && FTargets.Caption) {
        FTargets.Caption(FromBytes(FShowing.Caption));
    }
    if (FShowing.TitleSet && FTargets.Title) {
        FTargets.Title(FromBytes(FShowing.Title));
    }
    FShowing.PanelSet = {};
    FShowing.CaptionSet = false;
    FShowing.TitleSet = false;
}
