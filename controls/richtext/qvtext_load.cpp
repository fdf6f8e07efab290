// Loading: the conversions by file extension, and text or RTF read from a stream or a file.

#include "controls/richtext/RtfReader.h"
#include "controls/richtext/qvtext.h"
#include "controls/richtext/qvtext_shared.h"
#include "platform/Dialogs.h"

#include <QFile>
#include <QFileInfo>
#include <QIODevice>
#include <QStringDecoder>
#include <QTextDocument>

#include <istream>
#include <stdexcept>

using QvText::MakeConversion;
using QvText::NormalizeBreaks;
using QvText::ShowLibraryMessage;

std::unique_ptr<TConversion> QvText::MakeConversion()
{
    return std::make_unique<TConversion>();
}

namespace {

constexpr qint64 StreamChunk = 4096;

const QString MissingFileText =
    QStringLiteral("     This application could not open the file for viewing because\r"
                   "the path or file name no longer exists. Please try again later.\r\r"
                   "     Press Ok to continue.\r");

const TConversionFormat RtfFormat{&MakeConversion, QStringLiteral("rtf"), nullptr};
const TConversionFormat TxtFormat{&MakeConversion, QStringLiteral("txt"), &RtfFormat};

// A standard input stream seen as a device, so that loading reads it in chunks like a file.
class StdInputDevice final : public QIODevice {
public:
    explicit StdInputDevice(std::istream& stream)
        : FStream(stream)
    {
    }
    bool isSequential() const override { return false; }
    bool seek(qint64 pos) override
    {
        FStream.clear();
        FStream.seekg(pos, std::ios::beg);
        return QIODevice::seek(pos) && !FStream.fail();
    }

protected:
    qint64 readData(char* data, qint64 maxSize) override
    {
        if (FStream.bad()) {
            return -1;
        }
        FStream.read(data, maxSize);
        const qint64 count = FStream.gcount();
        FStream.clear(FStream.rdstate() & ~(std::ios::failbit | std::ios::eofbit));
        return count;
    }
    qint64 writeData(const char*, qint64) override { return -1; }

private:
    std::istream& FStream;
};

} // namespace

qint64 TConversion::ConvertReadStream(QIODevice& stream, char* buffer, qint64 bufferSize)
{
    return stream.read(buffer, bufferSize);
}

qint64 TConversion::ConvertWriteStream(QIODevice& stream, const char* buffer, qint64 bufferSize)
{
    return stream.write(buffer, bufferSize);
}

const TConversionFormat* ConversionFormatList()
{
    return &TxtFormat;
}

void TQvEdit::LoadBytes(QIODevice& stream, TConversion& converter)
{
    stream.seek(0);
    QByteArray buffer(StreamChunk, Qt::Uninitialized);
    const int limit = EffectiveMaxLength();

    if (!FPlainText) {
        QByteArray rtf;
        // The markup's size says little about the text it holds, so all of it is read; the reader
        // stops building the document once the control is full.
        while (true) {
            const qint64 count = converter.ConvertReadStream(stream, buffer.data(), buffer.size());
            if (count <= 0) {
                break;
            }
            rtf.append(buffer.constData(), count);
        }
        if (FMultiLine) {
            ReadRtf(rtf, *document(), limit);
            TrimToMaxLength();
            document()->clearUndoRedoStacks();
            moveCursor(QTextCursor::Start);
        } else {
            QTextDocument loaded;
            ReadRtf(rtf, loaded, limit);
            setPlainText(FitToControl(loaded.toPlainText()));
        }
    } else {
        QStringDecoder decoder(QStringDecoder::System);
        QString text;
        bool pendingCr = false;
        // Stop reading once the limit is met: a huge result log only shows its beginning anyway.
        while (text.size() <= limit) {
            const qint64 count = converter.ConvertReadStream(stream, buffer.data(), buffer.size());
            if (count <= 0) {
                break;
            }
            QString chunk = decoder.decode(QByteArrayView(buffer.constData(), count));
            if (pendingCr && chunk.startsWith(u'\n')) {
                chunk.remove(0, 1);
            }
            pendingCr = chunk.endsWith(u'\r');
            text += NormalizeBreaks(chunk);
        }
        text += decoder.decode(QByteArrayView());
        UseDefaultFormat();
        setPlainText(FitToControl(text));
    }
    SetModified(false);
}

void TQvEdit::LoadFromStream(QIODevice& stream)
{
    LoadBytes(stream, *FConverter);
}

void TQvEdit::LoadFromStream(std::istream& stream)
{
    StdInputDevice device(stream);
    device.open(QIODevice::ReadOnly);
    LoadBytes(device, *FConverter);
}

bool TQvEdit::LoadFromFile(const QString& fileName)
{
    if (!QFileInfo::exists(fileName)) {
        ShowLibraryMessage(MissingFileText, MB_OK | MB_ICONHAND);
        return false;
    }
    QFile file(fileName);
    if (QFileInfo(fileName).isDir() || !file.open(QIODevice::ReadOnly)) {
        throw std::runtime_error(
            QStringLiteral("Cannot open file %1").arg(QFileInfo(fileName).absoluteFilePath()).toStdString());
    }
    const QString extension = QFileInfo(fileName).suffix().toLower();
    TConversionClass conversionClass = ConversionFormatList()->ConversionClass;
    for (const TConversionFormat* f = ConversionFormatList(); f; f = f->Next) {
        if (f->Extension == extension) {
            conversionClass = f->ConversionClass;
            break;
        }
    }
    const std::unique_ptr<TConversion> converter = conversionClass();
    LoadBytes(file, *converter);
    return true;
}
