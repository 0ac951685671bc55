// A rate-source library for the tests, written against the contract alone. What it answers
// is steered by the nodes it is shown and by environment variables:
//   ParseItem: attributes s (the status to set), v (the answer), throw (throws)
//   GetDate:   attributes ds (the status to set), date (the answer), datethrow (throws)
//   PreClean:  a page holding THROW throws, REJECT sets -1, KEEPSTATUS leaves the status,
//              REWRITE is rewritten to REWRITTEN; anything else sets 1
//   ComposeQuery: "%" becomes the day number; a template holding THROW throws
//   Install:   VEMRA_TESTLIB_INSTALL (the text), VEMRA_TESTLIB_INSTALL_THROW (throws)
//   HistoryDataSet: the file holds "first-last", FAIL or THROW
//   HistoryDataGet: answers 1 unless VEMRA_TESTLIB_HISTORY_FAIL is set
// With VEMRA_TESTLIB_LOG set, every call appends a line to that file, with the tag name and
// occurrence the walk handed over where it has them.

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>
#include <string>
#include <string_view>

#include "vemra_ratesource.h"

namespace {

constexpr const char* kDefinition =
    "Publisher=Test Source\r\n"
    "DataUrl=http://127.0.0.1/none\r\n"
    "DataItems=td 0 N\r\n"
    "DateItem=td:0\r\n"
    "Settings=1111111:1111111:D:1:0:0\r\n"
    "BaseDiv=EUR\r\n"
    "BaseFactor=1\r\n"
    "Logic=1XNY\r\n"
    "Enabled=1\r\n";

const char* const* currentTag = nullptr;
const std::int32_t* currentIndex = nullptr;

void Log(const std::string& line) {
    const char* file = std::getenv("VEMRA_TESTLIB_LOG");
    if (file == nullptr) return;
    std::ofstream out(file, std::ios::app);
    out << line << "\n";
}

// The position last handed over, read once: the addresses are only good during the walk
// that passed them, and the next walk hands over its own.
std::string Position() {
    std::string tag = currentTag != nullptr && *currentTag != nullptr ? *currentTag : "?";
    std::string index = currentIndex != nullptr ? std::to_string(*currentIndex) : "?";
    currentTag = nullptr;
    currentIndex = nullptr;
    return tag + ":" + index;
}

// The attribute line's value, or nullptr-like absence reported through found.
std::string Attribute(const char* text, std::string_view name, bool* found = nullptr) {
    std::istringstream lines(text != nullptr ? text : "");
    std::string line;
    while (std::getline(lines, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        const std::size_t eq = line.find('=');
        const std::string key = line.substr(0, eq);
        if (key == name) {
            if (found != nullptr) *found = true;
            return eq == std::string::npos ? std::string() : line.substr(eq + 1);
        }
    }
    if (found != nullptr) *found = false;
    return {};
}

bool Has(const char* text, std::string_view name) {
    bool found = false;
    Attribute(text, name, &found);
    return found;
}

std::string ReadAll(const char* path) {
    std::ifstream in(path != nullptr ? path : "", std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace

extern "C" {

VEMRA_RATESOURCE_EXPORT const char* SubscriptionInstall(void) {
    if (std::getenv("VEMRA_TESTLIB_INSTALL_THROW") != nullptr) throw std::runtime_error("install");
    const char* text = std::getenv("VEMRA_TESTLIB_INSTALL");
    return text != nullptr ? text : kDefinition;
}

VEMRA_RATESOURCE_EXPORT void SubscriptionSetData(int32_t what, void* data) {
    if (what == VEMRA_SETDATA_TAGNAME) currentTag = static_cast<const char* const*>(data);
    if (what == VEMRA_SETDATA_INDEX) currentIndex = static_cast<const std::int32_t*>(data);
    if (what == VEMRA_SETDATA_NODELIST) Log(std::string("nodelist ") + (data != nullptr ? "set" : "null"));
}

VEMRA_RATESOURCE_EXPORT void SubscriptionPreClean(const char* pageFile, void* reserved, int32_t* status) {
    const std::string page = ReadAll(pageFile);
    Log("preclean " + std::to_string(*status) + (reserved == nullptr ? " nil" : " data"));
    if (page.find("THROW") != std::string::npos) throw std::runtime_error("preclean");
    if (page.find("KEEPSTATUS") != std::string::npos) return;
    if (page.find("REJECT") != std::string::npos) {
        *status = VEMRA_STATUS_MISSING;
        return;
    }
    const std::size_t at = page.find("REWRITE");
    if (at != std::string::npos) {
        std::string changed = page;
        changed.replace(at, 7, "REWRITTEN");
        std::ofstream(pageFile, std::ios::binary | std::ios::trunc) << changed;
    }
    *status = VEMRA_STATUS_OK;
}

VEMRA_RATESOURCE_EXPORT const char* SubscriptionComposeQuery(const char* addressTemplate, const char* dayNumber,
                                                             int32_t* status) {
    static std::string answer;
    answer = addressTemplate;
    Log("compose " + answer + " " + dayNumber + " " + std::to_string(*status));
    if (answer.find("THROW") != std::string::npos) throw std::runtime_error("compose");
    const std::size_t at = answer.find('%');
    if (at != std::string::npos) answer.replace(at, 1, dayNumber);
    return answer.c_str();
}

VEMRA_RATESOURCE_EXPORT const char* SubscriptionGetDate(const char* nodeText, const char* attributeText,
                                                        int32_t* status) {
    static std::string answer;
    Log("date " + Position() + " [" + nodeText + "] " + std::to_string(*status));
    if (Has(attributeText, "datethrow")) throw std::runtime_error("date");
    if (Has(attributeText, "ds")) *status = std::atoi(Attribute(attributeText, "ds").c_str());
    answer = Attribute(attributeText, "date");
    return answer.c_str();
}

VEMRA_RATESOURCE_EXPORT const char* SubscriptionParseItem(const char* nodeText, const char* attributeText,
                                                          int32_t* status) {
    static std::string answer;
    Log("item " + Position() + " [" + nodeText + "] " + std::to_string(*status));
    if (Has(attributeText, "throw")) throw std::runtime_error("item");
    if (Has(attributeText, "s")) *status = std::atoi(Attribute(attributeText, "s").c_str());
    answer = Attribute(attributeText, "v");
    return answer.c_str();
}

VEMRA_RATESOURCE_EXPORT int32_t HistoryDataSet(const char* historyFile, double* firstDay, double* lastDay) {
    const std::string text = ReadAll(historyFile);
    Log(std::string("historyset ") + historyFile);
    if (text.find("THROW") != std::string::npos) throw std::runtime_error("history");
    const std::size_t dash = text.find('-');
    if (text.find("FAIL") != std::string::npos || dash == std::string::npos) return 0;
    *firstDay = std::atof(text.substr(0, dash).c_str());
    *lastDay = std::atof(text.substr(dash + 1).c_str());
    return 1;
}

VEMRA_RATESOURCE_EXPORT int32_t HistoryDataGet(const char* code, const char* dataFolder, const char* historyFile,
                                               const char* headerTemplate, double date) {
    Log(std::string("historyget ") + code + " " + dataFolder + " " + historyFile + " " +
        std::to_string(static_cast<long>(date)));
    Log(std::string("template ") + headerTemplate);
    return std::getenv("VEMRA_TESTLIB_HISTORY_FAIL") != nullptr ? 0 : 1;
}

}  // extern "C"
