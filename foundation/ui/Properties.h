#pragma once
// Properties: applies the property lines of a language file's window section to a window's
// Qt properties, and fills list, combo and memo controls from a text.
//
// A line is "object:property=value". The object is "APP" (the application), "SELF" (the
// window) or the objectName of a descendant of the window (letter case ignored). The value
// has "||" for a line break and "_" for a blank. Aliases, understood on any object:
//   Caption  -> text, title or windowTitle, whichever the object has
//   Hint     -> toolTip and statusTip: the short hint (the part before "|")
//   Items    -> SetListItemsText (combo boxes, list widgets)
//   Lines    -> SetListItemsText (plain and rich text edits)
//   Title    -> on APP: the application's "Title" property (not Qt's display name)
// Any other name is a Qt property name (case-insensitive), set by its kind: integers, Booleans
// ("True"/"False"), enumerations by key name, floating-point numbers, strings; other kinds
// are not set. A bad line is skipped, never raised. "||" in string values becomes "\n".

#include <QCursor>
#include <QMetaProperty>
#include <QString>
#include <QStringList>

#include "rtl/StringList.h"

class QObject;
class QWidget;

namespace vemra {

// Applies every line in order; a repeated object:property takes the first line's value.
void ApplyPropertyLines(QWidget* window, const QStringList& lines);
// The same for lines held as UTF-8 (a language file section read by the foundation).
void ApplyPropertyLines(QWidget* window, const TStringList& lines);

// The property of the object's class with that name (letter case ignored; aliases not
// resolved); an invalid QMetaProperty (isValid() false) when there is none.
QMetaProperty FindPropInfo(const QObject* object, const QString& propertyName);

// Makes the lines of the text (split at CR LF, LF or CR) the items of a combo box or list
// widget, keeping the selected position (cleared when it no longer exists), or the lines of
// a text edit. Signals of the control are blocked while it is refilled. Other controls are
// left alone.
void SetListItemsText(QWidget* control, const QString& text);

// Sets the mouse cursor of every named widget inside the owner (nested windows excluded).
void SetControlsCursor(QWidget* owner, const QCursor& cursor);

}  // namespace vemra
