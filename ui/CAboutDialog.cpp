#include "ui/CAboutDialog.h"

#include "ui_CAboutDialog.h"

CAboutDialog::CAboutDialog(QWidget* parent)
    : QDialog(parent)
    , ui(std::make_unique<Ui::CAboutDialog>())
{
    ui->setupUi(this);
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
    connect(ui->okButton, &QPushButton::clicked, this, &QDialog::accept);
}

CAboutDialog::~CAboutDialog() = default;
