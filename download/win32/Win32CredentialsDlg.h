// The prompt for a user name and password when a web server or proxy asks a download for them: the credentials
// template of the dialog table, owned by the download dialog; a question longer than the template's room grows the
// prompt downwards.
#pragma once

#include "res/win32/Win32Dialog.h"

#include <string>
#include <windows.h>

namespace zarn {

class Win32CredentialsDlg : public Win32Dialog {
public:
    Win32CredentialsDlg();

    // Asks `question` modally over `owner` with `user` in the user name field and the password empty; true with the
    // fields' texts in `user` and `password` when OK ends it, false on Cancel, Escape, the close box or when no
    // window could be made. UI thread.
    bool Ask(HWND owner, const std::string& question, std::string& user, std::string& password);

protected:
    bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR& result) override;

private:
    std::string ItemText(ControlId id) const;
    // Makes the question's item as tall as its text needs, lowering the items below it and growing the dialog by as
    // much; a question that fits changes nothing.
    void FitQuestion();

    std::string m_question;
    std::string m_user;
    std::string m_password;
};

} // namespace zarn
