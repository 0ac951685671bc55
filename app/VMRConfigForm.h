#pragma once
// TVMRConfig: the options window, one instance for the program's life, owned by the main
// window. Its controls are the live home of most user preferences: the settings loader
// writes into them, the saver reads them back, and the balloon, the clipboard watch, the
// conversion run and the message boxes read them directly. Four pages chosen by the page
// buttons on the left (rate sources, currencies, conversions, preferences).

#include <QWidget>

#include <memory>

#include "Colors.h"

class QFrame;

namespace Ui {
class TVMRConfig;
}

namespace vemra {

class TVMRConfig : public QWidget {
    Q_OBJECT
public:
    explicit TVMRConfig(QWidget* parent = nullptr);
    ~TVMRConfig() override;

    // The controls by objectName (include "ui_VMRConfigForm.h" to reach them).
    std::unique_ptr<Ui::TVMRConfig> ui;

    // 1 while LoadSettings fills the controls (their change handlers then mark nothing).
    int SettingsLoading = 0;
    bool ConfigChanged = false;             // preferences page: settings group 2
    bool ConversionOptionsChanged = false;  // conversions page: settings group 4
    bool StartupChanged = false;

    // The colour a colour panel shows (0x00BBGGRR).
    static TColor PanelColor(const QFrame* panel);
    static void SetPanelColor(QFrame* panel, TColor color);

    // Shows the page of that index (0 rate sources, 1 currencies, 2 conversions,
    // 3 preferences) and puts its page button down.
    void ShowPage(int index);
    int PageIndex() const;

    // The rate-source lists of this window and of the main window take the plug-in
    // manager's sources, with its selection.
    void FillSubscriptions(bool select);

    // Makes (true) or removes (false) the start-up shortcut StartupIcon that starts the
    // program with the session.
    static void SetLoadOnStartup(bool on);

    // The six colour panels at the balloon's shipped colours.
    void SetDefaultHintColors();
};

}  // namespace vemra
