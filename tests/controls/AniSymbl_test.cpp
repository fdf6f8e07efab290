// The endless clip format below is a static image plugin of this test.
#define QT_STATICPLUGIN

#include "controls/AniSymbl.h"
#include "tests/support/TestFiles.h"

#include <QElapsedTimer>
#include <QFile>
#include <QImageIOPlugin>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>
#include <QtPlugin>

#include <gtest/gtest.h>
#include <stdexcept>
#include <sys/stat.h>

namespace {

const QString Clip = TAnimatedSymbol::ResourcePath(555);

TEST(TAnimatedSymbol, WithoutANameShowsNothingUntilAResourceClipOpens)
{
    TAnimatedSymbol symbol;
    symbol.SetState(TAnimatedSymbol::acmOpen);
    EXPECT_EQ(symbol.FrameCount(), 0);
    EXPECT_TRUE(symbol.pixmap().isNull());
    symbol.SetResource(555);
    EXPECT_GT(symbol.FrameCount(), 0);
}

TEST(TAnimatedSymbol, MissingFileRaisesTheQuotedMessage)
{
    TAnimatedSymbol symbol;
    try {
        symbol.SetAVIName("/no/such/folder/clip.avi");
        FAIL() << "no error raised";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(
            e.what(),
            "Could not open AVI \"/no/such/folder/clip.avi\"\r\rIt must be a silent AVI file/resource.");
    }
    EXPECT_EQ(symbol.FrameCount(), 0);
}

TEST(TAnimatedSymbol, AFileThatIsNoClipIsRefusedToo)
{
    TAnimatedSymbol symbol;
    EXPECT_THROW(symbol.SetAVIName("/proc/self/status"), std::runtime_error);
}

TEST(TAnimatedSymbol, UnknownResourceLeavesZeroSilently)
{
    TAnimatedSymbol symbol;
    EXPECT_NO_THROW(symbol.SetResource(12345));
    EXPECT_EQ(symbol.Resource(), 0);
    EXPECT_EQ(symbol.FrameCount(), 0);
}

TEST(TAnimatedSymbol, ThePrintClipIsAResourceThatPlaysByItself)
{
    TAnimatedSymbol symbol;
    symbol.SetResource(555);
    EXPECT_EQ(symbol.Resource(), 555);
    EXPECT_GT(symbol.FrameCount(), 10);
    EXPECT_TRUE(symbol.IsPlaying());
    EXPECT_FALSE(symbol.pixmap().isNull());
}

TEST(TAnimatedSymbol, ClosedWithoutAutoPlayShowsNothing)
{
    TAnimatedSymbol symbol;
    symbol.SetAutoPlay(false);
    symbol.SetAVIName(Clip);
    EXPECT_EQ(symbol.FrameCount(), 0);
    symbol.SetState(TAnimatedSymbol::acmOpen);
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
    symbol.show();
    symbol.SetAutoPlay(false);
    symbol.SetAVIName(Clip);
    symbol.SetState(TAnimatedSymbol::acmPlaying);
    symbol.SetPlayFrom(2);
    symbol.SetCycles(2);
    symbol.SetPlayTo(4);
    EXPECT_TRUE(symbol.IsPlaying());
    const QSet<int> seen = WatchFrames(symbol, 10000);
    EXPECT_EQ(seen, (QSet<int>{2, 3, 4}));
    EXPECT_FALSE(symbol.IsPlaying()) << "two cycles end";
    EXPECT_EQ(symbol.CurrentFrame(), 4);
}

TEST(TAnimatedSymbol, DefaultRangePlaysTheWholeClipOverAndOver)
{
    TAnimatedSymbol symbol;
    symbol.show();
    symbol.SetAutoPlay(false);
    symbol.SetAVIName(Clip);
    symbol.SetState(TAnimatedSymbol::acmPlaying);
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
    symbol.SetAVIName(Clip);
    EXPECT_GT(symbol.FrameCount(), 0);
    symbol.SetAVIName(QString());
    EXPECT_EQ(symbol.FrameCount(), 0);
    EXPECT_FALSE(symbol.IsPlaying());
}

TEST(TAnimatedSymbol, AHiddenSymbolRunsNoTimer)
{
    TAnimatedSymbol symbol;
    symbol.SetResource(555);
    EXPECT_TRUE(symbol.IsPlaying());
    EXPECT_FALSE(symbol.IsTicking());
    QTest::qWait(300);
    EXPECT_EQ(symbol.CurrentFrame(), 0);

    symbol.show();
    EXPECT_TRUE(symbol.IsTicking());
    const QSet<int> seen = WatchFrames(symbol, 5000, {1});
    EXPECT_TRUE(seen.contains(1)) << "shown, it plays";

    symbol.hide();
    EXPECT_FALSE(symbol.IsTicking());
    const int frame = symbol.CurrentFrame();
    QTest::qWait(300);
    EXPECT_EQ(symbol.CurrentFrame(), frame);
    EXPECT_TRUE(symbol.IsPlaying()) << "it goes on when shown again";
}

TEST(TAnimatedSymbol, ASymbolInAHiddenWindowRunsNoTimer)
{
    QWidget window;
    auto* symbol = new TAnimatedSymbol(&window);
    symbol->SetResource(555);
    EXPECT_FALSE(symbol->IsTicking());
    window.show();
    EXPECT_TRUE(symbol->IsTicking());
    window.hide();
    EXPECT_FALSE(symbol->IsTicking());
}

// A clip format whose reader reports no frame count and never reports its end.
class TEndlessHandler final : public QImageIOHandler {
public:
    bool canRead() const override { return true; }
    bool read(QImage* image) override
    {
        *image = QImage(4, 4, QImage::Format_RGB32);
        image->fill(Qt::red);
        return true;
    }
    int imageCount() const override { return 0; }
    int loopCount() const override { return -1; }
    int nextImageDelay() const override { return 10; }
    bool jumpToNextImage() override { return true; }
};

class TEndlessPlugin final : public QImageIOPlugin {
    Q_OBJECT
    Q_PLUGIN_METADATA(IID QImageIOHandlerFactoryInterface_iid FILE "data/endless.json")

public:
    Capabilities capabilities(QIODevice*, const QByteArray& format) const override
    {
        return format == "endless" ? CanRead : Capabilities();
    }
    QImageIOHandler* create(QIODevice* device, const QByteArray& format) const override
    {
        auto* handler = new TEndlessHandler;
        handler->setDevice(device);
        handler->setFormat(format);
        return handler;
    }
};

TEST(TAnimatedSymbol, AClipWithoutFrameCountIsReadUpToTheLimit)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("clip.endless");
    WriteBytes(path, "endless");

    TAnimatedSymbol symbol;
    symbol.SetAVIName(path);
    EXPECT_EQ(symbol.FrameCount(), TAnimatedSymbol::MaxClipFrames);
}

TEST(TAnimatedSymbol, APipeIsNoClip)
{
    QTemporaryDir dir;
    const QByteArray fifo = QFile::encodeName(dir.filePath("clip.gif"));
    ASSERT_EQ(mkfifo(fifo.constData(), 0600), 0);
    TAnimatedSymbol symbol;
    EXPECT_THROW(symbol.SetAVIName(QFile::decodeName(fifo)), std::runtime_error);
    EXPECT_EQ(symbol.FrameCount(), 0);
}

} // namespace

Q_IMPORT_PLUGIN(TEndlessPlugin)

#include "AniSymbl_test.moc"
