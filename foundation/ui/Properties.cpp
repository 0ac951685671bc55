#include "Properties.h"

namespace vemra {

void ApplyPropertyLines(QWidget*, const QStringList&) {}
void ApplyPropertyLines(QWidget* window, const TStringList& lines) {
  QStringList list;
  for (int i = 0; i < lines.Count(); ++i) list << QString::fromStdString(lines[i]);
  ApplyPropertyLines(window, list);
}
QMetaProperty FindPropInfo(const QObject*, const QString&) { return {}; }
void SetListItemsText(QWidget*, const QString&) {}
void SetControlsCursor(QWidget*, const QCursor&) {}

}  // namespace vemra
