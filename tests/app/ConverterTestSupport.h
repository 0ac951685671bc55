#pragma once
// A started converter for the clipboard tests: an installation laid out in a temporary home
// the way the run command does, a fresh data module and the main window created on it.

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <memory>
#include <string>

#include "CurrencyConverter.h"
#include "InstallationLayout.h"
#include "VMRConverterForm.h"
#include "dm.h"
#include "support/TestUtils.h"

namespace vemra::test {

class ConverterHome {
public:
    explicit ConverterHome(const std::string& shippedDir) {
        env.Set("HOME", home.path());
        env.Set("XDG_DATA_HOME", home / "data");
        env.Set("XDG_CONFIG_HOME", home / "config");
        env.Set("VEMRA_REGISTRY_DIR", home / "registry");
        ::mkdir((home / "run").c_str(), 0700);
        env.Set("XDG_RUNTIME_DIR", home / "run");
        env.Set("LC_ALL", std::nullopt);
        env.Set("LC_MESSAGES", "en_US.UTF-8");
        saved_ = StartupDialogs;
        StartupDialogs.Ask = [](const std::string&) { return true; };
        StartupDialogs.Show = [this](const std::string& text) { shown = text; };
        std::string error;
        laidOut = LayOutInstallation(shippedDir, "", UserInstallationLayout(), error);
        layoutError = error;
    }
    ~ConverterHome() {
        window.reset();
        module.reset();
        dm = nullptr;
        StartupDialogs = saved_;
    }
    // Creates the data module and the main window; the start-up's result.
    int Start() {
        window.reset();
        module = std::make_unique<Tdm>();
        dm = module.get();
        window = std::make_unique<TVMRConverter>();
        return InitResult;
    }

    TempFolder home{"vemra-clip"};
    ScopedEnv env;
    bool laidOut = false;
    std::string layoutError;
    std::string shown;
    std::unique_ptr<Tdm> module;
    std::unique_ptr<TVMRConverter> window;

private:
    TStartupDialogs saved_;
};

}  // namespace vemra::test
