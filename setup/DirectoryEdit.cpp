#include "DirectoryEdit.h"

#include <QFileDialog>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QToolButton>

namespace vemra {

TDirectoryEdit::TDirectoryEdit(QWidget* parent)
    : QWidget(parent), edit_(new QLineEdit(this)), button_(new QToolButton(this)) {
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    edit_->setReadOnly(true);
    edit_->setObjectName(QStringLiteral("edit"));
    button_->setText(QStringLiteral("..."));
    button_->setObjectName(QStringLiteral("browse"));
    layout->addWidget(edit_, 1);
    layout->addWidget(button_);
    connect(edit_, &QLineEdit::textChanged, this, &TDirectoryEdit::textChanged);
    connect(button_, &QToolButton::clicked, this, &TDirectoryEdit::Browse);
}

QString TDirectoryEdit::text() const { return edit_->text(); }

void TDirectoryEdit::setText(const QString& text) {
    if (text != edit_->text()) edit_->setText(text);
}

void TDirectoryEdit::Browse() {
    const QString chosen = QFileDialog::getExistingDirectory(this, dialogTitle_, text());
    if (!chosen.isEmpty()) setText(chosen);
}

}  // namespace vemra
