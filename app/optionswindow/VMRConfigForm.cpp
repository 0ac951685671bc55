#include "VMRConfigForm.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QLabel>
#include <QPixmap>
#include <QScreen>
#include <QTabBar>
#include <QVariant>

#include "ModalRestore.h"
#include "PlugginMan.h"
#include "PngImage.h"
#include "SysCaller.h"
#include "WindowSystem.h"
#include "platform/DesktopEntry.h"
#include "rtl/SysUtils.h"
#include "vmrconsts.h"

#include <cerrno>
#include <cstdio>
#include <exception>
#include "VMRConverterForm.h"
#include "dm.h"
#include "ui_VMRConfigForm.h"

namespace vemra {

TVMRConfig::TVMRConfig(QWidget* parent) : QWidget(parent, Qt::Dialog), ui(std::make_unique<Ui::TVMRConfig>()) {
    ui->setupUi(this);
    // Fixed border with the system menu and close only (no minimise, no maximise), at the
    // window's design size; minimised anyway by the window manager, it comes back at once.
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    KeepRestoredWhileModal(this);
    // The pages keep their design size and the page frame gets a margin on every side, so the
    // window is 14 px wider and higher than the bare bands and pages.
    setFixedSize(741, 424);
    // Centred on the screen until the settings loader puts it where the user left it.
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect frame(QPoint(0, 0), size());
        frame.moveCenter(screen->availableGeometry().center());
        move(frame.topLeft());
    }
    // The pages change only through the page buttons: the tab row stays out of sight.
    ui->PC->tabBar()->hide();
    ui->pnNewUpdate->hide();
    // Scaled when the window first shows: most runs never open it.
    ui::SetPixmapOnFirstPaint(ui->imLogo, [size = ui->imLogo->size()] {
        return ui::LoadPng(QStringLiteral(":/vemra/vmrlogo.png"))
            .scaled(size, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    });
    ui->lbInfoVer->setText(QString::fromStdString(ProgramVersion));
    const std::pair<QAbstractButton*, int> buttons[] = {
        {ui->btPag1, 0}, {ui->btPag2, 1}, {ui->btPag3, 2}, {ui->btPag0, 3}};
    for (auto [button, page] : buttons) {
        button->setProperty("Tag", page);
        // A copy of the page, not the binding itself: clang before 16 cannot capture a binding.
        connect(button, &QAbstractButton::clicked, this, [this, index = page] { ShowPage(index); });
    }
    SetDefaultHintColors();
    ShowPage(0);
    ConnectGeneralHandlers();
    ConnectCurrencyHandlers();
    // Most runs never open this window.
    PolishWhenShown(this);
}

TVMRConfig::~TVMRConfig() = default;

TColor TVMRConfig::PanelColor(const QFrame* panel) {
    const QVariant value = panel->property("Color");
    return value.isValid() ? static_cast<TColor>(value.toInt()) : clBtnFace;
}

void TVMRConfig::SetPanelColor(QFrame* panel, TColor color) {
    panel->setProperty("Color", static_cast<int>(color));
    QPalette palette = panel->palette();
    palette.setColor(QPalette::Window, TColorToQColor(color));
    panel->setPalette(palette);
    panel->setAutoFillBackground(true);
}

std::function<std::string()> TVMRConfig::ProgramFile = [] {
    return QCoreApplication::applicationFilePath().toStdString();
};

void TVMRConfig::SetLoadOnStartup(bool on) {
    if (StartupIcon.empty()) return;
    // StartupIcon may name the entry with or without its extension.
    std::string base = StartupIcon;
    const std::string extension = platform::kShortcutExtension;
    if (base.size() > extension.size() && base.compare(base.size() - extension.size(), extension.size(), extension) == 0)
        base.resize(base.size() - extension.size());
    const std::string path = base + extension;
    bool written = true;
    try {
        if (on)
            CreateShortcut(base, ProgramFile ? ProgramFile() : std::string(), "");
        else
            written = std::remove(path.c_str()) == 0 || errno == ENOENT;
    } catch (const std::exception&) {
        written = false;
    }
    // The user believes the switch: say when the session will not start the program as shown.
    if (!written && dm != nullptr) {
        const QString text = VMRConfig != nullptr ? VMRConfig->StartupEntryFailedText
                                                  : QStringLiteral("The start-up entry %1 could not be written.");
        dm->ShowMessageText(text.arg(QString::fromStdString(path)).toStdString());
    }
}

void TVMRConfig::SetDefaultHintColors() {
    SetPanelColor(ui->pnHintColor1, 0xAFEBFE);
    SetPanelColor(ui->pnHintColor2, 0xD7F5FF);
    SetPanelColor(ui->pnATCColorPlugin, 0x4080FF);
    SetPanelColor(ui->pnHintColorText, 0x800000);
    SetPanelColor(ui->pnATCColorCurrency, 0x008080);
    SetPanelColor(ui->pnATCColorDate, 0x800080);
}

void TVMRConfig::ShowPage(int index) {
    ui->PC->setCurrentIndex(index);
    QAbstractButton* const buttons[] = {ui->btPag1, ui->btPag2, ui->btPag3, ui->btPag0};
    if (index >= 0 && index < 4) buttons[index]->setChecked(true);
}

int TVMRConfig::PageIndex() const { return ui->PC->currentIndex(); }

void TVMRConfig::FillSubscriptions(bool select) {
    QStringList names;
    int selected = -1;
    if (PlugginMan) {
        for (int i = 0; i < PlugginMan->Plugins().Count(); ++i)
            names << QString::fromStdString(PlugginMan->Plugins()[i]);
        selected = PlugginMan->SelectedIndex;
    }
    QComboBox* const lists[] = {ui->cbSubscriptions, VMRConverter ? VMRConverter->cbSubs : nullptr};
    for (QComboBox* list : lists) {
        if (!list) continue;
        const QSignalBlocker block(list);
        list->clear();
        list->addItems(names);
        list->setCurrentIndex(selected < names.size() ? selected : -1);
    }
    cbSubscriptionsChange(select ? ui->cbSubscriptions : nullptr);
}

}  // namespace vemra
