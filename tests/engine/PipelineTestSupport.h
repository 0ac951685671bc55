#pragma once
// The conversion run's tests: a main window stand-in with memos, control indexes, a
// recording progress window, a text measure and a plug-in manager of two rate sources,
// and a fixture that writes plain day rate files into the temporary PubData.

#include <map>
#include <string>
#include <vector>

#include "ConversionRun.h"
#include "EngineTestSupport.h"
#include "PipelineHost.h"
#include "rtl/DateUtils.h"
#include "rtl/Format.h"
#include "rtl/SysUtils.h"
#include "vmrconsts.h"

namespace vemra::test {

inline std::vector<std::string> LinesOf(const TStringList& list) {
    std::vector<std::string> out;
    for (const TStringList::Item& item : list.Items()) out.push_back(item.str);
    return out;
}

inline void SetLines(TStringList& list, const std::vector<std::string>& lines) {
    list.Clear();
    for (const std::string& line : lines) list.Add(line);
}

class FakePipelineHost : public IPipelineHost {
public:
    explicit FakePipelineHost(FakeEngineHost& engine) : engine_(engine) {}

    TStringList& MEINN() override { return Input; }
    TStringList& MeClip() override { return Clip; }
    TStringList& MEOUT() override { return Output; }
    TStringList& ResultLines() override { return Result; }
    bool OutputMemoReady() override { return MemoReady; }
    void MEINNChange() override { ++InputChanges; }

    int RGFormatIndex() override { return Order; }
    int cbFormatIndex() override { return LabelStyle; }
    int cbDesambiIndex() override { return Desambi; }
    int cbDateDesambiIndex() override { return DateDesambi; }
    int cbBadDateMethodIndex() override { return BadDateMethod; }
    int cbCrossTabSelIndex() override { return CrossTabSel; }
    std::string EdFormatLeftText() override { return Left; }
    std::string EdFormatRightText() override { return Right; }

    bool CalcProgressOpen() override { return ProgressOpen; }
    void ShowCalcProgress(const std::string& text) override {
        ProgressOpen = true;
        ProgressText = text;
        ++ProgressOpens;
    }
    void SetCalcProgressRange(const std::string& pattern, int maximum) override {
        ProgressPattern = pattern;
        ProgressMax = maximum;
    }
    void SetProgress(int position) override { ProgressPosition = position; }
    void RevealCalcProgress() override { ProgressShown = true; }
    void CloseCalcProgress() override {
        ProgressOpen = false;
        ++ProgressCloses;
    }

    int CalcHintWidth(const std::string& text, int maxWidth) override {
        const int width = 6 * static_cast<int>(text.size()) + 5;
        return width < maxWidth ? width : maxWidth;
    }

    char LocaleDateSeparator() override { return DateSeparator; }
    std::string LocaleDatePattern() override { return DatePattern; }

    int PluginSelectedIndex() override { return Selected; }
    void SetPluginSelectedIndex(int index) override {
        Selected = index;
        if (!HasCurrentPlugin()) return;
        engine_.Code = Sources[static_cast<std::size_t>(index)].code;
        engine_.LastFile = Sources[static_cast<std::size_t>(index)].lastFile;
    }
    bool HasCurrentPlugin() override { return Selected >= 0 && static_cast<std::size_t>(Selected) < Sources.size(); }
    int IndexOfPlugin(const std::string& code) override {
        if (auto it = Stale.find(code); it != Stale.end()) return it->second;
        for (std::size_t i = 0; i < Sources.size(); ++i)
            if (SameText(Sources[i].code, code)) return static_cast<int>(i);
        return -1;
    }

    struct Source {
        std::string code;
        std::string lastFile;
    };

