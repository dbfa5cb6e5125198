// A document host that writes down every call the document makes, and serves downloads from a table of files.
#pragma once

#include "components/DocumentHost.h"
#include "components/ZarnDoc.h"

#include <fstream>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace zarn::test {

class RecordingHost : public CDocumentHost {
public:
    // Each record as "desc:status", in list order.
    static std::string Statuses(const CZarnDoc& document) {
        std::string text = "[";
        for (const auto& record : document.m_compList) {
            text += (text.size() > 1 ? "," : "") + record->m_desc + ":" + record->m_status;
        }
        return text + "]";
    }

    void FillComponentList(const CZarnDoc& document) override { m_calls.push_back("fill " + Statuses(document)); }
    void HideDesignControl() override { m_calls.push_back("hide"); }
    void UpdateAllViews(const CZarnDoc& document) override {
        m_calls.push_back("update " + std::to_string(document.m_listMode) + " " + Statuses(document));
    }
    // A URL of m_files gets its bytes written to the target and kIdOk; any other fails and writes nothing. The
    // list's size and hash are not applied here: the real hosts' engine checks them, tested against servers.
    int RunDownload(const std::string& sourceUrl, const std::string& targetPath, const DownloadCheck&) override {
        m_calls.push_back("download " + sourceUrl + " -> " + targetPath);
        const auto found = m_files.find(sourceUrl);
        m_lastFailText = found == m_files.end() ? kMissingText : "";
        if (found == m_files.end()) {
            return kIdCancel;
        }
        std::ofstream out(targetPath, std::ios::binary | std::ios::trunc);
        out << found->second;
        out.close();
        return out ? kIdOk : kIdCancel;
    }
    // Each plan as its downloads' "URL -> target", kept apart from m_calls.
    void PlanDownloads(const std::vector<PlannedDownload>& downloads) override {
        std::vector<std::string> plan;
        for (const PlannedDownload& download : downloads) {
            plan.push_back(download.sourceUrl + " -> " + download.targetPath);
        }
        m_plans.push_back(plan);
    }
    std::string LastDownloadFailText() const override { return m_lastFailText; }
    void ShowMessageBox(const std::string& text) override { m_calls.push_back("message " + text); }
    // Recorded, then m_onWaitNote runs when it is set.
    void ShowWaitNote(const std::string& text) override {
        m_calls.push_back("wait " + text);
        if (m_onWaitNote) {
            m_onWaitNote(text);
        }
    }
    void ShowStartDialog(int allowUpdate) override { m_calls.push_back("start " + std::to_string(allowUpdate)); }
    void BringMainWindowToFront() override { m_calls.push_back("front"); }

    // The failure text of a download whose URL is not in m_files.
    static constexpr const char* kMissingText =
        "Failed to receive a valid HTTP response from the server, Response Code:404";

    std::map<std::string, std::string> m_files;
    std::string m_lastFailText;
    std::vector<std::string> m_calls;
    std::vector<std::vector<std::string>> m_plans;
    std::function<void(const std::string&)> m_onWaitNote;
};

} // namespace zarn::test
