#include "StreamKeys.h"

namespace vemra {

void StreamKey(int index, std::string& key) {
    // Files written under one value cannot be read under another: never change these.
    switch (index) {
    case kLanguageKeyIndex: key = "L4ng0k"; break;
    case kPluginStoreKeyIndex: key = "Pst0r3"; break;
    case kDayRateKeyIndex: key = "Dr4t3s"; break;
    default: key.clear(); break;
    }
}

}  // namespace vemra
