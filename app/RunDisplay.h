#pragma once

#include <QString>
#include <QTimer>

#include <array>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>

/// What a running search shows in the window: the four status panels, the caption and the application
/// title. The search publishes every change from its own thread and never waits for the window; the GUI
/// thread shows the latest value of each at screen pace while the display runs, and everything still
/// pending when it stops. Nobody reads thousands of status texts a second; the last one always arrives.
class TRunDisplay final {
public:
    /// Where the GUI thread puts what it shows (texts already decoded from the locale's 8-bit bytes).
    struct TTargets {
        std::function<void(int Panel, const QString& Text)> StatusText;
        std::function<void(const QString& Caption)> Caption;
        std::function<void(const QString& Title)> Title;
    };

    /// The pace at which a running display shows what was published.
    static constexpr int IntervalMs = 40;

    /// Created on the GUI thread.
    explicit TRunDisplay(TTargets Targets);
    TRunDisplay(const TRunDisplay&) = delete;
    TRunDisplay& operator=(const TRunDisplay&) = delete;

    // Any thread; each call replaces what an earlier one published and has not been shown yet.
    void PublishStatusText(int Panel, std::string_view Text);
    void PublishCaption(std::string_view Caption);
    /// The application title becomes the caption published last.
    void PublishCaptionAsTitle();
    /// Called on the publishing thread after each PublishCaptionAsTitle (a run's periodic status
    /// update); unset in the program. Set before a run starts, it lets a test hold the run at a known
    /// line, as a slow file would.
    std::function<void()> OnTitlePublished;

    // GUI thread.
    /// Starts showing at screen pace; what was pending from an earlier run is dropped.
    void Start();
    /// Shows what is pending, then stops: nothing published later is shown.
    void Stop();
    /// Shows what is pending now.
    void Show();
    bool Running() const { return FTimer.isActive(); }

private:
    struct TPending {
        std::array<std::string, 4> Panels;
        std::array<bool, 4> PanelSet{};
        std::string Caption;
        bool CaptionSet = false;
        std::string Title;
        bool TitleSet = false;
    };

    std::mutex FLock;
    TPending FPending; // guarded by FLock; published and not yet shown
    std::string FLastCaption; // guarded by FLock; what a published title copies
    bool FAccepting = false; // guarded by FLock; between Start and Stop
    TPending FShowing; // GUI thread: swapped with FPending, so both keep their buffers
    TTargets FTargets; // GUI thread
    QTimer FTimer; // GUI thread
};
