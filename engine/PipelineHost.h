#pragma once
// What a conversion run reads from and writes to the main window: its memos, the output
// choices of its own and the options window's combo boxes, the table-conversion progress
// window, the result balloon's text measure, the user's date conventions and the plug-in
// manager's selection. The main window implements it.

#include <string>

#include "rtl/StringList.h"

namespace vemra {

class IPipelineHost {
public:
    virtual ~IPipelineHost() = default;

    // ---- memos: one line per line of text ----
    virtual TStringList& MEINN() = 0;   // input: the typed text, after a table split one cell a line
    virtual TStringList& MeClip() = 0;  // the staged clipboard text
    virtual TStringList& MEOUT() = 0;   // output: one line per cell
    virtual TStringList& ResultLines() = 0;  // one line per table row, cells joined by TAB
    virtual bool OutputMemoReady() = 0;      // start-up has bound MEOUT
    virtual void MEINNChange() = 0;          // refresh the line-count label of MEINN

    // ---- item indexes and texts of the controls ----
    virtual int RGFormatIndex() = 0;          // 0 "x [ y ]", 1 "y [ x ]", 2 "y"
    virtual int cbFormatIndex() = 0;          // 0 codes, 1 names, 2 symbols, 3 digits only
    virtual int cbDesambiIndex() = 0;         // 0 automatic, 1 locale, 2 comma, 3 point
    virtual int cbDateDesambiIndex() = 0;     // 0 automatic, 1 locale, 2 d/m/y, 3 m/d/y, 4 y/m/d
    virtual int cbBadDateMethodIndex() = 0;   // 0 rates in memory, 1 cells as text
    virtual int cbCrossTabSelIndex() = 0;     // 0 the table's values, 1-4: 1, 10, 100, 1000
    virtual std::string EdFormatLeftText() = 0;
    virtual std::string EdFormatRightText() = 0;

    // ---- the table-conversion progress window ----
    virtual bool CalcProgressOpen() = 0;
    virtual void ShowCalcProgress(const std::string& text) = 0;  // creates and places it
    virtual void SetCalcProgressRange(const std::string& pattern, int maximum) = 0;
    virtual void SetProgress(int position) = 0;
    virtual void RevealCalcProgress() = 0;  // shows the created window
    virtual void CloseCalcProgress() = 0;

    // The width of the rectangle the result balloon computes for one line of text.
    virtual int CalcHintWidth(const std::string& text, int maxWidth) = 0;

    // ---- the user's date conventions, read once at start ----
    virtual char LocaleDateSeparator() = 0;
    virtual std::string LocaleDatePattern() = 0;  // "dmy", "mdy", "ymd" or another text

    // ---- the plug-in manager ----
    virtual int PluginSelectedIndex() = 0;
    virtual void SetPluginSelectedIndex(int index) = 0;
    virtual bool HasCurrentPlugin() = 0;
    virtual int IndexOfPlugin(const std::string& code) = 0;  // -1 when no source has the code
};

}  // namespace vemra
