#include "support/ScriptedDialogs.h"

#include <QtDebug>

#include "platform/TextDecoding.h"

namespace vornakle {
namespace {

const QString kConfirmationTitle = QStringLiteral("Bestätigung");

}  // namespace

void ScriptedDialogs::AnswerYes() {
    answers_.push_back({DialogKind::Confirmation, true, {}, {}});
}

void ScriptedDialogs::AnswerNo() {
    answers_.push_back({DialogKind::Confirmation, false, {}, {}});
}

void ScriptedDialogs::AnswerInput(const QString& text) {
    answers_.push_back({DialogKind::Input, true, text, {}});
}

void ScriptedDialogs::CancelInput() {
    answers_.push_back({DialogKind::Input, false, {}, {}});
}

void ScriptedDialogs::ChooseFolder(const std::string& path) {
    answers_.push_back({DialogKind::Folder, true, {}, path});
}

void ScriptedDialogs::CancelFolder() {
    answers_.push_back({DialogKind::Folder, false, {}, {}});
}

void ScriptedDialogs::SetUnexpectedHandler(std::function<void(const DialogQuestion&)> handler) {
    unexpectedHandler_ = std::move(handler);
}

std::vector<DialogQuestion> ScriptedDialogs::Unexpected() const {
    std::vector<DialogQuestion> unexpected;
    for (const DialogQuestion& question : questions_) {
        if (question.unexpected) {
            unexpected.push_back(question);
        }
    }
    return unexpected;
}

std::vector<QString> ScriptedDialogs::Texts(DialogKind kind) const {
    std::vector<QString> texts;
    for (const DialogQuestion& question : questions_) {
        if (question.kind == kind) {
            texts.push_back(question.text);
        }
    }
    return texts;
}

void ScriptedDialogs::ClearRecord() {
    questions_.clear();
    openedUrls_.clear();
}

std::optional<ScriptedDialogs::Answer> ScriptedDialogs::Ask(DialogQuestion question) {
    std::optional<Answer> answer;
    if (!answers_.empty() && answers_.front().kind == question.kind) {
        answer = std::move(answers_.front());
        answers_.pop_front();
    } else {
        // A wrong kind leaves the script as it is, so that the test's later
        // expectations show where the program went astray.
        question.unexpected = true;
    }
    questions_.push_back(question);
    if (question.unexpected) {
        qWarning("Unexpected dialog \"%s\": %s", qUtf8Printable(question.caption),
                 qUtf8Printable(question.text));
        if (unexpectedHandler_) {
            unexpectedHandler_(questions_.back());
        }
    }
    return answer;
}

void ScriptedDialogs::ShowMessage(const QString& text) {
    questions_.push_back({DialogKind::Message, QString::fromUtf8(kApplicationTitle), text, {}});
}

void ScriptedDialogs::ShowError(const QString& text) {
    questions_.push_back({DialogKind::Error, QString::fromUtf8(kApplicationTitle), text, {}});
}

bool ScriptedDialogs::Confirm(const QString& text) {
    const std::optional<Answer> answer =
        Ask({DialogKind::Confirmation, kConfirmationTitle, text, {}});
    return answer.has_value() && answer->accepted;
}

std::optional<QString> ScriptedDialogs::InputBox(const QString& title, const QString& prompt,
                                                 const QString& initialText) {
    const std::optional<Answer> answer = Ask({DialogKind::Input, title, prompt, initialText});
    if (!answer.has_value() || !answer->accepted) {
        return std::nullopt;
    }
    return answer->text;
}

std::optional<std::string> ScriptedDialogs::BrowseForFolder(const QString& prompt,
                                                            const std::string& suggestion) {
    const std::optional<Answer> answer =
        Ask({DialogKind::Folder, prompt, prompt, DisplayFileName(suggestion)});
    if (!answer.has_value() || !answer->accepted) {
        return std::nullopt;
    }
    return answer->path;
}

bool ScriptedDialogs::OpenUrl(const std::string& url) {
    questions_.push_back({DialogKind::OpenUrl, {}, DisplayText(url), {}});
    openedUrls_.push_back(url);
    return urlsHandedOver_;
}

}  // namespace vornakle
