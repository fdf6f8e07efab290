#include "controls/pndlg.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QScreen>

#include "ui_pndlg.h"

TFrmPrint* FrmPrint = nullptr;

void CreateFrmPrint()
{
    if (FrmPrint) {
        return;
    }
    FrmPrint = new TFrmPrint();
    // Freed with the application, before the window system goes away.
    qAddPostRoutine(DestroyFrmPrint);
}

void DestroyFrmPrint()
{
    delete FrmPrint;
    FrmPrint = nullptr;
}

TFrmPrint::TFrmPrint(QWidget* parent)
    : QDialog(parent, Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint | Qt::Dialog)
    , FUi(std::make_unique<Ui::TFrmPrint>())
{
    FUi->setupUi(this);
    SwitchBox1 = FUi->SwitchBox1;
    AnimatedSymbol1 = FUi->AnimatedSymbol1;
    StatusLabel = FUi->StatusLabel;
    BitBtn1 = FUi->BitBtn1;
    // Arial of character height 12, unscaled by the screen's resolution.
    QFont formFont(QStringLiteral("Arial"));
    formFont.setPixelSize(12);
    setFont(formFont);
    QFont statusFont = formFont;
    statusFont.setBold(true);
    StatusLabel->setFont(statusFont);
    setFixedSize(259, 129);
    setModal(false);
    connect(BitBtn1, &QPushButton::clicked, this, [this] { FModalResult = Cancelled; });
    FormCreate();
}

TFrmPrint::~TFrmPrint() = default;

void TFrmPrint::FormCreate()
{
    FModalResult = NotCancelled;
}

void TFrmPrint::FormKeyPress(QChar& Key)
{
    if (Key == QChar(27)) {
        Key = QChar();
        FModalResult = Cancelled;
    }
}

void TFrmPrint::SetStatus(const QString& text)
{
    StatusLabel->setText(text);
    if (OnStatus) {
        OnStatus(text);
    }
}

QString TFrmPrint::Status() const
{
    return StatusLabel->text();
}

void TFrmPrint::keyPressEvent(QKeyEvent* event)
{
    // Esc only asks to cancel; the window stays until the job has stopped.
    if (event->key() == Qt::Key_Escape) {
        QChar key(27);
        FormKeyPress(key);
        event->accept();
        return;
    }
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        BitBtn1->click();
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void TFrmPrint::closeEvent(QCloseEvent* event)
{
    // Closing the window (Alt+F4) asks to cancel, as Cancel does; it goes when the job has stopped.
    FModalResult = Cancelled;
    event->ignore();
}

void TFrmPrint::showEvent(QShowEvent* event)
{
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        move(screen->availableGeometry().center() - rect().center());
    }
    QDialog::showEvent(event);
}

void TFrmPrint::resizeEvent(QResizeEvent* event)
{
    QDialog::resizeEvent(event);
    SwitchBox1->setGeometry(rect());
}
