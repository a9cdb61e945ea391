#include "base/message_style.h"
#include "dialogs/sync_mode_dialog.h"
#include "support/two_folders.h"

#include <QDialog>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

namespace {

// Folders one inside the other are refused before the mode is asked for; a
// mirror that empties Destination asks first, No keeping everything.
TEST_F(TwoFolders, SynchronizeRefusesNestedFoldersAndAsksBeforeEmptyingDestination) {
    dest.write(QStringLiteral("sub/a.txt"), "1");
    window.txtSource()->setText(dest.filePath(QStringLiteral("sub")));
    window.mnuEditSynchronize_Click();
    ASSERT_EQ(platform.shown.size(), 1);
    EXPECT_TRUE(platform.shown[0].text.contains(QLatin1String("Source lies inside Destination")));
    window.txtSource()->setText(source.path());
    platform.dialogActions.push_back([](QDialog& d) {
        static_cast<SyncModeDialog&>(d).button(SyncMode::Mirror)->click();
        d.accept();
    });
    window.mnuEditSynchronize_Click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return window.syncPreview(); }));
    auto* run = window.findChild<QPushButton*>(QStringLiteral("cmdSyncRun"));
    platform.answers = {Answer::No, Answer::Yes};
    run->click();
    EXPECT_EQ(dest.read(QStringLiteral("sub/a.txt")), "1");
    ASSERT_TRUE(window.syncPreview()) << "the preview stays";
    run->click();
    EXPECT_TRUE(platform.answers.empty() && !QFile::exists(dest.filePath(QStringLiteral("sub"))));
    EXPECT_EQ(platform.shown.size(), 3);
}

} // namespace
