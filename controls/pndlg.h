#pragma once

#include <QDialog>

#include <memory>

namespace Ui {
class TFrmPrint;
}
class QLabel;
class QPushButton;
class TAnimatedSymbol;
class TSwitchBox;

/// The print progress window: page and share of text done, an animation, and a Cancel button.
/// Shown without being modal; the printing loop polls ModalResult.
class TFrmPrint : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TFrmPrint)

public:
    /// ModalResult values: still printing, and cancelled by the user.
    enum : int { mrOk = 1, mrCancel = 2 };

    explicit TFrmPrint(QWidget* parent = nullptr);
    ~TFrmPrint() override;

    /// The cancel request: mrOk until the user cancels, then mrCancel.
    int ModalResult() const { return FModalResult; }
    void SetModalResult(int value) { FModalResult = value; }

    TSwitchBox* SwitchBox1;
    TAnimatedSymbol* AnimatedSymbol1;
    QLabel* StatusLabel;
    QPushButton* BitBtn1;

protected:
    void keyPressEvent(QKeyEvent* e) override;
    void showEvent(QShowEvent* e) override;

private:
    void FormCreate();
    /// Esc cancels; the key goes no further.
    void FormKeyPress(QKeyEvent* e);
    void BitBtn1Click();

    std::unique_ptr<Ui::TFrmPrint> FUi;
    int FModalResult = 0;
};

/// The one print progress window; exists between CreateFrmPrint and DestroyFrmPrint.
extern TFrmPrint* FrmPrint;
/// Creates FrmPrint (without owner) at program start; once.
void CreateFrmPrint();
/// Destroys FrmPrint at program end.
void DestroyFrmPrint();
