#pragma once

#include "platform/FileLocations.h"

#include <QDialog>

#include "ui_readme.h"

/// The readme viewer: the program's "Readme.RTF" shown read-only as rich text.
class TReadmeFile final : public QDialog, public Ui_TReadmeFile {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TReadmeFile)

public:
    explicit TReadmeFile(QWidget* parent = nullptr);

    void FormCreate();

protected:
    void keyPressEvent(QKeyEvent* event) override;
};

/// "Readme.RTF" in the folder of the program's own file; when there is none there, the one in
/// dataFolder (the installed data folder by default), if that one exists.
QString ReadmeFileName(const QString& dataFolder = InstalledDataFolder());

/// Shows the readme file in a fresh modal viewer; a missing file shows nothing and reports nothing.
void ShowReadme(const QString& fileName, QWidget* parent);
