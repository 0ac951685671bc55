#pragma once
// TVMRDownload: downloads a list of files one after the other, with a gauge that counts the
// files or follows the bytes of the current file, and closes itself 250 ms after the last.

#include "VMRProgressForm.h"
#include "rtl/StringList.h"

class QTimer;

namespace vemra {

class TVMRDownload : public TVMRProgress {
    Q_OBJECT
public:
    explicit TVMRDownload(QWidget* parent = nullptr);
    ~TVMRDownload() override;

    void DoWork() override;
    // The download's progress (total < 1: size unknown, done counts blocks).
    void DownloadProgress(int total, int done);

    QTimer* Tim;  // 250 ms, single shot: presses Close
    TStringList Addresses;
    TStringList Files;
    int Fetched = 0;
    bool CountFiles = false;
};

// Fetches the files of the lines ("|"-separated words, empty words not counted: word 4 the
// address, word 5 the target file; missing words give empty texts); the gauge counts files
// when countFiles is set. Returns the number of files fetched.
int RunDownloadList(const TStringList& lines, bool countFiles);

}  // namespace vemra
