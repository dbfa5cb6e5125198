// A document host that writes down every call the document makes, and serves downloads from a table of files.
#pragma once

#include "components/DocumentHost.h"
#include "components/ZarnDoc.h"

#include <fstream>
#include <functional>
#include <map>
#include <set>
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
    // The notes of failed attempts are m_attempts' for the URL, and the answer's validators m_validators'. A URL of
    // m_notModified asked with validators answers as an unchanged file does: kIdOk, nothing written.
    int RunDownload(const std::string& sourceUrl, const std::string& targetPath, const DownloadCheck& check) override {
        m_calls.push_back("download " + sourceUrl + " -> " + targetPath);
        m_checks[sourceUrl] = check;
        const auto notes = m_attempts.find(sourceUrl);
        m_lastAttempts = notes == m_attempts.end() ? std::vector<std::string>() : notes->second;
        const auto validators = m_validators.find(sourceUrl);
        m_lastAnswer = validators == m_validators.end() ? DownloadAnswer() : validators->second;
        if (m_notModified.count(sourceUrl) != 0 && (!check.ifNoneMatch.empty() || !check.ifModifiedSince.empty())) {
            m_lastFailText.clear();
            m_lastAnswer = DownloadAnswer{true, {}, {}};
            return kIdOk;
        }
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
    std::vector<std::string> LastDownloadAttempts() const override { return m_lastAttempts; }
    DownloadAnswer LastDownloadAnswer() const override { return m_lastAnswer; }
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
    std::map<std::string, std::vector<std::string>> m_attempts;
    std::vector<std::string> m_lastAttempts;
    std::map<std::string, DownloadAnswer> m_validators;
    std::set<std::string> m_notModified;
    std::map<std::string, DownloadCheck> m_checks; // the last check each URL was asked with
    DownloadAnswer m_lastAnswer;
    std::vector<std::string> m_calls;
    std::vector<std::vector<std::string>> m_plans;
    std::function<void(const std::string&)> m_onWaitNote;
};

} // namespace zarn::test
