#include "dialogs/toolbar_customize_dialog.h"
#include "support/printers.h"

#include <QListWidget>
#include <QPixmap>
#include <QPushButton>
#include <gtest/gtest.h>

namespace {

QStringList keys(const char* spaced) {
    QStringList out = QString::fromLatin1(spaced).split(QLatin1Char(' '));
    out.replaceInStrings(QStringLiteral("|"), QString()); // "|" stands for a separator
    return out;
}

class ToolbarDialog : public ::testing::Test {
protected:
    void open(const QStringList& current) {
        QPixmap image(16, 16);
        image.fill(Qt::blue);
        QList<ToolbarButtonInfo> buttons;
        for (const QString& key : defaults)
            if (!key.isEmpty())
                buttons.append({key, key == QLatin1String("SwapFolders") ? "Swap folders" : key,
                                QIcon(image)});
        dialog = std::make_unique<ToolbarCustomizeDialog>(buttons, current, defaults);
    }
    QListWidget* list(const char* name) const { return dialog->findChild<QListWidget*>(name); }
    QStringList texts(const char* name) const {
        QStringList out;
        for (int i = 0; i < list(name)->count(); ++i)
            out << list(name)->item(i)->text();
        return out;
    }
    void select(const char* name, const QString& text) {
        list(name)->setCurrentRow(static_cast<int>(texts(name).indexOf(text)));
    }
    void click(const char* name) { dialog->findChild<QPushButton*>(name)->click(); }
    bool enabled(const char* name) const {
        return dialog->findChild<QPushButton*>(name)->isEnabled();
    }

    const QStringList defaults =
        keys("Open | Cut Copy Paste | Delete Properties | ViewFoldersInfo SwapFolders | Help");
    std::unique_ptr<ToolbarCustomizeDialog> dialog;
};

TEST_F(ToolbarDialog, OpensWithTheToolbarOnTheRightAndTheRestOnTheLeft) {
    open(keys("Open | Help Open"));
    EXPECT_EQ(dialog->arrangement(), keys("Open | Help")) << "a button stands once";
    EXPECT_EQ(texts("lstCurrent"), QStringList({"Open", "Separator", "Help"}));
    EXPECT_EQ(texts("lstAvailable"),
              QStringList({"Separator", "Cut", "Copy", "Paste", "Delete", "Properties",
                           "ViewFoldersInfo", "Swap folders"}));
    EXPECT_FALSE(list("lstAvailable")->item(7)->icon().isNull());
}

TEST_F(ToolbarDialog, AddPutsAfterTheSelectionAndSeparatorsStayAvailable) {
    open(keys("Open Help"));
    list("lstCurrent")->setCurrentRow(0);
    select("lstAvailable", QStringLiteral("Swap folders"));
    click("cmdAdd");
    select("lstAvailable", QStringLiteral("Separator"));
    click("cmdAdd");
    click("cmdAdd");
    EXPECT_EQ(dialog->arrangement(), keys("Open SwapFolders | | Help"));
    EXPECT_FALSE(texts("lstAvailable").contains(QStringLiteral("Swap folders")));
    EXPECT_EQ(texts("lstAvailable").count(QStringLiteral("Separator")), 1);
    list("lstCurrent")->setCurrentRow(-1);
    select("lstAvailable", QStringLiteral("Cut"));
    click("cmdAdd");
    EXPECT_EQ(dialog->arrangement().last(), QStringLiteral("Cut")) << "no selection: at the end";
}

TEST_F(ToolbarDialog, RemoveReturnsButtonsToTheirPlaceAndDropsSeparators) {
    open(defaults);
    for (const char* text : {"Copy", "Open"}) {
        select("lstCurrent", QLatin1String(text));
        click("cmdRemove");
    }
    EXPECT_EQ(texts("lstAvailable"), QStringList({"Separator", "Open", "Copy"}));
    click("cmdRemove"); // the separator that followed Open, now selected
    EXPECT_EQ(dialog->arrangement(), keys("Cut Paste | Delete Properties | ViewFoldersInfo "
                                          "SwapFolders | Help"));
    EXPECT_EQ(texts("lstAvailable").count(QStringLiteral("Separator")), 1);
    while (list("lstCurrent")->count() > 0)
        click("cmdRemove");
    EXPECT_FALSE(enabled("cmdRemove"));
    EXPECT_EQ(list("lstAvailable")->count(), 10);
    click("cmdReset");
    EXPECT_EQ(dialog->arrangement(), defaults);
}

TEST_F(ToolbarDialog, MoveUpAndDownStopAtTheEndsAndOkOrCancelClose) {
    open(keys("Open | Help"));
    list("lstCurrent")->setCurrentRow(0);
    EXPECT_FALSE(enabled("cmdMoveUp"));
    for (int i = 0; i < 3; ++i)
        click("cmdMoveDown");
    EXPECT_EQ(dialog->arrangement(), keys("| Help Open")) << "the moved button stays selected";
    EXPECT_FALSE(enabled("cmdMoveDown"));
    click("cmdMoveUp");
    EXPECT_EQ(dialog->arrangement(), keys("| Open Help"));

    click("cmdOK");
    EXPECT_EQ(dialog->result(), QDialog::Accepted);
    open(defaults);
    click("cmdCancel");
    EXPECT_EQ(dialog->result(), QDialog::Rejected);
}

} // namespace
