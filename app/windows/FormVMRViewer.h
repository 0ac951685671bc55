#pragma once
// TVMRViewer: a read-only view of the decoded lines of an enciphered data file (a day rate
// file). One at a time, in VMRViewer; not modal, owned by the modal window it was opened
// from (if any); closing frees it.

#include <QString>
#include <QWidget>
#include <memory>
#include <string>

class QPlainTextEdit;

namespace Ui {
class TVMRViewer;
}

namespace vemra {

class TVMRViewer : public QWidget {
    Q_OBJECT
public:
    explicit TVMRViewer(QWidget* parent = nullptr);
    ~TVMRViewer() override;

    QPlainTextEdit* VMRStrings;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    std::unique_ptr<Ui::TVMRViewer> ui_;
};

// The open viewer; nullptr when there is none.
extern TVMRViewer* VMRViewer;

// Shows the file's lines (read plain, or deciphered with the day rate files' key when its
// stamp does not match its name) in the viewer, creating it when there is none; the caption
// is the file name without folder. Throws EInOutError when the file cannot be read; the
// viewer is then left as it was.
void ShowTextFile(const std::string& path);

}  // namespace vemra
