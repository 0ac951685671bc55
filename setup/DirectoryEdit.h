#pragma once
// TDirectoryEdit: a folder box that is filled through a folder dialog only (no typing).

#include <QString>
#include <QWidget>

class QLineEdit;
class QToolButton;

namespace vemra {

class TDirectoryEdit : public QWidget {
    Q_OBJECT
    Q_PROPERTY(QString text READ text WRITE setText NOTIFY textChanged)
    Q_PROPERTY(QString dialogTitle READ dialogTitle WRITE setDialogTitle)
public:
    explicit TDirectoryEdit(QWidget* parent = nullptr);
    QString text() const;
    // Sets the text; textChanged follows when it differs.
    void setText(const QString& text);
    QString dialogTitle() const { return dialogTitle_; }
    void setDialogTitle(const QString& title) { dialogTitle_ = title; }
    QLineEdit* edit() const { return edit_; }
    QToolButton* button() const { return button_; }
    // Where the folder dialog opens: the box's folder, else its nearest existing parent.
    QString DialogFolder() const;
signals:
    void textChanged(const QString& text);
private:
    void Browse();
    QLineEdit* edit_;
    QToolButton* button_;
    QString dialogTitle_;
};

}  // namespace vemra
