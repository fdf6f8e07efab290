#pragma once

#include "app/urls.h"

#include <QDialog>

#include "ui_frmAbout.h"

/// The about window: product, version, authors and the reseller's contact panel.
/// Built once at start-up; its contact details stay as read then.
class TAboutBox final : public QDialog, public Ui_TAboutBox {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TAboutBox)

public:
    /// Reads the contact panel from the program's settings file.
    explicit TAboutBox(QWidget* parent = nullptr);
    /// Reads the contact panel from the given settings file.
    explicit TAboutBox(const QString& SettingsFile, QWidget* parent = nullptr);

    void FormCreate(const QString& SettingsFile);
    void AURLClick();
    void AEmailClick();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
};

/// The program's one about window, created hidden at start-up (null until then).
extern TAboutBox* AboutBox;
