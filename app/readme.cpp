#include "app/readme.h"

#include "app/urls.h"
#include "platform/Application.h"

#include <QApplication>
#include <QFileInfo>
#include <QKeyEvent>
#include <QStyle>

TReadmeFile::TReadmeFile(QWidget* parent)
    : QDialog(parent)
{
    setupUi(this);
    setFixedSize(492, 423);
    setWindowFlag(Qt::WindowContextHelpButtonHint, true);
    BitBtn1->setIcon(style()->standardIcon(QStyle::SP_DialogCloseButton));
    connect(BitBtn1, &QPushButton::clicked, this, &QDialog::accept);
    Label5->setText(QString::fromUtf8(Quorvale::Rights));
    ReadMeBox->SetScrollBars(TQvEdit::ssVertical);
    FormCreate();
}

void TReadmeFile::FormCreate()
{
    ReadMeBox->SetColor(Qt::white);
    const QIcon icon = QApplication::windowIcon();
    PIcon->setPixmap(icon.isNull() ? QPixmap(":/images/MAINICON.png") : icon.pixmap(32, 32));
}

void TReadmeFile::keyPressEvent(QKeyEvent* event)
{
    // Esc closes like the Close button, with the result OK.
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        BitBtn1->click();
        return;
    }
    QDialog::keyPressEvent(event);
}

QString ReadmeFileName(const QString& dataFolder)
{
    const QString beside = QFileInfo(Application::ExeName()).absolutePath() + "/Readme.RTF";
    const QString installed = dataFolder + "/Readme.RTF";
    // A portable copy's own readme comes first; an installed copy has its readme in the data folder.
    if (!QFileInfo(beside).isFile() && QFileInfo(installed).isFile()) {
        return installed;
    }
    return beside;
}

void ShowReadme(const QString& fileName, QWidget* parent)
{
    if (!QFileInfo(fileName).isFile()) {
        return;
    }
    TReadmeFile viewer(parent);
    viewer.setWindowTitle("Product Readme File");
    viewer.CaptionTitle->setText(Application::Title() + " Readme File.");
    viewer.ReadMeBox->LoadFromFile(fileName);
    viewer.exec();
}
