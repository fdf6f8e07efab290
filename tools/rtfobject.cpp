// Fills the object placeholders of an RTF template with embedded objects made by the program's
// own object writer, so that shipped documents hold exactly what the program itself would save:
//   @WEBLINK <address>@            a web link
//   @FILELINK <path> <icon.png>@   a file link with an icon (the picture is stored as an icon)
//   @ICON <icon.png> <caption>@    an icon object; an empty caption shows the icon
// Icon files are named relative to the template. Usage: sifton-rtfobject TEMPLATE OUTPUT

#include "controls/objects/RichObjects.h"
#include "controls/objects/RtfObjects.h"
#include "platform/com/KeyStore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <cstdio>

namespace {

QByteArray EscapeRtf(const QByteArray& text)
{
    QByteArray escaped;
    for (const char c : text) {
        if (c == '\\' || c == '{' || c == '}') {
            escaped += '\\';
        }
        escaped += c;
    }
    return escaped;
}

bool LoadIcon(TIcon& icon, const QDir& folder, const QString& name)
{
    const QImage image(folder.filePath(name));
    return !image.isNull() && icon.Assign(image);
}

// The \object group for one placeholder; empty (and a message) when it cannot be made.
QByteArray ObjectFor(const QString& placeholder, const QDir& folder)
{
    const QStringList words = placeholder.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    const QString kind = words.value(0);
    TQvOle* object = nullptr;
    QByteArray result;
    if (kind == "WEBLINK" && words.size() == 2) {
        object = new TQvOle(&TWebLink::New);
        static_cast<TWebLink&>(object->Hosted()).URL = words[1].toLocal8Bit();
        result = EscapeRtf(words[1].toLocal8Bit());
    } else if (kind == "FILELINK" && words.size() == 3) {
        object = new TQvOle(&TFileLink::New);
        auto& link = static_cast<TFileLink&>(object->Hosted());
        link.Path = words[1].toLocal8Bit();
        if (!LoadIcon(link.Icon, folder, words[2])) {
            std::fprintf(stderr, "sifton-rtfobject: cannot read the icon %s\n", qPrintable(words[2]));
            object->Release();
            return {};
        }
        result = EscapeRtf(link.FileName().toLocal8Bit());
    } else if (kind == "ICON" && words.size() >= 2) {
        object = new TQvOle(&TIconOle::New);
        auto& icon = static_cast<TIconOle&>(object->Hosted());
        icon.Caption = words.mid(2).join(QLatin1Char(' ')).toLocal8Bit();
        icon.SetShowIcon(icon.Caption.isEmpty());
        if (!LoadIcon(icon.Icon, folder, words[1])) {
            std::fprintf(stderr, "sifton-rtfobject: cannot read the icon %s\n", qPrintable(words[1]));
            object->Release();
            return {};
        }
        result = EscapeRtf(icon.Caption);
    } else {
        std::fprintf(stderr, "sifton-rtfobject: unknown placeholder @%s@\n", qPrintable(placeholder));
        return {};
    }
    const QByteArray rtf = WriteRtfObject(object, result);
    object->Release();
    return rtf;
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QGuiApplication app(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: sifton-rtfobject TEMPLATE OUTPUT\n");
        return 2;
    }
    // The class keys the writer consults (for the ProgID) live only as long as this run.
    QTemporaryDir keys;
    SetClassesRootFile(keys.filePath("keys.reg").toStdString());
    RegisterRichObjects();

    QFile input(QString::fromLocal8Bit(argv[1]));
    if (!input.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "sifton-rtfobject: cannot read %s\n", argv[1]);
        return 1;
    }
    const QByteArray text = input.readAll();
    const QDir folder = QFileInfo(input).absoluteDir();
    QByteArray output;
    qsizetype at = 0;
    static const QRegularExpression placeholder(QStringLiteral("@((WEBLINK|FILELINK|ICON)[^@\\r\\n]*)@"));
    auto match = placeholder.globalMatch(QString::fromLatin1(text));
    while (match.hasNext()) {
        const QRegularExpressionMatch m = match.next();
        const QByteArray rtf = ObjectFor(m.captured(1), folder);
        if (rtf.isEmpty()) {
            return 1;
        }
        output += text.mid(at, m.capturedStart() - at) + rtf;
        at = m.capturedEnd();
    }
    output += text.mid(at);
    RevokeRichObjects();

    QFile out(QString::fromLocal8Bit(argv[2]));
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate) || out.write(output) != output.size()) {
        std::fprintf(stderr, "sifton-rtfobject: cannot write %s\n", argv[2]);
        return 1;
    }
    return 0;
}
