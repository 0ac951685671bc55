#pragma once
// TVMRConvertWarning: the message box that lists a table conversion's warnings, one per line.

#include <memory>

#include "VMRMessageForm.h"

class QLabel;
class QListWidget;

namespace Ui {
class TVMRConvertWarning;
}

namespace vemra {

class TVMRConvertWarning : public TVMRMsg {
    Q_OBJECT
public:
    explicit TVMRConvertWarning(QWidget* parent = nullptr);
    ~TVMRConvertWarning() override;

    // The text's lines (split at CR LF, LF or CR) replace the items of lbwarns.
    void SetMessageText(const QString& text) override;

    QLabel* lbWarn;
    QListWidget* lbwarns;

private:
    std::unique_ptr<Ui::TVMRConvertWarning> ui_;
};

}  // namespace vemra
