// vemra_lay_out <shipped folder> <program file>: lays out the current user's installation
// (see InstallationLayout.h) unless one exists; the program file and the download helper
// beside it are refreshed every time. Prints the program's path.

#include <cstdio>
#include <filesystem>
#include <string>

#include "InstallationLayout.h"
#include "rtl/SysUtils.h"

int main(int argc, char* argv[]) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: vemra_lay_out <shipped folder> <program file>\n");
        return 2;
    }
    const vemra::TInstallationLayout layout = vemra::UserInstallationLayout();
    std::string error;
    if (vemra::InstallationExists()) {
        std::error_code code;
        std::filesystem::copy_file(argv[2], vemra::JoinPath(layout.AppFolder, "vemra"),
                                   std::filesystem::copy_options::update_existing, code);
        if (code) std::fprintf(stderr, "vemra_lay_out: the program was not refreshed: %s\n", code.message().c_str());
    } else if (!vemra::LayOutInstallation(argv[1], argv[2], layout, error)) {
        std::fprintf(stderr, "vemra_lay_out: %s\n", error.c_str());
        return 1;
    }
    // The converter runs its downloads through the helper that lies beside it.
    std::error_code code;
    const std::string helper = vemra::JoinPath(layout.AppFolder, "vmrfetch");
    std::filesystem::copy_file(VEMRA_FETCH_HELPER, helper, std::filesystem::copy_options::update_existing, code);
    if (code) {
        std::fprintf(stderr, "vemra_lay_out: the download helper was not copied: %s\n", code.message().c_str());
        return 1;
    }
    std::printf("%s\n", vemra::JoinPath(layout.AppFolder, "vemra").c_str());
    return 0;
}
