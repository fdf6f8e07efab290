#include "app/frmAbout.h"

#include "app/Settings.h"
#include "app/gConsts.h"
#include "platform/Application.h"
#include "platform/Shell.h"

#include <QMouseEvent>

TAboutBox* AboutBox = nullptr;

TAboutBox::TAboutBox(QWidget* parent)
    : TAboutBox(Settings::FileName(), parent)
{
}

TAboutBox::TAboutBox(const QString& SettingsFile, QWidget* parent)
    : QDialog(parent)
{
    setupUi(this);
    setFixedSize(321, 273);
    connect(OKButton, &QPushButton::clicked, this, &QDialog::accept);
    AURL->installEventFilter(this);
    AEmail->installEventFilter(this);
    FormCreate(SettingsFile);
}

void TAboutBox::FormCreate(const QString& SettingsFile)
{
    const Settings::TReseller reseller = Settings::TSettings(SettingsFile).ReadReseller();
    ACompany->setText(reseller.Company);
    AURL->setText(reseller.URL);
    AEmail->setText(reseller.Email);
    APhone->setText(reseller.Phone);
    setWindowTitle("About " + QString::fromUtf8(gConsts::ProductTitle));
    ProgramIcon->setPixmap(QPixmap(":/images/MAINICON.png"));
    ProductName->setText(Application::Title());
    Version->setText(QString::fromUtf8(Quorvale::Version));
    Copyright->setText(QString::fromUtf8(Quorvale::Rights));
}

void TAboutBox::AURLClick()
{
    Shell().OpenDocument(AURL->text());
}

void TAboutBox::AEmailClick()
{
    Shell().OpenDocument("mailto:" + AEmail->text());
}

bool TAboutBox::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::MouseButtonRelease &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        if (watched == AURL) {
            AURLClick();
            return true;
        }
        if (watched == AEmail) {
            AEmailClick();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}
