#pragma once

#include <QDialog>

#include <memory>

namespace Ui {
class CAboutDialog;
}

// The About box: program icon, name and version, notice and contact lines.
class CAboutDialog : public QDialog {
    Q_OBJECT

public:
    explicit CAboutDialog(QWidget* parent = nullptr);
    ~CAboutDialog() override;

private:
    std::unique_ptr<Ui::CAboutDialog> ui;
};
