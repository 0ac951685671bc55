#pragma once
// What the small windows share: numbered messages as QString, formatting with a language
// text that cannot crash on a bad text, the gauge's clamped position and the pictures.

#include <QString>
#include <functional>
#include <initializer_list>
#include <string>

#include "rtl/Format.h"

class QProgressBar;
class QWidget;

namespace vemra {

// Message number of the loaded language; "" when there is none.
QString MessageText(int number);
// Format(pattern, args) of the class library; a pattern that does not fit the arguments (a
// damaged language file) is shown as it stands.
QString FormatText(const std::string& pattern, std::initializer_list<FormatArg> args);
QString FormatMessage(int number, std::initializer_list<FormatArg> args);

// Applies the window's section of the language file (nothing without a data module).
void TranslateWindow(QWidget* window);

// Test hook: numbered messages from this source instead of the data module; an empty
// function restores the data module.
void SetMessageSourceForTesting(std::function<std::string(int)> source);

// Sets the position, clamped into the gauge's range (a Qt bar ignores values outside it).
void SetGaugePosition(QProgressBar* gauge, int position);

// The pictures of the small windows (":/vemra/..."): registers them on first use, because
// a static library's resource table is otherwise left out of the program.
void InitSmallWindowResources();

}  // namespace vemra
