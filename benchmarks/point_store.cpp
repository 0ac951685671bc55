// The local rate page of the whole-program benchmark (programs.sh). On an installed converter
// (HOME, XDG_* and VEMRA_REGISTRY_DIR of that installation): starts the converter in this
// process as the installed program would, points its selected source ECB at a page of this
// process's HTTP server on 127.0.0.1 for the newest day it has published by now (that day's
// file removed, its last update the day before) and every other source at a closed port, so
// that the installed program's first timer run fetches one page from here; then closes the
// converter, prints "ready <update log>" and serves until stdin closes.
#include <QApplication>

#include <sys/stat.h>

#include <cstdio>
#include <filesystem>
#include <iostream>
#include <string>

#include "CurrencyConverter.h"
#include "PlugginMan.h"
#include "TimeUtils.h"
#include "VMRConverterForm.h"
#include "dm.h"
#include "rtl/DateUtils.h"
#include "rtl/SysUtils.h"
#include "support/HttpTestServer.h"
#include "support/TestUtils.h"
#include "vmrconsts.h"

using namespace vemra;

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    StartupDialogs.Ask = [](const std::string&) { return true; };
    StartupDialogs.Show = [](const std::string& text) { std::fprintf(stderr, "start-up: %s\n", text.c_str()); };
    test::HttpTestServer server;
    std::string log;
    {
        auto module = std::make_unique<Tdm>();
        dm = module.get();
        auto window = std::make_unique<TVMRConverter>();
        if (InitResult != 0 || PlugginMan == nullptr) {
            std::fprintf(stderr, "the installed converter did not start here (%d)\n", static_cast<int>(InitResult));
            return 1;
        }
        const int ecb = PlugginMan->IndexOfPlugin("ECB");
        if (ecb < 0) {
            std::fprintf(stderr, "no ECB source\n");
            return 1;
        }
        TDateTime due = 0;
        std::string dayFile;
        for (int d = 0; d < 10 && due == 0; ++d) {
            const TDateTime day = LocalToGMT(Now() - d);
            bool exists = false;
            if (PlugginMan->IsUpdateDue(day, dayFile, exists)) due = DateOf(day);
        }
        if (due == 0) {
            std::fprintf(stderr, "no day is due\n");
            return 1;
        }
        if (FileExists(dayFile)) {
            ::chmod(dayFile.c_str(), 0644);
            std::filesystem::remove(dayFile);
        }
        const std::string dueStamp = FormatDateStamp(due);
        std::string page = test::ReadText(std::string(VEMRA_FIXTURES_DIR) + "/plugins/eurofxref-daily.xml");
        const std::string isoDay = dueStamp.substr(0, 4) + "-" + dueStamp.substr(5, 2) + "-" + dueStamp.substr(8, 2);
        page.replace(page.find("2024-01-17"), 10, isoDay);
        server.Route("/daily.xml", test::HttpResponse{.body = page});
        THTMLConverterPlugInn& source = *PlugginMan->GetPlugin(ecb);
        source.SetPluginValue("DataUrl", server.Url("/daily.xml"));
        source.SetPluginValue("LastUpdate", FormatDateTimeStamp(due - 1));
        PlugginMan->SelectedIndex = ecb;
        PlugginMan->SaveCurrentPluginDefinition();
        for (int i = 0; i < PlugginMan->Plugins().Count(); ++i) {
            if (i == ecb) continue;
            THTMLConverterPlugInn& other = *PlugginMan->GetPlugin(i);
            other.SetPluginValue("DataUrl",
                                 "http://127.0.0.1:" + std::to_string(test::HttpTestServer::ClosedPort()) + "/rates");
            PlugginMan->WritePluginDefinition(other.Code, *other.CopyPluginDefinition());
        }
        if (PlugginMan->Store != nullptr) PlugginMan->Store->UpdateFile();
        log = Tdm::UpdateLogPath();
        window.reset();  // saves and lets the single-instance marker go
        module.reset();
        dm = nullptr;
    }
    std::printf("ready %s\n", log.c_str());
    std::fflush(stdout);
    std::string line;
    while (std::getline(std::cin, line)) {}
    return 0;
}
