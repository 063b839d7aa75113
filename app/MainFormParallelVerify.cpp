// Verification under current rules: the links go to the check engine, whose
// worker threads check many at once; the results come back here, on the
// window's thread, one by one as they end, and are filed and shown at once.
// The window waits in an event loop of its own, so the busy mode and the
// close and cancel handling are those of the sequential commands.
#include <QEventLoop>
#include <QProgressBar>

#include "app/MainForm.h"
#include "check/CheckEngine.h"
#include "check/CheckResult.h"
#include "check/VerdictTexts.h"
#include "history/HistoryRun.h"
#include "platform/ErrorMessages.h"
#include "platform/TextDecoding.h"
#include "report/BusyScope.h"
#include "report/ReportForm.h"
#include "store/LinkStatus.h"
#include "store/LinkVerdict.h"
#include "store/Shortcut.h"
#include "store/widgets/BookTreeView.h"
#include "store/widgets/LinkItems.h"

namespace vornakle {

namespace {

// What the status column shows beyond the status, the history's run of
// failures included; null when there is nothing more than the status.
std::unique_ptr<const LinkVerdict> VerdictOfResult(const CheckResult& result,
                                                   const std::string& url,
                                                   const AddressHistory* history) {
    auto verdict = std::make_unique<LinkVerdict>();
    verdict->Status = result.Status;
    switch (result.Found) {
        case Finding::Login:
            verdict->ShowAs = LinkVerdict::Image::Fine;
            break;
        case Finding::Suspect:
        case Finding::Blocked:
            verdict->ShowAs = LinkVerdict::Image::Doubtful;
            break;
        case Finding::Moved:
        case Finding::None:
            break;
    }
    verdict->Explanation = GermanVerdict(result, url);
    if (history != nullptr && history->FailingSince) {
        if (!verdict->Explanation.empty()) {
            verdict->Explanation += '\n';
        }
        verdict->Explanation +=
            GermanFailingRun(history->FailingSince->time_since_epoch().count(), history->Failures);
    }
    if (verdict->Explanation.empty() && verdict->ShowAs == LinkVerdict::Image::OfStatus) {
        return nullptr;
    }
    return verdict;
}

// The history of checks as the window's messages name its faults.
std::string HistoryFailureText(const EHistoryError& error, const std::string& path) {
    const std::string name = QuotedMessagePath(path);
    switch (error.Why()) {
        case EHistoryError::Reason::Damaged:
            return "Der Prüfverlauf " + name +
                   " ist beschädigt oder keine SQLite-Datenbank und bleibt, wie er ist.";
        case EHistoryError::Reason::Foreign:
            return "Die Datei " + name +
                   " gehört einem anderen Programm, ist kein Prüfverlauf und bleibt, wie sie ist.";
        case EHistoryError::Reason::Newer:
            return "Der Prüfverlauf " + name +
                   " stammt von einer neueren Version und bleibt, wie er ist.";
        case EHistoryError::Reason::InUse:
            return "Der Prüfverlauf " + name +
                   " wird gerade von einer anderen Prüfung benutzt. Bitte später noch einmal "
                   "prüfen.";
        case EHistoryError::Reason::Unusable:
            break;
    }
    return "Der Prüfverlauf " + name + " kann nicht benutzt werden.";
}

void CollectLinks(TBookTree* folder, std::vector<TBookTree*>& links) {
    for (int index = 0; index < folder->Count(); ++index) {
        TBookTree* child = folder->Child(index);
        if (!child->IsFolder()) {
            child->Text = ReadShortcutUrl(child->Path);
            links.push_back(child);
        }
    }
    for (int index = 0; index < folder->Count(); ++index) {
        TBookTree* child = folder->Child(index);
        if (child->IsFolder()) {
            CollectLinks(child, links);
        }
    }
}

}  // namespace

std::vector<TBookTree*> TMainForm::AllLinksReadAnew() const {
    std::vector<TBookTree*> links;
    if (FRoot != nullptr) {
        CollectLinks(FRoot.get(), links);
    }
    return links;
}

void TMainForm::VerifyAllAtOnce() {
    // Read first: a shortcut that can no longer be read ends the command
    // with its message before any request goes out.
    const std::vector<TBookTree*> links = AllLinksReadAnew();
    BusyScope busy(*this, ProgressBar);
    ProgressBar->setMaximum(static_cast<int>(links.size()));
    CheckLinksAtOnce(links, [this] { StepProgress(); });
}

void TMainForm::TestItems(LinkItems& Items, const std::function<void()>& Step) {
    if (FCheckRunning) {
        return;
    }
    std::vector<TBookTree*> nodes;
    nodes.reserve(Items.Items().size());
    for (const LinkItem& item : Items.Items()) {
        nodes.push_back(item.Node);
    }
    CheckLinksAtOnce(nodes, Step);
}

void TMainForm::ShowNodeInLists(TBookTree* Node, int Image) {
    for (LinkItems* items : {LVListItems, &ReportForm->ReportItems()}) {
        const int row = items->IndexOfNode(Node);
        if (row < 0) {
            continue;
        }
        items->Item(row).Url = DisplayText(Node->Text);
        if (Image >= 0) {
            items->Item(row).ImageIndex = Image;
            items->ItemChanged(row);
        } else {
            ShowLinkStatus(*items, row);
        }
    }
}

void TMainForm::FileResult(TBookTree* Node, const CheckResult& Result,
                           const AddressHistory* History) {
    // A check the user cancelled has found nothing out about the link.
    if (Result.Reason != FailureReason::Aborted) {
        Node->Status = Result.Status;
        Node->Verdict = VerdictOfResult(Result, Node->Text, History);
    }
    ShowNodeInLists(Node);
}

void TMainForm::CheckLinksAtOnce(const std::vector<TBookTree*>& Nodes,
                                 const std::function<void()>& Step) {
    if (FCheckRunning || Nodes.empty()) {
        return;
    }
    std::vector<std::string> urls;
    urls.reserve(Nodes.size());
    for (TBookTree* node : Nodes) {
        urls.push_back(node->Text);
    }
    // The checks join the history of checks under current rules only;
    // classic statuses stay in memory. One that cannot be used stops the
    // command before any request.
    std::unique_ptr<HistoryRun> history;
    if (!FHistoryPath.empty() && FCheckSettings.Rules == CheckRules::Current) {
        try {
            history = std::make_unique<HistoryRun>(FHistoryPath, HistoryFolder::MakeMissing, urls,
                                                   SystemClock());
        } catch (const EHistoryError& error) {
            throw Exception(HistoryFailureText(error, FHistoryPath));
        }
    }
    for (TBookTree* node : Nodes) {
        ShowNodeInLists(node, kImageBeingTested);
    }
    std::vector<bool> filed(Nodes.size(), false);
    CheckEngine engine(std::move(urls), FCheckSettings);
    QEventLoop loop;
    engine.OnResult = [&](std::size_t index, const CheckResult& result) {
        filed[index] = true;
        FileResult(Nodes[index], result, history ? history->Checked(index, result) : nullptr);
        if (Step) {
            Step();
        }
    };
    engine.OnFinished = [&loop] { loop.quit(); };

    FCheckRunning = true;
    FCheckAborted = false;
    FEngine = &engine;
    FEngineLoop = &loop;
    engine.Start();
    loop.exec();
    // AbortCheck has stopped the engine already when the user cancelled.
    engine.Stop();
    FEngine = nullptr;
    FEngineLoop = nullptr;
    FCheckRunning = false;
    FCheckAborted = false;

    for (std::size_t index = 0; index < Nodes.size(); ++index) {
        if (!filed[index]) {
            ShowNodeInLists(Nodes[index]);
        }
    }
    // Every status is filed; the history only misses what came after its
    // failure.
    if (history) {
        history->Flush();
        if (history->Failure()) {
            throw Exception(HistoryFailureText(*history->Failure(), FHistoryPath));
        }
    }
}

}  // namespace vornakle
