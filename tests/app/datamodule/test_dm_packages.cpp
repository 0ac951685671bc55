// The data module's side of the plug-in packages: the plug-in manager hands it the waiting
// packages at its start, it installs them through the manager and shows a message box for
// each one that fails; its extraction lists the files it wrote.

#include <QLabel>
#include <QPushButton>
#include <QTimer>

#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "DmTestSupport.h"
#include "MsgBase.h"
#include "PlugginMan.h"
#include "rtl/DateUtils.h"
#include "rtl/SysUtils.h"
#include "vmrconsts.h"

namespace vemra {
namespace {

const std::string kShippedDir = VEMRA_SHIPPED_DIR;

class DmPackagesTest : public ::testing::Test, protected test::DmFixture {
protected:
    DmPackagesTest() {
        env.Set("XDG_DATA_HOME", folder / "data");
        env.Set("XDG_CONFIG_HOME", folder / "config");
        env.Set("VEMRA_REGISTRY_DIR", folder / "registry");
        PubData = folder / "pub";
        ForceDirectories(PubData);
        manager = std::make_unique<TPlugginMan>();
        manager->SetHost(&Dm());
        PlugginMan = manager.get();
    }
    ~DmPackagesTest() override { PlugginMan = nullptr; }

    // Reads the text of each message box as it opens, then closes it.
    void CollectBoxes() {
        watcher.setInterval(10);
        QObject::connect(&watcher, &QTimer::timeout, [this] {
            if (MsgBox == nullptr || !MsgBox->isVisible()) return;
            boxes.push_back(MsgBox->findChild<QLabel*>("lbMsg")->text().toStdString());
            MsgBox->findChild<QPushButton*>("btKo")->click();
        });
        watcher.start();
    }

    test::ScopedEnv env;
    std::unique_ptr<TPlugginMan> manager;
    std::vector<std::string> boxes;
    QTimer watcher;
};

TEST_F(DmPackagesTest, TheManagersStartInstallsWaitingPackagesAndShowsEachFailure) {
    std::filesystem::copy_file(kShippedDir + "/ECB.vpl", PubData + "/ECB.vpl");
    test::WriteText(PubData + "/BROKEN.vpl", "not an archive");
    CollectBoxes();
    manager->LoadPlugins();

    EXPECT_EQ(boxes, std::vector<std::string>{"Error installing: " + PubData + "/BROKEN.vpl"});
    EXPECT_EQ(test::Strings(manager->Plugins()), std::vector<std::string>{"ECB - European Central Bank"});
    EXPECT_TRUE(FileExists(AppData + "/ECB.so"));
    EXPECT_TRUE(FileExists(PubData + "/BROKEN.vpl"));
    EXPECT_EQ(test::FolderEntries(PubData + "/Installed"),
              std::vector<std::string>{"ECB-" + FormatDateStamp(Date()) + ".vpl"});
}

TEST_F(DmPackagesTest, ExtractionListsTheFilesItWrote) {
    const std::string target = folder / "unpacked";
    ASSERT_TRUE(Dm().ExtractArchive(kShippedDir + "/ECB.vpl", target));
    EXPECT_EQ(test::Strings(Dm().ExtractedNames),
              (std::vector<std::string>{target + "/ECB.so", target + "/2025.11.28-ECB.vmr"}));
    EXPECT_FALSE(Dm().ExtractArchive(kShippedDir + "/plugins.dat", target));
    EXPECT_EQ(Dm().ExtractedNames.Count(), 0);
}

}  // namespace
}  // namespace vemra
