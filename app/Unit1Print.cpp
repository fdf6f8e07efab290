#include "app/Unit1.h"
#include "controls/richtext/qvtext_print.h"
#include "platform/ErrorGuard.h"

#include <QAction>
#include <QTextEdit>

void TForm1::ConnectPrintCommand()
{
    connect(Print1, &QAction::triggered, this, Guard([this] { BPrintClick(Print1); }));
    connect(BPrint, &QAction::triggered, this, Guard([this] { BPrintClick(BPrint); }));
}

void TForm1::BPrintClick(QObject* Sender)
{
    Q_UNUSED(Sender);
    // The same path as TQvEdit::Print, so it holds whichever text control the pane is.
    PrintDocument(*Viewer->document(), QStringLiteral("Sifton Output"), 1.0f, 1.0f, 1.0f, 1.0f);
}
