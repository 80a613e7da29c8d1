#include "about_box.h"

#include "form_builder.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#ifndef ZEL_VERSION
#define ZEL_VERSION "0.0.0"
#endif

AboutBox::AboutBox(QWidget* parent) : QDialog(parent) {
    setObjectName("AboutBox");
    setWindowTitle("О программе");
    setModal(true);
    auto* title = new QLabel("StartZel для Linux", this);
    title->setObjectName("lTitle");
    QFont f = title->font();
    f.setBold(true);
    f.setPointSize(f.pointSize() + 4);
    title->setFont(f);
    auto* version = new QLabel(versionText(), this);
    version->setObjectName("lVersion");
    auto* what = new QLabel("Настройка контроллеров топливораздаточных колонок по линии RS-485 "
                            "(COM-порт, USB-преобразователь или TCP-сервер).",
                            this);
    what->setObjectName("lPurpose");
    what->setWordWrap(true);
    auto* ok = form::Button(this, "bOk", "ОК");
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(title);
    layout->addWidget(version);
    layout->addWidget(what);
    layout->addWidget(ok, 0, Qt::AlignRight);
    setFixedWidth(380);
}

QString AboutBox::versionText() {
    return QStringLiteral("Версия " ZEL_VERSION);
}

QDialog* MakePlaceholderForm(const char* objectName, const QString& caption, QWidget* parent) {
    auto* d = new QDialog(parent);
    d->setObjectName(objectName);
    d->setWindowTitle(caption);
    d->setModal(true);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, d);
    QObject::connect(buttons, &QDialogButtonBox::rejected, d, &QDialog::reject);
    auto* layout = new QVBoxLayout(d);
    layout->addStretch();
    layout->addWidget(buttons);
    d->resize(400, 200);
    return d;
}
