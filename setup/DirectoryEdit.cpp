#include "DirectoryEdit.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
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

QString TDirectoryEdit::DialogFolder() const {
    // The box's folder is often not made yet (nothing installed): the nearest one that exists.
    QString folder = QDir::cleanPath(text());
    while (!folder.isEmpty() && !QFileInfo(folder).isDir()) {
        const QString parent = QFileInfo(folder).path();
        if (parent == folder) return QDir::homePath();
        folder = parent;
    }
    return folder.isEmpty() ? QDir::homePath() : folder;
}

void TDirectoryEdit::Browse() {
    QFileDialog dialog(this, dialogTitle_);
    dialog.setObjectName(QStringLiteral("FolderDialog"));
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    // Opened inside the folder, "Choose" takes it as it is.
    dialog.setDirectory(DialogFolder());
    if (dialog.exec() != QDialog::Accepted) return;
    const QStringList chosen = dialog.selectedFiles();
    if (!chosen.isEmpty() && !chosen.first().isEmpty()) setText(chosen.first());
}

}  // namespace vemra
