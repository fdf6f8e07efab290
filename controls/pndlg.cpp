#include "controls/pndlg.h"

#include "controls/AniSymbl.h"
#include "controls/W97Slide.h"
#include "ui_pndlg.h"

#include <QGuiApplication>
#include <QKeyEvent>
#include <QScreen>

TFrmPrint* FrmPrint = nullptr;

TFrmPrint::TFrmPrint(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint)
    , FUi(std::make_unique<Ui::TFrmPrint>())
{
    // The form's font is fixed in pixels, whatever the screen's scaling.
    QFont formFont(QStringLiteral("Arial"));
    formFont.setPixelSize(12);
    setFont(formFont);

    FUi->setupUi(this);
    SwitchBox1 = FUi->SwitchBox1;
    AnimatedSymbol1 = FUi->AnimatedSymbol1;
    StatusLabel = FUi->StatusLabel;
    BitBtn1 = FUi->BitBtn1;

    QFont boldFont = formFont;
    boldFont.setBold(true);
    StatusLabel->setFont(boldFont);
    setFixedSize(259, 129);

    connect(BitBtn1, &QPushButton::clicked, this, [this] { BitBtn1Click(); });
    FormCreate();
}

TFrmPrint::~TFrmPrint() = default;

void TFrmPrint::FormCreate()
{
    FModalResult = mrOk;
}

void TFrmPrint::BitBtn1Click()
{
    // Not modal: the result only records the request, the window stays until Print hides it.
    FModalResult = mrCancel;
}

void TFrmPrint::FormKeyPress(QKeyEvent* e)
{
    if (e->key() == Qt::Key_Escape) {
        FModalResult = mrCancel;
        e->accept();
        return;
    }
    QDialog::keyPressEvent(e);
}

void TFrmPrint::keyPressEvent(QKeyEvent* e)
{
    FormKeyPress(e);
}

void TFrmPrint::showEvent(QShowEvent* e)
{
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        move(screen->availableGeometry().center() - rect().center());
    }
    QDialog::showEvent(e);
}

void CreateFrmPrint()
{
    if (FrmPrint == nullptr) {
        FrmPrint = new TFrmPrint;
    }
}

void DestroyFrmPrint()
{
    delete FrmPrint;
    FrmPrint = nullptr;
}
