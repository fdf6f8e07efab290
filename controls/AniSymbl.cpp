#include "controls/AniSymbl.h"

#include <QFileInfo>
#include <QImageReader>

#include <stdexcept>

TAnimatedSymbol::TAnimatedSymbol(QWidget* parent)
    : QLabel(parent)
{
    resize(32, 32);
    FTimer.setSingleShot(true);
    connect(&FTimer, &QTimer::timeout, this, &TAnimatedSymbol::NextFrame);
    ApplyLook();
}

QString TAnimatedSymbol::ResourcePath(int number)
{
    return QStringLiteral(":/clips/%1.gif").arg(number);
}

void TAnimatedSymbol::SetPlayFrom(int value)
{
    FPlayFrom = static_cast<qint16>(value);
    Play();
}

void TAnimatedSymbol::SetPlayTo(int value)
{
    FPlayTo = static_cast<qint16>(value);
    Play();
}

void TAnimatedSymbol::SetCycles(int value)
{
    FCycles = static_cast<qint16>(value);
    Play();
}

void TAnimatedSymbol::SetResource(int value)
{
    if (value > 0 && LoadClip(ResourcePath(value))) {
        FResource = value;
        if (FAutoPlay) {
            StartPlaying(0, -1, -1);
        }
        Play();
    } else {
        FResource = 0;
    }
}

void TAnimatedSymbol::SetState(TAnimatedState value)
{
    FState = value;
    Open();
}

void TAnimatedSymbol::SetAVIName(const QString& value)
{
    FAVIName = value;
    Open();
}

void TAnimatedSymbol::SetAutoPlay(bool value)
{
    if (FAutoPlay != value) {
        FAutoPlay = value;
        Open();
        Play();
    }
}

void TAnimatedSymbol::SetCenter(bool value)
{
    if (FCenter != value) {
        FCenter = value;
        ApplyLook();
    }
}

void TAnimatedSymbol::SetTransparent(bool value)
{
    if (FTransparent != value) {
        FTransparent = value;
        ApplyLook();
    }
}

void TAnimatedSymbol::ApplyLook()
{
    setAlignment(FCenter ? Qt::AlignCenter : Qt::AlignLeft | Qt::AlignTop);
    // An opaque clip shows on the window colour instead of the panel behind it.
    setAutoFillBackground(!FTransparent);
    setBackgroundRole(FTransparent ? QPalette::Window : QPalette::Base);
    update();
}

void TAnimatedSymbol::Open()
{
    if ((!FAutoPlay && FState == acmClosed) || FAVIName.isEmpty()) {
        CloseClip();
        return;
    }
    if (!LoadClip(FAVIName)) {
        throw std::runtime_error(
            ("Could not open AVI \"" + FAVIName + "\"\r\rIt must be a silent AVI file/resource.")
                .toLocal8Bit()
                .toStdString());
    }
    if (FAutoPlay) {
        StartPlaying(0, -1, -1);
    }
    Play();
}

void TAnimatedSymbol::Play()
{
    if (FState == acmPlaying && !FFrames.isEmpty()) {
        StartPlaying(FPlayFrom, FPlayTo, FCycles);
    }
}

bool TAnimatedSymbol::LoadClip(const QString& path)
{
    CloseClip();
    // Only a file that ends: a pipe or a device could keep the reader waiting for ever.
    const QFileInfo info(path);
    if (!info.exists() || !info.isFile()) {
        return false;
    }
    // The frames are read once, up to the clip's end. Nothing here loops (an animation's own repeat
    // count is for playing), and a reader that reports no frame count and never reports an end stops
    // at MaxClipFrames.
    QImageReader reader(path);
    while (FFrames.size() < MaxClipFrames) {
        const QImage frame = reader.read();
        if (frame.isNull()) {
            break;
        }
        FFrames.append(QPixmap::fromImage(frame));
        FDelays.append(qMax(10, reader.nextImageDelay()));
    }
    if (FFrames.isEmpty()) {
        return false;
    }
    ShowFrame(0);
    return true;
}

void TAnimatedSymbol::CloseClip()
{
    FTimer.stop();
    FRunning = false;
    FFrames.clear();
    FDelays.clear();
    FCurrent = -1;
    clear();
    update();
}

void TAnimatedSymbol::StartPlaying(int from, int to, int cycles)
{
    const int last = FrameCount() - 1;
    // -1 as the last frame means the clip's own last frame.
    FFrom = qBound(0, from, last);
    FTo = to < 0 || to > last ? last : qMax(FFrom, to);
    FCyclesLeft = cycles;
    FTimer.stop();
    FRunning = false;
    if (cycles == 0) {
        return;
    }
    FRunning = true;
    ShowFrame(FFrom);
    Tick(FDelays.at(FFrom));
}

void TAnimatedSymbol::Tick(int delay)
{
    // A symbol nobody can see spends no timer; it goes on where it was when it is shown again.
    if (FRunning && isVisible()) {
        FTimer.start(delay);
    }
}

void TAnimatedSymbol::showEvent(QShowEvent* event)
{
    QLabel::showEvent(event);
    if (FRunning && !FTimer.isActive() && FCurrent >= 0) {
        Tick(FDelays.at(FCurrent));
    }
}

void TAnimatedSymbol::hideEvent(QHideEvent* event)
{
    QLabel::hideEvent(event);
    FTimer.stop();
}

void TAnimatedSymbol::NextFrame()
{
    int next = FCurrent + 1;
    if (next > FTo) {
        if (FCyclesLeft > 0 && --FCyclesLeft == 0) {
            FRunning = false;
            return;
        }
        next = FFrom;
    }
    ShowFrame(next);
    Tick(FDelays.at(next));
}

void TAnimatedSymbol::ShowFrame(int index)
{
    FCurrent = index;
    setPixmap(FFrames.at(index));
}
