// The RTF reader, and the document it builds laid out and painted at a fixed width, so that values
// the reader passes on unchecked show up as faults in the text layout.
//
// Rate: each input is a fresh document laid out and painted by Qt; a few thousand executions a second
// is what that costs, far from a million a minute (more so on this machine, shared with other builds).
#include "controls/richtext/RtfReader.h"

#include <QAbstractTextDocumentLayout>
#include <QImage>
#include <QPainter>
#include <QTextBlock>
#include <QTextDocument>

#include "FuzzApplication.h"

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzz::StartApplication();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    QTextDocument document;
    ReadRtf(QByteArrayView(data, static_cast<qsizetype>(size)), document);
    document.setTextWidth(400);
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        document.documentLayout()->blockBoundingRect(block);
    }
    QImage image(64, 64, QImage::Format_ARGB32_Premultiplied);
    QPainter painter(&image);
    document.drawContents(&painter, QRectF(0, 0, 64, 64));
    return 0;
}
