#pragma once

#include <QDialog>

#include <functional>

class QCheckBox;
class QLineEdit;
class QPushButton;
class QRadioButton;

/// The modeless find dialog: Find what, Match whole word only, Match case, Up/Down, Find Next, Cancel.
class TFindDialog : public QDialog {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TFindDialog)

public:
    explicit TFindDialog(QWidget* parent = nullptr);

    QString FindText() const;
    void SetFindText(const QString& value);
    bool Down() const;
    void SetDown(bool value);
    bool WholeWord() const;
    void SetWholeWord(bool value);
    bool MatchCase() const;
    void SetMatchCase(bool value);

    /// Shows the dialog without making it modal, or brings it forward when already shown.
    void Execute();
    /// Closes the dialog as Cancel does.
    void CloseDialog();

    QPushButton* FindButton() const { return FFindButton; }

    std::function<void()> OnShow;
    std::function<void()> OnClose;
    std::function<void()> OnFind;

    void done(int result) override;

protected:
    void showEvent(QShowEvent* e) override;

private:
    QLineEdit* FFindEdit;
    QCheckBox* FWholeWordBox;
    QCheckBox* FMatchCaseBox;
    QRadioButton* FUpButton;
    QRadioButton* FDownButton;
    QPushButton* FFindButton;
    QPushButton* FCancelButton;
};

/// The question a find sequence asks when it reached the end of the text (the beginning, going up):
/// true when the user chose to go on from the other end.
bool AskToWrapFind();
/// The notice that ends a find sequence that found nothing more.
void ShowFindComplete();
