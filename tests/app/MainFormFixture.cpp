#include "MainFormFixture.h"

#include <QApplication>

namespace vornakle::testing {

MainFormFixture::MainFormFixture()
    : savedHome_(qgetenv("HOME")), savedWinePrefix_(qgetenv("WINEPREFIX")) {
    qputenv("HOME", QByteArray::fromStdString(home_.Root()));
    qputenv("WINEPREFIX", QByteArray::fromStdString(home_.Path("no-wine")));
    auto dialogs = std::make_unique<ScriptedDialogs>();
    dialogs_ = dialogs.get();
    installation_ = std::make_unique<DialogsInstallation>(std::move(dialogs));
}

MainFormFixture::~MainFormFixture() {
    form_.reset();
    installation_.reset();
    qputenv("HOME", savedHome_);
    qputenv("WINEPREFIX", savedWinePrefix_);
}

void MainFormFixture::Start(bool chooseFolder) {
    if (chooseFolder) {
        dialogs_->ChooseFolder(collection_.Root());
    } else {
        dialogs_->CancelFolder();
    }
    form_ = std::make_unique<TMainForm>(settings_);
    if (form_->FolderChosen()) {
        form_->show();
        QApplication::processEvents();
    }
}

QTreeWidget* MainFormFixture::Tree() const {
    return form_->findChild<QTreeWidget*>(QStringLiteral("TVTree"));
}

QTreeView* MainFormFixture::List() const {
    return form_->findChild<QTreeView*>(QStringLiteral("LVList"));
}

LinkItems* MainFormFixture::Items() const {
    return qobject_cast<LinkItems*>(List()->model());
}

QAbstractButton* MainFormFixture::Button(const char* name) const {
    return form_->findChild<QAbstractButton*>(QString::fromUtf8(name));
}

std::vector<std::string> MainFormFixture::Captions() const {
    return Column(LinkItems::kColumnName);
}

std::vector<std::string> MainFormFixture::Column(int column) const {
    std::vector<std::string> texts;
    for (int row = 0; row < Items()->Count(); ++row) {
        texts.push_back(Items()->index(row, column).data().toString().toStdString());
    }
    return texts;
}

}  // namespace vornakle::testing
