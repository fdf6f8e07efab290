#include "controls/AniSymbl.h"

#include <QElapsedTimer>
#include <QSet>
#include <QTest>

#include <gtest/gtest.h>

#include <stdexcept>

namespace {

const QString Clip = TAnimatedSymbol::ResourcePath(555);

TEST(TAnimatedSymbol, WithoutANameShowsNothingUntilAResourceClipOpens)
{
    TAnimatedSymbol symbol;
    symbol.setState(TAnimatedSymbol::acmOpen);
    EXPECT_EQ(symbol.FrameCount(), 0);
    EXPECT_TRUE(symbol.pixmap().isNull());
    symbol.setResource(555);
    EXPECT_GT(symbol.FrameCount(), 0);
}

TEST(TAnimatedSymbol, MissingFileRaisesTheQuotedMessage)
{
    TAnimatedSymbol symbol;
    try {
        symbol.setAVIName("/no/such/folder/clip.avi");
        FAIL() << "no error raised";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "Could not open AVI \"/no/such/folder/clip.avi\"\r\rIt must be a silent AVI file/resource.");
    }
    EXPECT_EQ(symbol.FrameCount(), 0);
}

TEST(TAnimatedSymbol, AFileThatIsNoClipIsRefusedToo)
{
    TAnimatedSymbol symbol;
    EXPECT_THROW(symbol.setAVIName("/proc/self/status"), std::runtime_error);
}

TEST(TAnimatedSymbol, UnknownResourceLeavesZeroSilently)
{
    TAnimatedSymbol symbol;
    EXPECT_NO_THROW(symbol.setResource(12345));
    EXPECT_EQ(symbol.Resource(), 0);
    EXPECT_EQ(symbol.FrameCount(), 0);
}

TEST(TAnimatedSymbol, ThePrintClipIsAResourceThatPlaysByItself)
{
    TAnimatedSymbol symbol;
    symbol.setResource(555);
    EXPECT_EQ(symbol.Resource(), 555);
    EXPECT_GT(symbol.FrameCount(), 10);
    EXPECT_TRUE(symbol.IsPlaying());
    EXPECT_FALSE(symbol.pixmap().isNull());
}

TEST(TAnimatedSymbol, ClosedWithoutAutoPlayShowsNothing)
{
    TAnimatedSymbol symbol;
    symbol.setAutoPlay(false);
    symbol.setAVIName(Clip);
    EXPECT_EQ(symbol.FrameCount(), 0);
    symbol.setState(TAnimatedSymbol::acmOpen);
    EXPECT_GT(symbol.FrameCount(), 0);
    EXPECT_FALSE(symbol.IsPlaying());
    EXPECT_EQ(symbol.CurrentFrame(), 0);
}

// Collects the frames shown until the clip stops, `enough` frames were seen, or `ms` pass.
QSet<int> WatchFrames(TAnimatedSymbol& symbol, int ms, const QSet<int>& enough = {})
{
    QSet<int> seen;
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < ms) {
        seen.insert(symbol.CurrentFrame());
        if (!symbol.IsPlaying() || (!enough.isEmpty() && seen.contains(enough))) {
            break;
        }
        QTest::qWait(5);
    }
    return seen;
}

TEST(TAnimatedSymbol, PlayingHonoursTheFrameRangeAndTheCycles)
{
    TAnimatedSymbol symbol;
    symbol.setAutoPlay(false);
    symbol.setAVIName(Clip);
    symbol.setState(TAnimatedSymbol::acmPlaying);
    symbol.setPlayFrom(2);
    symbol.setCycles(2);
    symbol.setPlayTo(4);
    EXPECT_TRUE(symbol.IsPlaying());
    const QSet<int> seen = WatchFrames(symbol, 10000);
    EXPECT_EQ(seen, (QSet<int>{2, 3, 4}));
    EXPECT_FALSE(symbol.IsPlaying()) << "two cycles end";
    EXPECT_EQ(symbol.CurrentFrame(), 4);
}

TEST(TAnimatedSymbol, DefaultRangePlaysTheWholeClipOverAndOver)
{
    TAnimatedSymbol symbol;
    symbol.setAutoPlay(false);
    symbol.setAVIName(Clip);
    symbol.setState(TAnimatedSymbol::acmPlaying);
    const int frames = symbol.FrameCount();
    // Past the last frame and round to the first again.
    QSet<int> seen = WatchFrames(symbol, 10000, {frames - 1});
    seen.unite(WatchFrames(symbol, 10000, {0}));
    EXPECT_TRUE(symbol.IsPlaying());
    EXPECT_TRUE(seen.contains(0));
    EXPECT_TRUE(seen.contains(frames - 1));
}

TEST(TAnimatedSymbol, EmptyNameClosesTheClip)
{
    TAnimatedSymbol symbol;
    symbol.setAVIName(Clip);
    EXPECT_GT(symbol.FrameCount(), 0);
    symbol.setAVIName(QString());
    EXPECT_EQ(symbol.FrameCount(), 0);
    EXPECT_FALSE(symbol.IsPlaying());
}

} // namespace
