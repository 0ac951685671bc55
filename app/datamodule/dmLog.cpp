// The data module's update log and event sounds.

#include <canberra.h>
#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>

#include "SysStrings.h"
#include "dm.h"
#include "rtl/Format.h"
#include "rtl/SysUtils.h"
#include "vmrconsts.h"

namespace vemra {

namespace {

inline constexpr auto kUpdateLogName = ScrambleLiteral("VMRUpdates.log");
inline constexpr std::uint32_t kSoundId = 1;

// The sound library is loaded at the first sound, not at start: most runs play none, and it
// brings its own libraries with it. Left loaded once it is, as the contexts made with it are.
struct SoundLibrary {
    int (*create)(ca_context**) = nullptr;
    int (*destroy)(ca_context*) = nullptr;
    int (*cancel)(ca_context*, std::uint32_t) = nullptr;
    int (*play)(ca_context*, std::uint32_t, ...) = nullptr;
};

const SoundLibrary* LoadSoundLibrary() {
    static const SoundLibrary library = [] {
        SoundLibrary loaded;
        void* handle = dlopen("libcanberra.so.0", RTLD_NOW | RTLD_LOCAL);
        if (handle == nullptr) return loaded;
        SoundLibrary found;
        found.create = reinterpret_cast<decltype(found.create)>(dlsym(handle, "ca_context_create"));
        found.destroy = reinterpret_cast<decltype(found.destroy)>(dlsym(handle, "ca_context_destroy"));
        found.cancel = reinterpret_cast<decltype(found.cancel)>(dlsym(handle, "ca_context_cancel"));
        found.play = reinterpret_cast<decltype(found.play)>(dlsym(handle, "ca_context_play"));
        if (found.create && found.destroy && found.cancel && found.play) return found;
        dlclose(handle);
        return loaded;
    }();
    return library.create != nullptr ? &library : nullptr;
}

}  // namespace

std::string Tdm::UpdateLogPath() { return JoinPath(PubData, UnscrambleLiteral(kUpdateLogName)); }

void Tdm::WriteLogLine(const std::string& tag, const std::string& text) { WriteLogLineAt(tag, text, Now()); }

void Tdm::WriteLogLineAt(const std::string& tag, const std::string& text, TDateTime when) {
    if (tag != "UPD") return;
    const std::string path = UpdateLogPath();
    std::FILE* file = std::fopen(path.c_str(), "ab");
    if (!file) throw EInOutError("Cannot open the update log " + path);
    const std::string line = FormatDateTimeStamp(when) + " - " + text + std::string(LineBreak);
    const bool written = std::fwrite(line.data(), 1, line.size(), file) == line.size();
    if (std::fclose(file) != 0 || !written) throw EInOutError("Cannot write the update log " + path);
}

void Tdm::LogUpdateCheck(const std::string& code, std::int8_t zoneHours, TDateTime utcNow,
                         TDateTime publication, bool due) {
    const int hours = zoneHours;
    const std::string check = Format("CHECK %s (LOCAL UT) > %s (SUB. UT%s%d TIMEZONE) -> %s",
                                     FormatDateTimeStamp(utcNow), FormatDateTimeStamp(publication),
                                     hours < 0 ? "-" : "+", std::abs(hours), due ? "YES" : "NO");
    WriteLogLine("UPD", Format("%s : %s", code, check));
}

void Tdm::PlayEventSound(const std::string& name) {
    // Without the sound library or a sound server the context cannot be made or play: a
    // quiet program, no fault.
    const SoundLibrary* library = LoadSoundLibrary();
    if (library == nullptr) return;
    if (!sound_ && library->create(&sound_) != CA_SUCCESS) {
        sound_ = nullptr;
        return;
    }
    library->cancel(sound_, kSoundId);
    const std::string event = SameText(name, "Notify") ? std::string("message") : LowerCase(name);
    library->play(sound_, kSoundId, CA_PROP_EVENT_ID, event.c_str(), CA_PROP_CANBERRA_CACHE_CONTROL, "volatile",
                  nullptr);
}

void Tdm::FreeSoundContext() {
    // A context exists only where the library was loaded.
    if (sound_) LoadSoundLibrary()->destroy(sound_);
    sound_ = nullptr;
}

}  // namespace vemra
