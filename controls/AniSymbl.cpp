#include "controls/AniSymbl.h"

#include <QFileInfo>
#include <QMovie>

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

void TAnimatedSymbol::setPlayFrom(int value)
{
    FPlayFrom = static_cast<qint16>(value);
    Play();
}

void TAnimatedSymbol::setPlayTo(int value)
{
    FPlayTo = static_cast<qint16>(value);
    Play();
}

void TAnimatedSymbol::setCycles(int value)
{
    FCycles = static_cast<qint16>(value);
    Play();
}

void TAnimatedSymbol::setResource(int value)
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

void TAnimatedSymbol::setState(TAnimatedState value)
{
    FState = value;
    Open();
}

void TAnimatedSymbol::setAVIName(const QString& value)
{
    FAVIName = value;
    Open();
}

void TAnimatedSymbol::setAutoPlay(bool value)
{
    if (FAutoPlay != value) {
        FAutoPlay = value;
        Open();
        Play();
    }
}

void TAnimatedSymbol::setCenter(bool value)
{
    if (FCenter != value) {
        FCenter = value;
        ApplyLook();
    }
}

void TAnimatedSymbol::setTransparent(bool value)
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
        throw std::runtime_error(("Could not open AVI \"" + FAVIName + "\"\r\rIt must be a silent AVI file/resource.")
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
    if (!QFileInfo::exists(path)) {
        return false;
    }
    QMovie movie(path);
    if (!movie.isValid()) {
        return false;
    }
    movie.setCacheMode(QMovie::CacheAll);
    for (bool more = movie.jumpToFrame(0); more; more = movie.jumpToNextFrame()) {
        FFrames.append(movie.currentPixmap());
        FDelays.append(qMax(10, movie.nextFrameDelay()));
        if (movie.frameCount() > 0 && FFrames.size() >= movie.frameCount()) {
            break;
        }
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
    if (cycles == 0) {
        return;
    }
    ShowFrame(FFrom);
    FTimer.start(FDelays.at(FFrom));
}

void TAnimatedSymbol::NextFrame()
{
    int next = FCurrent + 1;
    if (next > FTo) {
        if (FCyclesLeft > 0 && --FCyclesLeft == 0) {
            return;
        }
        next = FFrom;
    }
    ShowFrame(next);
    FTimer.start(FDelays.at(next));
}

void TAnimatedSymbol::ShowFrame(int index)
{
    FCurrent = index;
    setPixmap(FFrames.at(index));
}
