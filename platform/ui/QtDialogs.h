#pragma once

#include "platform/ui/Dialogs.h"

namespace vornakle {

// The real, modal dialogs of the toolkit with the program's German texts.
class QtDialogs : public Dialogs {
public:
    void ShowMessage(const QString& text) override;
    void ShowError(const QString& text) override;
    bool Confirm(const QString& text) override;
    std::optional<QString> InputBox(const QString& title, const QString& prompt,
                                    const QString& initialText) override;
    std::optional<std::string> BrowseForFolder(const QString& prompt,
                                               const std::string& suggestion) override;
    bool OpenUrl(const std::string& url) override;
};

}  // namespace vornakle
