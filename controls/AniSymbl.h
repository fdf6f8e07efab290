#pragma once

#include <QLabel>
#include <QList>
#include <QPixmap>
#include <QTimer>

/// A silent animation played from a file or from a clip in the program's resources.
class TAnimatedSymbol : public QLabel {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TAnimatedSymbol)
    Q_PROPERTY(int PlayFrom READ PlayFrom WRITE SetPlayFrom)
    Q_PROPERTY(int PlayTo READ PlayTo WRITE SetPlayTo)
    Q_PROPERTY(int Cycles READ Cycles WRITE SetCycles)
    Q_PROPERTY(int Resource READ Resource WRITE SetResource)
    Q_PROPERTY(TAnimatedState State READ State WRITE SetState)
    Q_PROPERTY(QString AVIName READ AVIName WRITE SetAVIName)
    Q_PROPERTY(bool AutoPlay READ AutoPlay WRITE SetAutoPlay)
    Q_PROPERTY(bool Center READ Center WRITE SetCenter)
    Q_PROPERTY(bool Transparent READ Transparent WRITE SetTransparent)
    Q_PROPERTY(QString Hint READ toolTip WRITE setToolTip)
    Q_PROPERTY(bool ShowHint READ ShowHint WRITE SetShowHint)

public:
    enum TAnimatedState { acmOpen, acmClosed, acmPlaying };
    Q_ENUM(TAnimatedState)

    explicit TAnimatedSymbol(QWidget* parent = nullptr);

    int PlayFrom() const { return FPlayFrom; }
    void SetPlayFrom(int value);
    int PlayTo() const { return FPlayTo; }
    void SetPlayTo(int value);
    int Cycles() const { return FCycles; }
    void SetCycles(int value);
    int Resource() const { return FResource; }
    void SetResource(int value);
    TAnimatedState State() const { return FState; }
    void SetState(TAnimatedState value);
    QString AVIName() const { return FAVIName; }
    void SetAVIName(const QString& value);
    bool AutoPlay() const { return FAutoPlay; }
    void SetAutoPlay(bool value);
    bool Center() const { return FCenter; }
    void SetCenter(bool value);
    bool Transparent() const { return FTransparent; }
    void SetTransparent(bool value);
    bool ShowHint() const { return FShowHint; }
    void SetShowHint(bool value) { FShowHint = value; }

    // The open clip, as played.
    int FrameCount() const { return static_cast<int>(FFrames.size()); }
    int CurrentFrame() const { return FCurrent; }
    // Playing: the clip moves on whenever the symbol can be seen.
    bool IsPlaying() const { return FRunning; }
    // Whether a frame timer is running now (never while the symbol is hidden).
    bool IsTicking() const { return FTimer.isActive(); }

    // A clip is read up to its end, or up to this many frames.
    static constexpr int MaxClipFrames = 500;

    // Where resource clip number n lives in the program's resources.
    static QString ResourcePath(int number);

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    // Opens the file clip named by AVIName, or closes the clip (raises on a clip that cannot be opened).
    void Open();
    // Plays the frame range the requested number of times, when State asks for it.
    void Play();
    bool LoadClip(const QString& path);
    void CloseClip();
    void StartPlaying(int from, int to, int cycles);
    void ShowFrame(int index);
    void NextFrame();
    void Tick(int delay);
    void ApplyLook();

    int FPlayFrom{0};
    int FPlayTo{-1};
    int FCycles{-1};
    int FResource{0};
    TAnimatedState FState{acmClosed};
    QString FAVIName;
    bool FAutoPlay{true};
    bool FCenter{true};
    bool FTransparent{true};
    bool FShowHint{false};

    QList<QPixmap> FFrames;
    QList<int> FDelays;
    QTimer FTimer;
    int FCurrent{-1};
    int FFrom{0};
    int FTo{0};
    int FCyclesLeft{-1};
    bool FRunning{false};
};
