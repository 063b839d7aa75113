#pragma once

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QTreeView>
#include <QTreeWidget>
#include <memory>

#include "app/MainForm.h"
#include "store/widgets/LinkItems.h"
#include "support/ScriptedDialogs.h"
#include "support/TempTree.h"

namespace vornakle::testing {

// A main window over a collection the test builds, with scripted dialogs and
// a home directory of its own, so nothing of the real user is touched.
class MainFormFixture : public ::testing::Test {
protected:
    MainFormFixture();
    ~MainFormFixture() override;

    // Starts the program's window: answers the folder dialog with the
    // collection's root (or cancels when chooseFolder is false) and shows it.
    void Start(bool chooseFolder = true);

    TMainForm& Form() { return *form_; }
    QTreeWidget* Tree() const;
    QTreeView* List() const;
    LinkItems* Items() const;
    QAbstractButton* Button(const char* name) const;
    // The captions of the list in row order.
    std::vector<std::string> Captions() const;
    std::vector<std::string> Column(int column) const;

    // The settings the window is made with; classic unless a test changes
    // them before Start.
    CheckSettings settings_;
    TempTree collection_;
    TempTree home_;
    ScriptedDialogs* dialogs_ = nullptr;

private:
    std::unique_ptr<DialogsInstallation> installation_;
    std::unique_ptr<TMainForm> form_;
    QByteArray savedHome_;
    QByteArray savedWinePrefix_;
};

}  // namespace vornakle::testing
