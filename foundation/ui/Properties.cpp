#include "Properties.h"

#include <QApplication>
#include <QComboBox>
#include <QHash>
#include <QListWidget>
#include <QMetaObject>
#include <QPlainTextEdit>
#include <QSignalBlocker>
#include <QStackedWidget>
#include <QTabWidget>
#include <QTextEdit>
#include <QWidget>

#include "ZEPHStrUtils.h"

namespace vemra {

namespace {

QString DecodeValue(const QString& value) {
  QString decoded = QString::fromStdString(DecodeLineMarks(value.toStdString()));
  // Qt widgets break lines at LF; a CR would show as a stray character.
  decoded.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  return decoded;
}

QObject* FindOwnedObject(QWidget* window, const QString& upperName) {
  if (upperName == QLatin1String("APP")) return QCoreApplication::instance();
  if (upperName == QLatin1String("SELF")) return window;
  if (upperName.isEmpty()) return nullptr;  // unnamed internals of Qt widgets are no components
  const QList<QObject*> children = window->findChildren<QObject*>();
  for (QObject* child : children)
    if (child->objectName().compare(upperName, Qt::CaseInsensitive) == 0) return child;
  return nullptr;
}

// Strict integer reading: optional sign, decimal digits or "$" hexadecimal.
bool ParseInteger(const QString& text, qlonglong& value) {
  bool ok = false;
  const QString t = text.trimmed();
  if (t.startsWith(QLatin1Char('$'))) value = t.mid(1).toLongLong(&ok, 16);
  else if (t.startsWith(QLatin1String("-$"))) value = -t.mid(2).toLongLong(&ok, 16);
  else value = t.toLongLong(&ok, 10);
  return ok;
}

// Writes a value by the property's kind; false (and nothing written) when it does not convert
// or the kind is not one that text sets.
bool WriteProperty(QObject* object, const QMetaProperty& property, const QString& value) {
  if (!property.isWritable()) return false;
  QVariant converted;
  if (property.isFlagType()) return false;
  if (property.isEnumType()) {
    bool ok = false;
    const int key = property.enumerator().keyToValue(value.trimmed().toLatin1().constData(), &ok);
    if (!ok) return false;
    converted = key;
  } else {
    switch (property.metaType().id()) {
      case QMetaType::Bool:
        if (value.trimmed().compare(QLatin1String("True"), Qt::CaseInsensitive) == 0) converted = true;
        else if (value.trimmed().compare(QLatin1String("False"), Qt::CaseInsensitive) == 0) converted = false;
        else return false;
        break;
      case QMetaType::Int: case QMetaType::UInt: case QMetaType::Long: case QMetaType::ULong:
      case QMetaType::LongLong: case QMetaType::ULongLong: case QMetaType::Short:
      case QMetaType::UShort: {
        qlonglong number = 0;
        if (!ParseInteger(value, number)) return false;
        converted = number;
        if (!converted.convert(property.metaType())) return false;
        break;
      }
      case QMetaType::Double: case QMetaType::Float: {
        bool ok = false;
        const double number = value.trimmed().toDouble(&ok);
        if (!ok) return false;
        converted = number;
        if (!converted.convert(property.metaType())) return false;
        break;
      }
      case QMetaType::QString: converted = value; break;
      case QMetaType::QChar:
        if (value.size() != 1) return false;
        converted = value.at(0);
        break;
      case QMetaType::QByteArray: converted = value.toUtf8(); break;
      default: return false;
    }
  }
  return property.write(object, converted);
}

bool WriteNamed(QObject* object, const char* name, const QString& value) {
  const QMetaProperty property = FindPropInfo(object, QString::fromLatin1(name));
  return property.isValid() && WriteProperty(object, property, value);
}

// The caption of a page also labels its tab.
void SetPageTabText(QObject* object, const QString& text) {
  auto* page = qobject_cast<QWidget*>(object);
  if (!page) return;
  auto* stack = qobject_cast<QStackedWidget*>(page->parentWidget());
  auto* tabs = stack ? qobject_cast<QTabWidget*>(stack->parentWidget()) : nullptr;
  if (!tabs) return;
  const int index = tabs->indexOf(page);
  if (index >= 0) tabs->setTabText(index, text);
}

// The aliases of the language files: true when the name is one (applied or not).
bool ApplyAlias(QObject* object, const QString& name, const QString& value) {
  if (name.compare(QLatin1String("Caption"), Qt::CaseInsensitive) == 0) {
    for (const char* target : {"text", "title", "windowTitle"}) {
      if (FindPropInfo(object, QString::fromLatin1(target)).isValid()) {
        if (WriteNamed(object, target, value)) SetPageTabText(object, value);
        break;
      }
    }
    return true;
  }
  if (name.compare(QLatin1String("Hint"), Qt::CaseInsensitive) == 0) {
    const QString shortHint = value.section(QLatin1Char('|'), 0, 0);
    WriteNamed(object, "toolTip", shortHint);
    WriteNamed(object, "statusTip", shortHint);
    return true;
  }
  if (name.compare(QLatin1String("Items"), Qt::CaseInsensitive) == 0 ||
      name.compare(QLatin1String("Lines"), Qt::CaseInsensitive) == 0) {
    if (auto* widget = qobject_cast<QWidget*>(object)) SetListItemsText(widget, value);
    return true;
  }
  if (qobject_cast<QCoreApplication*>(object) &&
      name.compare(QLatin1String("Title"), Qt::CaseInsensitive) == 0) {
    // Kept as a property, not made Qt's display name: Qt appends that to every window title and
    // gives it to some windows (the tray icon's, the X client leader) only when they are made,
    // so the titles would keep the first language's name.
    object->setProperty("Title", value);
    return true;
  }
  return false;
}

}  // namespace

QMetaProperty FindPropInfo(const QObject* object, const QString& propertyName) {
  if (!object || propertyName.isEmpty()) return {};
  const QMetaObject* meta = object->metaObject();
  const QByteArray name = propertyName.toLatin1();
  const int exact = meta->indexOfProperty(name.constData());
  if (exact >= 0) return meta->property(exact);
  for (int i = 0; i < meta->propertyCount(); ++i) {
    const QMetaProperty property = meta->property(i);
    if (qstricmp(property.name(), name.constData()) == 0) return property;
  }
  return {};
}

void ApplyPropertyLines(QWidget* window, const QStringList& lines) {
  if (!window) return;
  // A repeated name takes the value of its first line, as a name=value list reads it. Both
  // that first value and each component are looked up once, so a long section applies in
  // time linear in its length.
  QHash<QString, QString> firstValues;
  firstValues.reserve(lines.size());
  for (const QString& line : lines) {
    const int equals = line.indexOf(QLatin1Char('='));
    if (equals < 0) continue;
    const QString key = line.left(equals).toCaseFolded();
    if (!firstValues.contains(key)) firstValues.insert(key, line.mid(equals + 1));
  }
  QHash<QString, QObject*> objects;
  for (const QString& line : lines) {
    const int equals = line.indexOf(QLatin1Char('='));
    if (equals < 0) continue;
    const QString name = line.left(equals);
    const int colon = name.indexOf(QLatin1Char(':'));
    if (colon < 0) continue;
    const QString upperName = name.left(colon).toUpper();
    auto found = objects.constFind(upperName);
    if (found == objects.constEnd()) found = objects.insert(upperName, FindOwnedObject(window, upperName));
    QObject* object = found.value();
    if (!object) continue;
    const QString propertyName = name.mid(colon + 1);
    const QString value = DecodeValue(firstValues.value(name.toCaseFolded()));
    if (ApplyAlias(object, propertyName, value)) continue;
    const QMetaProperty property = FindPropInfo(object, propertyName);
    if (property.isValid()) WriteProperty(object, property, value);
  }
}

void ApplyPropertyLines(QWidget* window, const TStringList& lines) {
  QStringList list;
  list.reserve(lines.Count());
  for (int i = 0; i < lines.Count(); ++i) list << QString::fromStdString(lines[i]);
  ApplyPropertyLines(window, list);
}

void SetListItemsText(QWidget* control, const QString& text) {
  if (!control) return;
  QString normal = text;
  normal.replace(QStringLiteral("\r\n"), QStringLiteral("\n")).replace(QLatin1Char('\r'), QLatin1Char('\n'));
  QStringList items = normal.split(QLatin1Char('\n'));
  // A final line break ends the last line; it does not start an empty one.
  if (!items.isEmpty() && items.last().isEmpty()) items.removeLast();

  if (auto* combo = qobject_cast<QComboBox*>(control)) {
    const QSignalBlocker blocker(combo);
    const int selected = combo->currentIndex();
    combo->clear();
    combo->addItems(items);
    combo->setCurrentIndex(selected < combo->count() ? selected : -1);
  } else if (auto* list = qobject_cast<QListWidget*>(control)) {
    const QSignalBlocker blocker(list);
    const int selected = list->currentRow();
    list->clear();
    list->addItems(items);
    list->setCurrentRow(selected < list->count() ? selected : -1);
  } else if (auto* plain = qobject_cast<QPlainTextEdit*>(control)) {
    plain->setPlainText(items.join(QLatin1Char('\n')));
  } else if (auto* rich = qobject_cast<QTextEdit*>(control)) {
    rich->setPlainText(items.join(QLatin1Char('\n')));
  }
}

void SetControlsCursor(QWidget* owner, const QCursor& cursor) {
  if (!owner) return;
  const QList<QWidget*> widgets = owner->findChildren<QWidget*>();
  for (QWidget* widget : widgets) {
    if (widget->objectName().isEmpty() || widget->objectName().startsWith(QLatin1String("qt_"))) continue;
    bool nested = false;
    for (QWidget* w = widget; w && w != owner; w = w->parentWidget())
      if (w->isWindow()) { nested = true; break; }
    if (!nested) widget->setCursor(cursor);
  }
}

}  // namespace vemra
