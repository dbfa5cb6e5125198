// The document's views and dialogs in the console mode: downloads run the download dialog in a window that is a
// progress line on standard error, messages go to standard error, and there is no list, design control, window or start
// dialog to show (the table is printed once the document is done).
#pragma once

#include "components/DocumentHost.h"

#include <string>
#include <vector>

namespace zarn {

class ConsoleHost : public CDocumentHost {
public:
    struct Settings {
        bool quiet = false;    // no progress and no messages
        bool progress = false; // draw the progress line (standard error is a terminal)
        bool mayAsk = false;   // ask for credentials on the terminal (standard input is one)
        std::string caFile;    // a certificate authority trusted besides the system's; empty: none
    };

    explicit ConsoleHost(Settings settings);

    void FillComponentList(const CZarnDoc&) override {}
    void HideDesignControl() override {}
    void UpdateAllViews(const CZarnDoc&) override {}
    // Runs the download dialog with its console window, whose line and prompts are drawn on the calling thread; a
    // failure's message goes to standard error unless quiet.
    int RunDownload(const std::string& sourceUrl, const std::string& targetPath, const DownloadCheck& check) override;
    // Fetched ahead by the base's queue; the progress line of each download shows the others' below it.
    void PlanDownloads(const std::vector<PlannedDownload>& downloads) override;
    std::string LastDownloadFailText() const override { return m_lastFailText; }
    std::vector<std::string> LastDownloadAttempts() const override { return m_lastAttempts; }
    DownloadAnswer LastDownloadAnswer() const override { return m_lastAnswer; }
    // Writes `text` and a line end to standard error unless quiet.
    void ShowMessageBox(const std::string& text) override;
    // Writes a note, never the end of a wait, as a message.
    void ShowWaitNote(const std::string& text) override;
    void ShowStartDialog(int) override {}
    void BringMainWindowToFront() override {}

private:
    Settings m_settings;
    std::string m_lastFailText;
    std::vector<std::string> m_lastAttempts;
    DownloadAnswer m_lastAnswer;
};

} // namespace zarn