    TStringList Input, Clip, Output, Result;
    bool MemoReady = true;
    int InputChanges = 0;
    int Order = 0, LabelStyle = 0, Desambi = 0, DateDesambi = 0, BadDateMethod = 0, CrossTabSel = 0;
    std::string Left = " ( ";
    std::string Right = " )";
    bool ProgressOpen = false;
    bool ProgressShown = false;
    int ProgressOpens = 0, ProgressCloses = 0, ProgressMax = 0, ProgressPosition = -1;
    std::string ProgressText, ProgressPattern;
    char DateSeparator = '/';
    std::string DatePattern = "dmy";
    std::vector<Source> Sources;
    std::map<std::string, int> Stale;  // codes the manager still names at a position it no longer has
    int Selected = 0;

private:
    FakeEngineHost& engine_;
};

// A converter with the fixture currencies and the day rate file "today" (2024.02.01) of
// the rate source ECB: 1 EUR = 2 USD = 0.5 GBP = 100 JPY. The pair is USD > EUR.
class PipelineTest : public EngineTest {
protected:
    PipelineTest() : ui(host), run(conv, ui) {
        savedRecords_[0] = DmyFormat;
        savedRecords_[1] = MdyFormat;
        savedRecords_[2] = YmdFormat;
        host.MessageTexts[22] = "Empty";
        host.MessageTexts[88] = "No rates on %s";
        host.MessageTexts[94] = "Rate source %s not available";
        host.MessageTexts[98] = "First cell %s unexplained";
        host.MessageTexts[99] = "Unknown currency %s";
        host.MessageTexts[100] = "No rate for %s";
        host.MessageTexts[107] = "Missing %s";
        host.MessageTexts[119] = "Splitting %d of %d";
        host.MessageTexts[120] = "Converting %d of %d";
        host.MessageTexts[121] = "Please wait";
    }
    ~PipelineTest() override {
        DmyFormat = savedRecords_[0];
        MdyFormat = savedRecords_[1];
        YmdFormat = savedRecords_[2];
    }

    void SetUp() override {
        ASSERT_TRUE(LoadCurrencyNames(List(), configFile));
        todayFile = WriteRates(EncodeDate(2024, 2, 1), {{"USD", "2"}, {"GBP", "0.5"}, {"JPY", "100"}});
        ui.Sources = {{"ECB", todayFile}, {"FED", ""}};
        ui.SetPluginSelectedIndex(0);
        ASSERT_TRUE(LoadRateFile(List(), todayFile));
        SetPair("USD", "EUR");
        host.Messages.clear();
    }

    // A plain day rate file of the source ECB with base EUR; returns its path.
    std::string WriteRates(TDateTime date, const std::map<std::string, std::string>& rates,
                           const std::string& code = "ECB") {
        const std::string path = DatedRateFileName(code, folder.Path(), date);
        std::string text = "[VMR]\nTYPE=DATA\nPROVIDER=Test Bank\nCODE=" + code + "\nDATE=" + FormatDateStamp(date) +
                           "\nBASE=EUR\nFACTOR=1\nLOGIC=1XNY\n[DATA]\n";
        for (const auto& [currency, value] : rates) text += currency + "=" + value + "\n";
        WriteText(path, text);
        return path;
    }

    void SetPair(const std::string& from, const std::string& to) {
        conv.SetFromCurrency(from);
        conv.SetToCurrency(to);
    }

    void ConvertPlain(const std::vector<std::string>& lines) {
        SetLines(ui.Input, lines);
        run.DoConvert(false);
    }
    void ConvertTable(const std::vector<std::string>& lines) {
        SetLines(ui.Clip, lines);
        run.DoConvert(true);
    }

    std::vector<std::string> Out() const { return LinesOf(ui.Output); }
    std::vector<std::string> Results() const { return LinesOf(ui.Result); }
    std::vector<std::string> Warnings() { return LinesOf(conv.Warnings()); }
    std::vector<int> Classes() const {
        std::vector<int> out;
        for (const CellInfo& cell : conv.Table.Cells) out.push_back(cell.Class);
        return out;
    }
    // The cell's line in the detail log of the last conversion.
    std::string CellLog(int k) {
        const std::string prefix = Format("%.*d = ", 4, k);
        const TStringList& body = conv.LogBody();
        for (int i = body.Count() - 1; i >= 0; --i)
            if (body[i].rfind(prefix, 0) == 0) return body[i];
        return {};
    }

    FakePipelineHost ui;
    TConversionRun run;
    std::string todayFile;

private:
    TFormatSettings savedRecords_[3];
};

}  // namespace vemra::test
