#pragma once

#include <deque>
#include <functional>
#include <vector>

#include "platform/ui/Dialogs.h"

namespace vornakle {

// One question as the user would have seen it.
struct DialogQuestion {
    DialogKind kind = DialogKind::Message;
    QString caption;          // the window title
    QString text;             // the message, prompt or URL
    QString defaultText;      // the input box's initial text or the folder suggestion
    bool unexpected = false;  // no scripted answer of this kind was waiting
};

// Dialogs for tests: answers questions from a script, in order, and records
// every question with its exact texts. A question with no matching answer
// waiting is recorded as unexpected and answered "no" or "cancel", the answer
// that changes nothing; tests check Unexpected() or install a handler that
// fails the test on the spot.
class ScriptedDialogs : public Dialogs {
public:
    // The script, consumed one answer per confirmation, input box or folder
    // dialog. Message boxes need no answer.
    void AnswerYes();
    void AnswerNo();
    void AnswerInput(const QString& text);
    void CancelInput();
    void ChooseFolder(const std::string& path);
    void CancelFolder();
    // From now on a URL is recorded but not handed over, as on a desktop
    // without a browser.
    void RefuseUrls() { urlsHandedOver_ = false; }

    // Called for every unexpected question as it is asked.
    void SetUnexpectedHandler(std::function<void(const DialogQuestion&)> handler);

    const std::vector<DialogQuestion>& Questions() const { return questions_; }
    std::vector<DialogQuestion> Unexpected() const;
    // The texts of every question of one kind, in order.
    std::vector<QString> Texts(DialogKind kind) const;
    // Answers scripted but not yet asked for.
    std::size_t PendingAnswers() const { return answers_.size(); }
    // Every URL the program asked to open, as bytes.
    const std::vector<std::string>& OpenedUrls() const { return openedUrls_; }
    void ClearRecord();

    void ShowMessage(const QString& text) override;
    void ShowError(const QString& text) override;
    bool Confirm(const QString& text) override;
    std::optional<QString> InputBox(const QString& title, const QString& prompt,
                                    const QString& initialText) override;
    std::optional<std::string> BrowseForFolder(const QString& prompt,
                                               const std::string& suggestion) override;
    bool OpenUrl(const std::string& url) override;

private:
    struct Answer {
        DialogKind kind;
        bool accepted;
        QString text;
        std::string path;
    };

    // Takes the next answer when it is of the asked kind; records the question.
    std::optional<Answer> Ask(DialogQuestion question);

    std::deque<Answer> answers_;
    std::vector<DialogQuestion> questions_;
    std::vector<std::string> openedUrls_;
    bool urlsHandedOver_ = true;
    std::function<void(const DialogQuestion&)> unexpectedHandler_;
};

}  // namespace vornakle
