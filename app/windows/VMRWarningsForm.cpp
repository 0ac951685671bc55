#include "VMRWarningsForm.h"

#include <QLabel>
#include <QListWidget>
#include <QPushButton>

#include "rtl/StringList.h"
#include "ui_VMRWarningsForm.h"

namespace vemra {

TVMRConvertWarning::TVMRConvertWarning(QWidget* parent)
    : TVMRMsg(parent), ui_(std::make_unique<Ui::TVMRConvertWarning>()) {
    ui_->setupUi(this);
    setObjectName(QStringLiteral("VMRConvertWarning"));
    lbWarn = ui_->lbWarn;
    lbwarns = ui_->lbwarns;
    // A warning is read whole: long lines wrap instead of running out of the list.
    lbwarns->setWordWrap(true);
    lbwarns->setTextElideMode(Qt::ElideNone);
    lbwarns->setResizeMode(QListView::Adjust);
    lbwarns->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setFixedSize(425, 224);
    fondo->setGeometry(rect());
    lbMsg->hide();
    btOk->setGeometry(216, 188, 89, 25);
    btKo->setGeometry(320, 188, 89, 25);
    btOk->hide();
}

TVMRConvertWarning::~TVMRConvertWarning() = default;

void TVMRConvertWarning::SetMessageText(const QString& text) {
    TStringList lines;
    lines.SetText(text.toStdString());
    lbwarns->clear();
    for (const auto& line : lines.Items()) lbwarns->addItem(QString::fromStdString(line.str));
}

}  // namespace vemra
