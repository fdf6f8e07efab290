#pragma once

#include <QDialog>

#include <functional>
#include <memory>

class QLabel;
class QPushButton;
class TAnimatedSymbol;
class TSwitchBox;

namespace Ui {
class TFrmPrint;
}

/// The print progress window: an animation, the status and a Cancel button; never modal.
class TFrmPrint : public QDialog {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TFrmPrint)

public:
    // Values of the cancel request.
    enum : int { NotCancelled = 1, Cancelled = 2 };

    explicit TFrmPrint(QWidget* parent = nullptr);
    ~TFrmPrint() override;

    TSwitchBox* SwitchBox1;
    TAnimatedSymbol* AnimatedSymbol1;
    QLabel* StatusLabel;
    QPushButton* BitBtn1;

    // The cancel request, polled by the printing loop.
    int ModalResult() const { return FModalResult; }
    void SetModalResult(int value) { FModalResult = value; }
    void SetStatus(const QString& text);
    QString Status() const;

    void FormCreate();
    void FormKeyPress(QChar& Key);

    // Called with every status text shown (a seam for watching a job's progress).
    std::function<void(const QString& Status)> OnStatus;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    std::unique_ptr<Ui::TFrmPrint> FUi;
    int FModalResult{NotCancelled};
};

/// The one print progress window; created by CreateFrmPrint and freed when the application ends.
extern TFrmPrint* FrmPrint;
void CreateFrmPrint();
void DestroyFrmPrint();
